#include "database/RowSet.h"

#include "database/Connection.h"
#include "database/GermanOrder.h"
#include "database/Statement.h"

#include <algorithm>

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

QString RowSet::orderClause() const
{
    QStringList terms;
    // Under a filter the order's index would make SQLite visit every row in
    // index order; sorting the few matches found through the filter's own
    // index or one pass over the table is several times faster.
    const bool sortMatches = filtered() && !m_definition.detail;
    for (const OrderKey& key : m_definition.order) {
        QString term = quotedName(key.field);
        if (key.text)
            term = m_definition.germanNames ? germanKeySql(m_connection.handle(), key.field)
                                             : term + QStringLiteral(" COLLATE NOCASE");
        terms << (sortMatches && terms.isEmpty() ? QStringLiteral("+") : QString()) + term;
    }
    terms << QStringLiteral("rowid");
    return QStringLiteral(" ORDER BY ") + terms.join(QLatin1Char(','));
}

void RowSet::read()
{
    // A detail set holds the few rows of one comic: they are read whole at
    // once instead of ids first and rows after.
    const bool wholeRows = m_definition.detail;
    // Detail sets run this on every move of the catalogue: the text is
    // built once per definition, only the values change.
    if (m_idsSql.isEmpty()) {
        m_idsStatement = nullptr;
        QVariantList unused;
        m_idsSql = QStringLiteral("SELECT %1 FROM %2").arg(wholeRows ? m_selectColumns : QStringLiteral("rowid"),
                                                           quotedName(m_definition.table)) +
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
    std::vector<qint64> ids = wholeRows ? std::move(m_spareIds) : std::vector<qint64>();
    ids.clear();
    ids.reserve(wholeRows ? 8 : m_ids.size());
    m_cache.clear();
    const int columns = int(m_definition.columns.size());
    {
        const StatementReset resetting(select);
        while (select.step()) {
            const qint64 id = select.columnInt64(0);
            ids.push_back(id);
            if (wholeRows && m_cache.size() < kCacheLimit)
                m_cache.put(id, Row::read(select, 1, columns));
        }
    }
    m_ids.swap(ids);
    if (wholeRows)
        m_spareIds = std::move(ids);
    clearPositions();
    m_stale = false;
}

void RowSet::clear()
{
    m_ids.clear();
    clearPositions();
    m_cache.clear();
    m_pinned = -1;
    m_stale = false;
}

int RowSet::positionOf(qint64 id)
{
    // One scan of the ids is cheaper than building the map, until lookups repeat.
    if (m_positions.empty() && ++m_linearLookups <= 4) {
        const auto it = std::find(m_ids.begin(), m_ids.end(), id);
        return it == m_ids.end() ? -1 : int(it - m_ids.begin());
    }
    if (m_positions.empty() && !m_ids.empty()) {
        m_positions.reserve(m_ids.size());
        for (size_t i = 0; i < m_ids.size(); ++i)
            m_positions.emplace(m_ids[i], int(i));
    }
    const auto it = m_positions.find(id);
    return it == m_positions.end() ? -1 : it->second;
}

void RowSet::insert(int position, qint64 id)
{
    m_ids.insert(m_ids.begin() + position, id);
    clearPositions();
}

void RowSet::erase(int position)
{
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
    }
    return position;
}

Row RowSet::row(int position)
{
    const int columns = int(m_definition.columns.size());
    if (position < 0 || position >= count())
        return Row(columns);
    const qint64 id = m_ids[size_t(position)];
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
    QString where = whereClause(all);
    where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + condition;
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
        const int position = positionOf(id);
        if (position >= 0 && (first < 0 || position < first))
            first = position;
    }
    return first;
}

QVariant RowSet::firstValueWhere(const QString& field, const QString& condition, const QVariantList& values)
{
    QVariantList all;
    QString where = whereClause(all);
    where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + condition;
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
