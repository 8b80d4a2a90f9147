#include "covers/CoverFile.h"

#include "covers/CoverImage.h"
#include "database/SqliteFailureText.h"
#include "database/Statement.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <sqlite3.h>

namespace covers::file {

namespace {

[[noreturn]] void fail(sqlite3* db, int rc, const QString& path)
{
    const QString text = db::sqliteFailureText(rc, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString(), path);
    throw db::EngineError(QLatin1String(kComponent), text, rc);
}

qint64 pragma(sqlite3* db, const char* name)
{
    db::Statement statement(db, QStringLiteral("PRAGMA %1").arg(QLatin1String(name)), QLatin1String(kComponent));
    return statement.step() ? statement.columnInt64(0) : 0;
}

} // namespace

QString pathIn(const QString& databaseFolder)
{
    return QDir::cleanPath(QFileInfo(databaseFolder).absoluteFilePath() + QLatin1Char('/') + QLatin1String(kFileName));
}

void exec(sqlite3* db, const char* sql)
{
    db::Statement(db, QString::fromUtf8(sql), QLatin1String(kComponent)).exec();
}

void initialise(sqlite3* db)
{
    // Space of removed covers goes back to the file system at packing
    // without rewriting gigabytes of pictures; set before the first table.
    exec(db, "PRAGMA auto_vacuum = INCREMENTAL");
    exec(db, "BEGIN IMMEDIATE");
    try {
        exec(db, kCreateTable);
        exec(db, QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId).toUtf8().constData());
        exec(db, QStringLiteral("PRAGMA user_version = %1").arg(kVersion).toUtf8().constData());
        exec(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

sqlite3* open(const QString& path, bool create)
{
    if (!create && !QFileInfo::exists(path))
        return nullptr;
    const QString folder = QFileInfo(path).path();
    if (!QFileInfo(folder).isDir())
        throw db::Error(QStringLiteral("Das Datenbankverzeichnis „%1“ gibt es nicht; die Titelbilder gehören neben die "
                                       "Datenbank der Sammlung")
                            .arg(QDir::toNativeSeparators(folder)));
    sqlite3* db = nullptr;
    // A collection on a CD or in another user's folder: SQLite's readers of
    // a WAL file need to make its -shm beside it, which they cannot there.
    // Read as it is instead, as the catalogue is read; nothing can change it.
    const bool asItIs = !create && !QFileInfo(folder).isWritable();
    // One thread per store: no locking per call.
    const int flags = asItIs ? SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI
                             : SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const QByteArray name = asItIs ? QUrl::fromLocalFile(path).toEncoded() + "?immutable=1" : QFile::encodeName(path);
    const int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = db::sqliteFailureText(rc, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString(), path);
        sqlite3_close(db);
        throw db::EngineError(QLatin1String(kComponent), text, rc);
    }
    try {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, 5000);
        const qint64 id = pragma(db, "application_id");
        if (id != kApplicationId) {
            db::Statement tables(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), QLatin1String(kComponent));
            const bool empty = id == 0 && tables.step() && tables.columnInt64(0) == 0;
            tables.reset();
            if (!empty)
                throw db::Error(QStringLiteral("Die Datei „%1“ ist keine Titelbilddatei der Stripothek. Benennen Sie "
                                               "sie um oder verschieben Sie sie; die Stripothek legt dann eine neue an")
                                    .arg(QDir::toNativeSeparators(path)));
            if (!create) {
                sqlite3_close(db);
                return nullptr;
            }
            initialise(db);
        }
        // WAL lets a reader (the gallery) go on while a cover is stored.
        if (!asItIs) {
            exec(db, "PRAGMA journal_mode = WAL");
            exec(db, "PRAGMA synchronous = FULL");
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    return db;
}

void bindBlob(sqlite3_stmt* statement, int index, const QByteArray& bytes)
{
    // An empty QByteArray has no data pointer; SQLite would store NULL.
    const int rc = sqlite3_bind_blob(statement, index, bytes.isEmpty() ? "" : bytes.constData(), int(bytes.size()),
                                     SQLITE_STATIC);
    if (rc != SQLITE_OK)
        fail(sqlite3_db_handle(statement), rc, {});
}

void bindTextBytes(sqlite3_stmt* statement, int index, const QByteArray& utf8)
{
    const int rc = sqlite3_bind_text(statement, index, utf8.isEmpty() ? "" : utf8.constData(), int(utf8.size()),
                                     SQLITE_STATIC);
    if (rc != SQLITE_OK)
        fail(sqlite3_db_handle(statement), rc, {});
}

void bindInsert(db::Statement& insert, const QByteArray& keyUtf8, const PreparedCover& cover)
{
    bindTextBytes(insert.raw(), 1, keyUtf8);
    bindTextBytes(insert.raw(), 2, cover.format);
    insert.bindInt64(3, cover.width);
    insert.bindInt64(4, cover.height);
    insert.bindInt64(5, cover.bytes.size());
    insert.bind(6, cover.sha256);
    bindBlob(insert.raw(), 7, cover.thumbnail);
    bindBlob(insert.raw(), 8, cover.bytes);
}

QByteArray columnBytes(sqlite3_stmt* statement, int column)
{
    const void* data = sqlite3_column_blob(statement, column);
    return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(statement, column));
}

} // namespace covers::file
