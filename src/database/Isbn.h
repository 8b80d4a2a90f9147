#pragma once

#include <QString>

namespace db {

// The internal form of an ISBN under which the catalogue stores, finds and
// compares it: ASCII letters upper-cased, everything but the ASCII digits and
// capital letters dropped. Letters of a prefix ("ISBN") stay; hyphens, blanks,
// umlauts and any other character go.
QString ReduceIsbn(const QString& isbn);

} // namespace db
