#include "database/SqliteFailureText.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

namespace db {

static_assert(EngineError::kCorrupt == SQLITE_CORRUPT && EngineError::kNotADatabase == SQLITE_NOTADB);

QString sqliteFailureText(int rc, const QString& sqliteText, const QString& file)
{
    const QString shown = QDir::toNativeSeparators(file);
    const QString folder = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
    // SQLite keeps its journal beside the file: without a writable folder
    // even a sound, writable file cannot be opened or changed.
    const bool folderReadOnly = !file.isEmpty() && !QFileInfo(QFileInfo(file).absolutePath()).isWritable();
    const QString folderText =
        QStringLiteral("Der Ordner „%1“ ist schreibgeschützt. Die Datenbank braucht ihn zum Schreiben für ihre "
                       "Hilfsdateien (stripothek.db-wal, stripothek.db-shm); geben Sie ihn zum Schreiben frei")
            .arg(folder);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("Die Datenbank „%1“ wird von einem anderen Programm benutzt. Schließen Sie das andere "
                              "Programm und versuchen Sie es noch einmal")
            .arg(shown);
    case SQLITE_READONLY:
        if (rc == SQLITE_READONLY_DIRECTORY || folderReadOnly)
            return folderText;
        return QStringLiteral("Die Datenbankdatei „%1“ ist schreibgeschützt; die Änderung wurde nicht gespeichert")
            .arg(shown);
    case SQLITE_CANTOPEN:
        if (folderReadOnly)
            return folderText;
        return QStringLiteral("Die Datenbankdatei „%1“ lässt sich nicht öffnen: Es fehlen die Rechte für die Datei "
                              "oder ihren Ordner, oder der Datenträger ist nicht erreichbar")
            .arg(shown);
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("Der Zugriff auf die Datenbankdatei „%1“ wurde verweigert").arg(shown);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("Die Datenbankdatei „%1“ ist beschädigt. Prüfen lässt sie sich mit: sqlite3 \"%1\" "
                              "\"PRAGMA integrity_check\". Stellen Sie die Sammlung aus einer Sicherungskopie des "
                              "Ordners „database“ oder aus einem Export wieder her")
            .arg(shown);
    case SQLITE_IOERR:
        return QStringLiteral("Lese- oder Schreibfehler bei der Datenbankdatei „%1“: Der Datenträger ist nicht "
                              "erreichbar oder defekt; die Änderung wurde nicht gespeichert")
            .arg(shown);
    case SQLITE_FULL:
        return QStringLiteral("Der Datenträger der Datenbank „%1“ ist voll; die Änderung wurde nicht gespeichert. "
                              "Schaffen Sie Platz und speichern Sie noch einmal")
            .arg(shown);
    case SQLITE_NOMEM:
        return QStringLiteral("Nicht genug Arbeitsspeicher für die Datenbank");
    case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_COMMITHOOK)
            return QStringLiteral("Die Datenbank hat das Speichern abgelehnt; es wurde nichts geändert");
        return QStringLiteral("Die Datenbank hat die Änderung abgelehnt (%1)").arg(sqliteText);
    case SQLITE_ERROR:
        // SQLite's own words name what is wrong (the table, the word near the
        // mistake); they stand behind a German sentence that says what happened.
        if (!sqliteText.isEmpty())
            return QStringLiteral("Die Datenbank hat die Anweisung abgelehnt: %1").arg(sqliteText);
        break;
    default:
        break;
    }
    return sqliteText.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : sqliteText;
}

} // namespace db
