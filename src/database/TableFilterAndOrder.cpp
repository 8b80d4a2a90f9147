#include "database/Table.h"

#include "core/Errors.h"
#include "database/Connection.h"
#include "database/GermanOrder.h"

// Which rows a table shows and in what order: its filter and its index.

namespace db {

void Table::setFilter(const QString& expression)
{
    CompiledFilter compiled;
    if (active()) {
        try {
            compiled = compileFilter(expression, [this](const QString& n) { return findField(n); },
                                     [this](const QString& n) { return germanKeyColumnIn(m_connection.handle(), n); });
        } catch (const Error& e) {
            fail(QStringLiteral("Ungültiger Filterausdruck „%1“: %2").arg(abbreviatedExpression(expression), e.message()));
        }
    }
    if (active() && m_filtered)
        checkBrowseMode();
    m_filterText = expression;
    m_compiled = compiled;
    defineRows();
    if (active() && m_filtered) {
        resync(-1, true);
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
    defineRows();
    if (active()) {
        resync(-1, true);
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

void Table::setIndexName(const QString& indexName, bool keepRow)
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
    if (active() && !m_rowSet.stale() && fields == m_orderFields &&
        indexName.compare(m_indexName, Qt::CaseInsensitive) == 0)
        return;
    const qint64 keep = active() && keepRow ? currentRowId() : -1;
    m_indexName = indexName;
    m_orderFields = fields;
    defineRows();
    if (active()) {
        resync(keep, !keepRow);
        if (!keepRow)
            first();
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
    defineRows();
    for (const QString& f : fields)
        m_orderFields << f.trimmed();
    if (active()) {
        resync(keep);
        emitDataSetChanged();
    }
}

} // namespace db
