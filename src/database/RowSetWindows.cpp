#include "database/RowSet.h"

#include "database/Connection.h"
#include "database/Statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <new>
#include <optional>

// Reading the ids window by window: each window continues after the key
// values of the last row read, along the order's index, so it costs its
// own rows whatever comes before it.

namespace db {

namespace {
RowSet::Windows s_windows;
} // namespace

void RowSet::setWindows(Windows windows)
{
    windows.first = std::max(1, windows.first);
    s_windows = windows;
}

const RowSet::Windows& RowSet::windows()
{
    return s_windows;
}

int RowSet::largestWindow()
{
    // Past this many ids a window reads all the rest in one statement: by
    // then the user is walking or scrolling through all of them anyway.
    return s_windows.first * 256;
}

int RowSet::countWhere()
{
    QVariantList values;
    QString sql = QStringLiteral("SELECT count(*) FROM %1").arg(quotedName(m_definition.table)) + whereClause(values);
    if (!m_definition.countSql.isEmpty() && !linked()) {
        sql = m_definition.countSql;
        values = m_definition.filter.params;
    }
    Statement& count = m_connection.cached(sql, m_definition.component);
    count.bindAll(values);
    const StatementReset resetting(count);
    count.step();
    return int(count.columnInt64(0));
}

QString RowSet::afterCursor(bool unindexed) const
{
    if (m_cursor.id < 0)
        return {};
    // After the last row read in the order's terms, then its row id; a null
    // sorts before every value. Written out rather than as a row value
    // because of the nulls; the leading range lets the order's index start
    // right at the cursor. The terms carry their collation.
    QString condition = QStringLiteral("rowid>?");
    for (qsizetype i = m_terms.size() - 1; i >= 0; --i) {
        const QString term = (unindexed ? QStringLiteral("+") : QString()) + m_terms[i];
        if (sqlite3_value_type(m_cursor.keys[size_t(i)].get()) == SQLITE_NULL)
            condition = QStringLiteral("(%1 IS NOT NULL OR %1 IS NULL AND %2)").arg(term, condition);
        else
            condition = QStringLiteral("(%1>? OR %1=? AND %2)").arg(term, condition);
    }
    if (!unindexed && !m_terms.isEmpty() && sqlite3_value_type(m_cursor.keys.front().get()) != SQLITE_NULL)
        condition = m_terms.first() + QStringLiteral(">=? AND ") + condition;
    return condition;
}

void RowSet::bindCursor(Statement& statement, int first, bool unindexed) const
{
    if (m_cursor.id < 0)
        return;
    int next = first;
    const auto isNull = [](const auto& value) { return sqlite3_value_type(value.get()) == SQLITE_NULL; };
    if (!unindexed && !m_cursor.keys.empty() && !isNull(m_cursor.keys.front()))
        statement.bindValue(next++, m_cursor.keys.front().get());
    for (const auto& key : m_cursor.keys)
        if (!isNull(key)) {
            statement.bindValue(next++, key.get());
            statement.bindValue(next++, key.get());
        }
    statement.bindInt64(next, m_cursor.id);
}

void RowSet::keep(qint64 id)
{
    // A row posted into the part read before shows where it was posted, not
    // a second time where the file sorts it.
    if (!m_inserted.empty() && m_inserted.count(id))
        return;
    m_ids.push_back(id);
}

namespace {

// Stops a statement of the connection once SQLite's machine has taken so
// many steps; the handler is called every kStepsPerCall of them.
class StepBudget {
public:
    StepBudget(sqlite3* db, qint64 steps) : m_db(db), m_calls(std::max<qint64>(1, steps / kStepsPerCall))
    {
        sqlite3_progress_handler(m_db, kStepsPerCall, &StepBudget::onProgress, this);
    }
    ~StepBudget() { sqlite3_progress_handler(m_db, 0, nullptr, nullptr); }
    StepBudget(const StepBudget&) = delete;
    StepBudget& operator=(const StepBudget&) = delete;

private:
    static constexpr int kStepsPerCall = 16;
    static int onProgress(void* self)
    {
        return --static_cast<StepBudget*>(self)->m_calls <= 0 ? 1 : 0;
    }
    sqlite3* m_db;
    qint64 m_calls;
};

} // namespace

QString RowSet::windowSql(Reading how, bool limited, QVariantList& values) const
{
    // A window's last row is the next one's cursor: its keys are read with it.
    QString sql = QStringLiteral("SELECT rowid");
    if (limited)
        for (const QString& term : std::as_const(m_terms))
            sql += QLatin1Char(',') + term;
    sql += QStringLiteral(" FROM ") + quotedName(m_definition.table);
    if (how == Reading::Walk)
        sql += QStringLiteral(" INDEXED BY ") + quotedName(m_definition.orderIndex);
    // Sorted, the terms are compared unindexed, so that the filter's own
    // index finds the matches.
    sql += whereWith(afterCursor(how == Reading::Sorted), values);
    if (how == Reading::Sorted) {
        sql += orderClause();
    } else {
        sql += QStringLiteral(" ORDER BY ");
        for (const QString& term : std::as_const(m_terms))
            sql += term + QLatin1Char(',');
        sql += QStringLiteral("rowid");
    }
    if (limited)
        sql += QStringLiteral(" LIMIT ?");
    return sql;
}

bool RowSet::readIds(Reading how, int limit, int& read)
{
    QVariantList values;
    const QString sql = windowSql(how, limit > 0, values);
    m_connection.beginRead();
    Statement& select = m_connection.cached(sql, m_definition.component);
    for (qsizetype i = 0; i < values.size(); ++i)
        select.bind(int(i + 1), values[i]);
    bindCursor(select, int(values.size() + 1), how == Reading::Sorted);
    if (limit > 0)
        select.bindInt64(sqlite3_bind_parameter_count(select.raw()), limit);
    const size_t before = m_ids.size();
    std::optional<StepBudget> budget;
    if (how == Reading::Walk)
        budget.emplace(m_connection.handle(), qint64(m_matches) * windows().walkStepsPerMatch);
    const StatementReset resetting(select);
    read = 0;
    bool interrupted = false;
    while (select.stepUnlessInterrupted(interrupted)) {
        keep(select.columnInt64(0));
        // Only a full window is continued: its last row is the cursor.
        if (++read == limit) {
            m_cursor.keys.clear();
            for (int i = 0; i < m_terms.size(); ++i) {
                sqlite3_value* copy = sqlite3_value_dup(sqlite3_column_value(select.raw(), i + 1));
                if (!copy)
                    throw std::bad_alloc();
                m_cursor.keys.emplace_back(copy, sqlite3_value_free);
            }
            m_cursor.id = select.columnInt64(0);
        }
    }
    if (interrupted && (limit <= 0 || read < limit)) {
        m_ids.resize(before);
        read = 0;
        return false;
    }
    return true;
}

int RowSet::readWindow(int limit)
{
    // The ids read are looked up by scanning until lookups repeat again.
    m_positions.clear();
    int read = 0;
    if (m_walkIndex && windows().walkStepsPerMatch > 0 && readIds(Reading::Walk, limit, read))
        return read;
    readIds(filtered() ? Reading::Sorted : Reading::Plain, limit, read);
    return read;
}

void RowSet::readRest()
{
    // With a filter, the matches after the cursor are sorted; without one,
    // and with many matches while that costs less, the order's index is
    // walked to the end.
    m_ids.reserve(m_ids.size() + size_t(std::max(0, m_unread)));
    m_positions.clear();
    int read = 0;
    if (!m_walkIndex || windows().walkStepsPerMatch <= 0 || !readIds(Reading::Walk, 0, read))
        readIds(filtered() ? Reading::Sorted : Reading::Plain, 0, read);
    m_unread = 0;
}

bool RowSet::readOn(int rows)
{
    if (m_unread <= 0)
        return false;
    if (rows >= largestWindow()) {
        readRest();
        return false;
    }
    const int limit = std::min(rows, m_unread);
    const size_t before = m_ids.size();
    const int read = readWindow(limit);
    m_unread -= int(m_ids.size() - before);
    // Fewer rows than counted: some were deleted behind the set's back.
    if (read < limit)
        m_unread = 0;
    return m_unread > 0;
}

void RowSet::readUpTo(int position)
{
    // Windows grow with what was read: scrolling on costs few statements,
    // and a jump far ahead reads the rest at once.
    while (size_t(position) >= m_ids.size() && m_unread > 0) {
        const int needed = position + 1 - int(m_ids.size());
        readOn(std::max(needed, std::clamp(int(m_ids.size()), windows().first, largestWindow())));
    }
}

} // namespace db
