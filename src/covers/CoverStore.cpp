#include "covers/CoverStore.h"

#include "core/Errors.h"
#include "covers/CoverFile.h"
#include "database/Connection.h"
#include "database/Statement.h"

#include <QBuffer>
#include <QImageWriter>
#include <sqlite3.h>

#include <optional>

namespace covers {

namespace {

const QString kComponent = QLatin1String(file::kComponent);

// A read of several rows sees one state of the file and pays for one read
// transaction instead of one per statement.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db) : m_db(db), m_own(sqlite3_get_autocommit(db) != 0)
    {
        if (m_own)
            file::exec(m_db, "BEGIN");
    }
    ~ReadTransaction()
    {
        if (m_own)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* m_db;
    bool m_own;
};

} // namespace

struct CoverStore::Statements {
    sqlite3* db;
    std::optional<db::Statement> thumbnail, original, info, insert, remove;

    db::Statement& get(std::optional<db::Statement>& slot, const char* sql)
    {
        if (!slot)
            slot.emplace(db, QString::fromUtf8(sql), kComponent);
        return *slot;
    }
    db::Statement& thumbnailSelect()
    {
        return get(thumbnail, "SELECT TBVORSCHAU FROM TITELBILDER WHERE TBCOMICID = ?1");
    }
    db::Statement& originalSelect() { return get(original, "SELECT TBBILD FROM TITELBILDER WHERE TBCOMICID = ?1"); }
    db::Statement& infoSelect()
    {
        return get(info, "SELECT TBCOMICID, TBFORMAT, TBBREITE, TBHOEHE, TBGROESSE, TBSHA256 FROM TITELBILDER "
                         "WHERE TBCOMICID = ?1");
    }
    db::Statement& insertRow() { return get(insert, file::kInsert); }
    db::Statement& deleteRow() { return get(remove, "DELETE FROM TITELBILDER WHERE TBCOMICID = ?1"); }
};

CoverStore::CoverStore(const QString& databaseFolder, QObject* parent)
    : QObject(parent), m_path(file::pathIn(databaseFolder))
{
}

CoverStore::~CoverStore()
{
    close();
}

void CoverStore::close()
{
    m_statements.reset();
    if (m_db) {
        if (m_batchBegun)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_batchBegun = false;
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

sqlite3* CoverStore::reader()
{
    if (!m_db) {
        m_db = file::open(m_path, false);
        if (m_db)
            m_statements = std::make_unique<Statements>(Statements{m_db, {}, {}, {}, {}, {}});
    }
    return m_db;
}

sqlite3* CoverStore::writer()
{
    if (!m_db) {
        m_db = file::open(m_path, true);
        m_statements = std::make_unique<Statements>(Statements{m_db, {}, {}, {}, {}, {}});
    }
    return m_db;
}

bool CoverStore::has(const QString& key)
{
    return info(key).has_value();
}

std::optional<CoverInfo> CoverStore::info(const QString& key)
{
    return file::guarded(m_path, [&]() -> std::optional<CoverInfo> {
        if (!reader())
            return std::nullopt;
        db::Statement& select = m_statements->infoSelect();
        const db::StatementReset reset(select);
        select.bindText(1, key);
        if (!select.step())
            return std::nullopt;
        CoverInfo info;
        info.key = select.column(0).toString();
        info.format = select.column(1).toString().toLatin1();
        info.width = int(select.columnInt64(2));
        info.height = int(select.columnInt64(3));
        info.bytes = select.columnInt64(4);
        info.sha256 = select.column(5).toString();
        return info;
    });
}

QByteArray CoverStore::thumbnailBytes(const QString& key)
{
    return file::guarded(m_path, [&]() -> QByteArray {
        if (!reader())
            return {};
        db::Statement& select = m_statements->thumbnailSelect();
        const db::StatementReset reset(select);
        select.bindText(1, key);
        return select.step() ? file::columnBytes(select.raw(), 0) : QByteArray();
    });
}

QImage CoverStore::thumbnail(const QString& key)
{
    const QByteArray bytes = thumbnailBytes(key);
    return bytes.isEmpty() ? QImage() : QImage::fromData(bytes, "JPEG");
}

QHash<QString, QByteArray> CoverStore::thumbnails(const QStringList& keys)
{
    return file::guarded(m_path, [&]() -> QHash<QString, QByteArray> {
        QHash<QString, QByteArray> found;
        if (keys.isEmpty() || !reader())
            return found;
        const ReadTransaction read(m_db);
        db::Statement& select = m_statements->thumbnailSelect();
        for (const QString& key : keys) {
            const db::StatementReset reset(select);
            select.bindText(1, key);
            if (select.step())
                found.insert(key, file::columnBytes(select.raw(), 0));
        }
        return found;
    });
}

QByteArray CoverStore::original(const QString& key)
{
    return file::guarded(m_path, [&]() -> QByteArray {
        if (!reader())
            return {};
        db::Statement& select = m_statements->originalSelect();
        const db::StatementReset reset(select);
        select.bindText(1, key);
        return select.step() ? file::columnBytes(select.raw(), 0) : QByteArray();
    });
}

QImage CoverStore::originalImage(const QString& key)
{
    const QByteArray bytes = original(key);
    return bytes.isEmpty() ? QImage() : decodeUpright(bytes);
}

QStringList CoverStore::keys()
{
    return file::guarded(m_path, [&]() -> QStringList {
        QStringList keys;
        if (!reader())
            return keys;
        db::Statement select(m_db, QStringLiteral("SELECT TBCOMICID FROM TITELBILDER ORDER BY TBCOMICID"), kComponent);
        while (select.step())
            keys << select.column(0).toString();
        return keys;
    });
}

qint64 CoverStore::count()
{
    return file::guarded(m_path, [&]() -> qint64 {
        if (!reader())
            return 0;
        db::Statement select(m_db, QStringLiteral("SELECT count(*) FROM TITELBILDER"), kComponent);
        return select.step() ? select.columnInt64(0) : 0;
    });
}

CoverInfo CoverStore::store(const QString& key, const QByteArray& bytes, const QString& sourceName)
{
    return storePrepared(key, prepareCover(bytes, sourceName));
}

CoverInfo CoverStore::storeFile(const QString& key, const QString& path)
{
    return storePrepared(key, prepareCoverFile(path));
}

CoverInfo CoverStore::storeImage(const QString& key, const QImage& image)
{
    if (image.isNull())
        return storePrepared(key, prepareCover({}));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw db::Error(QStringLiteral("Das Titelbild lässt sich nicht als PNG schreiben: %1").arg(writer.errorString()));
    return storePrepared(key, prepareCover(png));
}

CoverInfo CoverStore::storePrepared(const QString& key, const PreparedCover& cover)
{
    return file::guarded(m_path, [&]() -> CoverInfo {
        if (key.isEmpty())
            throw db::Error(QStringLiteral("Ein Titelbild braucht einen gespeicherten Comic; speichern Sie den Comic "
                                           "zuerst"));
        writer();
        if (m_batch && !m_batchBegun) {
            file::exec(m_db, "BEGIN IMMEDIATE");
            m_batchBegun = true;
        }
        db::Statement& insert = m_statements->insertRow();
        const db::StatementReset reset(insert);
        const QByteArray keyUtf8 = key.toUtf8();
        file::bindInsert(insert, keyUtf8, cover);
        insert.exec();
        announce(key);
        return {key, cover.format, cover.width, cover.height, cover.bytes.size(), cover.sha256, cover.reencoded};
    });
}

bool CoverStore::remove(const QString& key)
{
    return file::guarded(m_path, [&]() -> bool {
        if (!reader())
            return false;
        db::Statement& remove = m_statements->deleteRow();
        remove.bindText(1, key);
        remove.exec();
        if (sqlite3_changes(m_db) == 0)
            return false;
        announce(key);
        return true;
    });
}

void CoverStore::announce(const QString& key)
{
    if (m_batch)
        m_batchKeys << key;
    else
        Q_EMIT changed(key);
}

int CoverStore::removeOrphans(db::Connection& catalogue)
{
    return file::guarded(m_path, [&]() -> int {
        if (!reader())
            return 0;
        catalogue.connect();
        // Keys compare as the catalogue's key index compares them: a cover whose
        // key differs from its comic's only in case still belongs to it.
        db::Statement exists(catalogue.handle(),
                             QStringLiteral("SELECT 1 FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = ?1 COLLATE NOCASE LIMIT 1"),
                             catalogue.objectName());
        QList<QByteArray> orphans;
        {
            const ReadTransaction read(m_db);
            db::Statement all(m_db, QStringLiteral("SELECT TBCOMICID FROM TITELBILDER"), kComponent);
            while (all.step()) {
                // The key's bytes as stored, whatever they are.
                const QByteArray key = file::columnBytes(all.raw(), 0);
                const db::StatementReset reset(exists);
                file::bindTextBytes(exists.raw(), 1, key);
                if (!exists.step())
                    orphans << key;
            }
        }
        if (!orphans.isEmpty()) {
            file::exec(m_db, "BEGIN IMMEDIATE");
            try {
                db::Statement remove(m_db, QStringLiteral("DELETE FROM TITELBILDER WHERE TBCOMICID = ?1"), kComponent);
                for (const QByteArray& key : orphans) {
                    file::bindTextBytes(remove.raw(), 1, key);
                    remove.exec();
                }
                file::exec(m_db, "COMMIT");
            } catch (...) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
            for (const QByteArray& key : orphans)
                Q_EMIT changed(QString::fromUtf8(key));
        }
        // Free pages (of these covers, and of covers replaced or removed since
        // the last packing) go back to the file system.
        file::exec(m_db, "PRAGMA incremental_vacuum");
        file::exec(m_db, "PRAGMA wal_checkpoint(TRUNCATE)");
        return int(orphans.size());
    });
}

CoverStore::WriteBatch::WriteBatch(CoverStore& store) : m_store(store)
{
    if (m_store.m_batch)
        throw db::Error(QStringLiteral("Titelbilder: Es läuft schon ein Speichervorgang"));
    m_store.m_batch = true;
    m_store.m_batchKeys.clear();
}

CoverStore::WriteBatch::~WriteBatch()
{
    if (!m_done && m_store.m_batchBegun)
        sqlite3_exec(m_store.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_store.m_batch = false;
    m_store.m_batchBegun = false;
    m_store.m_batchKeys.clear();
}

void CoverStore::WriteBatch::commit()
{
    if (m_store.m_batchBegun)
        file::exec(m_store.m_db, "COMMIT");
    m_done = true;
    m_store.m_batch = false;
    m_store.m_batchBegun = false;
    const QStringList keys = std::exchange(m_store.m_batchKeys, {});
    for (const QString& key : keys)
        Q_EMIT m_store.changed(key);
}

} // namespace covers
