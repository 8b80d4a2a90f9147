#include "database/SqliteFailureText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace db {

static_assert(EngineError::kCorrupt == SQLITE_CORRUPT && EngineError::kNotADatabase == SQLITE_NOTADB);

namespace {

// "T.F, T.G" as „T.F“, „T.G“.
QString quotedNames(const QString& list)
{
    QStringList names = list.split(QStringLiteral(", "), Qt::SkipEmptyParts);
    for (QString& name : names)
        name = QStringLiteral("„%1“").arg(name.trimmed());
    return names.join(QStringLiteral(", "));
}

// What a rule of the schema refused, from the extended code and the names
// that SQLite's text gives after the colon.
QString constraintText(int rc, const QString& sqliteText)
{
    const qsizetype colon = sqliteText.indexOf(QLatin1Char(':'));
    const QString names = colon < 0 ? QString() : quotedNames(sqliteText.mid(colon + 1));
    switch (rc) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return QStringLiteral("Den Wert von %1 hat schon ein anderer Eintrag; er darf nur einmal vorkommen").arg(names);
    case SQLITE_CONSTRAINT_NOTNULL:
        return QStringLiteral("%1 darf nicht leer sein").arg(names);
    case SQLITE_CONSTRAINT_CHECK:
        return QStringLiteral("Der Wert verstößt gegen die Regel %1 der Tabelle").arg(names);
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return QStringLiteral("Ein Verweis zeigt auf einen Eintrag, den es nicht gibt, oder ein Eintrag, auf den "
                              "noch verwiesen wird, sollte verschwinden");
    case SQLITE_CONSTRAINT_DATATYPE:
        return QStringLiteral("Ein Wert passt nicht zum Typ seines Feldes %1").arg(names);
    default:
        return QStringLiteral("Eine Regel der Datenbank ist verletzt");
    }
}

// The common mistakes of a typed statement in German; empty for the rest.
QString statementErrorText(const QString& sqliteText)
{
    struct Pattern {
        const char* english;
        const char* german;
    };
    static const Pattern patterns[] = {
        {"^no such table: (.+)$", "Die Tabelle „%1“ gibt es nicht"},
        {"^no such column: (.+)$", "Die Spalte „%1“ gibt es nicht"},
        {"^no such function: (.+)$", "Die Funktion „%1“ gibt es nicht"},
        {"^no such index: (.+)$", "Den Index „%1“ gibt es nicht"},
        {"^table (.+) already exists$", "Die Tabelle „%1“ gibt es schon"},
        {"^index (.+) already exists$", "Den Index „%1“ gibt es schon"},
        {"^ambiguous column name: (.+)$", "Der Spaltenname „%1“ ist mehrdeutig; nennen Sie die Tabelle davor"},
        {"^near \"(.*)\": syntax error$", "Die Anweisung hat einen Syntaxfehler bei „%1“"},
        {"^unrecognized token: \"(.*)\"$", "Die Anweisung enthält das unbekannte Zeichen „%1“"},
        {"^incomplete input$", "Die Anweisung ist unvollständig"},
        {"^(\\d+) values for \\d+ columns$", "Die Zahl der Werte (%1) passt nicht zur Zahl der Spalten"},
        {"^table (.+) has \\d+ columns but \\d+ values were supplied$",
         "Die Zahl der Werte passt nicht zur Zahl der Spalten der Tabelle „%1“"},
        {"^table (.+) may not be modified$", "Die Tabelle „%1“ darf nicht geändert werden"},
    };
    for (const Pattern& p : patterns) {
        const QRegularExpressionMatch match = QRegularExpression(QString::fromUtf8(p.english)).match(sqliteText);
        if (!match.hasMatch())
            continue;
        const QString german = QString::fromUtf8(p.german);
        return match.lastCapturedIndex() >= 1 ? german.arg(match.captured(1)) : german;
    }
    return {};
}

