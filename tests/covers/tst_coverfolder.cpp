#include "TestImages.h"

#include "covers/CoverStore.h"
#include "covers/FolderImport.h"
#include "database/Connection.h"
#include "database/Schema.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// A folder of scans assigned by file name, and the command line that does
// it and draws covers for a generated collection, run as a user runs it.
class TestCoverFolder : public QObject {
    Q_OBJECT

    struct Run {
        int exitCode = -1;
        QString out, err;
    };
    static Run run(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral(STRIPOTHEK_DB_TOOL), arguments);
        if (!p.waitForFinished(240000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    static QList<covers::Volume> volumes()
    {
        return {{u"K27"_s, u"3-551-12222-9"_s, {}},     {u"K28"_s, u"978-3-551-55555-3"_s, {}},
                {u"K29"_s, u"3-551-77777-2"_s, {}},     {u"K30"_s, u"3551777772"_s, {}},
                {u"K31"_s, u"ISBN 3-551-99999-6"_s, {}}, {u"K32"_s, QString(), {}}};
    }

private slots:
    void matches_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<bool>("byKey");
        QTest::newRow("ISBN-10 with hyphens") << "3-551-12222-9.jpg" << QStringList{"K27"} << false;
        QTest::newRow("blanks and prefix") << "ISBN 3 551 12222 9.png" << QStringList{"K27"} << false;
        QTest::newRow("barcode of an old number") << "9783551122223.jpg" << QStringList{"K27"} << false;
        QTest::newRow("ISBN-13 as catalogued") << "978 3551 555553.webp" << QStringList{"K28"} << false;
        QTest::newRow("catalogued with prefix") << "3551999996.jpg" << QStringList{"K31"} << false;
        QTest::newRow("key without case") << "k32.JPG" << QStringList{"K32"} << true;
        QTest::newRow("one ISBN, two volumes") << "3-551-77777-2.jpg" << QStringList{"K29", "K30"} << false;
        QTest::newRow("nothing") << "urlaub.jpg" << QStringList{} << false;
        QTest::newRow("wrong check digit") << "3551122228.jpg" << QStringList{} << false;
    }

    void matches()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, keys);
        QFETCH(bool, byKey);
        const covers::VolumeMatcher matcher(volumes());
        const covers::VolumeMatcher::Match match = matcher.match(file);
        QStringList found;
        for (const covers::Volume* v : match.volumes)
            found << v->key;
        QCOMPARE(found, keys);
        QCOMPARE(match.byKey, byKey);
    }

    void importsAFolder()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path(), [](sqlite3*) {});
        {
            db::Connection catalogue;
            catalogue.setDatabasePath(dir.path() + u"/database"_s);
            catalogue.connect();
            for (const covers::Volume& v : volumes())
                catalogue.execute(u"INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLISBNNR, SCLTITEL1) VALUES (?, ?, 'Titel')"_s,
                                  {v.key, v.isbn});
        }
        const QString scans = dir.path() + u"/scans"_s;
        QDir().mkpath(scans);
        const auto put = [&](const QString& name, const QByteArray& bytes) {
            QFile f(scans + u'/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        const QByteArray cover = testimages::jpeg(40, 60);
        put(u"3-551-12222-9.jpg"_s, cover);
        put(u"3551999996.jpg"_s, cover.left(cover.size() / 2));
        put(u"3551777772.jpg"_s, cover);
        put(u"k32.jpg"_s, cover);
        put(u"K32.png"_s, cover);
        put(u"urlaub.jpg"_s, cover);

        const Run r = run({u"covers"_s, u"import"_s, dir.path(), scans});
        QCOMPARE(r.exitCode, 1);
        for (const QString& line : {u"zugeordnet: 3-551-12222-9.jpg → K27 „Titel“ (ISBN)"_s,
                                    u"abgelehnt: 3551999996.jpg: Das Titelbild „3551999996.jpg“ wurde nicht gespeichert"_s,
                                    u"mehrdeutig: 3551777772.jpg: Die ISBN haben 2 Bände"_s,
                                    u"mehrdeutig: K32.png: Für den Band sind 2 Dateien da"_s, u"ohne Band: urlaub.jpg"_s,
                                    u"6 Dateien: 1 zugeordnet, 1 ohne Band, 3 mehrdeutig, 1 abgelehnt."_s})
            QVERIFY2(r.out.contains(line), qPrintable(r.out));
        covers::CoverStore store(dir.path() + u"/database"_s);
        QCOMPARE(store.keys(), QStringList{u"K27"_s});
        QCOMPARE(store.original(u"K27"_s), cover);

        // Once more: the cover is replaced, and said so.
        QFile::remove(scans + u"/3551999996.jpg"_s);
        QFile::remove(scans + u"/3551777772.jpg"_s);
        QFile::remove(scans + u"/K32.png"_s);
        QFile::remove(scans + u"/urlaub.jpg"_s);
        const Run again = run({u"covers"_s, u"import"_s, dir.path(), scans});
        QCOMPARE(again.exitCode, 0);
        QVERIFY2(again.out.contains(u"2 Dateien: 2 zugeordnet (davon 1 ersetzt)"_s), qPrintable(again.out));
    }

    void generatesDrawnCovers()
    {
        QTemporaryDir dir;
        QCOMPARE(run({u"create"_s, dir.path() + u"/a"_s, u"--covers"_s}).exitCode, 2);
        const Run r = run({u"generate"_s, dir.path() + u"/g"_s, u"--volumes"_s, u"40"_s, u"--covers"_s});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(u", 40 Titelbilder in "_s), qPrintable(r.out));
        db::Connection catalogue;
        catalogue.setDatabasePath(dir.path() + u"/g/database"_s);
        catalogue.connect();
        QStringList keys;
        db::Statement rows(catalogue.handle(), u"SELECT SCLCOMICID FROM SERVERSTRIPOTHEK ORDER BY SCLCOMICID"_s);
        while (rows.step())
            keys << rows.column(0).toString();
        covers::CoverStore store(dir.path() + u"/g/database"_s);
        QCOMPARE(store.keys(), keys);
        QCOMPARE(store.thumbnail(keys.last()).size(), QSize(210, 300));
        QCOMPARE(store.removeOrphans(catalogue), 0);
    }
};

QTEST_MAIN(TestCoverFolder)
#include "tst_coverfolder.moc"
