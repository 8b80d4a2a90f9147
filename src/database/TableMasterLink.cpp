#include "database/Table.h"

#include <cstring>

// The detail side of a master/detail link: a table that shows the rows of
// its master's current row and follows it as it moves.

namespace db {

void Table::setMasterSource(DataSource* master, const QString& masterField)
{
    for (const auto& c : std::as_const(m_masterConnections))
        disconnect(c);
    m_masterConnections.clear();
    m_master = master;
    m_masterField = masterField;
    m_masterKeyIndex = -1;
    m_masterKeyVersion = 0;
    defineRows();
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
        m_rowSet.setLinkValue({});
        m_rowSet.clear();
        m_cur = -1;
        m_buffer = Row(fieldCount());
        m_bof = m_eof = true;
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
    // An empty key may come without any memory (a null view), and memcmp
    // with a null pointer is undefined even for no bytes at all.
    const QByteArrayView linked = m_rowSet.linkValue();
    if (!m_rowSet.stale() && value.size() == linked.size() &&
        (value.isEmpty() || std::memcmp(value.data(), linked.data(), size_t(value.size())) == 0))
        return;
    if (isEditing()) {
        // Storing the pending row may change the master's row the value points into.
        const QByteArray kept = value.toByteArray();
        checkBrowseMode();
        m_rowSet.setLinkValue(kept);
    } else {
        m_rowSet.setLinkValue(value);
    }
    m_cur = -1; // the new comic's rows start at their first, which resync loads
    m_rowSet.invalidate(); // should the reading fail, the next use tries again
    resync(-1);
    m_bof = true;
    m_eof = m_rowSet.count() == 0;
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

} // namespace db
