#include "database/Table.h"

#include "database/Connection.h"
#include "database/Errors.h"
#include "database/GermanOrder.h"
#include "database/Statement.h"

#include <algorithm>
#include <cstring>

// What a table shows and where it stands: filter, order, master/detail link,
// locate and lookup. The row set itself is read in Table.cpp.

namespace db {

void Table::bindWhere(Statement& statement) const
{
    int next = 1;
    if (m_master && !m_orderFields.isEmpty()) {
        statement.bindUtf8(next++, m_linkUtf8);
        statement.bindUtf8(next++, m_linkUtf8);
    }
    if (m_filtered && !m_compiled.sql.isEmpty())
        for (const QVariant& value : m_compiled.params)
            statement.bind(next++, value);
}

void Table::setLinkValue(const QString& value)
{
    m_linkUtf8 = value.toUtf8();
}

void Table::setLinkUtf8(QByteArrayView value)
{
    // Into the old value's memory: a detail table takes a new value on every
    // move of the catalogue.
    m_linkUtf8.resize(value.size());
    if (!value.isEmpty())
        std::memcpy(m_linkUtf8.data(), value.data(), size_t(value.size()));
}

QString Table::whereClause(QVariantList& params) const
{
    QStringList conditions;
    if (m_master && !m_orderFields.isEmpty()) {
        const QString link = quoted(m_orderFields.first());
        conditions << QStringLiteral("%1 = ? COLLATE NOCASE AND %1 = ?").arg(link);
        const QString value = linkValue();
        params << value << value;
    }
    if (m_filtered && !m_compiled.sql.isEmpty()) {
        conditions << QLatin1Char('(') + m_compiled.sql + QLatin1Char(')');
        params << m_compiled.params;
    }
    return conditions.isEmpty() ? QString() : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
}

QString Table::orderClause() const
{
    QStringList terms;
    // Under a filter the order's index would make SQLite visit every row in
    // index order; sorting the few matches found through the filter's own
    // index or one pass over the table is several times faster.
    const bool sortMatches = m_filtered && !m_compiled.sql.isEmpty() && !m_master;
    // Names sort in the German order, by the very expression of their index.
    const bool names = m_nameIndexes.contains(m_indexName.toUpper());
    for (const QString& name : m_orderFields) {
        const Field* f = findField(name);
        QString term = quoted(name);
        if (f && (f->dataType() == FieldType::Text || f->dataType() == FieldType::Memo))
            term = names ? germanKeySql(term) : term + QStringLiteral(" COLLATE NOCASE");
        terms << (sortMatches && terms.isEmpty() ? QStringLiteral("+") : QString()) + term;
    }
    terms << QStringLiteral("rowid");
    return QStringLiteral(" ORDER BY ") + terms.join(QLatin1Char(','));
}

void Table::setFilter(const QString& expression)
{
    CompiledFilter compiled;
    if (active()) {
        try {
            compiled = compileFilter(expression, [this](const QString& n) { return findField(n); });
        } catch (const Error& e) {
            fail(QStringLiteral("Ungültiger Filterausdruck „%1“: %2").arg(abbreviatedExpression(expression), e.message()));
        }
    }
    if (active() && m_filtered)
        checkBrowseMode();
    m_filterText = expression;
    m_compiled = compiled;
    m_rowsSql.clear();
    if (active() && m_filtered) {
        resync(-1);
        first();
        emitDataSetChanged();
    }
}

void Table::setFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    if (active())
        checkBrowseMode();
    m_filtered = filtered;
    m_rowsSql.clear();
    if (active()) {
        resync(-1);
        first();
        emitDataSetChanged();
    }
}

QStringList Table::indexNames() const
{
    return m_indexes.keys();
}

QStringList Table::indexFields(const QString& indexName) const
{
    return m_indexes.value(indexName.toUpper());
}

