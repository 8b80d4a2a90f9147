#pragma once

#include "core/Errors.h"

namespace db {

// The user's words for a failure that SQLite reports with result code rc on
// the given database file: what went wrong and what to do about it, for the
// codes a user can meet (file in use, read-only, missing rights, damaged,
// I/O error, disk full). Other codes keep SQLite's own text.
QString sqliteFailureText(int rc, const QString& sqliteText, const QString& file);

} // namespace db
