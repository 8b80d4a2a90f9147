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
// (searchKey: without case and accents), and triggers on the catalogue, the
// author assignments, the authors and the own copies keep it current. The
// triggers and the views that fold use SQLite's own functions only, so an
// edit made with the plain sqlite3 shell is found at once too. The texts of
// one volume are joined by a control character that no search contains, so
// a match never spans two of them.
namespace db::search {

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
// folded text. A text of digits, X and punctuation is also looked for as an
// ISBN's digits. Empty sql when the text holds nothing to look for.
CompiledFilter searchCondition(const QString& typed);
// A statement that counts the rows of that condition in the index itself,
// bound with the same values: the index holds a row for each volume, so no
// volume need be looked up to count them. Empty when the condition has more
// than one part (a MATCH cannot stand beside OR).
QString searchCountSql(const QString& typed);

// Many rows written in one transaction (an import of a spreadsheet): the
// file's triggers would rewrite a volume's index row for each of its rows
// and SQLite's full-text index pays for every statement, so while this lives
// the changes only note the volumes they touch, and finish() refreshes those
// at once and puts the file's triggers back. Lives inside the caller's
// transaction: rolled back, the file keeps its triggers and its index as
// they were. finish() belongs before the commit; without it the caller must
// roll back. Does nothing on a file without the index.
class DeferredRefresh {
public:
    explicit DeferredRefresh(sqlite3* db);
    ~DeferredRefresh();
    DeferredRefresh(const DeferredRefresh&) = delete;
    DeferredRefresh& operator=(const DeferredRefresh&) = delete;
    void finish();

private:
    void dropNoting();
    static QStringList triggerNames();
    sqlite3* m_db;
    bool m_active;
};

} // namespace db::search
