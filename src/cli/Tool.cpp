#include "cli/Tool.h"

#include "cli/BackupCommand.h"
#include "cli/CoversCommand.h"
#include "cli/CsvImportCommand.h"
#include "cli/Demo.h"
#include "cli/Generator.h"
#include "cli/ReportCommand.h"
#include "cli/SearchCommand.h"
#include "core/Command.h"
#include "core/Errors.h"
#include "database/Schema.h"
#include "server/ServeCommand.h"
#include "tools/Export.h"
#include "tools/Import.h"

#include "database/Connection.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>

namespace cli {

namespace {

constexpr int kDefaultVolumes = 100000;

QString describe(const CollectionCounts& c)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const auto n = [&](qint64 v) { return german.toString(v); };
    return QStringLiteral("%1 Bände, %2 Serien, %3 Verlage, %4 Autoren, %5 Autorenzuordnungen, %6 Auflagen, "
                          "%7 eigene Exemplare")
        .arg(n(c.volumes), n(c.series), n(c.publishers), n(c.authors), n(c.assignments), n(c.editions), n(c.copies));
}

// The export of the collection in dir into target, a folder made if need be;
// a folder it made stays only with the files written into it.
QStringList exportCollection(const QString& dir, const QString& target, int* covers)
{
    const QFileInfo database(db::schema::databaseFile(dir));
    if (!database.isFile())
        throw db::Error(QStringLiteral("Die Datenbank „%1“ existiert nicht; es gibt nichts zu exportieren")
                            .arg(QDir::toNativeSeparators(database.absoluteFilePath())));
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && !targetInfo.isDir())
        throw db::Error(QStringLiteral("Das Zielverzeichnis „%1“ ist eine Datei, kein Verzeichnis")
                            .arg(QDir::toNativeSeparators(target)));
    QStringList made; // outermost first
    for (QString d = QDir::cleanPath(targetInfo.absoluteFilePath()); !QFileInfo::exists(d); d = QFileInfo(d).path())
        made.prepend(d);
    const auto removeMade = [&] {
        for (auto d = made.crbegin(); d != made.crend() && QDir().rmdir(*d); ++d) {
        }
    };
    if (!QDir().mkpath(target)) {
        removeMade();
        throw db::Error(QStringLiteral("Das Zielverzeichnis „%1“ lässt sich nicht anlegen")
                            .arg(QDir::toNativeSeparators(target)));
    }
    try {
        db::Connection connection;
        connection.setDatabasePath(database.absolutePath());
        tools::ExportProgress progress;
        progress.coversWritten = [covers](int count) { *covers = count; };
        return tools::ExportAllTables(connection, target, progress);
    } catch (...) {
        removeMade();
        throw;
    }
}

} // namespace

QString sentence(const QString& message)
{
    const QString text = message.trimmed();
    // An ellipsis ends a sentence too: "…." is a full stop too many.
    if (text.isEmpty() || text.endsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char('!'))
        || text.endsWith(QLatin1Char('?')) || text.endsWith(QChar(0x2026)))
        return text;
    return text + QLatin1Char('.');
}

int failed(QTextStream& err, const QString& message)
{
    err << "stripothek-db: " << sentence(message) << '\n';
    err.flush();
    return kExitFailed;
}

