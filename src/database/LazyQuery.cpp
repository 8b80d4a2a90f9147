#include "database/LazyQuery.h"

#include "core/Errors.h"
#include "database/Connection.h"
#include "database/QueryThreads.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QFileInfo>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <thread>

namespace db {

namespace {
constexpr int kBlockRows = CursorThread::kBlockRows;
// Blocks kept in memory: a few screens around where the grid stands.
constexpr int kKeptBlocks = 64;

QString withoutTrailingSemicolon(QString sql)
{
    sql = sql.trimmed();
    if (sql.endsWith(QLatin1Char(';')))
        sql.chop(1);
    return sql;
}

bool isInterruption(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EngineError& e) {
        return (e.code() & 0xff) == SQLITE_INTERRUPT;
    } catch (...) {
        return false;
    }
}
} // namespace

LazyQuery::LazyQuery(Connection& connection, const QString& name, QObject* parent)
    : DataSet(connection, name, parent)
{
}

LazyQuery::~LazyQuery()
{
    // The threads report to this object: they end before it does.
    m_cursor.reset();
    m_counter.reset();
}

Statement LazyQuery::prepareSingle(sqlite3* db) const
{
    Statement statement(db, m_sql, name());
    // SQLite prepares the first statement of a text and ignores the rest;
    // running half of what the user typed without a word would be worse
    // than refusing it.
    const QByteArray utf8 = m_sql.toUtf8();
    const char* tail = nullptr;
    sqlite3_stmt* first = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &first, &tail) == SQLITE_OK) {
        sqlite3_finalize(first);
        while (tail && *tail) {
            sqlite3_stmt* next = nullptr;
            const char* rest = nullptr;
            if (sqlite3_prepare_v2(db, tail, -1, &next, &rest) != SQLITE_OK || next) {
                sqlite3_finalize(next);
                fail(QStringLiteral("Es lässt sich nur eine SQL-Anweisung auf einmal ausführen"));
            }
            tail = rest; // only blanks or a comment so far
        }
    }
    return statement;
}

std::unique_ptr<Connection> LazyQuery::openReader() const
{
    // A connection of its own keeps the program's free for the windows while
    // the statement runs; read-only, since a query never writes.
    const char* file = sqlite3_db_filename(m_connection.handle(), "main");
    auto reader = std::make_unique<Connection>(name());
    reader->setReadOnly(true);
    reader->setDatabasePath(QFileInfo(QString::fromUtf8(file ? file : "")).absolutePath());
    reader->connect();
    return reader;
}

void LazyQuery::open()
{
    if (active() || m_opening)
        return;
    std::unique_ptr<Connection> reader = openReader();
    Statement statement = prepareSingle(reader->handle());
    if (statement.columnCount() == 0)
        fail(QStringLiteral("Die Anweisung liefert keine Datensätze"));
    m_columns.clear();
    for (int c = 0; c < statement.columnCount(); ++c)
        m_columns.push_back({statement.columnName(c), statement.columnDeclType(c)});
    m_countSql = withoutTrailingSemicolon(QString::fromUtf8(sqlite3_sql(statement.raw())));

    forgetRows();
    m_readingStopped = false;
    m_countStopped = false;
    m_opening = true;
    startCursor(std::move(reader), std::move(statement));
    requestBlock(0);
    notifyActivity();
}

void LazyQuery::startCursor(std::unique_ptr<Connection> reader, Statement statement) const
{
    const quint64 generation = ++m_cursorGeneration;
    m_requested = m_handled = 0;
    auto* self = const_cast<LazyQuery*>(this);
    m_cursor = std::make_unique<CursorThread>(std::move(reader), std::move(statement), [self, generation](CursorNews news) {
        QMetaObject::invokeMethod(
            self, [self, generation, news = std::move(news)]() mutable { self->onCursorNews(generation, news); },
            Qt::QueuedConnection);
    });
}

void LazyQuery::startCount()
{
    const quint64 generation = ++m_countGeneration;
    std::unique_ptr<Connection> reader;
    try {
        reader = openReader();
    } catch (const Error&) {
        return; // the cursor opened one a moment ago: without a count the rows grow as read
    }
    m_counter = std::make_unique<CountThread>(std::move(reader), m_countSql, name(), [this, generation](CountNews news) {
        QMetaObject::invokeMethod(
            this, [this, generation, news] { onCountNews(generation, news); }, Qt::QueuedConnection);
    });
}

bool LazyQuery::ensureCursor() const
{
    if (m_cursor)
        return true;
    // Reading resumes after the file was needed alone (packing): with a
    // fresh connection, from the first row.
    if (m_failed || m_connection.exclusive())
        return false;
    try {
        std::unique_ptr<Connection> reader = openReader();
        Statement statement = prepareSingle(reader->handle());
        startCursor(std::move(reader), std::move(statement));
        return true;
    } catch (const std::exception& e) {
        m_failed = true;
        Q_EMIT const_cast<LazyQuery*>(this)->readFailed(QString::fromUtf8(e.what()));
        return false;
    }
}

