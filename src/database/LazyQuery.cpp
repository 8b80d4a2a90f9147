#include "database/LazyQuery.h"

#include "core/Errors.h"
#include "database/Connection.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace db {

namespace {
constexpr int kBlockRows = 128;
// Blocks kept in memory: a few screens around where the grid stands.
constexpr int kKeptBlocks = 64;
// A cursor only steps forward. Going back past what is kept starts it
// again from the first row; reading several blocks on that pass keeps
// scrolling upwards from restarting at every block.
constexpr int kBlocksPerRestart = 8;

QString withoutTrailingSemicolon(QString sql)
{
    sql = sql.trimmed();
    if (sql.endsWith(QLatin1Char(';')))
        sql.chop(1);
    return sql;
}
} // namespace

LazyQuery::LazyQuery(Connection& connection, const QString& name, QObject* parent)
    : DataSet(connection, name, parent)
{
}

LazyQuery::~LazyQuery() = default;

Statement LazyQuery::prepareSingle() const
{
    sqlite3* db = m_connection.handle();
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

int LazyQuery::countRows(const Statement& statement) const
{
    // Counting through SQLite's own count(*) skips reading the columns;
    // wrapping the text can fail for exotic statements, stepping cannot.
    const QString text = withoutTrailingSemicolon(QString::fromUtf8(sqlite3_sql(statement.raw())));
    try {
        Statement count(m_connection.handle(), QStringLiteral("SELECT count(*) FROM (\n%1\n)").arg(text), name());
        if (count.step())
            return int(count.columnInt64(0));
    } catch (const EngineError&) {
    }
    Statement again(m_connection.handle(), text, name());
    int rows = 0;
    while (again.step())
        ++rows;
    return rows;
}

void LazyQuery::open()
{
    if (active())
        return;
    Statement statement = prepareSingle();
    if (statement.columnCount() == 0)
        fail(QStringLiteral("Die Anweisung liefert keine Datensätze"));
    const int count = countRows(statement);

    m_cursor = std::move(statement);
    m_failed = false;
    m_next = 0;
    m_exhausted = false;
    m_blocks.clear();
    m_count = count;
    try {
        if (m_count > 0)
            readBlocks(0);
    } catch (...) {
        m_cursor = Statement();
        m_blocks.clear();
        m_count = 0;
        throw;
    }
    // Expressions have no declared type: their first value decides.
    const Block* first = m_blocks.count(0) ? &m_blocks.at(0) : nullptr;
    clearFields();
    for (int c = 0; c < m_cursor.columnCount(); ++c) {
        int size = 0;
        const QVariant sample = first && !first->empty() ? first->front().value(c) : QVariant();
        const FieldType type = fieldTypeFromDecl(m_cursor.columnDeclType(c), &size, sample);
        addField(m_cursor.columnName(c), type, size);
    }
    m_state = DataSetState::Browse;
    opened();
}

void LazyQuery::close()
{
    if (!active())
        return;
    m_cursor = Statement();
    m_blocks.clear();
    m_count = 0;
    m_next = 0;
    closed();
}

void LazyQuery::execSql()
{
    m_connection.endRead();
    Statement statement = prepareSingle();
    statement.exec();
    sqlite3* db = m_connection.handle();
    m_rowsAffected = sqlite3_changes(db);
    if (!m_connection.inTransaction() && sqlite3_get_autocommit(db) == 0) {
        try {
            Statement(db, QStringLiteral("ROLLBACK"), name()).exec();
        } catch (const EngineError&) {
        }
        fail(QStringLiteral("Transaktionen lassen sich hier nicht offen lassen; die Transaktion wurde zurückgesetzt"));
    }
}

void LazyQuery::releaseStatements()
{
    if (!m_cursor.isValid())
        return;
    m_cursor.reset();
    m_next = 0;
    m_exhausted = false;
}

bool LazyQuery::stepCursor() const
{
    if (m_exhausted)
        return false;
    try {
        if (!m_cursor.step()) {
            m_exhausted = true;
            return false;
        }
    } catch (...) {
        m_cursor.reset();
        m_next = 0;
        throw;
    }
    ++m_next;
    return true;
}

Row LazyQuery::readCurrent() const
{
    return Row::read(m_cursor, 0, m_cursor.columnCount());
}

void LazyQuery::readBlocks(int target) const
{
    int from = target;
    if (m_next > target * kBlockRows) {
        m_cursor.reset();
        m_next = 0;
        m_exhausted = false;
        from = std::max(0, target - kBlocksPerRestart + 1);
    }
    while (m_next < from * kBlockRows && stepCursor()) {
    }
    for (int block = from; block <= target; ++block) {
        Block rows;
        rows.reserve(kBlockRows);
        while (int(rows.size()) < kBlockRows && stepCursor())
            rows.push_back(readCurrent());
        m_blocks[block] = std::move(rows);
    }
    // Keep what lies nearest to where the reading is.
    while (int(m_blocks.size()) > kKeptBlocks) {
        const auto front = m_blocks.begin();
        const auto back = std::prev(m_blocks.end());
        m_blocks.erase(std::abs(front->first - target) >= std::abs(back->first - target) ? front : back);
    }
}

Row LazyQuery::fetchRow(int row) const
{
    if (row < 0 || row >= m_count || !m_cursor.isValid())
        return Row(fieldCount());
    const int block = row / kBlockRows;
    auto it = m_blocks.find(block);
    if (it == m_blocks.end() && !m_failed) {
        try {
            readBlocks(block);
        } catch (const std::exception& e) {
            m_failed = true;
            Q_EMIT const_cast<LazyQuery*>(this)->readFailed(QString::fromUtf8(e.what()));
        }
        it = m_blocks.find(block);
    }
    const size_t at = size_t(row % kBlockRows);
    if (it == m_blocks.end() || at >= it->second.size())
        return Row(fieldCount()); // fewer rows than counted: changed meanwhile
    return it->second[at];
}

bool LazyQuery::locate(const QString& fieldName, const QVariant& value, LocateOptions options)
{
    checkActive();
    const Field& f = fieldByName(fieldName);
    const LocateTest matches(f, value, options);
    for (int row = 0; row < m_count; ++row) {
        if (matches(fetchRow(row).value(f.index()))) {
            m_eof = m_bof = false;
            placeAt(row);
            return true;
        }
    }
    return false;
}

} // namespace db