void Table::setIndexName(const QString& indexName)
{
    QStringList fields;
    if (active() && !indexName.isEmpty()) {
        const auto it = m_indexes.constFind(indexName.toUpper());
        if (it == m_indexes.constEnd())
            fail(QStringLiteral("Index '%1' nicht gefunden").arg(indexName));
        fields = *it;
    }
    if (active())
        checkBrowseMode();
    // Opening the tables names the order they already have; the rows are in it.
    if (active() && !m_stale && fields == m_orderFields &&
        indexName.compare(m_indexName, Qt::CaseInsensitive) == 0)
        return;
    const qint64 keep = active() ? currentRowId() : -1;
    m_indexName = indexName;
    m_orderFields = fields;
    m_rowsSql.clear();
    if (active()) {
        resync(keep);
        emitDataSetChanged();
    }
}

void Table::setIndexFieldNames(const QString& fieldNames)
{
    const QStringList fields = fieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (active()) {
        for (const QString& f : fields)
            fieldByName(f.trimmed());
        checkBrowseMode();
    }
    const qint64 keep = active() ? currentRowId() : -1;
    m_indexName.clear();
    m_orderFields.clear();
    m_rowsSql.clear();
    for (const QString& f : fields)
        m_orderFields << f.trimmed();
    if (active()) {
        resync(keep);
        emitDataSetChanged();
    }
}

void Table::setMasterSource(DataSource* master, const QString& masterField)
{
    for (const auto& c : std::as_const(m_masterConnections))
        disconnect(c);
    m_masterConnections.clear();
    m_master = master;
    m_masterField = masterField;
    m_masterKeyIndex = -1;
    m_masterKeyVersion = 0;
    m_rowsSql.clear();
    if (!master)
        return;
    m_masterConnections << connect(master->dataSet(), &DataSet::scrolled, this, &Table::followMaster);
    m_masterConnections << connect(master->dataSet(), &DataSet::dataSetChanged, this, &Table::followMaster);
    if (active())
        refresh();
}

void Table::followMaster()
{
    if (!active() || !m_master)
        return;
    DataSet* master = m_master->dataSet();
    if (!master->active()) {
        // The master closes (the tables are being closed): drop a pending
        // row instead of storing it, and read nothing from the file.
        m_state = DataSetState::Browse;
        m_modified = false;
        m_insertPos = -1;
        setLinkValue(QString());
        m_rows.clear();
        clearPositions();
        m_cache.clear();
        m_cur = -1;
        m_buffer = Row(fieldCount());
        m_bof = m_eof = true;
        m_stale = false;
        emitStateChanged();
        emitDataSetChanged();
        return;
    }
    // Every move of the catalogue comes here once per detail table: a key
    // read from the file is compared and bound as the UTF-8 it is stored in,
    // without a Qt string there and back.
    const Field* key = masterKey(*master);
    const bool text = key && (key->dataType() == FieldType::Text || key->dataType() == FieldType::Memo);
    const std::optional<QByteArrayView> stored = text ? master->currentStoredText(key->index()) : std::nullopt;
    const QByteArray converted = stored ? QByteArray() : key ? key->asString().toUtf8() : QByteArray();
    const QByteArrayView value = stored ? *stored : QByteArrayView(converted);
    if (!m_stale && value.size() == m_linkUtf8.size() &&
        std::memcmp(value.data(), m_linkUtf8.constData(), size_t(value.size())) == 0)
        return;
    if (isEditing()) {
        // Storing the pending row may change the master's row the value points into.
        const QByteArray kept = value.toByteArray();
        checkBrowseMode();
        setLinkUtf8(kept);
    } else {
        setLinkUtf8(value);
    }
    m_cur = -1; // the new comic's rows start at their first, which resync loads
    invalidate(); // should the reading fail, the next use tries again
    resync(-1);
    m_bof = true;
    m_eof = m_rows.empty();
    emitDataSetChanged();
}

const Field* Table::masterKey(const DataSet& master)
{
    // Looked up by name once per set of fields, not on every move.
    if (m_masterKeyVersion == master.fieldsVersion() && m_masterKeyIndex >= 0)
        return &master.field(m_masterKeyIndex);
    const Field* key = master.findField(m_masterField);
    m_masterKeyIndex = key ? key->index() : -1;
    m_masterKeyVersion = master.fieldsVersion();
    return key;
}

