#pragma once

#include "database/DataSet.h"
#include "database/Statement.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace db {

class CountThread;
class CursorThread;
class StopSwitch;
struct CountNews;
struct CursorNews;

// An SQL statement typed by the user: opened when it yields rows, executed
// otherwise. Whatever it runs can be stopped, and the window stays
// responsive meanwhile.
//
// An opened statement runs on read-only connections of its own, each on its
// own thread: one steps the rows forward in blocks as a grid asks for them,
// one counts them once the first rows are there. The data set opens with the
// first rows; until the count is known it shows the rows read so far and
// reads more when a grid reaches the last one. Read-only.
class LazyQuery : public DataSet {
    Q_OBJECT
public:
    // A larger result is counted in full but shows this many rows: a grid's
    // row header keeps a few bytes for every row and lays them out in int
    // pixels; ten million rows cost it about 80 MB and half a second.
    static constexpr int kMostRowsShown = 10'000'000;

    explicit LazyQuery(Connection& connection, const QString& name = QStringLiteral("qry"), QObject* parent = nullptr);
    ~LazyQuery() override;

    void setSql(const QString& sql) { m_sql = sql; }
    QString sql() const { return m_sql; }

    // Both refuse a text with more than one statement, at once.
    // open() returns before the first row is read: fieldsDefined and the
    // opening of the data set follow when it is.
    void open();
    void close();
    // Runs the statement to its end on the program's connection, on a
    // thread, while this thread's event loop runs; rows it yields are
    // dropped unread. Returns false when stop() ended it: SQLite has then
    // undone all of it. The caller keeps the user from the connection
    // meanwhile. A statement that leaves a transaction open is rolled back
    // and refused: the engine commits every post itself, and an open
    // transaction would swallow them until the program ends.
    bool execSql();
    int rowsAffected() const { return m_rowsAffected; }

    // Ends whatever runs: the statement, the reading of rows, the count.
    // Rows read so far stay; a query stopped before its first row stays closed.
    void stop();
    // Opening, reading, counting or executing.
    bool running() const;
    bool opening() const { return m_opening; }
    bool reading() const { return m_requested > m_handled; }
    bool counting() const { return m_counter != nullptr; }
    // The rows of the result, once counted (or read to the end); -1 before.
    qint64 rowCount() const { return m_total; }
    // The rows read so far in order from the first.
    int rowsSeen() const { return m_rowsSeen; }
    // The last stop ended the reading or the count (cleared when reading resumes).
    bool readingStopped() const { return m_readingStopped; }
    bool countStopped() const { return m_countStopped; }

    bool canReadMore() const override;
    void readMore() override;
    bool locate(const QString& fieldName, const QVariant& value, LocateOptions options = LocateExact) override;
    void releaseStatements() override;
    void afterRollback() override;

Q_SIGNALS:
    // Reading a row after opening failed (a statement can fail at any row):
    // the rows from there on stay empty. Painting a grid cannot throw, so
    // the message travels this way.
    void readFailed(const QString& message);
    // The fields of a result that is about to open are there: a window sets
    // their visibility and widths before any grid takes them.
    void fieldsDefined();
    // Something of running(), the count or a stop changed.
    void activityChanged();

protected:
    int rowCountShown() const override;
    Row fetchRow(int row) const override;

private:
    using Block = std::vector<Row>;
    struct Column {
        QString name;
        QString declaredType;
    };
    Statement prepareSingle(sqlite3* handle) const;
    std::unique_ptr<Connection> openReader() const;
    bool ensureCursor() const;
    void startCursor(std::unique_ptr<Connection> reader, Statement statement) const;
    void startCount();
    void requestBlock(int block) const;
    void onCursorNews(quint64 generation, CursorNews& news);
    void onCountNews(quint64 generation, const CountNews& news);
    void keepBlock(int block, Block rows);
    void finishOpening();
    void announce(int shownBefore, int first, int last);
    // Painting asks for rows: what it starts is told by the event loop, later.
    void notifyActivity(bool later = false) const;
    void forgetRows();

    QString m_sql;
    QString m_countSql;
    std::vector<Column> m_columns;
    int m_rowsAffected = 0;

    mutable std::unique_ptr<CursorThread> m_cursor;
    std::unique_ptr<CountThread> m_counter;
    mutable quint64 m_cursorGeneration = 0;
    quint64 m_countGeneration = 0;
    mutable quint64 m_requested = 0; // requests to the present cursor thread
    mutable quint64 m_handled = 0;   // of them answered
    StopSwitch* m_commandStop = nullptr;

    bool m_opening = false;
    mutable bool m_readingStopped = false;
    bool m_countStopped = false;
    mutable bool m_failed = false;
    qint64 m_total = -1;
    int m_rowsSeen = 0;
    mutable std::map<int, Block> m_blocks;
    // Blocks a stop left unread: painting does not ask for them again until
    // the user looks at other rows, or a stop would only last until the next paint.
    mutable std::set<int> m_declined;
    mutable bool m_activityPosted = false;
};

} // namespace db