void LazyQuery::requestBlock(int block) const
{
    if (m_declined.count(block) || !ensureCursor())
        return;
    if (!m_cursor->request(block))
        return;
    m_declined.clear();
    m_readingStopped = false;
    if (++m_requested == m_handled + 1)
        notifyActivity(true);
}

void LazyQuery::notifyActivity(bool later) const
{
    auto* self = const_cast<LazyQuery*>(this);
    if (!later) {
        Q_EMIT self->activityChanged();
        return;
    }
    if (m_activityPosted)
        return;
    m_activityPosted = true;
    QMetaObject::invokeMethod(
        self,
        [self] {
            self->m_activityPosted = false;
            Q_EMIT self->activityChanged();
        },
        Qt::QueuedConnection);
}

void LazyQuery::forgetRows()
{
    m_cursor.reset();
    m_counter.reset();
    m_requested = m_handled = 0;
    m_opening = false;
    m_failed = false;
    m_total = -1;
    m_rowsSeen = 0;
    m_blocks.clear();
    m_declined.clear();
}

void LazyQuery::close()
{
    const bool wasActive = active();
    forgetRows();
    m_readingStopped = false;
    m_countStopped = false;
    if (wasActive)
        closed();
    notifyActivity();
}

bool LazyQuery::running() const
{
    return m_commandStop || m_opening || reading() || counting();
}

void LazyQuery::stop()
{
    if (m_commandStop) {
        m_commandStop->stop();
        return;
    }
    if (m_cursor && reading()) {
        const CursorThread::Stopped stopped = m_cursor->stop();
        m_declined.insert(stopped.blocks.begin(), stopped.blocks.end());
        m_handled = std::max(m_handled, stopped.handled);
        m_readingStopped = true;
    }
    if (m_counter) {
        m_counter.reset();
        m_countStopped = m_total < 0;
    }
    if (m_opening) {
        // Nothing to show yet: the query ends here.
        forgetRows();
        m_readingStopped = true;
    }
    notifyActivity();
}

void LazyQuery::releaseStatements()
{
    if (m_opening) {
        stop();
        return;
    }
    if (m_counter) {
        m_counter.reset();
        m_countStopped = m_total < 0;
    }
    // Blocks on their way are asked for again by the next paint.
    m_cursor.reset();
    m_requested = m_handled = 0;
    notifyActivity();
}

void LazyQuery::afterRollback()
{
    // After compacting: rows that were on their way when the reading
    // stopped are asked for again when the grid repaints them.
    if (active() && rowCountShown() > 0)
        emitRowsRead(0, rowCountShown() - 1);
}

int LazyQuery::rowCountShown() const
{
    const qint64 rows = m_total >= 0 ? m_total : m_rowsSeen;
    return int(std::min<qint64>(rows, kMostRowsShown));
}

bool LazyQuery::canReadMore() const
{
    return active() && m_total < 0 && !m_failed && m_rowsSeen < kMostRowsShown;
}

void LazyQuery::readMore()
{
    if (!canReadMore())
        return;
    // Asked for by the user scrolling to the end, so also after a stop.
    const int next = m_rowsSeen / kBlockRows;
    m_declined.erase(next);
    requestBlock(next);
}

void LazyQuery::onCursorNews(quint64 generation, CursorNews& news)
{
    if (generation != m_cursorGeneration)
        return;
    m_handled = std::max(m_handled, news.handled);
    if (!news.failure.isEmpty()) {
        const bool opening = m_opening;
        if (opening)
            forgetRows();
        if (!m_failed) {
            m_failed = true;
            Q_EMIT readFailed(news.failure);
        }
        if (!opening)
            m_cursor.reset(); // nothing more to read from a statement that fails
        notifyActivity();
        return;
    }
    const int shownBefore = rowCountShown();
    int first = -1;
    int last = -1;
    if (news.block >= 0) {
        const int begin = news.block * kBlockRows;
        const int size = int(news.rows.size());
        m_rowsSeen = std::max(m_rowsSeen, int(std::min<qint64>(qint64(begin) + size, kMostRowsShown)));
        if (size > 0) {
            first = begin;
            last = begin + size - 1;
        }
        keepBlock(news.block, std::move(news.rows));
    }
    if (news.end >= 0) {
        // The cursor's count is exact: the other one is no longer needed.
        m_total = news.end;
        m_counter.reset();
        m_countStopped = false;
    }
    if (m_opening) {
        if (news.block == 0 || news.end >= 0) {
            finishOpening();
            // Counting from the start would only compete with the first rows
            // for the processor; a result that ended within them is counted.
            if (m_total < 0)
                startCount();
        }
    } else if (active()) {
        if (m_cur >= first && m_cur <= last && first >= 0 && !isEditing())
            m_buffer = fetchRow(m_cur);
        announce(shownBefore, first, last);
    }
    notifyActivity();
}

