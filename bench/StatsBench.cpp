#include "StatsBench.h"

#include "Bench.h"

#include "database/Connection.h"
#include "database/GermanOrder.h"
#include "stats/Statistics.h"

#include <sqlite3.h>
#include <stdexcept>
#include <time.h>

namespace bench {

namespace {

// Every row of every statement stepped and each value read as the engine
// reads it, inside one read transaction as the engine's figures are.
void rawFigures(sqlite3* db, const QStringList& statements)
{
    rawExec(db, "BEGIN");
    qint64 seen = 0;
    for (const QString& sql : statements) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        while (sqlite3_step(stmt) == SQLITE_ROW)
            seen += rawReadValues(stmt, 0);
        sqlite3_finalize(stmt);
    }
    rawExec(db, "COMMIT");
    if (seen < 0)
        throw std::runtime_error("unreachable");
}

// Processor time of the whole process, all threads: what two connections at
// once cost in work, beside the time the user waits.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

void runStatsBench(const QString& dir, Report& report)
{
    const QString databaseDir = dir + QStringLiteral("/database");
    db::Connection connection;
    connection.setDatabasePath(databaseDir);
    connection.connect();
    bool parallel = true;
    const double cpuBefore = processCpuMs();
    const double ms = bestOf(5, [&] {
        if (!stats::ComputeFiguresInParallel(connection).readInParallel)
            parallel = false;
    });
    const double cpuMs = (processCpuMs() - cpuBefore) / 5;
    const double serialCpuBefore = processCpuMs();
    const double serialMs = bestOf(5, [&] {
        stats::ComputeFigures(connection);
        connection.endRead();
    });
    const double serialCpuMs = (processCpuMs() - serialCpuBefore) / 5;

    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(connection.databaseFile().toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error("cannot open database");
    rawExec(raw, "PRAGMA cache_size=-16384");
    rawExec(raw, "PRAGMA temp_store=MEMORY");
    db::addGermanOrderFunctions(raw);
    stats::registerPurchaseYear(raw);
    const QStringList statements = stats::FigureStatements(raw);
    double rawMs = 0;
    try {
        rawMs = bestOf(5, [&] { rawFigures(raw, statements); });
    } catch (...) {
        sqlite3_close_v2(raw);
        throw;
    }
    sqlite3_close_v2(raw);
    report.add(QStringLiteral("statistics: every figure of the window (two connections at once)"), ms, rawMs);
    report.add(QStringLiteral("statistics: every figure on one connection"), serialMs, rawMs);
    report.addFigure(QStringLiteral("statistics: processor ms per run, two connections"), cpuMs);
    report.addFigure(QStringLiteral("statistics: processor ms per run, one connection"), serialCpuMs);
    report.addFigure(QStringLiteral("statistics: read in parallel every time (1 = yes)"), parallel ? 1 : 0);
}

} // namespace bench
