#pragma once

class ComicData;

namespace db {
class Table;
}

// Packing, emptying and the ISBN check on the main window's tables. Each
// throws the engine's error on failure; the commands around them show it.
namespace tools {

// Closes the table (a row being edited is dropped), reopens it for
// exclusive use, packs it, and opens it shared again: at its first row,
// with its index, filter and link as before and its reference fields
// showing names. Fails while another program has the database open; the
// table is then open shared again before the error travels on.
void PackOneTable(ComicData& data, db::Table& table);

// The thirteen tables in their packing order (own copies first, the key
// counter second, then the catalogue), then the file gives the space of
// deleted rows back; last the covers of comics that are gone are removed.
// Stops at the first table that fails.
void PackAllTables(ComicData& data);

// Removes every row of one table the same way (exclusive, then shared again).
void EmptyOneTable(ComicData& data, db::Table& table);

// The catalogue, own copies, editions and author assignments, emptied
// inside one transaction, so a failure leaves all four as they were; then
// every table is packed. Lookup lists and the key counter keep
// their rows.
void EmptyCatalogue(ComicData& data);

// Saves every catalogue entry the overview lists (its filter and order)
// once more, with an empty internal ISBN, so the catalogue's before-post
// handler derives it anew. Bound controls are suspended meanwhile and the
// catalogue ends at its last entry. The saves share one transaction; when
// an entry cannot be saved, those before it are committed and that entry
// stays in edit mode.
void CheckISBNNumbers(ComicData& data);

} // namespace tools
