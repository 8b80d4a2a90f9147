#include "cli/CsvImportCommand.h"

#include "backup/BackupStore.h"
#include "backup/KeepPolicy.h"
#include "cli/Tool.h"
#include "core/Errors.h"
#include "csvimport/FormatDetection.h"
#include "csvstore/CsvStore.h"
#include "database/ComicData.h"
#include "database/Schema.h"

#include <QDir>
#include <QFileInfo>

namespace cli {

namespace {

QString describeFormat(const csvimport::Format& format)
{
    const QString separator = format.separator == u'\t' ? QStringLiteral("Tabulator")
                                                        : QStringLiteral("„%1“").arg(format.separator);
    QString text = QStringLiteral("%1, Trennzeichen %2, %3")
                       .arg(csvimport::encodingName(format.encoding), separator,
                            format.header ? QStringLiteral("mit Kopfzeile") : QStringLiteral("ohne Kopfzeile"));
    if (format.skipRecords > 0)
        text += format.skipRecords == 1 ? QStringLiteral(", 1 Zeile darüber übersprungen")
                                        : QStringLiteral(", %1 Zeilen darüber übersprungen").arg(format.skipRecords);
    return text;
}

QString describeMapping(const csvimport::Mapping& mapping)
{
    QStringList columns;
    for (const csvimport::ColumnMapping& c : mapping.columns) {
        if (c.target == csvimport::Target::None)
            continue;
        QString target = csvimport::targetCaption(c.target);
        if (!c.role.isEmpty())
            target += QStringLiteral(" (%1)").arg(c.role);
        const QString name = c.name.trimmed(); // "Titel " as some headers write it
        columns << QStringLiteral("%1 → %2").arg(name.isEmpty() ? QString::number(c.index + 1) : name, target);
    }
    return columns.isEmpty() ? QStringLiteral("keine Spalte erkannt (mit --mapping eine gespeicherte Zuordnung "
                                              "angeben)")
                             : columns.join(QStringLiteral(", "));
}

void printProblems(const csvstore::ImportSummary& summary, QTextStream& out)
{
    for (const QString& line : summary.plan.problems())
        out << "  " << line << '\n';
}

} // namespace

int runCsvImportCommand(const QStringList& arguments, const CsvImportRequest& request, QTextStream& out,
                        QTextStream& err, const std::function<int(const QString&)>& usage)
{
    if (arguments.isEmpty() || arguments[0].isEmpty())
        return usage(QStringLiteral("Es fehlt das Verzeichnis der Sammlung."));
    if (arguments.size() < 2 || arguments[1].isEmpty())
        return usage(QStringLiteral("Es fehlt die CSV-Datei, die importiert werden soll."));
    if (arguments.size() > 2)
        return usage(QStringLiteral("Zu viele Argumente: %1").arg(arguments.mid(2).join(QLatin1Char(' '))));
    if (!request.mappingFile.isNull() && request.mappingFile.isEmpty())
        return usage(QStringLiteral("Der Option --mapping fehlt der Name der Zuordnungsdatei."));

    const QString path = arguments[1];
    const QFileInfo database(db::schema::databaseFile(arguments[0]));
    try {
        if (!database.isFile())
            throw db::Error(QStringLiteral("Die Datenbank „%1“ existiert nicht; legen Sie sie mit „%2“ an")
                                .arg(QDir::toNativeSeparators(database.absoluteFilePath()),
                                     db::createDatabaseCommand(database.absolutePath())));
        if (!QFileInfo(path).isFile())
            throw db::Error(QStringLiteral("Die Datei „%1“ gibt es nicht").arg(QDir::toNativeSeparators(path)));

        csvimport::Mapping mapping;
        csvimport::Format format;
        if (!request.mappingFile.isEmpty()) {
            mapping = csvimport::Mapping::load(request.mappingFile);
            // A mapping saved with the file's format keeps what the user fixed there.
            format = mapping.file ? *mapping.file : csvimport::detectFormat(path);
        } else {
            format = csvimport::detectFormat(path);
            const csvimport::Preview preview = csvimport::readPreview(path, format);
            mapping = csvimport::proposeMapping(preview.header, preview.records);
        }
        out << "Datei: " << QDir::toNativeSeparators(path) << " (" << describeFormat(format) << ")\n";
        out << "Zuordnung: " << describeMapping(mapping) << '\n';

        ComicData data;
        data.dbConnection().setDatabasePath(database.absolutePath());
        data.OpenTables();
        csvstore::ImportOptions options;
        options.existing = request.complete ? csvstore::ExistingRows::Complete : csvstore::ExistingRows::Skip;

        const csvstore::ImportSummary trial = csvstore::dryRun(data, path, format, mapping, options);
        out << "Probelauf: " << sentence(trial.text()) << '\n';
        printProblems(trial, out);
        if (request.dryRun) {
            out.flush();
            return kExitOk;
        }
        if (trial.plan.refusedRows > 0)
            throw db::Error(QStringLiteral("Nichts importiert: %1 fehlerhaft; berichtigen Sie die Datei")
                                .arg(trial.plan.refusedRows == 1
                                         ? QStringLiteral("1 Zeile ist")
                                         : QStringLiteral("%1 Zeilen sind").arg(trial.plan.refusedRows)));

        backup::BackupStore store(database.absolutePath());
        const backup::BackupInfo made = store.makeBackup(QStringLiteral("Import aus Tabelle"));
        out << "Sicherung angelegt: " << QDir::toNativeSeparators(made.file) << '\n';
        store.prune(backup::KeepPolicy::load());

        const csvstore::ImportSummary stored = csvstore::importFile(data, path, format, mapping, options);
        out << "Importiert: " << sentence(stored.text()) << '\n';
        out.flush();
        return kExitOk;
    } catch (const std::exception& e) {
        out.flush();
        err << "stripothek-db: " << sentence(QString::fromUtf8(e.what())) << '\n';
        err.flush();
        return kExitFailed;
    }
}

} // namespace cli
