#pragma once

#include "database/DataSet.h"
#include "database/Statement.h"

#include <map>
#include <vector>

namespace db {

// An SQL statement typed by the user: opened when it yields rows, executed
// otherwise. The rows of an opened statement are read as they are asked
// for: opening counts them and reads the first block, a grid reads the
// blocks it paints, so a result of any size shows at once. Read-only.
class LazyQuery : public DataSet {
    Q_OBJECT
public:
    explicit LazyQuery(Connection& connection, const QString& name = QStringLiteral("qry"), QObject* parent = nullptr);
    ~LazyQuery() override;

    void setSql(const QString& sql) { m_sql = sql; }
    QString sql() const { return m_sql; }

    // Both refuse a text with more than one statement.
    void open();
    void close();
    // Runs the statement to its end; rows it yields are dropped unread. A
    // statement that leaves a transaction open is rolled back and refused:
    // the engine commits every post itself, and an open transaction would
    // swallow them until the program ends.
    void execSql();
    int rowsAffected() const { return m_rowsAffected; }

    bool locate(const QString& fieldName, const QVariant& value, LocateOptions options = LocateExact) override;
    void releaseStatements() override;

Q_SIGNALS:
    // Reading a row after opening failed (a statement can fail at any row):
    // the rows from there on stay empty. Painting a grid cannot throw, so
    // the message travels this way.
    void readFailed(const QString& message);

protected:
    int rowCountShown() const override { return m_count; }
    Row fetchRow(int row) const override;

private:
    using Block = std::vector<Row>;
    Statement prepareSingle() const;
    int countRows(const Statement& statement) const;
    void readBlocks(int target) const;
    bool stepCursor() const;
    Row readCurrent() const;

    QString m_sql;
    int m_count = 0;
    int m_rowsAffected = 0;
    mutable Statement m_cursor;
    mutable int m_next = 0;          // the row the cursor's next step yields
    mutable bool m_exhausted = false; // the cursor went past its last row
    mutable std::map<int, Block> m_blocks;
    mutable bool m_failed = false;
};

} // namespace db
