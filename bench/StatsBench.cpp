#include "StatsBench.h"

#include "Bench.h"

#include "database/Connection.h"
#include "stats/Statistics.h"

#include <sqlite3.h>
#include <stdexcept>

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
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    seen += sqlite3_column_int64(stmt, c);
                    break;
                case SQLITE_FLOAT:
                    seen += qint64(sqlite3_column_double(stmt, c));
                    break;
                case SQLITE_TEXT:
                    seen += sqlite3_column_bytes(stmt, c);
                    break;
                default:
                    break;
                }
            }
        }
        sqlite3_finalize(stmt);
    }
    rawExec(db, "COMMIT");
    if (seen < 0)
        throw std::runtime_error("unreachable");
}

} // namespace

void runStatsBench(const QString& dir, Report& report)
{
    const QString databaseDir = dir + QStringLiteral("/database");
    db::Connection connection;
    connection.setDatabasePath(databaseDir);
    connection.connect();
    const double ms = bestOf(5, [&] {
        stats::ComputeFigures(connection);
        connection.endRead();
    });

    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(connection.databaseFile().toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error("cannot open database");
    rawExec(raw, "PRAGMA cache_size=-16384");
    const QStringList statements = stats::FigureStatements();
    double rawMs = 0;
    try {
        rawMs = bestOf(5, [&] { rawFigures(raw, statements); });
    } catch (...) {
        sqlite3_close_v2(raw);
        throw;
    }
    sqlite3_close_v2(raw);
    report.add(QStringLiteral("statistics: every figure of the window"), ms, rawMs);
}

} // namespace bench
