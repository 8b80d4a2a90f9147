// The maintenance tools on the large collection: export, import, packing,
// the ISBN check and the SQL page's query, each beside the raw SQLite work.
#include "Bench.h"

#include "core/Command.h"
#include "database/ComicData.h"
#include "database/Connection.h"
#include "database/LazyQuery.h"
#include "database/Schema.h"
#include "tools/Export.h"
#include "tools/Import.h"
#include "tools/TableMaintenance.h"
#include "tools/ToolCommands.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QWidget>
#include <sqlite3.h>
#include <algorithm>
#include <limits>
#include <stdexcept>

namespace bench {

namespace {

QString scratch(const QString& dir, const QString& name)
{
    const QString path = dir + QStringLiteral("/bench-tools/") + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

qint64 directoryBytes(const QString& path)
{
    qint64 bytes = 0;
    for (const QFileInfo& f : QDir(path).entryInfoList(QDir::Files))
        bytes += f.size();
    return bytes;
}

sqlite3* rawOpen(const QString& file)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open database");
    return db;
}

// What an export costs SQLite at least: every row of every table stepped,
// every column read as text.
void rawReadAll(const QString& file)
{
    sqlite3* db = rawOpen(file);
    qint64 bytes = 0;
    for (const db::schema::TableDef& t : db::schema::tables()) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, QStringLiteral("SELECT %1 FROM %2").arg(storedColumns(t.name), t.name).toUtf8().constData(),
                           -1, &s, nullptr);
        const int columns = sqlite3_column_count(s);
        while (sqlite3_step(s) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c) {
                sqlite3_column_text(s, c);
                bytes += sqlite3_column_bytes(s, c);
            }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    if (bytes == 0)
        throw std::runtime_error("nothing read");
}

// What an import costs SQLite at least: the same tables filled from rows it
// already has, then the indexes built.
void rawCopyDatabase(const QString& from, const QString& to)
{
    QFile::remove(to);
    sqlite3* db = rawOpen(to);
    rawExec(db, "PRAGMA cache_size=-65536");
    rawExec(db, QStringLiteral("ATTACH '%1' AS old").arg(from).toUtf8().constData());
    rawCopyCollection(db, QStringLiteral("old"));
    sqlite3_close(db);
}

void rawPack(const QString& file)
{
    sqlite3* db = rawOpen(file);
    rawExec(db, "VACUUM");
    rawExec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
}

void rawIsbn(const QString& file)
{
    sqlite3* db = rawOpen(file);
    rawExec(db, "UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = ''");
    rawExec(db, "BEGIN");
    rawExec(db, "UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = upper(replace(replace(SCLISBNNR, '-', ''), ' ', ''))");
    rawExec(db, "COMMIT");
    sqlite3_close(db);
}

// The first 128 rows of a statement, every column read, on a connection of
// its own (as the SQL page's cursor reads them).
void rawFirstRows(const QString& file, const char* sql)
{
    sqlite3* db = rawOpen(file);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    for (int row = 0; row < 128 && sqlite3_step(s) == SQLITE_ROW; ++row)
        for (int c = 0; c < sqlite3_column_count(s); ++c)
            sqlite3_column_text(s, c);
    sqlite3_finalize(s);
    sqlite3_close(db);
}

void rawCount(const QString& file, const char* sql)
{
    sqlite3* db = rawOpen(file);
    rawCollectIds(db, QStringLiteral("SELECT count(*) FROM (%1)").arg(QString::fromUtf8(sql)));
    sqlite3_close(db);
}

// Opens the query and waits, with the event loop running, until done says
// so; best of five. Closing (stopping what still runs) is not timed.
double openUntil(db::LazyQuery& query, const std::function<bool()>& done)
{
    double best = -1;
    for (int run = 0; run < 5; ++run) {
        query.close();
        QElapsedTimer timer;
        timer.start();
        query.open();
        QEventLoop loop;
        const auto check = [&] {
            if (done())
                loop.quit();
        };
        // Opening shows the rows (stateChanged) before the count starts.
        QObject::connect(&query, &db::LazyQuery::stateChanged, &loop, check);
        QObject::connect(&query, &db::LazyQuery::activityChanged, &loop, check);
        if (!done())
            loop.exec();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        best = best < 0 ? ms : std::min(best, ms);
    }
    query.close();
    return best;
}

// The names of a collection as a version before the German order left
// them: no key columns, indexes over names that ignore only the case.
void ageCollection(const QString& file)
{
    sqlite3* db = rawOpen(file);
    rawExec(db, "BEGIN");
    for (const db::schema::TableDef& t : db::schema::tables()) {
        for (const db::schema::IndexDef& i : t.indexes)
            if (i.names)
                rawExec(db, QStringLiteral("DROP INDEX %1").arg(i.name).toUtf8().constData());
        QStringList columns;
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, QStringLiteral("SELECT name FROM pragma_table_xinfo('%1') WHERE hidden = 2 ORDER BY cid DESC")
                                   .arg(t.name).toUtf8().constData(), -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
        for (const QString& c : columns)
            rawExec(db, QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(t.name, c).toUtf8().constData());
        for (const db::schema::IndexDef& i : t.indexes) {
            if (!i.names)
                continue;
            QStringList terms;
            for (const QString& f : i.fields)
                terms << (t.field(f)->type == db::schema::FieldDef::Type::Text ? f + QStringLiteral(" COLLATE NOCASE") : f);
            rawExec(db, QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(i.name, t.name, terms.join(QStringLiteral(", ")))
                            .toUtf8().constData());
        }
    }
    rawExec(db, "COMMIT");
    sqlite3_close(db);
}

// What the upgrade must do at least: the key columns added and the indexes
// over names built again, in one transaction.
void rawUpgrade(const QString& file)
{
    sqlite3* db = rawOpen(file);
    rawExec(db, "BEGIN IMMEDIATE");
    for (const db::schema::TableDef& t : db::schema::tables()) {
        for (const db::schema::IndexDef& i : t.indexes)
            if (i.names)
                rawExec(db, QStringLiteral("DROP INDEX %1").arg(i.name).toUtf8().constData());
        for (const QString& sql : db::schema::addKeyColumnsSql(t))
            rawExec(db, sql.toUtf8().constData());
        for (const db::schema::IndexDef& i : t.indexes)
            if (i.names)
                rawExec(db, db::schema::createIndexSql(t, i).toUtf8().constData());
    }
    rawExec(db, "COMMIT");
    sqlite3_close(db);
}

// The best of three upgrades, each of a freshly aged collection.
double timeUpgrades(const QString& file, const std::function<void()>& upgrade)
{
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < 3; ++run) {
        ageCollection(file);
        best = std::min(best, bestOf(1, upgrade));
    }
    return best;
}

