#pragma once

#include <QString>

namespace db {

// The German order of names (DIN 5007, variant 1): case is ignored, ä, ö and
// ü sort as a, o and u, ß as ss, and accented letters as their base letters.
//
// The key is an expression over SQLite's own functions (upper, replace,
// GLOB), so an index over it lives in a file that the plain sqlite3 shell
// still reads and writes. SQLite's parser nests an index expression only
// about 25 calls deep, so the accented letters come in groups by language
// (Spanish, French, Italian, Portuguese, Nordic, Polish, Czech, then the
// common rest) of at most twelve: a name has its umlauts and the letters of
// the first language it shows replaced. A name that mixes two languages'
// letters (Spanish ñ with French è) keeps the second one's, which then sort
// after Z. Names in plain ASCII cost one pattern test.

// The sort key of a column, as SQL; the column as it is written in the query.
QString germanKeySql(const QString& column);

// The same key computed here, for rows already in memory. A null text and an
// empty one give the empty key.
QString germanKey(const QString& text);

// Compares two texts in the German order; ties are left to the caller.
int germanCompare(const QString& a, const QString& b);

} // namespace db
