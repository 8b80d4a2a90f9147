#include "database/RowSet.h"

#include "database/Connection.h"
#include "database/GermanOrder.h"
#include "database/Statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <new>

namespace db {

namespace {
constexpr int kBatch = 32;
constexpr size_t kCacheLimit = 4096;
} // namespace

void RowSet::define(Definition definition)
{
    m_definition = std::move(definition);
    QStringList columns{QStringLiteral("rowid")};
    for (const QString& column : std::as_const(m_definition.columns))
        columns << quotedName(column);
    m_selectColumns = columns.join(QLatin1Char(','));
    m_idsSql.clear();
    m_terms.clear();
}

void RowSet::setLinkValue(QByteArrayView utf8)
{
    // Into the old value's memory: a detail set takes a new value on every
    // move of the catalogue.
    m_linkUtf8.resize(utf8.size());
    if (!utf8.isEmpty())
        std::copy(utf8.begin(), utf8.end(), m_linkUtf8.begin());
}

QString RowSet::whereClause(QVariantList& values) const
{
    QStringList conditions;
    if (linked()) {
        conditions << QStringLiteral("%1 = ? COLLATE NOCASE AND %1 = ?").arg(quotedName(m_definition.order.first().field));
        const QString value = QString::fromUtf8(m_linkUtf8);
        values << value << value;
    }
    if (filtered()) {
        conditions << QLatin1Char('(') + m_definition.filter.sql + QLatin1Char(')');
        values << m_definition.filter.params;
    }
    return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

QString RowSet::whereWith(const QString& condition, QVariantList& values) const
{
    const QString where = whereClause(values);
    if (condition.isEmpty())
        return where;
    return where + (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + condition;
}

void RowSet::bindWhere(Statement& statement) const
{
    // The values of whereClause, without building its text; the link value
    // goes in as the UTF-8 it came as.
    int next = 1;
    if (linked()) {
        statement.bindUtf8(next++, m_linkUtf8);
        statement.bindUtf8(next++, m_linkUtf8);
    }
    if (filtered())
        for (const QVariant& value : m_definition.filter.params)
            statement.bind(next++, value);
}

QStringList RowSet::orderTerms() const
{
    QStringList terms;
    for (const OrderKey& key : m_definition.order) {
        QString term = quotedName(key.field);
        if (key.text)
            term = m_definition.germanNames ? germanKeySql(m_connection.handle(), key.field)
                                             : term + QStringLiteral(" COLLATE NOCASE");
        terms << term;
    }
    return terms;
}

QString RowSet::orderClause() const
{
    // Under a filter the order's index would make SQLite visit every row in
    // index order; sorting the few matches found through the filter's own
    // index or one pass over the table is several times faster.
    const bool sortMatches = filtered() && !m_definition.detail;
    QStringList terms = orderTerms();
    if (sortMatches && !terms.isEmpty())
        terms.first().prepend(QLatin1Char('+'));
    terms << QStringLiteral("rowid");
    return QStringLiteral(" ORDER BY ") + terms.join(QLatin1Char(','));
}

void RowSet::read()
{
    m_cache.clear();
    clearPositions();
    m_inserted.clear();
    m_cursor.keys.clear();
    m_cursor.id = -1;
    m_unread = 0;
    m_walkIndex = false;
    if (m_definition.detail) {
        readDetail();
        m_stale = false;
        return;
    }
    if (m_terms.isEmpty() && !m_definition.order.isEmpty())
        m_terms = orderTerms();
    // The first window and the count come from one snapshot, so they agree.
    m_connection.beginRead();
    m_connection.handle(); // a damaged file is not read again, not even through a kept statement
    m_ids.clear();
    int total = -1;
    if (filtered()) {
        total = countWhere();
        m_matches = total;
        // Few matches are sorted at once through the filter's own index. Many
        // are found soon enough walking the order's index: the first window
        // costs a few hundred rows where sorting them all costs every match.
        if (total <= windows().sortAtMost || !orderIndexed()) {
            m_unread = total;
            readRest();
            m_stale = false;
            return;
        }
        m_walkIndex = true;
    }
    const int first = windows().first;
    const int read = readWindow(first);
    m_unread = read < first ? 0 : std::max(0, (total >= 0 ? total : countWhere()) - read);
    m_stale = false;
    if (m_frozen)
        readRest();
}

bool RowSet::orderIndexed() const
{
    if (m_definition.orderIndex.isEmpty() || m_definition.order.isEmpty())
        return false;
    // A file of an earlier version sorts names through stsort, which no index holds.
    if (m_definition.germanNames)
        for (const OrderKey& key : m_definition.order)
            if (key.text && germanKeyColumnIn(m_connection.handle(), key.field).isEmpty())
                return false;
    return true;
}

void RowSet::readDetail()
{
    // A detail set holds the few rows of one comic: they are read whole at
    // once instead of ids first and rows after. It runs this on every move
    // of the catalogue: the text is built once per definition, only the
    // values change.
    if (m_idsSql.isEmpty()) {
        m_idsStatement = nullptr;
        QVariantList unused;
        m_idsSql = QStringLiteral("SELECT %1 FROM %2").arg(m_selectColumns, quotedName(m_definition.table)) +
                   whereClause(unused) + orderClause();
    }
    m_connection.beginRead();
    m_connection.handle(); // a damaged file is not read again, not even through a kept statement
    if (!m_idsStatement || m_idsStatementGeneration != m_connection.statementGeneration()) {
        m_idsStatement = &m_connection.cached(m_idsSql, m_definition.component);
        m_idsStatementGeneration = m_connection.statementGeneration();
    }
    Statement& select = *m_idsStatement;
    bindWhere(select);
    // The list read before is filled again instead of allocated anew.
    std::vector<qint64> ids = std::move(m_spareIds);
    ids.clear();
    ids.reserve(8);
    const int columns = int(m_definition.columns.size());
    {
        const StatementReset resetting(select);
        while (select.step()) {
            const qint64 id = select.columnInt64(0);
            ids.push_back(id);
            if (m_cache.size() < kCacheLimit)
                m_cache.put(id, Row::read(select, 1, columns));
        }
    }
    m_ids.swap(ids);
    m_spareIds = std::move(ids);
}

void RowSet::clear()
{
    m_ids.clear();
    m_unread = 0;
    m_inserted.clear();
    m_cursor.keys.clear();
    m_cursor.id = -1;
    clearPositions();
    m_cache.clear();
    m_pinned = -1;
    m_stale = false;
}

int RowSet::positionRead(qint64 id)
{
    // One scan of the ids is cheaper than building the map, until lookups repeat.
    if (m_positions.empty() && ++m_linearLookups <= 4) {
        const auto it = std::find(m_ids.begin(), m_ids.end(), id);
        return it == m_ids.end() ? -1 : int(it - m_ids.begin());
    }
    if (m_positions.empty() && !m_ids.empty()) {
        m_positions.reserve(m_ids.size());
        for (size_t i = 0; i < m_ids.size(); ++i)
            m_positions.emplace_back(m_ids[i], int(i));
        std::sort(m_positions.begin(), m_positions.end());
    }
    const auto it = std::lower_bound(m_positions.begin(), m_positions.end(), std::pair<qint64, int>(id, INT_MIN));
    return it == m_positions.end() || it->first != id ? -1 : it->second;
}

bool RowSet::passes(qint64 id)
{
    QVariantList values;
    const QString where = whereWith(QStringLiteral("rowid=?"), values);
    values << id;
    m_connection.beginRead();
    Statement& find =
        m_connection.cached(QStringLiteral("SELECT 1 FROM %1").arg(quotedName(m_definition.table)) + where,
                            m_definition.component);
    find.bindAll(values);
    const StatementReset resetting(find);
    return find.step();
}

int RowSet::positionOf(qint64 id)
{
    const int read = positionRead(id);
    // A row that does not pass is not looked for among the million unread.
    if (read >= 0 || m_unread <= 0 || !passes(id))
        return read;
    while (m_unread > 0) {
        const size_t from = m_ids.size();
        readOn(std::clamp(int(from), windows().first, largestWindow()));
        const auto it = std::find(m_ids.begin() + qsizetype(from), m_ids.end(), id);
        if (it != m_ids.end())
            return int(it - m_ids.begin());
    }
    return -1;
}

void RowSet::insert(int position, qint64 id)
{
    // The row is stored already: reading on up to the position must not
    // take it where the file sorts it.
    if (m_unread > 0)
        m_inserted.insert(id);
    if (position > 0 && size_t(position) > m_ids.size())
        readUpTo(position - 1);
    position = std::min(position, int(m_ids.size()));
    m_ids.insert(m_ids.begin() + position, id);
    clearPositions();
}

void RowSet::erase(int position)
{
    if (idAt(position) < 0)
        return;
    const qint64 id = m_ids[size_t(position)];
    m_ids.erase(m_ids.begin() + position);
    clearPositions();
    m_cache.erase(id);
    if (id == m_pinned)
        m_pinned = -1;
}

bool RowSet::stored(qint64 id)
{
    m_connection.beginRead();
    Statement& find = m_connection.cached(
        QStringLiteral("SELECT 1 FROM %1 WHERE rowid=?").arg(quotedName(m_definition.table)), m_definition.component);
    find.bind(1, id);
    const StatementReset resetting(find);
    return find.step();
}

int RowSet::placeAfterRead(qint64 id, int near)
{
    int position = positionOf(id);
    if (id != m_pinned) {
        m_pinned = -1;
    } else if (position < 0 && stored(id)) {
        position = qBound(0, near, count());
        insert(position, id);
        position = positionRead(id);
    }
    return position;
}

Row RowSet::row(int position)
{
    const int columns = int(m_definition.columns.size());
    if (position < 0 || position >= count())
        return Row(columns);
    const qint64 id = idAt(position);
    if (id < 0)
        return Row(columns);
    if (const Row* hit = m_cache.find(id))
        return *hit;
    if (m_cache.size() > kCacheLimit)
        m_cache.clear();

    // Walking and painting go row after row: read ahead then. A jump
    // (locate, a click far away) reads just the row asked for.
    const bool sequential = position == m_nextSequential;
    const int batch = sequential ? kBatch : 1;
    m_nextSequential = position + batch;
    QString marks = QStringLiteral("?");
    for (int i = 1; i < batch; ++i)
        marks += QStringLiteral(",?");
    m_connection.beginRead();
    Statement& select = m_connection.cached(QStringLiteral("SELECT %1 FROM %2 WHERE rowid IN (%3)")
                                                .arg(m_selectColumns, quotedName(m_definition.table), marks),
                                            m_definition.component);
    for (int i = 0; i < batch; ++i) {
        const size_t at = size_t(position + i);
        select.bind(i + 1, at < m_ids.size() ? QVariant(m_ids[at]) : QVariant(qint64(-1)));
    }
    {
        const StatementReset resetting(select);
        while (select.step())
            m_cache.put(select.columnInt64(0), Row::read(select, 1, columns));
    }
    const Row* read = m_cache.find(id);
    return read ? *read : Row(columns);
}

void RowSet::freeze()
{
    if (!m_stale && m_unread > 0)
        readRest();
    ++m_frozen;
}

void RowSet::thaw() noexcept
{
    if (m_frozen == 0 || --m_frozen > 0)
        return;
    if (m_missed) {
        m_missed = false;
        invalidate();
    }
}

void RowSet::rowMayHaveMoved()
{
    if (m_frozen)
        m_missed = true;
    else
        invalidate();
}

int RowSet::firstPositionWhere(const QString& condition, const QVariantList& values)
{
    QVariantList all;
    const QString where = whereWith(condition, all);
    all += values;
    // No ORDER BY: SQLite would walk the order's index; the first match in
    // the set's order is found among the matches by position instead.
    m_connection.beginRead();
    Statement& find = m_connection.cached(QStringLiteral("SELECT rowid FROM %1").arg(quotedName(m_definition.table)) +
                                              where,
                                          m_definition.component);
    find.bindAll(all);
    std::vector<qint64> matches;
    {
        const StatementReset resetting(find);
        while (find.step())
            matches.push_back(find.columnInt64(0));
    }
    int first = -1;
    for (const qint64 id : matches) {
        const int position = positionRead(id);
        if (position >= 0 && (first < 0 || position < first))
            first = position;
    }
    if (first >= 0 || matches.empty())
        return first;
    // None read yet: the first one the windows meet is the first in order.
    const std::unordered_set<qint64> wanted(matches.begin(), matches.end());
    while (m_unread > 0) {
        const size_t from = m_ids.size();
        readOn(std::clamp(int(from), windows().first, largestWindow()));
        for (size_t i = from; i < m_ids.size(); ++i)
            if (wanted.count(m_ids[i]))
                return int(i);
    }
    return -1;
}

QVariant RowSet::firstValueWhere(const QString& field, const QString& condition, const QVariantList& values)
{
    QVariantList all;
    const QString where = whereWith(condition, all);
    all += values;
    m_connection.beginRead();
    Statement& find = m_connection.cached(QStringLiteral("SELECT %1 FROM %2")
                                                  .arg(quotedName(field), quotedName(m_definition.table)) +
                                              where + QStringLiteral(" LIMIT 1"),
                                          m_definition.component);
    find.bindAll(all);
    const StatementReset resetting(find);
    return find.step() ? find.column(0) : QVariant();
}

void RowSet::readAll(const QStringList& fields, const std::function<void(const Statement& row)>& each)
{
    QStringList columns;
    for (const QString& field : fields)
        columns << quotedName(field);
    readAllSql(columns, each);
}

void RowSet::readAllSql(const QStringList& expressions, const std::function<void(const Statement& row)>& each)
{
    QVariantList values;
    // The same condition and order as the ids, so the rows come as the set shows them.
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2").arg(expressions.join(QLatin1Char(',')), quotedName(m_definition.table)) +
        whereClause(values) + orderClause();
    m_connection.beginRead();
    Statement& select = m_connection.cached(sql, m_definition.component);
    select.bindAll(values);
    const StatementReset resetting(select);
    while (select.step())
        each(select);
}

} // namespace db
