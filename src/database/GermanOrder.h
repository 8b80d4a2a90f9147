#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;

namespace db {

// The German order of names (DIN 5007, variant 1): case is ignored, ä, ö and
// ü sort as a, o and u, ß as ss, and every Latin letter with a diacritic of
// a European language as its base letter (é as e, ł as l, ø as o, ș as s;
// æ, œ, þ as ae, oe, th). Typographic dashes, quotes, the ellipsis and the
// no-break space sort as their plain forms. Other scripts keep their letters
// and sort after Z.
//
// The key lives in the file as virtual generated columns of SQLite's own
// functions (replace, upper, GLOB), so the plain sqlite3 shell computes it
// and keeps the indexes over it current. One expression cannot fold every
// letter: SQLite's parser nests calls only about 27 deep, and an index
// expression or generated column is one such nest. So the folding is a
// chain of columns, each a nest of at most 24 replacements over the one
// before:
//   NAME_SORT0  umlauts, ß and the typographic signs, for a name that has
//               more than umlauts beyond ASCII (null otherwise)
//   NAME_SORT1 … NAME_SORT8  the other letters, where NAME_SORT0 still holds
//               a character beyond ASCII (null otherwise)
//   NAME_SORT   the key, upper-cased, and the column of the name's index:
//               plain ASCII as it is, umlauts replaced right there, the
//               rest from NAME_SORT0 or through the chain.
// SQLite computes a virtual column wherever it is used, anew at each use,
// so each column names the one before it once only: a second mention would
// double the work at every step. Inserts and updates compute all columns of
// a row; the nulls keep that cheap for names that need no more than umlauts.
// The columns stand after the table's own, where PRAGMA table_info, the
// engine's fields and the export do not see them; SELECT * shows them
// (the SQL page hides them like other texts without a width).

// The key column of a name field: "SCLTITEL1" gives "SCLTITEL1_SORT".
QString germanKeyColumn(const QString& field);

// A text as an SQL string literal, for the generated SQL of key columns and
// search views (written by the program, never typed).
QString sqlText(QString text);

// The column definitions that compute a name field's key, in the order
// ALTER TABLE must add them; the last one defines germanKeyColumn(field).
QStringList germanKeyColumnsSql(const QString& field);

// The same key computed here, for rows already in memory. A null text and an
// empty one give the empty key.
QString germanKey(const QString& text);

// Compares two texts in the German order; ties are left to the caller.
int germanCompare(const QString& a, const QString& b);

// What the filters and searches compare: the German key of the case-folded
// text, so "ile" finds "Île", "strasse" finds "Straße", and Greek or
// Cyrillic names still ignore case.
QString searchKey(const QString& text);

// The characters the key folds, each with its lower-case base (empty for a
// combining accent): first the umlauts, ß and the typographic signs, which
// most German titles need alone, then every other letter. For SQL that must
// fold as the program does without the program's functions.
struct FoldedCharacter {
    QChar character;
    QString base;
};
QList<FoldedCharacter> germanFoldsCommon();
QList<FoldedCharacter> germanFoldsOther();

// Makes stsort(x) (the German key), stfold(x) (the search key) and stcase(x)
// (only the case folded, as the search index compares) known to a connection
// of the program. The file never needs them.
void addGermanOrderFunctions(sqlite3* db);

// A name field as an ORDER BY term for the file db: its key column, which
// the field's index holds; in a file made by an earlier version (one the
// program could only read, so it could not bring its key columns up to
// date) the same key through stsort, only without the index's help.
// qualifier is the table's alias.
QString germanKeySql(sqlite3* db, const QString& field, const QString& qualifier = QString());

// The key column of a name field where the file computes it as this version
// does; empty for any other field, or in a file made by an earlier version.
QString germanKeyColumnIn(sqlite3* db, const QString& field);

// Any expression's German key through stsort, for sorting what no index
// holds (a few rows, an aggregate's groups).
QString germanKeyCall(const QString& expression);

} // namespace db
