// Generating a collection with stripothek-db, beside raw SQLite writing the
// same rows into the same tables and building the same indexes.
#include "Bench.h"

#include "cli/Generator.h"
#include "database/Schema.h"

#include <QTemporaryDir>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

namespace {

// The rows of a generated collection copied into empty tables in one
// transaction, the indexes built afterwards: the least SQLite must do.
void rawCopy(const QString& from, const QString& to)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(to.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the raw database");
    try {
        rawExec(db, "PRAGMA cache_size = -65536");
        rawExec(db, QStringLiteral("ATTACH '%1' AS source").arg(from).toUtf8().constData());
        rawCopyCollection(db, QStringLiteral("source"));
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

} // namespace

void runGenerateBench(Report& report)
{
    constexpr int kVolumes = 20000;
    QTemporaryDir generated;
    QTemporaryDir raw;
    if (!generated.isValid() || !raw.isValid())
        throw std::runtime_error("no temporary directory");
    const double ms = bestOf(1, [&] { cli::createGeneratedDatabase(generated.path(), kVolumes); });
    const double rawMs =
        bestOf(1, [&] { rawCopy(db::schema::databaseFile(generated.path()), raw.path() + QStringLiteral("/raw.db")); });
    report.add(QStringLiteral("generate 20,000 volumes (stripothek-db)"), ms, rawMs);
}

} // namespace bench
