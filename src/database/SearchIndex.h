#pragma once

#include "database/Filter.h"

#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;

// The search over every text of a volume: its three titles, series,
// publisher, ISBN, its authors' names, remarks and contents, and the storage
// places and notes of its own copies.
//
// The file keeps it itself: an FTS5 table with the trigram tokenizer holds,
// under each catalogue row's rowid, that row's texts folded as names compare
// (searchKey: without case and accents). Writing that table costs far more
// than the row itself, and SQLite's full-text index pays again for every
// statement inside a transaction, so the triggers on the catalogue, the
// author assignments, the authors and the own copies only note the volumes
// whose texts changed, and a volume appended after the index's last row
// waits by its rowid alone. A search takes the index for every other volume
// and reads the folded texts of the waiting ones, so an edit made with the
// plain sqlite3 shell is found at once too; the program brings the index up
// to date when that costs the user nothing (catchUp): when its event loop
// runs again after a write, on opening, before an import's commit. The
// triggers and the views that fold use SQLite's own functions only. The
// texts of one volume are joined by a control character that no search
// contains, so a match never spans two of them.
namespace db::search {

// The plain table of the volumes noted for catchUp: no table of the user's.
QString notesTable();

// The index table, its views and triggers, in the order they are created.
QStringList createSql();

// How far filling the index has come, in percent.
using Progress = std::function<void(int percent)>;

// Creates the index with its views and triggers and fills it from the rows
// there are, inside the caller's transaction.
void createSearchIndex(sqlite3* db, const Progress& progress = {});

// A Stripothek file without the index (made by an earlier version), or one
// whose index objects differ from this version's (dropped or changed by
// hand), gets them anew, filled, in one transaction. Returns whether it
// changed anything; a file that cannot be written now stays as it is.
bool upgradeSearchIndex(sqlite3* db, const Progress& progress = {});

// Whether the file has the index (a file made by an earlier version and
// opened read-only has not).
bool hasSearchIndex(sqlite3* db);

// The typed text as the search reads it: control characters as blanks,
// blanks at the ends gone, runs of blanks as one.
QString normalizedSearch(const QString& typed);

// The condition on the catalogue's rows that a typed text makes, with its
// values bound: never SQL from the text. Three characters or more (after
// folding) are one phrase of the index; fewer are looked for in the same
// folded text. Volumes waiting for catchUp are looked for in their texts as
// the views fold them now. A text of digits, X and punctuation is also looked for as an
// ISBN's digits. Empty sql when the text holds nothing to look for.
CompiledFilter searchCondition(const QString& typed);
// A statement that counts the rows of that condition in the index itself
// and among the waiting volumes, bound with the same values, so that no
// volume need be looked up to count them. Empty when the index would answer
// in two parts that may find one volume twice.
QString searchCountSql(const QString& typed);

// Writes the index rows of the waiting volumes anew and clears the notes,
// in one transaction (a savepoint inside the caller's). Returns whether
// there was anything to do. With between, many volumes are written in
// slices, a statement each, and between is called after each slice: the
// caller may let its windows paint then, as it may not inside a statement.
bool catchUp(sqlite3* db, const std::function<void()>& between = {});

// Right after opening: a file that can be written catches up with what
// other programs changed meanwhile; an older file with an index kept
// current by its triggers, opened only for reading, gets an empty list of
// notes of its own, so that the search reads it as it is. Never throws:
// the search stays correct without it.
void prepareSearch(sqlite3* db);

} // namespace db::search
