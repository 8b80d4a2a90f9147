#include "tools/Import.h"

#include "core/Errors.h"
#include "covers/CoverBuilder.h"
#include "covers/CoverTransfer.h"
#include "database/Schema.h"
#include "database/Statement.h"
#include "tools/PacketReader.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <exception>
#include <optional>
#include <sqlite3.h>
#include <thread>

namespace tools {

namespace {

using import::BatchQueue;
using import::RowBatch;
using import::Value;

using Plan = std::vector<std::pair<QString, const db::schema::TableDef*>>; // file, table

// On the parsing thread: every file of the plan, one after the other.
void parseFiles(const Plan& plan, BatchQueue& queue)
{
    std::exception_ptr error;
    try {
        for (const auto& [file, table] : plan)
            if (!import::readPacket(file, table->name, queue))
                break; // the storing side gave up
    } catch (...) {
        error = std::current_exception();
    }
    queue.finish(error);
}

// A key the file holds twice shows only when its unique index is built:
// finding it costs nothing while the files are sound. The table was filled
// from the file alone, so a row's rowid is its place in the file.
[[noreturn]] void refuseKeyTwice(sqlite3* db, const QString& file, const db::schema::TableDef& table)
{
    for (const db::schema::IndexDef& index : table.indexes) {
        if (!index.unique || index.fields.size() != 1)
            continue;
        const QString key = index.fields.first();
        db::Statement twice(db, QStringLiteral("SELECT b.rowid, a.rowid, b.%1 FROM %2 a JOIN %2 b ON b.%1 = a.%1 "
                                               "COLLATE NOCASE AND b.rowid > a.rowid WHERE a.%1 COLLATE NOCASE IN (SELECT %1 FROM %2 "
                                               "GROUP BY %1 COLLATE NOCASE HAVING count(*) > 1) ORDER BY 1, 2 LIMIT 1")
                                    .arg(key, table.name));
        if (!twice.step())
            continue;
        throw db::Error(QStringLiteral("Importdatei „%1“, Zeile %2, Datensatz „%3“: Der Schlüssel %4 „%3“ steht schon "
                                       "in Zeile %5 (Schlüssel unterscheiden keine Groß- und Kleinschreibung)")
                            .arg(QDir::toNativeSeparators(file))
                            .arg(import::lineOfRow(file, twice.columnInt64(0)))
                            .arg(twice.column(2).toString(), key)
                            .arg(import::lineOfRow(file, twice.columnInt64(1))));
    }
    throw db::Error(QStringLiteral("Importdatei „%1“: Ein Schlüssel steht zweimal darin").arg(QDir::toNativeSeparators(file)));
}

// Stores the rows of one file as the parsing thread hands them on, then
// builds the table's indexes while the parsing goes on with the next file.
void storeRows(sqlite3* db, const QString& file, const db::schema::TableDef& table, BatchQueue& queue)
{
    db::Statement(db, QStringLiteral("DELETE FROM %1").arg(table.name)).exec();
    QStringList names;
    QStringList marks;
    for (const db::schema::FieldDef& f : table.fields) {
        names << f.name;
        marks << QStringLiteral("?");
    }
    db::Statement insert(db,
                         QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(table.name, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                         table.name);
    const int columns = int(table.fields.size());
    RowBatch batch;
    while (queue.pop(batch)) {
        for (int row = 0; row < batch.rows; ++row) {
            for (int c = 0; c < columns; ++c) {
                const Value& v = batch.values[size_t(row) * size_t(columns) + size_t(c)];
                switch (v.kind) {
                case Value::Kind::Null:
                    break; // exec() left every parameter null
                case Value::Kind::Integer:
                    insert.bindInt64(c + 1, v.integer);
                    break;
                case Value::Kind::Float:
                    insert.bindDouble(c + 1, v.real);
                    break;
                case Value::Kind::Text:
                    // The bytes as the file gave them, valid UTF-8 or not.
                    insert.bindUtf8(c + 1, QByteArray::fromRawData(batch.text.constData() + v.offset, v.size));
                    break;
                case Value::Kind::Blob:
                    if (sqlite3_bind_blob(insert.raw(), c + 1, batch.text.constData() + v.offset, v.size,
                                          SQLITE_STATIC) != SQLITE_OK)
                        throw db::EngineError(table.name, QString::fromUtf8(sqlite3_errmsg(db)));
                    break;
                }
            }
            insert.exec();
        }
        if (batch.endOfFile) {
            try {
                db::schema::createIndexes(db, table);
            } catch (const db::EngineError& e) {
                if ((e.code() & 0xff) == SQLITE_CONSTRAINT)
                    refuseKeyTwice(db, file, table);
                throw db::Error(QStringLiteral("Importdatei „%1“: %2").arg(QDir::toNativeSeparators(file), e.message()));
            }
            return;
        }
    }
    throw db::Error(QStringLiteral("Die Importdatei „%1“ wurde nicht bis zum Ende gelesen")
                        .arg(QDir::toNativeSeparators(file)));
}

} // namespace

void ImportDatabase(const QString& dir, const QStringList& files)
{
    if (files.isEmpty())
        throw db::Error(QStringLiteral("Es fehlen die Importdateien"));
    // Refuse what can be told from the names before a database exists.
    Plan plan;
    QSet<QString> tables;
    for (const QString& file : files) {
        const QFileInfo info(file);
        const QString shown = QDir::toNativeSeparators(file);
        if (info.isDir())
            throw db::Error(QStringLiteral("„%1“ ist ein Verzeichnis, keine Importdatei; geben Sie die Exportdateien "
                                           "darin an, etwa %2")
                                .arg(shown, QDir::toNativeSeparators(QDir(file).filePath(QStringLiteral("*.xml")))));
        const db::schema::TableDef* table = db::schema::table(info.completeBaseName());
        if (!table || info.suffix().compare(QLatin1String("xml"), Qt::CaseInsensitive) != 0)
            throw db::Error(QStringLiteral("Die Importdatei „%1“ gehört zu keiner Tabelle der Stripothek "
                                           "(erwartet wird ein Tabellenname mit .xml, etwa serverstripothek.xml)")
                                .arg(shown));
        if (tables.contains(table->name))
            throw db::Error(QStringLiteral("Die Tabelle %1 kommt in mehr als einer Importdatei vor").arg(table->name));
        if (!info.exists())
            throw db::Error(QStringLiteral("Die Importdatei „%1“ existiert nicht").arg(shown));
        if (!info.isFile())
            throw db::Error(QStringLiteral("„%1“ ist keine gewöhnliche Datei und lässt sich nicht importieren").arg(shown));
        tables.insert(table->name);
        plan.emplace_back(file, table);
    }
    // In the schema's order, catalogue first: its indexes over names take
    // longest to build, and they are built while the other files are parsed.
    const auto rank = [](const db::schema::TableDef* table) { return table - db::schema::tables().constData(); };
    std::sort(plan.begin(), plan.end(), [&](const auto& a, const auto& b) { return rank(a.second) < rank(b.second); });
    // The covers of the export lie beside its catalogue file; their list is
    // checked, and an existing covers file refused, before anything is made.
    const QString databaseFolder = QFileInfo(db::schema::databaseFile(dir)).path();
    QString coverIndex;
    QList<covers::IndexEntry> coverEntries;
    if (!plan.empty() && plan.front().second == &db::schema::tables().front()) {
        coverIndex = covers::indexIn(QFileInfo(plan.front().first).path());
        if (!coverIndex.isEmpty()) {
            coverEntries = covers::readIndex(coverIndex);
            covers::CoverBuilder::refuseExisting(databaseFolder);
        }
    }
    std::optional<covers::CoverBuilder> coverFile;
    db::schema::createDatabase(dir, [&](sqlite3* db) {
        // The whole collection goes in within one transaction: pages kept in
        // memory are not written twice.
        db::Statement(db, QStringLiteral("PRAGMA cache_size = -262144")).exec();
        BatchQueue queue;
        std::thread parser([&] { parseFiles(plan, queue); });
        const auto join = qScopeGuard([&] {
            queue.cancel();
            parser.join();
        });
        for (const auto& [file, table] : plan)
            storeRows(db, file, *table, queue);
        if (!coverEntries.isEmpty()) {
            coverFile.emplace(databaseFolder);
            covers::importCovers(coverIndex, coverEntries, db, *coverFile);
        }
    });
    if (coverFile)
        coverFile->install(db::schema::databaseFile(dir));
}

} // namespace tools