// The collection copied, so packing and the ISBN check never touch the original.
QString copyCollection(const QString& dir)
{
    const QString work = scratch(dir, QStringLiteral("copy"));
    QDir().mkpath(work + QStringLiteral("/database"));
    sqlite3* db = rawOpen(db::schema::databaseFile(dir));
    rawExec(db, QStringLiteral("VACUUM INTO '%1'").arg(db::schema::databaseFile(work)).toUtf8().constData());
    sqlite3_close(db);
    return work;
}

} // namespace

void runToolsBench(const QString& dir, Report& report)
{
    const QString file = db::schema::databaseFile(dir);

    // Export, as stripothek-db does it and as the menu command does it.
    const QString exported = scratch(dir, QStringLiteral("export"));
    double exportMs = 0;
    {
        db::Connection connection;
        connection.setDatabasePath(dir + QStringLiteral("/database"));
        exportMs = bestOf(3, [&] { tools::ExportAllTables(connection, exported); });
    }
    const double megabytes = directoryBytes(exported) / 1e6;
    const double rawReadMs = bestOf(3, [&] { rawReadAll(file); });
    report.add(QStringLiteral("export all tables: %1 MB, %2 MB/s")
                   .arg(megabytes, 0, 'f', 1)
                   .arg(megabytes / (exportMs / 1000), 0, 'f', 1),
               exportMs, rawReadMs);
    {
        ComicData data;
        data.dbConnection().setDatabasePath(dir + QStringLiteral("/database"));
        data.OpenTables();
        QWidget window;
        QLabel table(&window), progress(&window);
        TToolCommands commands(data, &window, &table, &progress);
        // "Daten wurden exportiert!" would wait for a click.
        const ui::NoteSink previous = ui::setNoteSink([](const QString&) {});
        const QString target = scratch(dir, QStringLiteral("menu-export"));
        const double menuMs = bestOf(3, [&] { commands.ExportTo(target); });
        ui::setNoteSink(previous);
        report.add(QStringLiteral("export from the menu (status bar, repaints): %1 MB/s")
                       .arg(megabytes / (menuMs / 1000), 0, 'f', 1),
                   menuMs, rawReadMs);
    }

    // Import of those files into a new database.
    QStringList files;
    for (const QString& name : QDir(exported).entryList({QStringLiteral("*.xml")}, QDir::Files))
        files << exported + QLatin1Char('/') + name;
    const double importMs = bestOf(3, [&] {
        const QString target = scratch(dir, QStringLiteral("import"));
        tools::ImportDatabase(target, files);
    });
    const QString rawTarget = scratch(dir, QStringLiteral("raw-import")) + QStringLiteral("/copy.db");
    const double rawImportMs = bestOf(3, [&] { rawCopyDatabase(file, rawTarget); });
    report.add(QStringLiteral("import the export files: %1 x the export time").arg(importMs / exportMs, 0, 'f', 2),
               importMs, rawImportMs);

    // Packing and the ISBN check on a copy.
    const QString copy = copyCollection(dir);
    {
        ComicData data;
        data.dbConnection().setDatabasePath(copy + QStringLiteral("/database"));
        data.OpenTables();
        const double packMs = bestOf(3, [&] { tools::PackAllTables(data); });
        const double isbnMs = bestOf(3, [&] {
            data.dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = ''"));
            data.tblStripothek().refresh();
            tools::CheckISBNNumbers(data);
        });
        data.CloseTables();
        data.dbConnection().disconnect();
        report.add(QStringLiteral("pack all tables"), packMs, bestOf(3, [&] { rawPack(db::schema::databaseFile(copy)); }));
        report.add(QStringLiteral("ISBN check, whole catalogue (each entry saved)"), isbnMs,
                   bestOf(3, [&] { rawIsbn(db::schema::databaseFile(copy)); }));
    }

    // Opening a collection of an earlier version brings its names into the German order.
    {
        const QString older = copyCollection(dir);
        const QString olderFile = db::schema::databaseFile(older);
        const double upgradeMs = timeUpgrades(olderFile, [&] {
            db::Connection connection;
            connection.setDatabasePath(older + QStringLiteral("/database"));
            connection.connect();
        });
        report.add(QStringLiteral("open a collection of an earlier version (German order built)"), upgradeMs,
                   timeUpgrades(olderFile, [&] { rawUpgrade(olderFile); }));
    }

    // The SQL page: a query shows its first rows while the count runs on.
    {
        db::Connection connection;
        connection.setDatabasePath(dir + QStringLiteral("/database"));
        connection.connect();
        db::LazyQuery query(connection, QStringLiteral("qrySQLDirect"));
        const auto firstRows = [&](const char* sql) {
            query.setSql(QString::fromUtf8(sql));
            return openUntil(query, [&] { return query.active(); });
        };
        const char* catalogue = "SELECT * FROM SERVERSTRIPOTHEK";
        report.add(QStringLiteral("SQL page: open a query over the catalogue"), firstRows(catalogue),
                   bestOf(5, [&] { rawFirstRows(file, catalogue); }));
        const char* selfJoin = "SELECT a.SCLTITEL1, b.SCLTITEL1 FROM SERVERSTRIPOTHEK a, SERVERSTRIPOTHEK b";
        report.add(QStringLiteral("SQL page: first rows, catalogue x catalogue"), firstRows(selfJoin),
                   bestOf(5, [&] { rawFirstRows(file, selfJoin); }));
        const char* withPublishers = "SELECT a.SCLTITEL1, b.VLNAME1 FROM SERVERSTRIPOTHEK a, VERLAGE b";
        query.setSql(QString::fromUtf8(withPublishers));
        report.add(QStringLiteral("SQL page: count, catalogue x publishers"),
                   openUntil(query, [&] { return query.active() && query.rowCount() >= 0; }),
                   bestOf(5, [&] { rawCount(file, withPublishers); }));
    }
    QDir(dir + QStringLiteral("/bench-tools")).removeRecursively();
}

} // namespace bench