bool Table::locate(const QString& fieldName, const QVariant& value, LocateOptions options)
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    const Field& f = fieldByName(fieldName);
    const QString col = quoted(f.fieldName());
    QVariantList params;
    QString condition;
    if (f.isNumeric()) {
        const QVariant v = f.normalized(value);
        if (v.isNull())
            return false;
        condition = col + QStringLiteral(" = ?");
        params << v;
    } else {
        const QString text = value.toString();
        const bool ascii = isAscii(text);
        const QString lhs = ascii ? col : QStringLiteral("stfold(%1)").arg(col);
        const QString folded = ascii ? text : text.toCaseFolded();
        if (options & LocatePartialKey) {
            if (options & LocateCaseInsensitive) {
                condition = lhs + QStringLiteral(" LIKE ? ESCAPE '\\'");
                params << escapeLike(folded) + QLatin1Char('%');
            } else {
                condition = QStringLiteral("substr(%1, 1, ?) = ?").arg(col);
                params << int(text.size()) << text;
            }
        } else if (text.isEmpty()) {
            condition = QStringLiteral("IFNULL(%1, '') = ''").arg(col);
        } else if (options & LocateCaseInsensitive) {
            condition = ascii ? col + QStringLiteral(" = ? COLLATE NOCASE") : lhs + QStringLiteral(" = ?");
            params << folded;
        } else {
            condition = QStringLiteral("%1 = ? COLLATE NOCASE AND %1 = ?").arg(col);
            params << text << text;
        }
    }
    QVariantList rest;
    QString where = whereClause(rest);
    where = where.isEmpty() ? QStringLiteral(" WHERE ") + condition : where + QStringLiteral(" AND ") + condition;
    params = rest + params;
    // No ORDER BY: SQLite would walk the order's index; the first match in
    // the table's order is found among the matches by position instead.
    m_connection.beginRead();
    Statement& find = m_connection.cached(QStringLiteral("SELECT rowid FROM %1").arg(quoted(m_tableName)) + where,
                                          name());
    find.bindAll(params);
    std::vector<qint64> matches;
    {
        const StatementReset resetting(find);
        while (find.step())
            matches.push_back(find.columnInt64(0));
    }
    int pos = -1;
    for (const qint64 id : matches) {
        const int p = positionOf(id);
        if (p >= 0 && (pos < 0 || p < pos))
            pos = p;
    }
    if (pos < 0)
        return false;
    m_eof = m_bof = false;
    placeAt(pos);
    return true;
}

QVariant Table::lookup(const QString& keyField, const QVariant& keyValue, const QString& resultField) const
{
    if (!active())
        return {};
    const QString key = keyValue.toString();
    if (key.isEmpty())
        return {};
    const Field* k = findField(keyField);
    const Field* r = findField(resultField);
    if (!k || !r)
        return {};
    QVariantList params;
    QString where = whereClause(params);
    const QString condition = QStringLiteral("%1 = ? COLLATE NOCASE AND %1 = ?").arg(quoted(k->fieldName()));
    where = where.isEmpty() ? QStringLiteral(" WHERE ") + condition : where + QStringLiteral(" AND ") + condition;
    params << key << key;
    m_connection.beginRead();
    Statement& find = m_connection.cached(QStringLiteral("SELECT %1 FROM %2").arg(quoted(r->fieldName()), quoted(m_tableName)) +
                                              where + QStringLiteral(" LIMIT 1"),
                                          name());
    find.bindAll(params);
    QVariant result;
    {
        const StatementReset resetting(find);
        if (find.step())
            result = find.column(0);
    }
    return result;
}

void Table::readShown(const QStringList& fieldNames, const std::function<void(const Statement& row)>& each) const
{
    checkActive();
    QStringList columns;
    for (const QString& name : fieldNames)
        columns << quoted(fieldByName(name).fieldName());
    readShownSql(columns, each);
}

void Table::readShownSql(const QStringList& expressions, const std::function<void(const Statement& row)>& each) const
{
    checkActive();
    QVariantList params;
    // The same condition and order as the row set, so the rows come as the table shows them.
    const QString sql = QStringLiteral("SELECT %1 FROM %2").arg(expressions.join(QLatin1Char(',')), quoted(m_tableName)) +
                        whereClause(params) + orderClause();
    m_connection.beginRead();
    Statement& select = m_connection.cached(sql, name());
    select.bindAll(params);
    {
        const StatementReset resetting(select);
        while (select.step())
            each(select);
    }
}

} // namespace db
