// Reading and planning a large spreadsheet file, beside the plainest reading
// of the same bytes: lines split at every separator, no quotes, no checks.
#include "Bench.h"

#include "csvimport/FormatDetection.h"
#include "csvimport/ImportPlan.h"
#include "csvstore/CsvStore.h"
#include "database/ComicData.h"
#include "database/GermanOrder.h"
#include "database/Isbn.h"
#include "database/Schema.h"
#include "database/SearchIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <cstdio>
#include <optional>
#include <sqlite3.h>
#include <stdexcept>
#include <time.h>

namespace bench {

namespace {

// A German spreadsheet's collection list: UTF-8 with BOM, ";", decimal
// commas, dates dd.mm.yyyy; every tenth remark quoted over two lines, every
// seventh title quoted for its separator. Every row is a volume of its own.
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
        out += QStringLiteral("%1;%2;%3;Egmont Ehapa %4;%5;%6;978-3-%7-%8;%9;%10,%11 €;%12.%13.%14;%15;Regal %16;%17\r\n")
                   .arg(s)
                   .arg(i % 400 + 1)
                   .arg(title)
                   .arg(i % 50)
                   .arg(people[random.bounded(int(people.size()))], people[random.bounded(int(people.size()))])
                   .arg(i, 7, 10, QLatin1Char('0')) // every volume its own ISBN
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

// A new, empty collection in folder, made afresh.
QString emptyCollection(const QString& folder)
{
    QDir(folder).removeRecursively();
    db::schema::createDatabase(folder);
    return folder + QStringLiteral("/database");
}

// The least SQLite must do for the same rows: each publisher, series and
// author once, found again through a hash, then the entries with their
// derived fields, their authors and copies, through prepared statements in
// one transaction, into a collection file with the same indexes. The search
// index catches up once at the end, as the import has it catch up, and the
// statement journals and page cache are set as the import sets them;
// without commit, the same rolled back: what a trial run that wrote its
// rows would cost at the least.
// Returns the milliseconds of the search's refresh.
double rawInsert(const QString& databaseDir, const QList<csvimport::ImportRow>& rows, bool commit)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QString(databaseDir + QStringLiteral("/stripothek.db")).toUtf8().constData(), &db) != SQLITE_OK)
        throw std::runtime_error("cannot open the raw collection");
    rawExec(db, "PRAGMA cache_size=-65536");
    rawExec(db, "PRAGMA temp_store=MEMORY");
    db::addGermanOrderFunctions(db);
    rawExec(db, "BEGIN IMMEDIATE");
    const auto prepare = [db](const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        return s;
    };
    sqlite3_stmt* named[3] = {prepare("INSERT INTO VERLAGE (VLVERLAGID, VLNAME1) VALUES (?, ?)"),
                              prepare("INSERT INTO SERIEN (SRSERIENID, SRNAME) VALUES (?, ?)"),
                              prepare("INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES (?, ?)")};
    sqlite3_stmt* comic = prepare(
        "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1, SCLSERIEID, SCLBAND, SCLVERLAGID, SCLISBNNR, SCLSEITEN, "
        "SCLBEMERKUNG, SCLFEHLT, SCLZUKAUFEN, SCLINTISBNNR, SCLSERIENTEXT, SCLVERLAGTEXT) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 0, ?, ?, ?)");
    sqlite3_stmt* link = prepare("INSERT INTO COMIC2AUTOR (C2AID, C2AAUTORID, C2ACOMICID, C2AATID) VALUES (?, ?, ?, ?)");
    sqlite3_stmt* copy = prepare("INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, LCLZUSTANDID, LCLKPREIS, "
                                 "LCLKPREISWG, LCKKDATUM, LCLLAGERPLATZ, LCLBEMERKUNG) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    qint64 next = 1'000'000;
    QHash<QString, QByteArray> ids[3];
    const auto text = [](sqlite3_stmt* s, int i, const QString& value) {
        if (value.isEmpty()) {
            sqlite3_bind_null(s, i);
            return;
        }
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    };
    const auto step = [db](sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db));
        sqlite3_reset(s);
    };
    const auto idOf = [&](int list, const QString& name) {
        const QString key = name.toUpper();
        auto found = ids[list].find(key);
        if (found != ids[list].end())
            return *found;
        const QByteArray id = "R" + QByteArray::number(++next);
        sqlite3_bind_text(named[list], 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        text(named[list], 2, name);
        step(named[list]);
        return *ids[list].insert(key, id);
    };
    for (const csvimport::ImportRow& r : rows) {
        const QByteArray series = idOf(1, r.series), publisher = idOf(0, r.publisher);
        const QByteArray id = "R" + QByteArray::number(++next);
        sqlite3_bind_text(comic, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        text(comic, 2, r.title1);
        sqlite3_bind_text(comic, 3, series.constData(), int(series.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(comic, 4, r.volume.value_or(0));
        sqlite3_bind_text(comic, 5, publisher.constData(), int(publisher.size()), SQLITE_TRANSIENT);
        text(comic, 6, r.isbn);
        sqlite3_bind_int(comic, 7, r.pages.value_or(0));
        text(comic, 8, r.remarks);
        text(comic, 9, db::ReduceIsbn(r.isbn));
        text(comic, 10, r.series);
        text(comic, 11, r.publisher);
        step(comic);
        for (const csvimport::ImportAuthor& a : r.authors) {
            const QByteArray author = idOf(2, a.name), linkId = "R" + QByteArray::number(++next);
            sqlite3_bind_text(link, 1, linkId.constData(), int(linkId.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(link, 2, author.constData(), int(author.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(link, 3, id.constData(), int(id.size()), SQLITE_TRANSIENT);
            text(link, 4, a.role);
            step(link);
        }
        if (r.copy) {
            const QByteArray copyId = "R" + QByteArray::number(++next);
            sqlite3_bind_text(copy, 1, copyId.constData(), int(copyId.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(copy, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
            text(copy, 3, r.copy->condition);
            sqlite3_bind_double(copy, 4, r.copy->price.value_or(0));
            text(copy, 5, r.copy->currency);
            text(copy, 6, r.copy->purchaseDate.toString(Qt::ISODate));
            text(copy, 7, r.copy->storagePlace);
            text(copy, 8, r.copy->remarks);
            step(copy);
        }
    }
    for (sqlite3_stmt* s : {named[0], named[1], named[2], comic, link, copy})
        sqlite3_finalize(s);
    double searchMs = 0;
    if (commit) {
        QElapsedTimer refresh;
        refresh.start();
        db::search::catchUp(db);
        searchMs = double(refresh.nsecsElapsed()) / 1e6;
        rawExec(db, "COMMIT");
    } else {
        rawExec(db, "ROLLBACK");
    }
    sqlite3_close(db);
    return searchMs;
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
    const double planCpu = (cpuMs() - cpu) / 3;
    report.add(QStringLiteral("  the same, processor time"), planCpu, 0);
    if (summary.rows != rows || summary.refusedRows != 0 || fields < rawFields / 2)
        throw std::runtime_error("the generated CSV file did not plan cleanly");
    report.addFigure(QStringLiteral("rows planned"), summary.rows);

    // Storing, into an empty collection: the trial run, then the import.
    const csvimport::Preview preview = csvimport::readPreview(path, format);
    const csvimport::Mapping mapping = csvimport::proposeMapping(preview.header, preview.records);
    csvstore::ImportSummary trial, stored;
    double dryRunMs = 0, importMs = 0, dryRunCpu = 0, importCpu = 0;
    {
        ComicData data;
        data.dbConnection().setDatabasePath(emptyCollection(dir + QStringLiteral("/csv-leer")));
        data.OpenTables();
        QElapsedTimer timer;
        timer.start();
        cpu = cpuMs();
        trial = csvstore::dryRun(data, path, format, mapping);
        dryRunMs = double(timer.nsecsElapsed()) / 1e6;
        dryRunCpu = cpuMs() - cpu;
        timer.restart();
        cpu = cpuMs();
        // As the wizard runs it: asked between records, the index written in slices.
        csvstore::ImportOptions shown;
        shown.progress = [](qint64, qint64) { return true; };
        stored = csvstore::importFile(data, path, format, mapping, shown);
        importMs = double(timer.nsecsElapsed()) / 1e6;
        importCpu = cpuMs() - cpu;
        // The same file once more, every row there already: the trial run
        // that reads each entry, its authors and copies to see what it lacks.
        csvstore::ImportOptions completing;
        completing.existing = csvstore::ExistingRows::Complete;
        timer.restart();
        const csvstore::ImportSummary again = csvstore::dryRun(data, path, format, mapping, completing);
        report.add(QStringLiteral("trial run again, all rows there, completing"), double(timer.nsecsElapsed()) / 1e6, 0);
        if (again.existing != rows || again.volumes != 0)
            throw std::runtime_error("the second trial run did not find the stored rows");
    }
    if (!(trial == stored) || stored.volumes != rows)
        throw std::runtime_error("the trial run and the import disagree");
    // Before the raw side holds every planned row in memory at once.
    const double importPeakMb = peakMemoryMb();
    QList<csvimport::ImportRow> planned;
    csvimport::planFile(path, format, mapping, options, [&planned](const csvimport::ImportRow& r) { planned << r; });
    // The raw side twice into the same empty file: rolled back, then stored.
    const QString rawDir = emptyCollection(dir + QStringLiteral("/csv-roh"));
    QElapsedTimer timer;
    timer.start();
    cpu = cpuMs();
    rawInsert(rawDir, planned, false);
    const double rawTrialMs = double(timer.nsecsElapsed()) / 1e6;
    const double rawTrialCpu = cpuMs() - cpu;
    timer.restart();
    cpu = cpuMs();
    const double searchMs = rawInsert(rawDir, planned, true);
    const double rawInsertMs = double(timer.nsecsElapsed()) / 1e6;
    const double rawInsertCpu = cpuMs() - cpu;
    report.add(QStringLiteral("trial run, empty collection (raw: plan + inserts rolled back)"), dryRunMs,
               planMs + rawTrialMs);
    report.add(QStringLiteral("  the same, processor time"), dryRunCpu, planCpu + rawTrialCpu);
    report.add(QStringLiteral("import, empty collection (raw: plan + inserts)"), importMs, planMs + rawInsertMs);
    report.add(QStringLiteral("  the same, processor time"), importCpu, planCpu + rawInsertCpu);
    report.addFigure(QStringLiteral("  of the raw import: search refreshed at the end (ms)"), searchMs);
    report.addFigure(QStringLiteral("rows stored"), stored.volumes);
    report.addFigure(QStringLiteral("peak memory up to the end of the import (MB)"), importPeakMb);
    report.addFigure(QStringLiteral("import: rows per second"), rows / (importMs / 1000));
    report.addFigure(QStringLiteral("read: MB per second"), megabytes / (readMs / 1000));
    report.addFigure(QStringLiteral("plan: rows per second"), rows / (planMs / 1000));
}

} // namespace bench
