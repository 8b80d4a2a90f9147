#pragma once

#include "covers/CoverImage.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct sqlite3;

namespace db {
class Connection;
}

namespace covers {

// What is known of a stored cover without reading its pictures.
struct CoverInfo {
    QString key;
    QByteArray format; // "jpeg", "png", …
    int width = 0;     // of the original, upright
    int height = 0;
    qint64 bytes = 0;  // of the stored original
    QString sha256;
    bool reencoded = false; // only from store(): the original was too large and is now a JPEG
};

// The covers of one collection: database/titelbilder.db beside the
// catalogue, one row per volume key (SCLCOMICID, compared without case as
// the catalogue's key index does). The file is made by the first store and
// never before: reading a collection without it finds no covers.
//
// It keeps a SQLite connection of its own rather than being attached to the
// catalogue's: the catalogue's file stays exactly as it was for packing, the
// SQL page and the sqlite3 shell; the catalogue's exclusive locks (packing,
// emptying) and its read transactions do not reach the pictures; and since
// SQLite commits two WAL files one after the other anyway, an attachment
// would not make a deletion atomic. The order does that instead: the comic
// goes first, its cover after (see CoverRules.h).
//
// One store per thread. Every failure throws db::Error with a German text.
class CoverStore : public QObject {
    Q_OBJECT
public:
    // databaseFolder holds stripothek.db; a relative one is taken from the
    // working directory now.
    explicit CoverStore(const QString& databaseFolder, QObject* parent = nullptr);
    ~CoverStore() override;

    QString fileName() const { return m_path; }

    // Reading. Cheap enough for every move to the next comic: one indexed
    // look-up that reads only the thumbnail's pages.
    bool has(const QString& key);
    std::optional<CoverInfo> info(const QString& key);
    QByteArray thumbnailBytes(const QString& key); // JPEG; empty: no cover
    QImage thumbnail(const QString& key);          // null: no cover
    // The thumbnails of those keys that have one, read in one transaction
    // (a screen of a gallery).
    QHash<QString, QByteArray> thumbnails(const QStringList& keys);
    QByteArray original(const QString& key); // as stored; empty: no cover
    QImage originalImage(const QString& key); // upright; null: no cover
    QStringList keys();
    qint64 count();

    // Writing. Each checks the picture (prepareCover) before anything is
    // written, replaces an older cover of the key, and is one durable
    // transaction unless a WriteBatch is open.
    CoverInfo store(const QString& key, const QByteArray& bytes, const QString& sourceName = {});
    CoverInfo storeFile(const QString& key, const QString& path);
    // A picture without a file (pasted, dropped from a browser): kept as PNG.
    CoverInfo storeImage(const QString& key, const QImage& image);
    // A cover prepared beforehand, on any thread.
    CoverInfo storePrepared(const QString& key, const PreparedCover& cover);
    // True when there was a cover to remove. A missing file stays missing.
    bool remove(const QString& key);

    // Removes the covers whose key names no volume of the catalogue (left
    // by a deletion that was interrupted between its two files, or by rows
    // deleted through the SQL page) and gives their space back. Returns how
    // many went. Packing calls it after the catalogue's own tables.
    int removeOrphans(db::Connection& catalogue);

    // Lets go of the file (its connection is made again when needed).
    void close();

    // Stores made while one is open go in one transaction: the first store
    // begins it, commit() ends it; leaving without commit() rolls back.
    class WriteBatch {
    public:
        explicit WriteBatch(CoverStore& store);
        ~WriteBatch();
        WriteBatch(const WriteBatch&) = delete;
        WriteBatch& operator=(const WriteBatch&) = delete;
        void commit();

    private:
        CoverStore& m_store;
        bool m_done = false;
    };

Q_SIGNALS:
    // A cover was stored, replaced or removed (after its commit).
    void changed(const QString& key);

private:
    struct Statements;
    sqlite3* reader();
    sqlite3* writer();
    void announce(const QString& key);

    QString m_path;
    sqlite3* m_db = nullptr;
    std::unique_ptr<Statements> m_statements;
    bool m_batch = false;
    bool m_batchBegun = false;
    QStringList m_batchKeys;
};

} // namespace covers
