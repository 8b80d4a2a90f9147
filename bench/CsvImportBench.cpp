// Reading and planning a large spreadsheet file, beside the plainest reading
// of the same bytes: lines split at every separator, no quotes, no checks.
#include "Bench.h"

#include "csvimport/FormatDetection.h"
#include "csvimport/ImportPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdio>
#include <stdexcept>
#include <time.h>

namespace bench {

namespace {

// A German spreadsheet's collection list: UTF-8 with BOM, ";", decimal
// commas, dates dd.mm.yyyy; every tenth remark quoted over two lines, every
// seventh title quoted for its separator.
void writeCollection(const QString& path, int rows)
{
    QFile file(path + QStringLiteral(".part"));
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the CSV file");
    QRandomGenerator random(24);
    const QStringList series{QStringLiteral("Asterix"), QStringLiteral("Lucky Luke"), QStringLiteral("Die Schlümpfe"),
                             QStringLiteral("Spirou und Fantasio"), QStringLiteral("Gespenster Geschichten"),
                             QStringLiteral("Yoko Tsuno"), QStringLiteral("Blueberry"), QStringLiteral("Ōkami")};
    const QStringList people{QStringLiteral("Albert Uderzo"), QStringLiteral("René Goscinny"), QStringLiteral("Morris"),
                             QStringLiteral("André Franquin"), QStringLiteral("Jean Giraud"), QStringLiteral("Peyo")};
    QByteArray out("\xEF\xBB\xBF");
    out += "Serie;Band;Titel;Verlag;Zeichner;Texter;ISBN;Seiten;Preis;Kaufdatum;Zustand;Lagerort;Bemerkung\r\n";
    for (int i = 0; i < rows; ++i) {
        const QString s = series[i % series.size()] + (i >= series.size() ? QStringLiteral(" %1").arg(i / 400) : QString());
        QString title = QStringLiteral("Band %1 der Reihe – Abenteuer in Köln").arg(i);
        if (i % 7 == 0)
            title = QStringLiteral("\"%1; Teil 2\"").arg(title);
        const QString remark = i % 10 == 0 ? QStringLiteral("\"Erstauflage\nmit \"\"Widmung\"\"\"") : QString();
        out += QStringLiteral("%1;%2;%3;Egmont Ehapa %4;%5;%6;978-3-7704-%7-%8;%9;%10,%11 €;%12.%13.%14;%15;Regal %16;%17\r\n")
                   .arg(s)
                   .arg(i % 400 + 1)
                   .arg(title)
                   .arg(i % 50)
                   .arg(people[random.bounded(int(people.size()))], people[random.bounded(int(people.size()))])
                   .arg(i % 10000, 4, 10, QLatin1Char('0'))
                   .arg(i % 10)
                   .arg(48 + i % 20)
                   .arg(random.bounded(5, 40))
                   .arg(random.bounded(100), 2, 10, QLatin1Char('0'))
                   .arg(random.bounded(1, 29), 2, 10, QLatin1Char('0'))
                   .arg(random.bounded(1, 13), 2, 10, QLatin1Char('0'))
                   .arg(1980 + i % 45)
                   .arg(i % 5)
                   .arg(i % 30)
                   .arg(remark)
                   .toUtf8();
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    file.write(out);
    file.close();
    QFile::remove(path);
    if (!file.rename(path))
        throw std::runtime_error("cannot write the CSV file");
}

// Processor time: on a machine shared with other builds the wall clock says
// more about the load than about the work.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

void runCsvImportBench(const QString& dir, int rows, Report& report)
{
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/collection-%1.csv").arg(rows);
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "Erzeuge %d Zeilen CSV in %s ...\n", rows, qPrintable(path));
        writeCollection(path, rows);
    }
    const double megabytes = QFileInfo(path).size() / 1e6;
    report.addFigure(QStringLiteral("CSV file (MB)"), megabytes);
    report.addFigure(QStringLiteral("memory before reading (MB)"), peakMemoryMb());

    csvimport::Format format;
    report.add(QStringLiteral("detect format (64 KB sample)"), bestOf(5, [&] { format = csvimport::detectFormat(path); }),
               0);

    qint64 fields = 0;
    double cpu = cpuMs();
    const double readMs = bestOf(3, [&] {
        csvimport::CsvReader reader(path, format);
        csvimport::Record record;
        fields = 0;
        while (reader.next(record))
            fields += record.fields.size();
    });
    const double readCpu = (cpuMs() - cpu) / 3;
    cpu = cpuMs();
    qint64 rawFields = 0;
    const double rawReadMs = bestOf(3, [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the CSV file");
        rawFields = 0;
        while (!file.atEnd())
            rawFields += QString::fromUtf8(file.readLine()).split(u';').size();
    });
    const double rawReadCpu = (cpuMs() - cpu) / 3;
    report.add(QStringLiteral("read all records (raw: split lines)"), readMs, rawReadMs);
    report.add(QStringLiteral("  the same, processor time"), readCpu, rawReadCpu);

    csvimport::PlanOptions options;
    options.lookups.roles = {QStringLiteral("Autor"), QStringLiteral("Szenarist"), QStringLiteral("Zeichner")};
    options.lookups.conditions = {QStringLiteral("0 – druckfrisch"), QStringLiteral("1 – sehr gut"),
                                  QStringLiteral("2 – gut"), QStringLiteral("3 – mäßig"), QStringLiteral("4 – schlecht")};
    csvimport::PlanSummary summary;
    cpu = cpuMs();
    const double planMs = bestOf(3, [&] {
        const csvimport::Preview preview = csvimport::readPreview(path, format);
        const csvimport::Mapping mapping = csvimport::proposeMapping(preview.header, preview.records);
        summary = csvimport::planFile(path, format, mapping, options);
    });
    report.add(QStringLiteral("read and plan all rows (dry run, no database)"), planMs, 0);
    report.add(QStringLiteral("  the same, processor time"), (cpuMs() - cpu) / 3, 0);
    if (summary.rows != rows || summary.refusedRows != 0 || fields < rawFields / 2)
        throw std::runtime_error("the generated CSV file did not plan cleanly");
    report.addFigure(QStringLiteral("rows planned"), summary.rows);
    report.addFigure(QStringLiteral("read: MB per second"), megabytes / (readMs / 1000));
    report.addFigure(QStringLiteral("plan: rows per second"), rows / (planMs / 1000));
}

} // namespace bench
