#pragma once

#include "core/Errors.h"

namespace db {

// The user's words for a failure that SQLite reports with result code rc on
// the given database file: what went wrong and what to do about it, for the
// codes a user can meet (file in use, read-only, missing rights, damaged,
// I/O error, disk full, a rule of the schema, a mistake in a statement).
// SQLite's English text appears only in parentheses behind German words.
QString sqliteFailureText(int rc, const QString& sqliteText, const QString& file);

// Why an operation on the file or folder path failed, in the user's words:
// from the operating system's text that Qt passed on (file.errorString()),
// else from its code (errno right after the failing call), else from what
// the path is now. The system's own text stays in parentheses.
QString fileFailureReason(const QString& path, const QString& systemText, int errorNumber = 0);

} // namespace db
