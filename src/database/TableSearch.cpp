#include "database/Table.h"

#include "database/Connection.h"
#include "database/SearchIndex.h"

// The catalogue's search beside its filter: both limit the rows shown.

namespace db {

CompiledFilter Table::shownCondition() const
{
    const CompiledFilter none;
    const CompiledFilter& filter = m_filtered ? m_compiled : none;
    if (m_search.sql.isEmpty())
        return filter;
    if (filter.sql.isEmpty())
        return m_search;
    return {QStringLiteral("(%1) AND (%2)").arg(filter.sql, m_search.sql), filter.params + m_search.params,
            filter.fields + m_search.fields};
}

void Table::setSearch(const QString& text)
{
    const CompiledFilter condition = search::searchCondition(text);
    if (!condition.sql.isEmpty()) {
        // The index holds the catalogue's rows under their rowids.
        if (m_tableName.compare(QLatin1String("SERVERSTRIPOTHEK"), Qt::CaseInsensitive) != 0)
            fail(QStringLiteral("Nur der Katalog lässt sich durchsuchen"));
        if (active() && !search::hasSearchIndex(m_connection.handle()))
            fail(QStringLiteral("Diese Sammlung hat noch keinen Suchindex, und er lässt sich nicht anlegen, weil sie "
                                "nur gelesen werden kann. Öffnen Sie sie einmal mit Schreibrecht; dann wird er angelegt"));
    }
    // The overview applies its filter and search together: an unchanged
    // search must not read the rows once more.
    if (condition.sql == m_search.sql && condition.params == m_search.params) {
        m_searchText = text;
        return;
    }
    if (active())
        checkBrowseMode();
    const qint64 keep = active() ? currentRowId() : -1;
    m_searchText = text;
    m_search = condition;
    defineRows();
    if (!active())
        return;
    // The row stored last stays only if the search finds it too.
    m_rowSet.unpin();
    resync(keep, true);
    if (keep < 0 || currentRowId() != keep)
        first();
    else
        m_eof = m_bof = false;
    emitDataSetChanged();
}

} // namespace db