QString helpText()
{
    return QStringLiteral(
               "Aufruf: stripothek-db BEFEHL VERZEICHNIS [--volumes N]\n"
               "        stripothek-db report missing|list VERZEICHNIS --pdf DATEI\n"
               "\n"
               "Legt die Datenbank der Stripothek an: VERZEICHNIS/database/stripothek.db.\n"
               "Die Stripothek selbst legt keine Datenbank an; starten Sie sie in VERZEICHNIS.\n"
               "Schreibt die Reports einer vorhandenen Datenbank als PDF.\n"
               "\n"
               "Befehle:\n"
               "  create VERZEICHNIS    leere Datenbank mit allen Tabellen und Indizes; die\n"
               "                        Auswahllisten (Funktionen, Ausführungen, Zustände,\n"
               "                        Literaturtypen und -arten) mit Vorgaben gefüllt und\n"
               "                        ein zufälliges Schlüsselpräfix\n"
               "  demo VERZEICHNIS      wie create, dazu eine kleine erfundene Sammlung\n"
               "                        zum Ausprobieren\n"
               "  generate VERZEICHNIS [--volumes N] [--covers]\n"
               "                        wie create, dazu eine große erfundene Sammlung mit\n"
               "                        N Bänden (Vorgabe %1) für Messungen und Tests;\n"
               "                        bei gleichem N stets dieselben Daten, nur das\n"
               "                        Schlüsselpräfix ist jedes Mal ein anderes; mit\n"
               "                        --covers ein gezeichnetes Titelbild für jeden Band\n"
               "  serve VERZEICHNIS [--port N] [--listen ADRESSE]\n"
               "                        bietet den Katalog als Comic-Dienst für den Dialog\n"
               "                        „Comic downloaden“ an, nur lesend, bis Strg+C\n"
               "                        (Einzelheiten: stripothek-db serve --help)\n"
               "  report missing|list VERZEICHNIS --pdf DATEI\n"
               "                        schreibt einen Report über den ganzen Katalog der\n"
               "                        Sammlung in VERZEICHNIS als PDF-Datei: missing die\n"
               "                        fehlenden Bände der Serien, list die Gesamtliste der\n"
               "                        eigenen Exemplare; braucht keinen Bildschirm\n"
               "  export VERZEICHNIS ZIELVERZEICHNIS\n"
               "                        schreibt jede Tabelle der Datenbank in VERZEICHNIS als\n"
               "                        XML-Datei (tabellenname.xml) nach ZIELVERZEICHNIS,\n"
               "                        wie „Exportieren nach“ im Programm, die Titelbilder\n"
               "                        als Bilddateien in den Unterordner titelbilder;\n"
               "                        vorhandene Exportdateien werden ersetzt\n"
               "  import VERZEICHNIS DATEI.xml...\n"
               "                        wie create, aber die Tabellen der Exportdateien werden\n"
               "                        mit deren Zeilen statt mit den Vorgaben gefüllt, die\n"
               "                        Titelbilder aus dem Ordner titelbilder neben\n"
               "                        serverstripothek.xml übernommen; eine unpassende oder\n"
               "                        fehlerhafte Datei wird abgelehnt\n"
               "  backup VERZEICHNIS [--to DATEI]\n"
               "                        sichert die Sammlung, auch während die Stripothek sie\n"
               "                        geöffnet hat, als geprüfte Kopie im Ordner\n"
               "                        VERZEICHNIS/database/Sicherungen (mit --to in DATEI);\n"
               "                        ältere Sicherungen werden nach den Einstellungen des\n"
               "                        Programms entfernt (Vorgabe: die letzten 10 und die\n"
               "                        neueste jedes der letzten 12 Monate)\n"
               "  backups VERZEICHNIS   listet die Sicherungen, die neueste zuerst: Name,\n"
               "                        Zeitpunkt, Größe, Bände, eigene Exemplare, Anlass\n"
               "  restore VERZEICHNIS NAME|DATEI\n"
               "                        ersetzt die Sammlung durch eine Sicherung (ihr Name\n"
               "                        aus backups oder eine Datei); der bisherige Stand wird\n"
               "                        vorher gesichert. Eine beschädigte oder fremde Datei\n"
               "                        wird abgelehnt, ebenso jede Wiederherstellung, während\n"
               "                        ein anderes Programm in die Sammlung schreibt\n"
               "  covers import VERZEICHNIS ORDNER\n"
               "                        nimmt jede Bilddatei in ORDNER als Titelbild des\n"
               "                        Bandes, dessen ISBN (beliebig geschrieben, ISBN-10\n"
               "                        oder -13) oder Schlüssel ihr Name ohne Endung ist,\n"
               "                        und meldet, was zugeordnet wurde, was ohne Band\n"
               "                        blieb und was mehrdeutig war\n"
               "  search VERZEICHNIS TEXT\n"
               "                        listet die Bände, in deren Texten TEXT vorkommt, wie\n"
               "                        das Suchfeld der Übersicht sie findet: je Zeile Serie,\n"
               "                        Band, Titel und Schlüssel, durch Tabulatoren getrennt\n"
               "  import-csv VERZEICHNIS DATEI [--mapping ZUORDNUNG] [--dry-run] [--complete]\n"
               "                        übernimmt die Zeilen einer CSV-Datei einer Tabellen-\n"
               "                        kalkulation in die Sammlung: Kodierung, Trennzeichen\n"
               "                        und Kopfzeile werden erkannt, die Spalten nach ihren\n"
               "                        Namen zugeordnet (oder nach einer im Assistenten\n"
               "                        gespeicherten ZUORDNUNG). Zeigt erst, was entstünde;\n"
               "                        mit --dry-run bleibt es dabei, sonst wird die Sammlung\n"
               "                        gesichert und alles in einem Schritt gespeichert.\n"
               "                        Eine fehlerhafte Zeile verhindert den ganzen Import.\n"
               "                        Schon vorhandene Bände (gleiche ISBN oder gleiche\n"
               "                        Serie und Band) werden übersprungen, mit --complete\n"
               "                        um fehlende Angaben ergänzt\n"
               "\n"
               "Optionen:\n"
               "  --volumes N           Zahl der Bände für generate, 1 bis %2\n"
               "  --covers              Titelbilder für generate (database/titelbilder.db)\n"
               "  --port N              Port für serve, Vorgabe %3\n"
               "  --listen ADRESSE      Adresse für serve, Vorgabe 127.0.0.1\n"
               "  --pdf DATEI           die PDF-Datei, die report schreibt\n"
               "  --to DATEI            die Datei, in die backup sichert; sie darf noch nicht\n"
               "                        existieren\n"
               "  --mapping DATEI       die Zuordnung der Spalten für import-csv\n"
               "  --dry-run             import-csv zeigt nur, was entstünde\n"
               "  --complete            import-csv ergänzt schon vorhandene Bände\n"
               "  -h, --help            diese Hilfe\n"
               "\n"
               "Eine vorhandene Datenbank wird nie überschrieben: jeder Befehl bricht dann ab.\n"
               "Misslingt das Anlegen, bleibt keine halbe Datenbankdatei zurück.\n"
               "\n"
               "Rückgabewert: 0 bei Erfolg, 1 wenn der Befehl misslang (die Datenbank nicht\n"
               "angelegt, der Report oder die Exportdateien nicht geschrieben werden konnten),\n"
               "2 bei falschem Aufruf.\n")
        .arg(kDefaultVolumes)
        .arg(kMaxVolumes)
        .arg(server::kDefaultPort);
}

