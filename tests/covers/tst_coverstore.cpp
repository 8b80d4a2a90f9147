#include "TestImages.h"
#include "../common/ErrorOf.h"

#include "covers/CoverStore.h"
#include "database/Connection.h"
#include "database/Schema.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// The covers file: storing, replacing and removing, what is refused, and the
// orphans packing takes away.
class TestCoverStore : public QObject {
    Q_OBJECT

    static QString folderOf(const QTemporaryDir& dir)
    {
        QDir().mkpath(dir.path() + u"/database"_s);
        return dir.path() + u"/database"_s;
    }

private slots:
    void storeReplaceRemove()
    {
        QTemporaryDir dir;
        covers::CoverStore store(folderOf(dir));
        const QString file = store.fileName();
        QVERIFY(!store.has(u"K1"_s));
        QVERIFY(!store.remove(u"K1"_s));
        QVERIFY2(!QFileInfo::exists(file), "reading and removing must not make the file");
        QSignalSpy changed(&store, &covers::CoverStore::changed);

        // A small upright JPEG is stored as given and is its own thumbnail.
        const QByteArray small = testimages::jpeg(200, 300);
        covers::CoverInfo info = store.store(u"K1"_s, small, u"klein.jpg"_s);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(info.format, QByteArray("jpeg"));
        QCOMPARE(QSize(info.width, info.height), QSize(200, 300));
        QCOMPARE(store.original(u"K1"_s), small);
        QCOMPARE(store.thumbnailBytes(u"K1"_s), small);
        QCOMPARE(store.info(u"k1"_s)->sha256, covers::sha256Hex(small)); // keys without case, as the catalogue's

        // Replacing: a large PNG stays a PNG; its thumbnail is a 300 px JPEG.
        const QByteArray large = testimages::encode(testimages::halves(800, 1200), "png");
        info = store.store(u"K1"_s, large);
        QCOMPARE(info.format, QByteArray("png"));
        QCOMPARE(store.original(u"K1"_s), large);
        QCOMPARE(store.thumbnail(u"K1"_s).size(), QSize(200, 300));
        QCOMPARE(store.count(), 1);

        store.store(u"K2"_s, small);
        const QHash<QString, QByteArray> screen = store.thumbnails({u"K2"_s, u"K3"_s, u"K1"_s});
        QCOMPARE(QSet<QString>(screen.keyBegin(), screen.keyEnd()), (QSet<QString>{u"K1"_s, u"K2"_s}));

        QVERIFY(store.remove(u"K1"_s));
        QVERIFY(!store.has(u"K1"_s));
        QVERIFY(store.has(u"K2"_s));
        QCOMPARE(changed.count(), 4);
        QCOMPARE(changed.last().first().toString(), u"K1"_s);
    }

