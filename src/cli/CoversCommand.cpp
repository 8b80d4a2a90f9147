#include "cli/CoversCommand.h"

#include "cli/Generator.h"
#include "cli/Tool.h"
#include "core/Command.h"
#include "covers/CoverBuilder.h"
#include "covers/CoverStore.h"
#include "covers/FolderImport.h"
#include "covers/SyntheticCovers.h"
#include "database/Connection.h"
#include "database/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>

#include <cstring>
#include <optional>

namespace cli {

namespace {

QString volumeText(const covers::Volume& v)
{
    return v.shown.isEmpty() ? v.key : QStringLiteral("%1 „%2“").arg(v.key, v.shown);
}

void report(const QList<covers::FolderEntry>& entries, QTextStream& out)
{
    using Outcome = covers::FolderEntry::Outcome;
    int stored = 0, replaced = 0, unmatched = 0, ambiguous = 0, refused = 0;
    for (const covers::FolderEntry& e : entries) {
        switch (e.outcome) {
        case Outcome::Stored:
            ++stored;
            replaced += e.replaced ? 1 : 0;
            out << "zugeordnet: " << e.file << " → " << volumeText(e.volumes.first())
                << (e.byKey ? " (Schlüssel)" : " (ISBN)") << (e.replaced ? ", ersetzt das bisherige Titelbild" : "")
                << '\n';
            break;
        case Outcome::Unmatched:
            ++unmatched;
            out << "ohne Band: " << e.file << '\n';
            break;
        case Outcome::Ambiguous: {
            ++ambiguous;
            QStringList volumes;
            for (const covers::Volume& v : e.volumes)
                volumes << volumeText(v);
            out << "mehrdeutig: " << e.file << ": " << e.message << " (" << volumes.join(QStringLiteral(", "))
                << ")\n";
            break;
        }
        case Outcome::Refused:
            ++refused;
            out << "abgelehnt: " << e.file << ": " << ui::withFullStop(e.message) << '\n';
            break;
        }
    }
    const QLocale german(QLocale::German, QLocale::Germany);
    out << german.toString(qsizetype(entries.size())) << (entries.size() == 1 ? " Datei: " : " Dateien: ")
        << german.toString(stored) << " zugeordnet";
    if (replaced > 0)
        out << " (davon " << german.toString(replaced) << " ersetzt)";
    out << ", " << german.toString(unmatched) << " ohne Band, " << german.toString(ambiguous) << " mehrdeutig, "
        << german.toString(refused) << " abgelehnt.\n";
}

} // namespace

bool wantsCovers(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--covers") == 0)
            return true;
    return false;
}

CollectionCounts createGeneratedDatabaseWithCovers(const QString& dir, int volumes, int* coverCount)
{
    const QString databaseFolder = QFileInfo(db::schema::databaseFile(dir)).path();
    covers::CoverBuilder::refuseExisting(databaseFolder);
    CollectionCounts counts;
    std::optional<covers::CoverBuilder> builder;
    db::schema::createDatabase(dir, [&](sqlite3* db) {
        counts = generateCollection(db, volumes);
        builder.emplace(databaseFolder);
        const int drawn = covers::addSyntheticCovers(db, *builder);
        if (coverCount)
            *coverCount = drawn;
    });
    builder->install(db::schema::databaseFile(dir));
    return counts;
}

int runCoversCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     const std::function<int(const QString&)>& usage)
{
    if (arguments.isEmpty())
        return usage(QStringLiteral("Es fehlt, was mit den Titelbildern geschehen soll: import."));
    if (arguments[0] != QLatin1String("import"))
        return usage(QStringLiteral("Unbekannter Titelbild-Befehl „%1“; möglich ist import.").arg(arguments[0]));
    if (arguments.size() < 2 || arguments[1].isEmpty())
        return usage(QStringLiteral("Es fehlt das Verzeichnis der Sammlung."));
    if (arguments.size() < 3 || arguments[2].isEmpty())
        return usage(QStringLiteral("Es fehlt der Ordner mit den Bilddateien."));
    if (arguments.size() > 3)
        return usage(QStringLiteral("Zu viele Argumente: %1").arg(arguments.mid(3).join(QLatin1Char(' '))));

    try {
        const QString databaseFolder = QFileInfo(db::schema::databaseFile(arguments[1])).path();
        // The catalogue is only read: the program may have it open meanwhile.
        db::Connection catalogue(QStringLiteral("Katalog"));
        catalogue.setDatabasePath(databaseFolder);
        catalogue.setReadOnly(true);
        catalogue.connect();
        covers::CoverStore store(databaseFolder);
        const QList<covers::FolderEntry> entries = covers::importFolder(catalogue, store, arguments[2]);
        if (entries.isEmpty()) {
            err << "stripothek-db: Im Ordner „" << QDir::toNativeSeparators(arguments[2])
                << "“ liegen keine Dateien.\n";
            err.flush();
            return kExitFailed;
        }
        report(entries, out);
        out.flush();
        for (const covers::FolderEntry& e : entries)
            if (e.outcome != covers::FolderEntry::Outcome::Stored)
                return kExitFailed;
        return kExitOk;
    } catch (const std::exception& e) {
        err << "stripothek-db: " << ui::withFullStop(QString::fromUtf8(e.what())) << '\n';
        err.flush();
        return kExitFailed;
    }
}

} // namespace cli