int runTool(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    const auto usage = [&](const QString& message) {
        err << "stripothek-db: " << sentence(message) << "\nHilfe: stripothek-db --help\n";
        err.flush();
        return kExitUsage;
    };

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption volumesOption(QStringLiteral("volumes"), QString(), QStringLiteral("N"));
    parser.addOption(help);
    parser.addOption(volumesOption);
    const QCommandLineOption portOption(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QString(), QStringLiteral("ADRESSE"));
    parser.addOption(portOption);
    parser.addOption(listenOption);
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), QString(), QStringLiteral("DATEI"));
    parser.addOption(pdfOption);
    const QCommandLineOption toOption(QStringLiteral("to"), QString(), QStringLiteral("DATEI"));
    parser.addOption(toOption);
    const QCommandLineOption coversOption(QStringLiteral("covers"));
    parser.addOption(coversOption);
    const QCommandLineOption mappingOption(QStringLiteral("mapping"), QString(), QStringLiteral("DATEI"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"));
    const QCommandLineOption completeOption(QStringLiteral("complete"));
    parser.addOption(mappingOption);
    parser.addOption(dryRunOption);
    parser.addOption(completeOption);
    if (!parser.parse(QStringList{QStringLiteral("stripothek-db")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString dashes = unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
            return usage(QStringLiteral("Unbekannte Option „%1%2“.").arg(dashes, unknown.first()));
        }
        // The only other complaint of the parser: an option without its value,
        // which can only be the last argument.
        if (arguments.last().startsWith(QLatin1String("--port")))
            return usage(QStringLiteral("Der Option --port fehlt die Nummer des Ports."));
        if (arguments.last().startsWith(QLatin1String("--listen")))
            return usage(QStringLiteral("Der Option --listen fehlt die Adresse."));
        if (arguments.last().startsWith(QLatin1String("--to")))
            return usage(QStringLiteral("Der Option --to fehlt der Name der Datei."));
        if (arguments.last().startsWith(QLatin1String("--mapping")))
            return usage(QStringLiteral("Der Option --mapping fehlt der Name der Zuordnungsdatei."));
        if (arguments.last().startsWith(QLatin1String("--pdf")))
            return usage(QStringLiteral("Der Option --pdf fehlt der Name der PDF-Datei."));
        return usage(QStringLiteral("Der Option --volumes fehlt die Zahl der Bände."));
    }
    if (parser.isSet(help)) {
        const bool aboutServe = parser.positionalArguments().value(0) == QLatin1String("serve");
        out << (aboutServe ? server::serveHelpText() : helpText());
        out.flush();
        return kExitOk;
    }

    const QStringList args = parser.positionalArguments();
    const QStringList commands{QStringLiteral("create"), QStringLiteral("demo"), QStringLiteral("generate"),
                                QStringLiteral("serve"), QStringLiteral("report"), QStringLiteral("export"),
                                QStringLiteral("import"), QStringLiteral("backup"), QStringLiteral("backups"),
                                QStringLiteral("restore"), QStringLiteral("covers"),
                                QStringLiteral("search"), QStringLiteral("import-csv")};
    if (args.isEmpty())
        return usage(QStringLiteral("Es fehlt der Befehl: create, demo, generate, serve, report, export, import, "
                                    "backup, backups, restore, covers, search oder import-csv."));
    const QString command = args[0];
    if (!commands.contains(command))
        return usage(QStringLiteral("Unbekannter Befehl „%1“; möglich sind create, demo, generate, serve, report, "
                                    "export, import, backup, backups, restore, covers, search und import-csv.")
                         .arg(command));
    if (parser.isSet(coversOption) && command != QLatin1String("generate"))
        return usage(QStringLiteral("Die Option --covers gilt nur für generate."));
    const bool csvImport = command == QLatin1String("import-csv");
    if (!csvImport && (parser.isSet(mappingOption) || parser.isSet(dryRunOption) || parser.isSet(completeOption)))
        return usage(QStringLiteral("Die Optionen --mapping, --dry-run und --complete gelten nur für import-csv."));
    if (csvImport) {
        if (parser.isSet(volumesOption) || parser.isSet(portOption) || parser.isSet(listenOption)
            || parser.isSet(pdfOption) || parser.isSet(toOption))
            return usage(QStringLiteral("import-csv nimmt nur die Optionen --mapping, --dry-run und --complete."));
        CsvImportRequest request;
        request.mappingFile = parser.isSet(mappingOption) ? parser.value(mappingOption) : QString();
        request.dryRun = parser.isSet(dryRunOption);
        request.complete = parser.isSet(completeOption);
        return runCsvImportCommand(args.mid(1), request, out, err, usage);
    }
    if (command == QLatin1String("covers")) {
        if (parser.isSet(volumesOption) || parser.isSet(portOption) || parser.isSet(listenOption)
            || parser.isSet(pdfOption))
            return usage(QStringLiteral("covers import nimmt keine Optionen."));
        return runCoversCommand(args.mid(1), out, err, usage);
    }
    if (command == QLatin1String("report")) {
        if (parser.isSet(volumesOption))
            return usage(QStringLiteral("Die Option --volumes gilt nur für generate."));
        if (parser.isSet(portOption) || parser.isSet(listenOption))
            return usage(QStringLiteral("Die Optionen --port und --listen gelten nur für serve."));
        if (parser.isSet(toOption))
            return usage(QStringLiteral("Die Option --to gilt nur für backup."));
        return runReportCommand(args.mid(1), parser.value(pdfOption), out, err, usage);
    }
    if (command == QLatin1String("search")) {
        if (parser.isSet(volumesOption) || parser.isSet(portOption) || parser.isSet(listenOption)
            || parser.isSet(pdfOption) || parser.isSet(toOption))
            return usage(QStringLiteral("search nimmt keine Optionen."));
        return runSearchCommand(args.mid(1), out, err, usage);
    }
    if (parser.isSet(pdfOption))
        return usage(QStringLiteral("Die Option --pdf gilt nur für report."));
    if (isBackupCommand(command)) {
        if (parser.isSet(volumesOption) || parser.isSet(portOption) || parser.isSet(listenOption))
            return usage(QStringLiteral("Die Optionen --volumes, --port und --listen gelten nicht für %1.").arg(command));
        return runBackupCommand(command, args.mid(1), parser.isSet(toOption) ? parser.value(toOption) : QString(), out,
                                err, usage);
    }
    if (parser.isSet(toOption))
        return usage(QStringLiteral("Die Option --to gilt nur für backup."));
    if (args.size() < 2 || args[1].isEmpty())
        return usage(command == QLatin1String("serve")
                         ? QStringLiteral("Es fehlt das Verzeichnis, dessen Datenbank angeboten werden soll.")
                     : command == QLatin1String("export")
                         ? QStringLiteral("Es fehlt das Verzeichnis der Datenbank, die exportiert werden soll.")
                         : QStringLiteral("Es fehlt das Verzeichnis, in dem die Datenbank angelegt werden soll."));
    if (command == QLatin1String("export") && (args.size() < 3 || args[2].isEmpty()))
        return usage(QStringLiteral("Es fehlt das Zielverzeichnis der Exportdateien."));
    if (command == QLatin1String("import") && args.size() < 3)
        return usage(QStringLiteral("Es fehlen die Exportdateien, aus denen die Datenbank gefüllt werden soll."));
    const int allowed = command == QLatin1String("export") ? 3 : command == QLatin1String("import") ? int(args.size()) : 2;
    if (args.size() > allowed)
        return usage(QStringLiteral("Zu viele Argumente: %1").arg(args.mid(allowed).join(QLatin1Char(' '))));

    int volumes = kDefaultVolumes;
    if (parser.isSet(volumesOption)) {
        if (command != QLatin1String("generate"))
            return usage(QStringLiteral("Die Option --volumes gilt nur für generate."));
        bool ok = false;
        const QString text = parser.value(volumesOption);
        volumes = text.toInt(&ok);
        if (!ok || volumes < 1 || volumes > kMaxVolumes)
            return usage(QStringLiteral("Ungültige Zahl der Bände „%1“: erlaubt ist eine ganze Zahl von 1 bis %2.")
                             .arg(text)
                             .arg(kMaxVolumes));
    }

    server::ServeOptions serveOptions;
    if ((parser.isSet(portOption) || parser.isSet(listenOption)) && command != QLatin1String("serve"))
        return usage(QStringLiteral("Die Optionen --port und --listen gelten nur für serve."));
    if (parser.isSet(portOption)) {
        bool ok = false;
        const QString text = parser.value(portOption);
        const uint port = text.toUInt(&ok);
        if (!ok || port > 65535)
            return usage(QStringLiteral("Ungültiger Port „%1“: erlaubt ist eine ganze Zahl von 0 bis 65535.").arg(text));
        serveOptions.port = quint16(port);
    }
    if (parser.isSet(listenOption)) {
        serveOptions.address = server::parseListenAddress(parser.value(listenOption));
        if (serveOptions.address.isNull())
            return usage(QStringLiteral("Ungültige Adresse „%1“ für --listen: erwartet wird eine IP-Adresse, "
                                        "„localhost“ oder „*“.")
                             .arg(parser.value(listenOption)));
    }

    const QString dir = args[1];
    const QString file = QDir::toNativeSeparators(QFileInfo(db::schema::databaseFile(dir)).absoluteFilePath());
    try {
        QElapsedTimer timer;
        timer.start();
        if (command == QLatin1String("serve")) {
            serveOptions.directory = dir;
            server::serve(serveOptions, out);
        } else if (command == QLatin1String("create")) {
            db::schema::createDatabase(dir);
            out << "Datenbank angelegt: „" << file << "“.\n";
        } else if (command == QLatin1String("export")) {
            int covers = 0;
            const QStringList files = exportCollection(dir, args[2], &covers);
            out << files.size() << " Tabellen";
            if (covers > 0)
                out << " und " << QLocale(QLocale::German, QLocale::Germany).toString(covers)
                    << (covers == 1 ? " Titelbild" : " Titelbilder");
            out << " nach „" << QDir::toNativeSeparators(QFileInfo(args[2]).absoluteFilePath()) << "“ exportiert.\n";
        } else if (command == QLatin1String("import")) {
            tools::ImportDatabase(dir, args.mid(2));
            const qsizetype files = args.size() - 2;
            out << "Datenbank „" << file << "“ aus " << files << (files == 1 ? " Exportdatei" : " Exportdateien")
                << " angelegt.\n";
        } else if (command == QLatin1String("demo")) {
            const CollectionCounts counts = createDemoDatabase(dir);
            out << "Demo-Datenbank angelegt: „" << file << "“.\n" << describe(counts) << ".\n";
        } else {
            const bool withCovers = parser.isSet(coversOption);
            if (withCovers && !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
                throw db::Error(QStringLiteral("Titelbilder zu zeichnen braucht eine QGuiApplication"));
            int covers = 0;
            const CollectionCounts counts = withCovers ? createGeneratedDatabaseWithCovers(dir, volumes, &covers)
                                                       : createGeneratedDatabase(dir, volumes);
            const QLocale german(QLocale::German, QLocale::Germany);
            out << "Sammlung angelegt: „" << file << "“.\n" << describe(counts);
            if (withCovers)
                out << ", " << german.toString(covers) << " Titelbilder";
            out << " in " << german.toString(timer.elapsed() / 1000.0, 'f', 1) << " s.\n";
        }
        out.flush();
        return kExitOk;
    } catch (const std::exception& e) {
        return failed(err, QString::fromUtf8(e.what()));
    }
}

} // namespace cli
