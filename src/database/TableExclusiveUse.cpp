#include "database/Table.h"

#include "database/Connection.h"
#include "database/Statement.h"

// A table opened for exclusive use holds the whole database while it is
// open; packing and emptying need it.

namespace db {

void Table::setExclusive(bool exclusive)
{
    if (active())
        fail(QStringLiteral("Nicht möglich bei geöffneter Datenmenge"));
    m_exclusive = exclusive;
}

void Table::pack()
{
    checkActive();
    if (!m_exclusive)
        fail(QStringLiteral("Die Tabelle ist nicht exklusiv geöffnet"));
    checkBrowseMode();
    // SQLite keeps every index exact on each write: there is nothing to
    // rebuild per table. The space of deleted rows comes back when the
    // whole file is rewritten (Connection::compact), which also writes the
    // indexes anew; doing both would build every index twice.
    refresh();
}

void Table::emptyTable()
{
    checkActive();
    if (!m_exclusive)
        fail(QStringLiteral("Die Tabelle ist nicht exklusiv geöffnet"));
    cancel();
    m_connection.execute(QStringLiteral("DELETE FROM %1").arg(quotedName(m_tableName)));
    refresh();
}

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

} // namespace db
