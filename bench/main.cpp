// Measures the table engine on a large generated collection, each operation
// beside the raw SQLite statements that do the same work.
#include "BackupBench.h"
#include "Bench.h"
#include "CoversBench.h"
#include "StatsBench.h"
#include "cli/Generator.h"

#include <QCommandLineParser>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char** argv)
{
    // The window measurements need no screen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Stripothek"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stripothek benchmark"));
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("Working directory of the collection"),
                                       QStringLiteral("DIR"), QStringLiteral("bench-data"));
    const QCommandLineOption volumesOption(QStringLiteral("volumes"), QStringLiteral("Volumes to generate"),
                                           QStringLiteral("N"), QStringLiteral("100000"));
    const QCommandLineOption csvOption(QStringLiteral("csv"), QStringLiteral("Print CSV"));
    parser.addOptions({dirOption, volumesOption, csvOption});
    const QCommandLineOption reportsOption(QStringLiteral("reports"),
                                           QStringLiteral("Only the reports (their memory figures stay clean)"));
    parser.addOption(reportsOption);
    const QCommandLineOption statsOption(QStringLiteral("stats"), QStringLiteral("Only the statistics window's figures"));
    parser.addOption(statsOption);
    const QCommandLineOption toolsOption(QStringLiteral("tools"), QStringLiteral("Only the maintenance tools"));
    parser.addOption(toolsOption);
    const QCommandLineOption engineOption(QStringLiteral("engine"),
                                          QStringLiteral("Only the engine's operations and the main window"));
    parser.addOption(engineOption);
    const QCommandLineOption csvImportOption(
        QStringLiteral("csvimport"), QStringLiteral("Only a CSV file of --volumes rows: reading, planning, storing into an empty collection"));
    parser.addOption(csvImportOption);
    const QCommandLineOption backupOption(QStringLiteral("backup"), QStringLiteral("Only backups: copy, list, restore"));
    parser.addOption(backupOption);
    const QCommandLineOption coversOption(QStringLiteral("covers"),
                                          QStringLiteral("Only the covers (drawn on every volume the first time)"));
    parser.addOption(coversOption);
    const QCommandLineOption searchOption(QStringLiteral("search"), QStringLiteral("Only the search over every text"));
    parser.addOption(searchOption);
    const QCommandLineOption overviewOption(
        QStringLiteral("overview"),
        QStringLiteral("Only the overview's worst cases: every order against filters, searches and switches"));
    parser.addOption(overviewOption);
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("With --overview: only the cases whose name contains TEXT"),
                                        QStringLiteral("TEXT"));
    parser.addOption(onlyOption);
    parser.process(app);

    const QString dir = QDir(parser.value(dirOption)).absolutePath();
    bool ok = false;
    const int volumes = parser.value(volumesOption).toInt(&ok);
    if (!ok || volumes <= 0) {
        std::fprintf(stderr, "--volumes braucht eine positive ganze Zahl\n");
        return 2;
    }
    try {
        if (parser.isSet(csvImportOption)) {
            bench::Report report;
            bench::runCsvImportBench(dir, volumes, report);
            report.addMemory(bench::peakMemoryMb());
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (!QFileInfo::exists(dir + QStringLiteral("/database/stripothek.db"))) {
            std::fprintf(stderr, "Erzeuge %d Bände in %s ...\n", volumes, qPrintable(dir));
            cli::createGeneratedDatabase(dir, volumes);
        }
        bench::Report report;
        if (parser.isSet(coversOption)) {
            bench::runCoversBench(dir, report);
            bench::runCoversGuiBench(dir, report);
            report.addMemory(bench::peakMemoryMb());
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (parser.isSet(statsOption)) {
            bench::runStatsBench(dir, report);
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (parser.isSet(backupOption)) {
            bench::runBackupBench(dir, report);
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (parser.isSet(searchOption)) {
            bench::runSearchBench(dir, report);
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (parser.isSet(overviewOption)) {
            bench::runOverviewBench(dir, parser.value(onlyOption), report);
            report.addMemory(bench::peakMemoryMb());
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (parser.isSet(toolsOption)) {
            bench::runToolsBench(dir, report);
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (parser.isSet(engineOption)) {
            bench::runEngineBench(dir, report);
            bench::runGuiBench(dir, report);
            report.addMemory(bench::peakMemoryMb());
            report.print(parser.isSet(csvOption));
            return 0;
        }
        if (!parser.isSet(reportsOption)) {
            bench::runEngineBench(dir, report);
            bench::runGuiBench(dir, report);
            bench::runToolsBench(dir, report);
            bench::runGenerateBench(report);
        }
        bench::runReportBench(dir, report);
        if (!parser.isSet(reportsOption))
            bench::runStatsBench(dir, report);
        report.addMemory(bench::peakMemoryMb());
        report.print(parser.isSet(csvOption));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
