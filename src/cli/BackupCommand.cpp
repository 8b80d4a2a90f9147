#include "cli/BackupCommand.h"

#include "backup/BackupStore.h"
#include "cli/Tool.h"
#include "core/Errors.h"
#include "database/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace cli {

namespace {

QString megabytes(qint64 bytes)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

QString count(qint64 n, const QString& what)
{
    return (n < 0 ? QStringLiteral("?") : QLocale(QLocale::German, QLocale::Germany).toString(n)) + QLatin1Char(' ')
           + what;
}

QString contents(qint64 volumes, qint64 ownCopies)
{
    return count(volumes, QStringLiteral("Bände")) + QStringLiteral(", ") + count(ownCopies, QStringLiteral("eigene Exemplare"));
}

// One line per copy, columns aligned so that a long list reads as a table.
void printList(const QList<backup::BackupInfo>& copies, QTextStream& out)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    qsizetype nameWidth = 0;
    for (const auto& copy : copies)
        nameWidth = std::max(nameWidth, copy.name.size());
    for (const auto& copy : copies) {
        out << copy.name.leftJustified(nameWidth) << "  " << german.toString(copy.created, QStringLiteral("dd.MM.yyyy HH:mm:ss"))
            << "  " << megabytes(copy.bytes).rightJustified(9) << "  "
            << count(copy.volumes, QStringLiteral("Bände")).rightJustified(13) << "  "
            << count(copy.ownCopies, QStringLiteral("eigene Exemplare")).rightJustified(24) << "  "
            << (copy.reason.isEmpty() ? QStringLiteral("(Anlass nicht vermerkt)") : copy.reason) << '\n';
    }
}

} // namespace

bool isBackupCommand(const QString& command)
{
    return command == QLatin1String("backup") || command == QLatin1String("backups")
           || command == QLatin1String("restore");
}

int runBackupCommand(const QString& command, const QStringList& arguments, const QString& toFile, QTextStream& out,
                     QTextStream& err, const std::function<int(const QString&)>& usage)
{
    const bool restore = command == QLatin1String("restore");
    if (arguments.isEmpty() || arguments[0].isEmpty())
        return usage(QStringLiteral("Es fehlt das Verzeichnis der Sammlung."));
    if (restore && (arguments.size() < 2 || arguments[1].isEmpty()))
        return usage(QStringLiteral("Es fehlt die Sicherung: ihr Name aus „stripothek-db backups“ oder eine Datei."));
    const qsizetype allowed = restore ? 2 : 1;
    if (arguments.size() > allowed)
        return usage(QStringLiteral("Zu viele Argumente: %1").arg(arguments.mid(allowed).join(QLatin1Char(' '))));
    if (!toFile.isNull() && command != QLatin1String("backup"))
        return usage(QStringLiteral("Die Option --to gilt nur für backup."));
    if (toFile.isNull() == false && toFile.isEmpty())
        return usage(QStringLiteral("Der Option --to fehlt der Name der Datei."));

    const QString databaseDir = QFileInfo(db::schema::databaseFile(arguments[0])).absolutePath();
    backup::BackupStore store(databaseDir);
    try {
        if (!QFileInfo(databaseDir).isDir())
            throw db::Error(QStringLiteral("Das Datenbankverzeichnis „%1“ existiert nicht")
                                .arg(QDir::toNativeSeparators(databaseDir)));
        if (command == QLatin1String("backups")) {
            const auto copies = store.list();
            if (copies.isEmpty())
                out << "Im Ordner „" << QDir::toNativeSeparators(store.folder()) << "“ gibt es keine Sicherungen.\n";
            printList(copies, out);
        } else if (command == QLatin1String("backup") && !toFile.isNull()) {
            const backup::Snapshot snapshot = store.exportCopy(toFile);
            const QFileInfo written(toFile);
            out << "Sicherung geschrieben: " << QDir::toNativeSeparators(written.absoluteFilePath()) << " ("
                << contents(snapshot.volumes(), snapshot.ownCopies()) << ", " << megabytes(written.size()) << ")\n";
        } else if (command == QLatin1String("backup")) {
            const backup::BackupInfo made = store.makeBackup(QStringLiteral("stripothek-db backup"));
            out << "Sicherung angelegt: " << QDir::toNativeSeparators(made.file) << " ("
                << contents(made.volumes, made.ownCopies) << ", " << megabytes(made.bytes) << ")\n";
            const backup::KeepPolicy policy = backup::KeepPolicy::load();
            const QStringList removed = store.prune(policy);
            if (!removed.isEmpty())
                out << "Nicht mehr aufbewahrt (die letzten " << policy.last << " und die neueste jedes der letzten "
                    << policy.monthly << " Monate bleiben): " << removed.join(QStringLiteral(", ")) << '\n';
        } else {
            const backup::RestoreResult result = store.restore(arguments[1]);
            if (!result.safety.name.isEmpty())
                out << "Der bisherige Stand ist gesichert: " << QDir::toNativeSeparators(result.safety.file) << '\n';
            if (!result.damagedKept.isEmpty())
                out << "Die beschädigte Sammlung ist aufgehoben in: " << QDir::toNativeSeparators(result.damagedKept)
                    << '\n';
            out << "Wiederhergestellt aus " << QDir::toNativeSeparators(result.source) << ": "
                << contents(result.restored.volumes(), result.restored.ownCopies()) << '\n';
        }
        out.flush();
        return kExitOk;
    } catch (const std::exception& e) {
        return failed(err, QString::fromUtf8(e.what()));
    }
}

} // namespace cli