    void acceptsFormats_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("thumbnail");
        for (const char* format : {"jpeg", "png", "webp", "bmp", "tiff"})
            QTest::newRow(format) << QByteArray(format) << testimages::encode(testimages::halves(600, 900), format)
                                  << QSize(200, 300);
        // Qt reads GIF but does not write it: the smallest GIF there is, one white pixel.
        QTest::newRow("gif") << QByteArray("gif")
                             << QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01"
                                           "\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;",
                                           43)
                             << QSize(1, 1);
    }

    void acceptsFormats()
    {
        QFETCH(QByteArray, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, thumbnail);
        QTemporaryDir dir;
        covers::CoverStore store(folderOf(dir));
        QVERIFY2(!bytes.isEmpty(), "no writer for the format: qt6-image-formats-plugins missing?");
        const covers::CoverInfo info = store.store(u"K1"_s, bytes);
        QCOMPARE(info.format, format);
        QCOMPARE(store.original(u"K1"_s), bytes);
        QCOMPARE(store.thumbnail(u"K1"_s).size(), thumbnail);
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray jpeg = testimages::jpeg(120, 160);
        const QByteArray png = testimages::encode(testimages::halves(120, 160), "png");
        QTest::newRow("empty file") << QByteArray() << "Die Datei ist leer";
        QTest::newRow("text") << QByteArray("Liebe Oma, vielen Dank für das Album!\n") << "kein Bild";
        QTest::newRow("truncated JPEG") << jpeg.left(jpeg.size() * 2 / 3) << "unvollständig";
        QTest::newRow("JPEG without its end") << jpeg.chopped(2) << "unvollständig";
        QTest::newRow("truncated PNG") << png.left(png.size() / 2) << "unvollständig";
        QTest::newRow("30,000 x 30,000") << testimages::announcing(30000, 30000) << "30.000 × 30.000 Bildpunkten zu groß";
        QTest::newRow("65,000 x 1,000") << testimages::announcing(65000, 1000) << "65.000 × 1.000 Bildpunkten zu groß";
        QTest::newRow("format not taken") << testimages::encode(testimages::halves(8, 8), "ppm") << "Format PPM";
    }

    void refusesBadInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QTemporaryDir dir;
        covers::CoverStore store(folderOf(dir));
        const QString error = errorOf([&] { store.store(u"K1"_s, bytes, u"scan.jpg"_s); });
        QVERIFY2(error.startsWith(u"Das Titelbild „scan.jpg“ wurde nicht gespeichert: "_s), qPrintable(error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!QFileInfo::exists(store.fileName()));
        // A refusal replaces nothing either.
        store.store(u"K1"_s, testimages::jpeg(20, 30));
        QVERIFY(!errorOf([&] { store.store(u"K1"_s, bytes); }).isEmpty());
        QCOMPARE(store.info(u"K1"_s)->width, 20);
    }

    void orientationTagIsApplied()
    {
        QTemporaryDir dir;
        covers::CoverStore store(folderOf(dir));
        // Stored lying (600 × 400), tagged to be turned clockwise: shown 400 × 600.
        const QByteArray tagged = testimages::withOrientation(testimages::jpeg(600, 400), 6);
        const covers::CoverInfo info = store.store(u"K1"_s, tagged);
        QCOMPARE(QSize(info.width, info.height), QSize(400, 600));
        QCOMPARE(store.original(u"K1"_s), tagged);
        for (const QImage& shown : {store.thumbnail(u"K1"_s), store.originalImage(u"K1"_s)}) {
            QVERIFY(shown.height() > shown.width());
            // The left (red) half is on top after a clockwise turn.
            QVERIFY(qRed(shown.pixel(shown.width() / 2, shown.height() / 4)) > 200);
            QVERIFY(qBlue(shown.pixel(shown.width() / 2, shown.height() * 3 / 4)) > 200);
        }
    }

    void oversizedOriginalBecomesJpeg()
    {
        QTemporaryDir dir;
        covers::CoverStore store(folderOf(dir));
        const QByteArray noise = testimages::noisePng(1400, 1100);
        QVERIFY(noise.size() > covers::kMaxStoredBytes);
        const covers::CoverInfo info = store.store(u"K1"_s, noise);
        QVERIFY(info.reencoded);
        QCOMPARE(info.format, QByteArray("jpeg"));
        QVERIFY(info.bytes <= covers::kMaxStoredBytes);
        QCOMPARE(store.originalImage(u"K1"_s).size(), QSize(info.width, info.height));
        QCOMPARE(info.sha256, covers::sha256Hex(store.original(u"K1"_s)));
    }

    void damagedFileSparesTheProgram()
    {
        // A damaged catalogue ends the program; a damaged covers file must not.
        QTemporaryDir dir;
        covers::CoverStore store(folderOf(dir));
        QFile garbage(store.fileName());
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, 'x'));
        garbage.close();
        for (const std::function<void()>& use : std::initializer_list<std::function<void()>>{
                 [&] { store.thumbnailBytes(u"K1"_s); }, [&] { store.store(u"K1"_s, testimages::jpeg(20, 30)); }}) {
            try {
                use();
                QFAIL("a damaged file read without an error");
            } catch (const db::EngineError& e) {
                QFAIL(e.what());
            } catch (const db::Error& e) {
                QVERIFY2(e.message().contains(u"beschädigt"_s) && e.message().contains(u"Katalog selbst"_s), e.what());
            }
        }
    }

    void orphansGo()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        db::Connection catalogue;
        catalogue.setDatabasePath(folderOf(dir));
        catalogue.connect();
        covers::CoverStore store(folderOf(dir));
        QCOMPARE(store.removeOrphans(catalogue), 0);
        QVERIFY(!QFileInfo::exists(store.fileName()));

        catalogue.execute(u"INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('K1', 'Bleibt'), ('k2', 'Auch')"_s);
        const QByteArray jpeg = testimages::jpeg(20, 30);
        for (const QString& key : {u"K1"_s, u"K2"_s, u"K3"_s})
            store.store(key, jpeg);
        QCOMPARE(store.removeOrphans(catalogue), 1);
        QCOMPARE(store.keys(), (QStringList{u"K1"_s, u"K2"_s}));
    }
};

QTEST_MAIN(TestCoverStore)
#include "tst_coverstore.moc"
