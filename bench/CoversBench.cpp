// Covers on a large collection: reading thumbnails as a move to the next
// comic and a screen of a gallery do, storing a scanned cover, beside raw
// SQLite doing the same reads and writes on the same file.
#include "CoversBench.h"
#include "Bench.h"

#include "covers/CoverBuilder.h"
#include "covers/CoverImage.h"
#include "covers/CoverStore.h"
#include "covers/SyntheticCovers.h"
#include "database/Connection.h"
#include "database/Schema.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

namespace {

sqlite3* openRaw(const QString& file, int flags)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + file.toStdString());
    return db;
}

// What a scanner gives for an album cover: A4 at 300 dpi, a picture with
// grain, a JPEG of about a megabyte and a half.
QByteArray scannedCover(int seed)
{
    QImage cover = covers::drawSyntheticCover(QStringLiteral("Die Abenteuer von Kapitän Hinnerk"),
                                              QStringLiteral("Der Schatz der Azteken"), QString::number(seed))
                       .scaled(2480, 3508, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_RGB32);
    QRandomGenerator random{quint32(seed)};
    for (int y = 0; y < cover.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(cover.scanLine(y));
        for (int x = 0; x < cover.width(); ++x) {
            const int grain = int(random.bounded(24)) - 12;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + grain, 255), qBound(0, qGreen(p) + grain, 255),
                           qBound(0, qBlue(p) + grain, 255));
        }
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    cover.save(&buffer, "JPEG", 88);
    return data;
}

QByteArray rawBlob(sqlite3_stmt* s, const QString& key)
{
    const QByteArray utf8 = key.toUtf8();
    sqlite3_bind_text(s, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    QByteArray bytes;
    if (sqlite3_step(s) == SQLITE_ROW)
        bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(s, 0)), sqlite3_column_bytes(s, 0));
    sqlite3_reset(s);
    return bytes;
}

} // namespace

