#pragma once

#include "core/Errors.h"
#include "database/Statement.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

struct sqlite3;

namespace db {

class DataSet;
class Table;

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

    // Called while connecting gives a file the search index it lacks
    // (SearchIndex.h), with the percentage done: a large collection takes
    // a while the first time.
    void setUpgradeProgress(std::function<void(int percent)> progress) { m_upgradeProgress = std::move(progress); }

    void connect();
    // After a statement of the user's own (the SQL page) that may have
    // dropped or changed the search's objects: puts back what this version
    // needs, with the progress of setUpgradeProgress. Returns whether it
    // had to.
    bool restoreSearch();
    // While a statement runs with this handle on another thread, nothing
    // else may use the handle; the search catches up afterwards.
    void setCommandRunning(bool running);
    // Never throws: closing must work on a damaged file too.
    void disconnect() noexcept;
    bool connected() const { return m_db != nullptr; }
    // Throws while not connected, and after the file turned out to be
    // damaged: from then on every use fails with that same message, so that
    // nothing more is read from or written to it.
    sqlite3* handle() const;
    bool damaged() const { return m_damage.has_value(); }
    // The file could only be opened for reading (its rights, a read-only
    // medium), whether asked for or not.
    bool onlyReadable() const;
    // Opened as it is, without the files SQLite keeps beside it, because the
    // folder may not be written to: nothing can be changed, and changes of
    // other programs made after opening go unseen.
    bool readAsItIs() const { return m_db && m_asItIs; }

    // Every failing statement reports here, so that the connection of its
    // handle learns when its file is damaged.
    static void noteFailure(sqlite3* handle, const EngineError& error);

    void startTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    // Rows this connection inserted, changed or deleted since it was made,
    // whoever ran the statements: pages, tools, the SQL page's thread (ask
    // when it is done); what its opening itself upgraded not counted.
    // Whether anything was stored since a moment is a comparison of two of
    // these numbers. Changes of the tables' structure alone do not count,
    // nor does VACUUM, which moves rows without changing them.
    qint64 rowsChanged() const;

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
    // Changes whenever the kept statements are dropped, so that a caller
    // may keep a reference to one as long as this stays the same.
    quint64 statementGeneration() const { return m_statementGeneration; }

    // Every data set on this connection, so a rollback can show restored rows
    // and put each back on the row it stood on when the transaction began.
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
    void open(const QString& file, bool asItIs);
    bool onlyReadableAsItIs(int code, const QString& file) const;
    void resyncAll();
    void run(const QString& sql);
    static int afterCommit(void* connection);
    void catchUpSearch();
    // What the program wrote for itself since then is no change of the user's.
    void uncountChangesSince(qint64 totalChanges);
    // How long a statement waits for another program's write to end.
    static constexpr int kBusyTimeoutMs = 5000;
    bool m_readOpen = false;
    bool m_readOnly = false;
    bool m_asItIs = false;
    QString m_directory = QStringLiteral("database");
    sqlite3* m_db = nullptr;
    bool m_inTransaction = false;
    std::unordered_map<QString, std::unique_ptr<Statement>> m_cache;
    quint64 m_statementGeneration = 1;
    std::vector<DataSet*> m_dataSets;
    int m_exclusiveUsers = 0;
    std::optional<EngineError> m_damage;
    // Rows changed through handles closed since, less what each opening upgraded.
    qint64 m_rowsChangedBefore = 0;
    std::function<void(int)> m_upgradeProgress;
    // The search's notes wait for the event loop once a write was committed;
    // commits may happen on the SQL page's thread.
    std::atomic<bool> m_catchUpQueued = false;
    bool m_catchUpWanted = false;
    bool m_catchingUp = false;
    bool m_commandRunning = false;
};

// Holds the connection's exclusive use (Connection::lockExclusive) for a
// scope: taken on construction, given back on every way out.
class ExclusiveUse {
public:
    ExclusiveUse(Connection& connection, const QString& component) : m_connection(connection)
    {
        m_connection.lockExclusive(component);
    }
    ~ExclusiveUse() { m_connection.unlockExclusive(); }
    ExclusiveUse(const ExclusiveUse&) = delete;
    ExclusiveUse& operator=(const ExclusiveUse&) = delete;

private:
    Connection& m_connection;
};

// The command that creates the database the program looks for in
// databaseDirectory, quoted for a shell where the path needs it.
QString createDatabaseCommand(const QString& databaseDirectory);

// Rolls back unless committed: every path out of a block undoes half-done work.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    // The next record key from the key table's counter row, drawn in this
    // transaction (see KeyCounter): a rollback gives the number back.
    QString drawRecordKey(Table& keyGen);

private:
    Connection& m_connection;
    bool m_open = true;
};

} // namespace db
