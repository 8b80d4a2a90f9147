#pragma once

// Copying a catalogue through SQLite's backup interface. Used by BackupStore only.

#include "backup/BackupStore.h"
#include "core/Errors.h"

struct sqlite3;

namespace backup::copy {

// The catalogue being copied is damaged: the copy holds, page for page, what
// the file holds, and fails its check for the same reason.
class DamagedSource : public db::Error {
public:
    using db::Error::Error;
};

// Every page of from's main database into to's, in steps that report
// progress. to must have no transaction open; what it held before is gone
// when this returns, and untouched when it throws. Throws db::EngineError
// with SQLite's code.
void pages(sqlite3* from, sqlite3* to, Stage stage, const Progress& progress);

// Makes target (which must not exist) a copy of the catalogue in liveFile
// as one read transaction sees it, in rollback-journal mode so that it is
// one self-contained file, then checks it: SQLite's structural check, and
// the thirteen tables' rows and the key counter against the catalogue's at
// the moment of copying. Synced to the disk before it returns. On failure
// target may be left half written; the caller removes it. A damaged
// catalogue throws DamagedSource after the copy was made.
Snapshot checkedCopy(const QString& liveFile, const QString& target, const Progress& progress);

} // namespace backup::copy
