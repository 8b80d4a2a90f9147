#pragma once

#include <QString>

namespace db {

// The internal form of an ISBN under which the catalogue stores, finds and
// compares it: ASCII letters upper-cased, everything but the ASCII digits and
// capital letters dropped. Letters of a prefix ("ISBN") stay; hyphens, blanks,
// umlauts and any other character go.
QString ReduceIsbn(const QString& isbn);

// The form in which two ISBNs are compared to find the same book: the
// internal form without a leading "ISBN", and a valid ISBN-10 as the ISBN-13
// of the same book ("3-551-71234-4" and "978-3-551-71234-9" are one).
// Anything that is no valid ISBN-10 stays in its internal form, so a number
// with a wrong check digit meets only itself. Empty: no ISBN.
QString comparableIsbn(const QString& isbn);

} // namespace db
