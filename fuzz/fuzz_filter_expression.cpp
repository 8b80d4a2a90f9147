// Feeds arbitrary text to the catalogue's filter as the overview does: the
// text becomes the filter expression of an open table, and the rows it lets
// through are counted. Every input must end in the filter applied or a
// db::Error; anything else (a crash, a stack overflow, a sanitizer report,
// another exception type) is a finding.
#include "database/Connection.h"
#include "core/Errors.h"
#include "database/Schema.h"
#include "database/Table.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

struct Catalogue {
    QTemporaryDir dir;
    db::Connection connection;
    std::unique_ptr<db::Table> table;

    Catalogue()
    {
        db::schema::createDatabase(dir.path(), [](sqlite3* db) {
            db::schema::RowWriter comics(db, QStringLiteral("SERVERSTRIPOTHEK"),
                                         {QStringLiteral("SCLCOMICID"), QStringLiteral("SCLTITEL1"),
                                          QStringLiteral("SCLSERIENTEXT"), QStringLiteral("SCLBAND"),
                                          QStringLiteral("SCLFEHLT"), QStringLiteral("SCLISBNNR")});
            comics.insert({"K1", "Asterix der Gallier", "Asterix", 1, 0, "3-7704-0001-1"});
            comics.insert({"K2", "Ärger im Paradies", "Lucky Luke", 3, 1, nullptr});
            comics.insert({"K3", "astronauten", nullptr, nullptr, nullptr, "978-3-551-71234-5"});
        });
        connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
        table = std::make_unique<db::Table>(connection, QStringLiteral("tblStripothek"),
                                            QStringLiteral("SERVERSTRIPOTHEK"));
        table->setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
        table->open();
        table->setFiltered(true);
    }
};

Catalogue* catalogue = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    catalogue = new Catalogue; // lives as long as the process
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString expression = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        catalogue->table->setFilter(expression);
        catalogue->table->first();
        while (!catalogue->table->eof())
            catalogue->table->next();
    } catch (const db::Error&) {
    }
    // Each input starts from the same state: no read transaction left open.
    catalogue->connection.endRead();
    // The connection keeps every statement it prepared, one per distinct
    // filter; the program sees a few dozen, the fuzzer millions.
    static int inputs = 0;
    if (++inputs % 256 == 0) {
        catalogue->table->close();
        catalogue->connection.disconnect();
        catalogue->table->open();
    }
    return 0;
}
