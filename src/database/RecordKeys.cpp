#include "database/RecordKeys.h"

#include "database/Connection.h"
#include "database/Errors.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <cmath>
#include <limits>

namespace db {

QString drawRecordKey(Table& keyGen)
{
    keyGen.checkActive();
    keyGen.checkBrowseMode();
    Connection& connection = keyGen.connection();
    const QString table = QLatin1Char('"') + keyGen.tableName() + QLatin1Char('"');
    const bool ownTransaction = !connection.inTransaction();
    if (ownTransaction)
        connection.execute(QStringLiteral("BEGIN IMMEDIATE"));
    QString key;
    try {
        // The counter row is the table's current row; another program may
        // have moved the number on since we last read it, so read it inside
        // the write lock.
        qint64 rowId = keyGen.currentRowId();
        QString prefix;
        double last = 0;
        bool found = false;
        if (rowId >= 0) {
            Statement read(connection.handle(),
                           QStringLiteral("SELECT KGDBID, KGNEXTID FROM %1 WHERE rowid = ?").arg(table),
                           keyGen.name());
            read.bind(1, rowId);
            if (read.step()) {
                found = true;
                prefix = read.column(0).toString();
                last = read.column(1).toDouble();
            }
        }
        if (!found) {
            Statement any(connection.handle(),
                          QStringLiteral("SELECT rowid, KGDBID, KGNEXTID FROM %1 ORDER BY rowid LIMIT 1").arg(table),
                          keyGen.name());
            if (any.step()) {
                found = true;
                rowId = any.columnInt64(0);
                prefix = any.column(1).toString();
                last = any.column(2).toDouble();
            }
        }
        const qint64 current = qint64(std::llround(last));
        if (current >= std::numeric_limits<qint32>::max())
            throw EngineError(keyGen.name(),
                              QStringLiteral("Der Schlüsselzähler hat seinen höchsten Wert (%1) erreicht; "
                                             "es können keine neuen Datensätze angelegt werden")
                                  .arg(std::numeric_limits<qint32>::max()));
        const qint64 next = current + 1;
        if (found) {
            Statement write(connection.handle(),
                            QStringLiteral("UPDATE %1 SET KGNEXTID = ? WHERE rowid = ?").arg(table), keyGen.name());
            write.bind(1, double(next));
            write.bind(2, rowId);
            write.exec();
        } else {
            Statement write(connection.handle(),
                            QStringLiteral("INSERT INTO %1 (KGDBID, KGNEXTID) VALUES (NULL, ?)").arg(table),
                            keyGen.name());
            write.bind(1, double(next));
            write.exec();
        }
        if (ownTransaction)
            connection.execute(QStringLiteral("COMMIT"));
        key = prefix + QString::number(next);
    } catch (...) {
        if (ownTransaction)
            connection.execute(QStringLiteral("ROLLBACK"));
        throw;
    }
    keyGen.refresh();
    return key;
}

} // namespace db