void LazyQuery::onCountNews(quint64 generation, const CountNews& news)
{
    if (generation != m_countGeneration || !m_counter)
        return;
    m_counter.reset();
    // A count that failed leaves the rows growing as they are read; the
    // cursor reports the statement's own failure.
    if (news.stopped)
        m_countStopped = m_total < 0;
    if (news.count >= 0 && m_total < 0) {
        const int shownBefore = rowCountShown();
        // Counted on another snapshot: rows the cursor has read are there.
        m_total = std::max<qint64>(news.count, m_rowsSeen);
        if (active())
            announce(shownBefore, -1, -1);
    }
    notifyActivity();
}

void LazyQuery::keepBlock(int block, Block rows)
{
    m_blocks[block] = std::move(rows);
    // Keep what lies nearest to where the reading is.
    while (int(m_blocks.size()) > kKeptBlocks) {
        const auto front = m_blocks.begin();
        const auto back = std::prev(m_blocks.end());
        m_blocks.erase(std::abs(front->first - block) >= std::abs(back->first - block) ? front : back);
    }
}

void LazyQuery::finishOpening()
{
    // Expressions have no declared type: their first value decides.
    const auto firstBlock = m_blocks.find(0);
    const Row* sample = firstBlock != m_blocks.end() && !firstBlock->second.empty() ? &firstBlock->second.front() : nullptr;
    clearFields();
    for (size_t c = 0; c < m_columns.size(); ++c) {
        int size = 0;
        const FieldType type = fieldTypeFromDecl(m_columns[c].declaredType, &size,
                                                 sample ? sample->value(int(c)) : QVariant());
        addField(m_columns[c].name, type, size);
    }
    m_opening = false;
    m_state = DataSetState::Browse;
    Q_EMIT fieldsDefined();
    opened();
}

void LazyQuery::announce(int shownBefore, int first, int last)
{
    const int shown = rowCountShown();
    if (shown < shownBefore) {
        // Fewer rows than counted: the file changed between two readings.
        if (m_cur >= shown) {
            m_cur = shown - 1;
            loadCurrent();
        }
        emitDataSetChanged();
        return;
    }
    emitRowsRead(first, last);
}

Row LazyQuery::fetchRow(int row) const
{
    if (row < 0 || row >= rowCountShown())
        return Row(fieldCount());
    const int block = row / kBlockRows;
    const auto it = m_blocks.find(block);
    if (it == m_blocks.end()) {
        // Shown empty until the block arrives; then the grid paints it again.
        if (!m_failed)
            requestBlock(block);
        return Row(fieldCount());
    }
    const size_t at = size_t(row % kBlockRows);
    if (at >= it->second.size())
        return Row(fieldCount()); // fewer rows than counted: changed meanwhile
    return it->second[at];
}

bool LazyQuery::locate(const QString& fieldName, const QVariant& value, LocateOptions options)
{
    checkActive();
    const Field& f = fieldByName(fieldName);
    const LocateTest matches(f, value, options);
    // Rows not read yet cannot wait for the cursor's thread: the statement
    // runs once more here, on the program's connection.
    Statement statement = prepareSingle(m_connection.handle());
    for (int row = 0; row < rowCountShown() && statement.step(); ++row) {
        if (matches(statement.column(f.index()))) {
            m_eof = m_bof = false;
            placeAt(row);
            return true;
        }
    }
    return false;
}

bool LazyQuery::execSql()
{
    m_connection.endRead();
    sqlite3* db = m_connection.handle();
    Statement statement = prepareSingle(db);
    const sqlite3_int64 changesBefore = sqlite3_total_changes64(db);
    // Last on the way out: the figures below are read first.
    m_connection.setCommandRunning(true);
    const auto ended = qScopeGuard([this] { m_connection.setCommandRunning(false); });
    std::exception_ptr failure;
    bool stopped = false;
    {
        StopSwitch stopSwitch(db);
        stopSwitch.begin();
        QEventLoop loop;
        std::thread worker([&] {
            try {
                statement.exec();
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        m_commandStop = &stopSwitch;
        notifyActivity();
        loop.exec();
        worker.join();
        m_commandStop = nullptr;
        stopped = failure && stopSwitch.stopped() && isInterruption(failure);
    }
    notifyActivity();
    // The rows the statement itself changed: those the search index's
    // triggers write beside them do not count. sqlite3_changes keeps the
    // figure of an earlier statement when this one changed nothing at all.
    const bool changed = !stopped && sqlite3_total_changes64(db) != changesBefore;
    m_rowsAffected = changed ? int(sqlite3_changes64(db)) : 0;
    if (!m_connection.inTransaction() && sqlite3_get_autocommit(db) == 0) {
        try {
            Statement(db, QStringLiteral("ROLLBACK"), name()).exec();
        } catch (const EngineError&) {
        }
        if (!stopped)
            fail(QStringLiteral("Transaktionen lassen sich hier nicht offen lassen; die Transaktion wurde zurückgesetzt"));
    }
    if (stopped)
        return false;
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

} // namespace db
