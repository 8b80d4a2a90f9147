#include "tools/TableMaintenance.h"

#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"

#include <functional>

namespace tools {

namespace {

// The common sequence of packing and emptying: close, exclusive, open,
// work, close, shared, open. After a failure the table is opened shared
// again where that works, so the window keeps showing it.
void withExclusiveTable(ComicData& data, db::Table& table, const std::function<void()>& work)
{
    table.cancel();
    table.close();
    table.setExclusive(true);
    try {
        table.open();
        work();
        table.close();
    } catch (...) {
        table.close();
        table.setExclusive(false);
        try {
            table.open();
            data.InstallNameDisplays(table);
        } catch (const std::exception&) {
            // The first error says more; this table stays closed.
        }
        throw;
    }
    table.setExclusive(false);
    table.open();
    data.InstallNameDisplays(table);
}

} // namespace

void PackOneTable(ComicData& data, db::Table& table)
{
    withExclusiveTable(data, table, [&] { table.pack(); });
}

void PackAllTables(ComicData& data)
{
    for (db::Table* table : {&data.tblComicLocal(), &data.tblKeyGen(), &data.tblStripothek(), &data.tblComic2Autor(),
                             &data.tblAuflagen(), &data.tblVerlage(), &data.tblSerie(), &data.tblZustandsarten(),
                             &data.tblLitart(), &data.tblUnterart(), &data.tblAutoren(), &data.tblAusfuehrungen(),
                             &data.tblAutortyp()})
        PackOneTable(data, *table);
    data.dbConnection().compact(data.dbConnection().objectName());

    // Covers whose comic is gone (an interrupted deletion, rows deleted
    // through the SQL page, an emptied catalogue) go now, and their space.
    covers::CoverStore(data.dbConnection().databasePath()).removeOrphans(data.dbConnection());
}

void EmptyOneTable(ComicData& data, db::Table& table)
{
    withExclusiveTable(data, table, [&] { table.emptyTable(); });
}

void EmptyCatalogue(ComicData& data)
{
    // The catalogue first: the search index's triggers then find no volume
    // to write again for each own copy and author assignment that goes
    // after it. All four go in one transaction, so no one sees the order.
    db::Table* const tables[] = {&data.tblStripothek(), &data.tblComicLocal(), &data.tblAuflagen(),
                                 &data.tblComic2Autor()};
    // The transaction needs the database to itself before it starts: each
    // table's exclusive opening then only counts up.
    db::Connection& connection = data.dbConnection();
    connection.connect();
    const db::ExclusiveUse exclusive(connection, tables[0]->name());
    {
        db::Transaction transaction(connection);
        for (db::Table* table : tables)
            EmptyOneTable(data, *table);
        transaction.commit();
    }
    PackAllTables(data);
}

void CheckISBNNumbers(ComicData& data)
{
    db::Table& catalogue = data.tblStripothek();
    const db::ControlsDisabled quiet(catalogue);
    // The first move ends an edit the way every move does, before the walk.
    catalogue.first();
    {
        // A saved entry whose order or filter fields change would otherwise
        // jump ahead of the walk or behind it, and entries would be skipped.
        const db::RowSetFrozen frozen(catalogue);
        db::Transaction transaction(data.dbConnection());
        try {
            while (!catalogue.eof()) {
                catalogue.edit();
                catalogue.fieldByName(db::fields::SCLINTISBNNR).setAsString(QString());
                catalogue.post();
                catalogue.next();
            }
        } catch (...) {
            transaction.commit();
            throw;
        }
        transaction.commit();
    }
    // The rows are in order again; the last of them is where the walk ends.
    catalogue.last();
}

} // namespace tools
