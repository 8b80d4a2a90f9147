#include "database/Connection.h"

#include "core/Errors.h"
#include "database/DataSet.h"

#include <sqlite3.h>

// Exclusive use and compaction: what packing and emptying need of the file.

namespace db {

namespace {
// Another program that has the database open does not let go by itself, so
// waiting long for it only delays the message.
constexpr int kExclusiveBusyTimeoutMs = 200;
} // namespace

void Connection::lockExclusive(const QString& component)
{
    if (m_exclusiveUsers > 0) {
        ++m_exclusiveUsers;
        return;
    }
    sqlite3* db = handle();
    if (m_inTransaction)
        throw EngineError(component, QStringLiteral("Exklusiver Zugriff ist während einer Transaktion nicht möglich"));
    endRead();
    // The program's own readers on other connections (a query's cursor and
    // count) would block the lock like any other program.
    for (DataSet* dataSet : m_dataSets)
        dataSet->releaseStatements();
    // In WAL mode every other connection keeps a lock on the database as long
    // as it has it open; with the exclusive locking mode the first write
    // transaction has to wait for all of them and then keeps the database to
    // itself until the mode is switched back.
    sqlite3_busy_timeout(db, kExclusiveBusyTimeoutMs);
    try {
        run(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
        run(QStringLiteral("BEGIN EXCLUSIVE"));
        run(QStringLiteral("COMMIT"));
    } catch (const EngineError& e) {
        try {
            if (sqlite3_get_autocommit(db) == 0)
                run(QStringLiteral("ROLLBACK"));
            run(QStringLiteral("PRAGMA locking_mode=NORMAL"));
        } catch (const Error&) {
        }
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        const int code = e.code() & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            throw EngineError(component,
                              QStringLiteral("Die Datenbank wird von einem anderen Programm benutzt; "
                                             "exklusiver Zugriff ist nicht möglich"),
                              e.code());
        throw EngineError(component, QStringLiteral("Exklusiver Zugriff ist nicht möglich: %1").arg(e.message()),
                          e.code());
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    m_exclusiveUsers = 1;
}

void Connection::unlockExclusive() noexcept
{
    if (m_exclusiveUsers == 0 || --m_exclusiveUsers > 0 || !m_db)
        return;
    // Back in the normal mode, the lock goes at the end of the next transaction.
    try {
        endRead();
        run(QStringLiteral("PRAGMA locking_mode=NORMAL"));
        if (!m_inTransaction && sqlite3_get_autocommit(m_db) != 0) {
            run(QStringLiteral("BEGIN IMMEDIATE"));
            run(QStringLiteral("COMMIT"));
        }
    } catch (const Error&) {
        // The lock then goes when the connection closes.
    }
}

void Connection::compact(const QString& component)
{
    const ExclusiveUse exclusive(*this, component);
    // VACUUM refuses to run while a statement of this connection is stepping.
    for (DataSet* dataSet : m_dataSets)
        dataSet->releaseStatements();
    endRead();
    {
        Statement vacuum(handle(), QStringLiteral("VACUUM"), component);
        vacuum.exec();
    }
    // In WAL mode the smaller file exists only in the log until it is copied
    // back; truncating the log afterwards gives its space back as well.
    {
        Statement checkpoint(handle(), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), component);
        checkpoint.exec();
    }
    // Row ids may change in a VACUUM: every data set reads its rows again.
    resyncAll();
}

} // namespace db