// The code behind an operating system's text as Qt words it: a few in
// its own English (or their translation), the rest as strerror() has them.
int systemErrorCode(const QString& text)
{
    static const std::pair<int, const char*> qtWords[] = {
        {EACCES, "Permission denied"}, {EMFILE, "Too many open files"},
        {ENOENT, "No such file or directory"}, {ENOSPC, "No space left on device"}};
    for (const auto& [code, words] : qtWords)
        if (text == QLatin1String(words) || text == QCoreApplication::translate("QIODevice", words))
            return code;
    for (const int code : {ENOSPC, EDQUOT, EROFS, EACCES, EPERM, ENOENT, ENOTDIR, EISDIR, EIO, EFBIG, ENAMETOOLONG,
                           EMFILE, ENFILE, EBUSY, ETXTBSY, EEXIST, ENXIO, ENODEV})
        if (text == QString::fromLocal8Bit(std::strerror(code)))
            return code;
    return 0;
}

// A file where path needs a folder: path itself or the nearest part of it
// that exists. Empty when that part is a folder.
QString fileInTheWay(const QString& path)
{
    QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    while (!info.exists() && !info.isRoot() && info.absoluteFilePath() != info.absolutePath())
        info = QFileInfo(info.absolutePath());
    return info.exists() && !info.isDir() ? QDir::toNativeSeparators(info.absoluteFilePath()) : QString();
}

// The nearest folder of path that exists: where a missing right bites.
QString existingFolder(const QString& path)
{
    QFileInfo info(QFileInfo(path).absolutePath());
    while (!info.exists() && !info.isRoot() && info.absoluteFilePath() != info.absolutePath())
        info = QFileInfo(info.absolutePath());
    return QDir::toNativeSeparators(info.absoluteFilePath());
}

} // namespace

QString sqliteFailureText(int rc, const QString& sqliteText, const QString& file)
{
    const QString shown = QDir::toNativeSeparators(file);
    const QString folder = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
    // SQLite keeps its journal beside the file: without a writable folder
    // even a sound, writable file cannot be opened or changed.
    const bool folderReadOnly = !file.isEmpty() && !QFileInfo(QFileInfo(file).absolutePath()).isWritable();
    const QString folderText =
        QStringLiteral("Der Ordner „%1“ ist schreibgeschützt; die Änderung wurde nicht gespeichert. Die Datenbank "
                       "braucht ihn zum Schreiben für ihre Hilfsdateien (stripothek.db-wal, stripothek.db-shm): geben "
                       "Sie ihn zum Schreiben frei, oder arbeiten Sie mit einer Kopie des Ordners „database“ an einem "
                       "Ort, an dem Sie schreiben dürfen")
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
        if (QFileInfo(file).isFile() && !QFileInfo(file).isReadable())
            return QStringLiteral("Die Datenbankdatei „%1“ darf nicht gelesen werden: Es fehlt Ihnen das Leserecht. "
                                  "Bitten Sie den Eigentümer, sie freizugeben")
                .arg(shown);
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
        return QStringLiteral("Die Datenbank hat die Änderung abgelehnt: %1 (%2)")
            .arg(constraintText(rc, sqliteText), sqliteText);
    case SQLITE_ERROR: {
        // SQLite's own words name what is wrong (the table, the word near the
        // mistake); they stand in parentheses behind the German sentence.
        const QString reason = statementErrorText(sqliteText);
        if (reason.isEmpty())
            return QStringLiteral("Die Datenbank hat die Anweisung abgelehnt (%1)").arg(sqliteText);
        return QStringLiteral("Die Datenbank hat die Anweisung abgelehnt: %1 (%2)").arg(reason, sqliteText);
    }
    case SQLITE_INTERRUPT:
        return QStringLiteral("Die Anweisung wurde abgebrochen; sie hat nichts geändert");
    case SQLITE_ABORT:
        return QStringLiteral("Die Anweisung wurde abgebrochen, weil die Datenbank sie zurückgenommen hat; "
                              "versuchen Sie es noch einmal");
    case SQLITE_TOOBIG:
        return QStringLiteral("Ein Wert oder eine Anweisung ist zu groß für die Datenbank");
    case SQLITE_MISMATCH:
        return QStringLiteral("Ein Wert passt nicht zum Typ seines Feldes (der Schlüssel einer Zeile muss eine ganze "
                              "Zahl sein)");
    case SQLITE_SCHEMA:
        return QStringLiteral("Der Aufbau der Datenbank hat sich geändert, während die Anweisung lief; versuchen "
                              "Sie es noch einmal");
    case SQLITE_NOLFS:
        return QStringLiteral("Die Datenbankdatei „%1“ ist zu groß für ihr Dateisystem").arg(shown);
    case SQLITE_PROTOCOL:
        return QStringLiteral("Die Datenbank „%1“ wird gerade von einem anderen Programm benutzt; versuchen Sie es "
                              "noch einmal")
            .arg(shown);
    default:
        break;
    }
    const QString original = sqliteText.isEmpty() ? QString::fromUtf8(sqlite3_errstr(rc)) : sqliteText;
    return QStringLiteral("Die Datenbank meldet einen Fehler (%1)").arg(original);
}

