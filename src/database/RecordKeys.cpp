#include "database/RecordKeys.h"

#include "core/Errors.h"
#include "database/Connection.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <limits>

namespace db {

KeyCounter::KeyCounter(sqlite3* db, qint64 rowId, const QString& component, const QString& table)
    : m_db(db), m_component(component), m_table(QLatin1Char('"') + table + QLatin1Char('"'))
{
    read(rowId);
}

KeyCounter::KeyCounter(Connection& connection, qint64 rowId, const QString& component, const QString& table)
    : m_db(connection.handle()), m_connection(&connection), m_component(component),
      m_table(QLatin1Char('"') + table + QLatin1Char('"'))
{
    read(rowId);
}

Statement& KeyCounter::statement(const QString& sql, std::optional<Statement>& own) const
{
    if (m_connection)
        return m_connection->cached(sql, m_component);
    return own.emplace(m_db, sql, m_component);
}

void KeyCounter::read(qint64 rowId)
{
    bool found = false;
    std::optional<Statement> own;
    if (rowId >= 0) {
        Statement& read =
            statement(QStringLiteral("SELECT rowid, KGDBID, KGNEXTID FROM %1 WHERE rowid = ?").arg(m_table), own);
        const StatementReset resetting(read);
        read.bindInt64(1, rowId);
        found = read.step();
        if (found) {
            m_rowid = read.columnInt64(0);
            m_prefix = read.column(1).toString();
            m_last = qRound64(read.column(2).toDouble());
        }
    }
    if (!found) {
        Statement& any =
            statement(QStringLiteral("SELECT rowid, KGDBID, KGNEXTID FROM %1 ORDER BY rowid LIMIT 1").arg(m_table), own);
        const StatementReset resetting(any);
        found = any.step();
        if (found) {
            m_rowid = any.columnInt64(0);
            m_prefix = any.column(1).toString();
            m_last = qRound64(any.column(2).toDouble());
        }
    }
    if (found)
        return;
    Statement insert(m_db, QStringLiteral("INSERT INTO %1 (KGDBID, KGNEXTID) VALUES (NULL, 0)").arg(m_table),
                     m_component);
    insert.exec();
    Statement id(m_db, QStringLiteral("SELECT last_insert_rowid()"), m_component);
    id.step();
    m_rowid = id.columnInt64(0);
}

QString KeyCounter::next()
{
    if (m_last >= std::numeric_limits<qint32>::max())
        throw EngineError(m_component,
                          QStringLiteral("Der Schlüsselzähler hat seinen höchsten Wert (%1) erreicht; "
                                         "es können keine neuen Datensätze angelegt werden")
                              .arg(std::numeric_limits<qint32>::max()));
    ++m_last;
    return m_prefix + QString::number(m_last);
}

void KeyCounter::save()
{
    std::optional<Statement> own;
    Statement& write = statement(QStringLiteral("UPDATE %1 SET KGNEXTID = ? WHERE rowid = ?").arg(m_table), own);
    write.bindDouble(1, double(m_last));
    write.bindInt64(2, m_rowid);
    write.exec();
}

namespace {
// Needs a write transaction open on the key table's connection.
QString drawInTransaction(Table& keyGen)
{
    keyGen.checkActive();
    keyGen.checkBrowseMode();
    // The counter row is the table's current row; another program may have
    // moved the number on since we last read it, so it is read inside the
    // write lock that this transaction holds.
    KeyCounter counter(keyGen.connection(), keyGen.currentRowId(), keyGen.name(), keyGen.tableName());
    const QString key = counter.next();
    counter.save();
    keyGen.refresh();
    return key;
}
} // namespace

QString Transaction::drawRecordKey(Table& keyGen)
{
    if (&keyGen.connection() != &m_connection)
        throw EngineError(keyGen.name(), QStringLiteral("Die Schlüsseltabelle gehört zu einer anderen Verbindung"));
    return drawInTransaction(keyGen);
}

QString drawRecordKey(Table& keyGen)
{
    keyGen.checkActive();
    Connection& connection = keyGen.connection();
    if (connection.inTransaction()) // the caller's commit uses the key up
        return drawInTransaction(keyGen);
    keyGen.checkBrowseMode();
    Transaction transaction(connection);
    const QString key = transaction.drawRecordKey(keyGen);
    transaction.commit();
    return key;
}

} // namespace db
