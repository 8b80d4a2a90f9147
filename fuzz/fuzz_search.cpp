// Feeds arbitrary text to the catalogue's search as the overview's search
// box does. Whatever is typed is text to look for: every input must end in
// the rows found, without any error; an exception of any kind, a crash or a
// sanitizer report is a finding. The rows found are checked against the
// volumes' folded texts, read without the index.
#include "database/Connection.h"
#include "core/Errors.h"
#include "database/GermanOrder.h"
#include "database/Schema.h"
#include "database/SearchIndex.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Catalogue {
    QTemporaryDir dir;
    db::Connection connection;
    std::unique_ptr<db::Table> table;
    QStringList texts; // each volume's folded text, by row id - 1

    Catalogue()
    {
        db::schema::createDatabase(dir.path(), [](sqlite3* db) {
            db::schema::RowWriter comics(db, QStringLiteral("SERVERSTRIPOTHEK"),
                                         {QStringLiteral("SCLCOMICID"), QStringLiteral("SCLTITEL1"),
                                          QStringLiteral("SCLSERIENTEXT"), QStringLiteral("SCLISBNNR"),
                                          QStringLiteral("SCLBEMERKUNG")});
            comics.insert({"K1", "Asterix der Gallier", "Asterix", "3-7704-0001-1", "Mit \"Poster\" * ^"});
            comics.insert({"K2", "Ärger im Paradies", "Lucky Luke", nullptr, "NEAR(a b) AND c OR NOT d"});
            comics.insert({"K3", "L'Île mystérieuse", nullptr, "978-3-551-71234-5", "col:x {a b} 100%_\\"});
        });
        connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
        table = std::make_unique<db::Table>(connection, QStringLiteral("tblStripothek"),
                                            QStringLiteral("SERVERSTRIPOTHEK"));
        table->open();
        db::Statement read(connection.handle(), QStringLiteral("SELECT SUCHTEXT FROM SUCHTEXT ORDER BY ID"));
        while (read.step())
            texts << read.column(0).toString();
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
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    catalogue->table->setSearch(typed); // throws nothing: an exception ends the run as a finding
    // Plain text that is no ISBN: found exactly where its folded form occurs.
    const QString wanted = db::searchKey(db::search::normalizedSearch(typed));
    bool isbn = false;
    for (const QChar c : wanted)
        isbn = isbn || c.isDigit();
    if (!isbn) {
        int expected = 0;
        for (const QString& text : std::as_const(catalogue->texts))
            expected += text.contains(wanted, Qt::CaseInsensitive) ? 1 : 0;
        if (catalogue->table->shownCount() != expected)
            std::abort();
    }
    catalogue->connection.endRead();
    // One statement per distinct text stays prepared; the fuzzer makes millions.
    static int inputs = 0;
    if (++inputs % 256 == 0) {
        catalogue->table->close();
        catalogue->connection.disconnect();
        catalogue->table->open();
    }
    return 0;
}