QString fileFailureReason(const QString& path, const QString& systemText, int errorNumber)
{
    const QFileInfo info(path);
    int code = systemErrorCode(systemText);
    if (code == 0)
        code = errorNumber;
    QString reason;
    if (info.isDir() && code != EACCES && code != EPERM && code != ENOSPC && code != EROFS) {
        reason = QStringLiteral("Das ist ein Ordner, keine Datei; geben Sie den Namen einer Datei an");
    } else {
        switch (code) {
        case ENOSPC:
            reason = QStringLiteral("Der Datenträger ist voll; schaffen Sie Platz und versuchen Sie es noch einmal");
            break;
        case EDQUOT:
            reason = QStringLiteral("Ihr Speicherplatz auf dem Datenträger ist aufgebraucht; schaffen Sie Platz und "
                                    "versuchen Sie es noch einmal");
            break;
        case EROFS:
            reason = QStringLiteral("Der Datenträger ist schreibgeschützt");
            break;
        case EACCES:
        case EPERM:
            reason = info.exists() && !info.isDir()
                         ? QStringLiteral("Sie dürfen die Datei nicht ändern")
                         : QStringLiteral("In den Ordner „%1“ dürfen Sie nicht schreiben").arg(existingFolder(path));
            break;
        case ENOENT:
        case ENOTDIR:
        case EEXIST:
            if (const QString file = fileInTheWay(path); !file.isEmpty())
                reason = QStringLiteral("„%1“ ist eine Datei, kein Ordner").arg(file);
            else if (code == EEXIST)
                reason = QStringLiteral("Eine Datei dieses Namens gibt es schon");
            else
                reason = QStringLiteral("Den Ordner „%1“ gibt es nicht")
                             .arg(QDir::toNativeSeparators(info.absolutePath()));
            break;
        case EISDIR:
            reason = QStringLiteral("Das ist ein Ordner, keine Datei; geben Sie den Namen einer Datei an");
            break;
        case EIO:
        case ENXIO:
        case ENODEV:
            reason = QStringLiteral("Der Datenträger meldet einen Lese- oder Schreibfehler; er ist defekt oder nicht "
                                    "mehr erreichbar");
            break;
        case EFBIG:
            reason = QStringLiteral("Die Datei wird zu groß für den Datenträger");
            break;
        case ENAMETOOLONG:
            reason = QStringLiteral("Der Name ist zu lang");
            break;
        case EMFILE:
        case ENFILE:
            reason = QStringLiteral("Es sind zu viele Dateien geöffnet; schließen Sie andere Programme");
            break;
        case EBUSY:
        case ETXTBSY:
            reason = QStringLiteral("Die Datei wird gerade von einem anderen Programm benutzt");
            break;
        default:
            // Qt's own words (an existing file it may not replace) or a code
            // not met so far: say what the path is now.
            if (info.exists() && !info.isWritable())
                reason = QStringLiteral("Die Datei ist schreibgeschützt");
            else if (!QFileInfo(info.absolutePath()).isDir())
                reason = QStringLiteral("Den Ordner „%1“ gibt es nicht")
                             .arg(QDir::toNativeSeparators(info.absolutePath()));
            else
                reason = QStringLiteral("Das Betriebssystem hat den Zugriff verweigert");
            break;
        }
    }
    const QString original = systemText.trimmed();
    if (original.isEmpty() || original == QLatin1String("Unknown error"))
        return reason;
    return reason + QStringLiteral(" (") + original + QLatin1Char(')');
}

} // namespace db
