#pragma once

#include "core/Errors.h"

#include <QByteArray>
#include <QDir>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace db {
class Statement;
}
namespace covers {
struct PreparedCover;
}

// The covers file: its name, its one table and how it is opened. Shared by
// the store, which works on the file beside a catalogue, and the builder,
// which makes a whole new one.
namespace covers::file {

inline constexpr char kFileName[] = "titelbilder.db";
// Told apart from the catalogue ("STRP") and from any other SQLite file.
inline constexpr int kApplicationId = 0x53545442; // "STTB"
inline constexpr int kVersion = 1;
inline constexpr char kComponent[] = "Titelbilder";

// One row per volume key. The thumbnail stands before the original: SQLite
// reads a row's columns from the front, so showing a thumbnail never walks
// the pages of a large original.
inline constexpr char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS TITELBILDER ("
    "TBCOMICID VARCHAR(50) NOT NULL COLLATE NOCASE PRIMARY KEY, "
    "TBFORMAT VARCHAR(10) NOT NULL, "
    "TBBREITE INTEGER NOT NULL, "
    "TBHOEHE INTEGER NOT NULL, "
    "TBGROESSE INTEGER NOT NULL, "
    "TBSHA256 VARCHAR(64) NOT NULL, "
    "TBVORSCHAU BLOB NOT NULL, "
    "TBBILD BLOB NOT NULL)";

inline constexpr char kInsert[] =
    "INSERT OR REPLACE INTO TITELBILDER (TBCOMICID, TBFORMAT, TBBREITE, TBHOEHE, TBGROESSE, TBSHA256, TBVORSCHAU, "
    "TBBILD) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)";

// folder/titelbilder.db, absolute.
QString pathIn(const QString& databaseFolder);

// Opens the file; with create, makes it (and its table) when missing.
// Returns nullptr when the file is missing and create is false, or when it
// is an empty file nobody has written a table into yet. Refuses a file that
// belongs to another program. Throws db::Error.
sqlite3* open(const QString& path, bool create);

// Gives the table and the file's marks to a new, empty file.
void initialise(sqlite3* db);

void exec(sqlite3* db, const char* sql);

// Binds bytes as a blob or as text without copying; they must live until the statement has run.
void bindBlob(sqlite3_stmt* statement, int index, const QByteArray& bytes);
void bindTextBytes(sqlite3_stmt* statement, int index, const QByteArray& utf8);
QByteArray columnBytes(sqlite3_stmt* statement, int column);

// Binds a cover to kInsert's parameters under the volume key; key and cover
// must live until the statement has run.
void bindInsert(db::Statement& insert, const QByteArray& keyUtf8, const PreparedCover& cover);

// Runs work; a damaged covers file is reported as a plain error. The
// catalogue's damage ends the program so that nothing more is written into
// it, but a damaged covers file leaves the catalogue sound: the program goes
// on without those pictures. Errors of other files pass unchanged.
template <typename Work>
auto guarded(const QString& path, Work&& work) -> decltype(work())
{
    try {
        return work();
    } catch (const db::EngineError& e) {
        if (!e.damaged() || !e.message().contains(QDir::toNativeSeparators(path)))
            throw;
        throw db::Error(e.message() + QStringLiteral(". Der Katalog selbst ist davon nicht betroffen"));
    }
}

} // namespace covers::file
