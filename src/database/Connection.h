#pragma once

#include "database/Statement.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace db {

class DataSet;

// The one connection to the collection file. It never creates the file: a
// missing database is an error that says where it was expected.
class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(const QString& name = QStringLiteral("dbConnection"), QObject* parent = nullptr);
    ~Connection() override;

    // Directory that holds stripothek.db; relative paths are taken from the
    // working directory at the moment of connecting.
    void setDatabasePath(const QString& directory) { m_directory = directory; }
    QString databasePath() const { return m_directory; }
    QString databaseFile() const;

    // A read-only connection refuses every write; other programs may keep
    // editing the file meanwhile. Takes effect at the next connect().
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool readOnly() const { return m_readOnly; }

    void connect();
    void disconnect();
    bool connected() const { return m_db != nullptr; }
    sqlite3* handle() const;

    void startTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    // Runs one statement that yields no rows.
    void execute(const QString& sql, const QVariantList& params = {});
    // Table names that match a wildcard mask such as "*" or "AUTOR*"; a
    // mask with an extension ("*.adt") matches the names with that extension.
    QStringList listTables(const QString& mask = QStringLiteral("*")) const;

    // Reads between two writes share one read transaction, ended before the
    // next write or when the event loop runs again: SQLite starts a read
    // transaction for every statement otherwise, and that costs more than
    // the statement itself when a grid or a walk runs many small ones.
    void beginRead();
    void endRead();

    // Prepared statements are kept for the life of the connection; callers
    // must reset what they step.
    Statement& cached(const QString& sql, const QString& component = {});

    // Every data set on this connection, so a rollback can show restored rows.
    void registerDataSet(DataSet* dataSet);
    void unregisterDataSet(DataSet* dataSet);

    // Exclusive use: while held, no other connection, in this program or
    // another, can read or write the database. Taking it fails with an engine
    // error naming component when another connection has the database open.
    // Counted: the last release gives the database back.
    void lockExclusive(const QString& component);
    void unlockExclusive() noexcept;
    bool exclusive() const { return m_exclusiveUsers > 0; }
    // Gives the space of deleted rows back to the file system (the file
    // shrinks); needs exclusive use for its duration and takes it. Every data
    // set reads its rows again afterwards.
    void compact(const QString& component = {});

private:
    void resyncAll();
    void run(const QString& sql);
    bool m_readOpen = false;
    bool m_readOnly = false;
    QString m_directory = QStringLiteral("database");
    sqlite3* m_db = nullptr;
    bool m_inTransaction = false;
    std::unordered_map<QString, std::unique_ptr<Statement>> m_cache;
    std::vector<DataSet*> m_dataSets;
    int m_exclusiveUsers = 0;
};

// Rolls back unless committed: every path out of a block undoes half-done work.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& m_connection;
    bool m_open = true;
};

} // namespace db
