#include "database/Table.h"

#include "database/Connection.h"

// Exclusive use of a table and the frozen row set of long walks.

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
