#include "database/Table.h"

#include "database/Connection.h"
#include "database/Statement.h"

// Exclusive use of a table, the frozen row set of long walks, and saving
// only the fields a post changed.

namespace db {

void Table::acquireExclusiveUse()
{
    if (!m_exclusive || m_holdsExclusive)
        return;
    m_connection.lockExclusive(name());
    m_holdsExclusive = true;
}

void Table::releaseExclusiveUse() noexcept
{
    if (!m_holdsExclusive)
        return;
    m_holdsExclusive = false;
    m_connection.unlockExclusive();
}

void Table::updateChangedFields(const QVariantList& after)
{
    // Writing only the fields whose stored value differs spares SQLite the
    // indexes of the others: a walk that saves every entry (the ISBN check)
    // then costs little more than reading it. The stored row is read afresh,
    // not taken from the cache, which may be older than the file: the row
    // ends exactly as a write of every field would leave it.
    Statement& read = m_connection.cached(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid=?").arg(m_selectColumns, quoted(m_tableName)), name());
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
        sets << quoted(m_fields[size_t(i)]->fieldName()) + QStringLiteral("=?");
        values << now;
    }
    if (sets.isEmpty())
        return;
    values << m_editRowId;
    Statement& update = m_connection.cached(
        QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?").arg(quoted(m_tableName), sets.join(QLatin1Char(','))), name());
    update.bindAll(values);
    update.exec();
}

void Table::thawRowSet() noexcept
{
    if (m_rowSetFrozen == 0 || --m_rowSetFrozen > 0)
        return;
    if (m_rowSetMissed) {
        m_rowSetMissed = false;
        invalidate();
    }
}

} // namespace db
