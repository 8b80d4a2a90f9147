#include "database/Table.h"

#include "database/Connection.h"
#include "database/Statement.h"

#include <sqlite3.h>

// Editing a table: the edit and insert states, posting, cancelling, deleting.

namespace db {

void Table::setCurrentValue(int fieldIndex, const QVariant& value)
{
    checkActive();
    if (!isEditing())
        fail(QStringLiteral("Datenmenge ist nicht im Editier- oder Einfügemodus"));
    if (fieldIndex < 0 || fieldIndex >= m_buffer.size())
        return;
    m_buffer.setValue(fieldIndex, value);
    m_modified = true;
    emitFieldChanged(fieldIndex);
}

void Table::startInsert(int position)
{
    if (beforeInsert)
        beforeInsert(*this);
    m_curBeforeInsert = m_cur;
    m_insertPos = position;
    m_cur = position;
    m_buffer = Row(fieldCount());
    if (m_master && !m_orderFields.isEmpty())
        if (Field* link = findField(m_orderFields.first()))
            m_buffer.setValue(link->index(), QString::fromUtf8(m_rowSet.linkValue()));
    m_eof = m_bof = false;
    setState(DataSetState::Insert);
    emitDataSetChanged();
}

void Table::append()
{
    checkActive();
    checkBrowseMode();
    // A stale row list is not sorted again here: the new row goes to its end.
    startInsert(m_rowSet.count());
}

void Table::insert()
{
    checkActive();
    checkBrowseMode();
    ensureRows();
    startInsert(qMax(0, m_cur));
}

void Table::edit()
{
    checkActive();
    if (isEditing())
        return;
    ensureRows();
    if (m_rowSet.count() == 0) {
        append();
        return;
    }
    m_editRowId = m_rowSet.idAt(m_cur);
    setState(DataSetState::Edit);
}

bool Table::touchesRowSet(const Row& before) const
{
    QStringList watched = m_orderFields;
    watched << shownCondition().fields;
    for (const QString& name : watched) {
        const Field* f = findField(name);
        if (f && before.value(f->index()) != m_buffer.value(f->index()))
            return true;
    }
    return false;
}

void Table::post()
{
    checkActive();
    if (!isEditing())
        return;
    updateRecord();
    if (beforePost)
        beforePost(*this);
    if (!isEditing()) // the handler may have cancelled
        return;
    QVariantList values;
    values.reserve(fieldCount());
    for (int i = 0; i < fieldCount(); ++i)
        values << m_buffer.value(i);

    qint64 posted = -1;
    if (m_state == DataSetState::Insert) {
        m_connection.endRead();
        Statement& insert = m_connection.cached(m_insertSql, name());
        insert.bindAll(values);
        insert.exec();
        const qint64 id = sqlite3_last_insert_rowid(m_connection.handle());
        posted = id;
        const int pos = qBound(0, m_insertPos, m_rowSet.count());
        const bool atEnd = pos == m_rowSet.count();
        m_rowSet.insert(pos, id);
        m_cur = pos;
        m_insertPos = -1;
        if (!(atEnd && m_orderFields.isEmpty() && shownCondition().sql.isEmpty()))
            m_rowSet.invalidate();
    } else {
        // Read before the write: a read here would open a read transaction
        // again, and the UPDATE inside it would stay uncommitted until the
        // event loop turns.
        const Row before = fetchRow(m_cur);
        m_connection.endRead();
        updateChangedFields(values);
        posted = m_editRowId;
        if (touchesRowSet(before))
            m_rowSet.rowMayHaveMoved();
    }
    m_rowSet.forget(posted);
    m_rowSet.pin(posted);
    setState(DataSetState::Browse);
    if (afterPost)
        afterPost(*this);
    emitDataSetChanged();
}

void Table::updateChangedFields(const QVariantList& after)
{
    // Writing only the fields whose stored value differs spares SQLite the
    // indexes of the others: a walk that saves every entry (the ISBN check)
    // then costs little more than reading it. The stored row is read afresh,
    // not taken from the cache, which may be older than the file: the row
    // ends exactly as a write of every field would leave it.
    Statement& read = m_connection.cached(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?").arg(m_selectColumns, quotedName(m_tableName)), name());
    read.bind(1, m_editRowId);
    QVariantList stored;
    {
        const StatementReset resetting(read);
        if (read.step())
            for (int i = 0; i < fieldCount(); ++i)
                stored << read.column(i + 1);
    }
    if (stored.isEmpty())
        return; // deleted meanwhile: an UPDATE would change nothing either
    QStringList sets;
    QVariantList values;
    for (int i = 0; i < fieldCount(); ++i) {
        const QVariant& was = stored.at(i);
        const QVariant& now = after.value(i);
        // QVariant finds "5" equal to 5; text stays text and numbers numbers.
        const bool sameKind = was.isNull() == now.isNull() &&
                              (was.typeId() == QMetaType::QString) == (now.typeId() == QMetaType::QString);
        if (sameKind && (was.isNull() || was == now))
            continue;
        sets << quotedName(m_fields[size_t(i)]->fieldName()) + QStringLiteral("=?");
        values << now;
    }
    if (sets.isEmpty())
        return;
    values << m_editRowId;
    Statement& update = m_connection.cached(
        QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(quotedName(m_tableName), sets.join(QLatin1Char(','))), name());
    update.bindAll(values);
    update.exec();
}

void Table::cancel()
{
    if (!isEditing())
        return;
    if (m_state == DataSetState::Insert) {
        m_insertPos = -1;
        const int n = m_rowSet.count();
        m_cur = qBound(-1, m_curBeforeInsert, n - 1);
        if (m_cur < 0 && n > 0)
            m_cur = 0;
    }
    setState(DataSetState::Browse);
    ensureRows();
    loadCurrent();
    emitDataSetChanged();
}

void Table::checkBrowseMode()
{
    if (!isEditing())
        return;
    updateRecord();
    if (m_modified)
        post();
    else
        cancel();
}

void Table::deleteRecord()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    ensureRows();
    if (m_rowSet.count() == 0)
        fail(QStringLiteral("Operation bei leerer Datenmenge nicht ausführbar"));
    if (m_state == DataSetState::Edit)
        cancel();
    if (beforeDelete)
        beforeDelete(*this);
    const qint64 id = m_rowSet.idAt(m_cur);
    m_connection.endRead();
    Statement& remove =
        m_connection.cached(QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(quotedName(m_tableName)), name());
    remove.bind(1, id);
    remove.exec();
    m_rowSet.erase(m_cur);
    const int n = m_rowSet.count();
    if (m_cur >= n)
        m_cur = n - 1;
    m_eof = m_bof = n == 0;
    loadCurrent();
    emitDataSetChanged();
}

} // namespace db