void runCoversBench(const QString& dir, Report& report)
{
    const QString folder = dir + QStringLiteral("/database");
    const QString coversFile = folder + QStringLiteral("/titelbilder.db");
    sqlite3* catalogue = openRaw(db::schema::databaseFile(dir), SQLITE_OPEN_READONLY);
    if (!QFileInfo::exists(coversFile)) {
        QElapsedTimer timer;
        timer.start();
        covers::CoverBuilder builder(folder);
        const int drawn = covers::addSyntheticCovers(catalogue, builder);
        builder.install();
        report.add(QStringLiteral("draw and store a cover on all %1 volumes").arg(drawn), timer.nsecsElapsed() / 1e6, 0);
    }

    // Keys in the overview's order, as a move and a gallery meet them.
    QStringList keys;
    {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(catalogue, "SELECT SCLCOMICID FROM SERVERSTRIPOTHEK ORDER BY SCLSERIENTEXT, SCLBAND", -1, &s,
                           nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            keys << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
        sqlite3_finalize(s);
    }
    sqlite3_close(catalogue);
    if (keys.size() < 1000)
        throw std::runtime_error("the covers benchmark needs at least 1,000 volumes");
    QRandomGenerator random(7);
    QStringList someKeys;
    for (int i = 0; i < 1000; ++i)
        someKeys << keys[int(random.bounded(qsizetype(keys.size())))];

    covers::CoverStore store(folder);
    sqlite3* raw = openRaw(coversFile, SQLITE_OPEN_READWRITE);
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(raw, "SELECT TBVORSCHAU FROM TITELBILDER WHERE TBCOMICID = ?1", -1, &select, nullptr);
    store.thumbnailBytes(keys.first()); // opened once, as the program's store is

    qint64 sink = 0;
    report.add(QStringLiteral("thumbnail by key, bytes (x1000)"),
               bestOf(5, [&] { for (const QString& k : someKeys) sink += store.thumbnailBytes(k).size(); }),
               bestOf(5, [&] { for (const QString& k : someKeys) sink += rawBlob(select, k).size(); }));
    report.add(QStringLiteral("thumbnail by key, decoded (x1000)"),
               bestOf(3, [&] { for (const QString& k : someKeys) sink += store.thumbnail(k).width(); }),
               bestOf(3, [&] {
                   for (const QString& k : someKeys)
                       sink += QImage::fromData(rawBlob(select, k), "JPEG").width();
               }));

    // A gallery screen: 40 neighbours in the overview's order, 100 screens.
    QList<QStringList> screens;
    for (int i = 0; i < 100; ++i)
        screens << keys.mid(int(random.bounded(qsizetype(keys.size() - 40))), 40);
    report.add(QStringLiteral("a screen of 40 thumbnails, bytes (x100)"),
               bestOf(5, [&] { for (const QStringList& s : screens) sink += store.thumbnails(s).size(); }),
               bestOf(5, [&] {
                   for (const QStringList& s : screens) {
                       sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
                       for (const QString& k : s)
                           sink += rawBlob(select, k).size();
                       sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
                   }
               }));
    sqlite3_finalize(select);

    // Storing: the program checks and decodes the scan and makes the
    // thumbnail; raw SQLite only writes what that gave.
    QList<QByteArray> scans;
    for (int i = 0; i < 5; ++i)
        scans << scannedCover(i);
    QList<covers::PreparedCover> prepared;
    for (const QByteArray& scan : scans)
        prepared << covers::prepareCover(scan);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(raw,
                       "INSERT OR REPLACE INTO TITELBILDER (TBCOMICID, TBFORMAT, TBBREITE, TBHOEHE, TBGROESSE, TBSHA256, "
                       "TBVORSCHAU, TBBILD) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                       -1, &insert, nullptr);
    sqlite3_exec(raw, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    const double storeMs = bestOf(2, [&] {
        for (int i = 0; i < scans.size(); ++i)
            store.store(someKeys[i], scans[i]);
    });
    const double rawStoreMs = bestOf(2, [&] {
        for (int i = 0; i < prepared.size(); ++i) {
            const covers::PreparedCover& c = prepared[i];
            const QByteArray key = someKeys[i].toUtf8();
            const QByteArray hash = c.sha256.toLatin1();
            sqlite3_bind_text(insert, 1, key.constData(), int(key.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 2, c.format.constData(), int(c.format.size()), SQLITE_STATIC);
            sqlite3_bind_int(insert, 3, c.width);
            sqlite3_bind_int(insert, 4, c.height);
            sqlite3_bind_int64(insert, 5, c.bytes.size());
            sqlite3_bind_text(insert, 6, hash.constData(), int(hash.size()), SQLITE_STATIC);
            sqlite3_bind_blob(insert, 7, c.thumbnail.constData(), int(c.thumbnail.size()), SQLITE_STATIC);
            sqlite3_bind_blob(insert, 8, c.bytes.constData(), int(c.bytes.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
    });
    sqlite3_finalize(insert);
    qint64 scanBytes = 0;
    for (const QByteArray& scan : scans)
        scanBytes += scan.size();
    report.add(QStringLiteral("store a scanned cover, %1 KB JPEG 2480x3508 (x%2)")
                   .arg(scanBytes / scans.size() / 1024)
                   .arg(scans.size()),
               storeMs, rawStoreMs);
    // Packing's look for covers without a comic (there are none here).
    db::Connection catalogueConnection;
    catalogueConnection.setDatabasePath(folder);
    catalogueConnection.connect();
    report.add(QStringLiteral("packing: look for covers without a comic"),
               bestOf(3, [&] { sink += store.removeOrphans(catalogueConnection); }), bestOf(3, [&] {
                   rawExec(raw, QStringLiteral("ATTACH '%1' AS katalog").arg(db::schema::databaseFile(dir)).toUtf8().constData());
                   rawExec(raw, "DELETE FROM TITELBILDER WHERE TBCOMICID NOT IN "
                                "(SELECT SCLCOMICID COLLATE NOCASE FROM katalog.SERVERSTRIPOTHEK)");
                   rawExec(raw, "DETACH katalog");
               }));
    sqlite3_close(raw);
    report.addFigure(QStringLiteral("titelbilder.db (MB)"), QFileInfo(coversFile).size() / 1048576.0);
    report.addFigure(QStringLiteral("covers"), double(store.count()));
    if (sink == 42)
        std::puts("");
}

} // namespace bench
