#include "TestImages.h"
#include "../common/ErrorOf.h"

#include "covers/CoverStore.h"
#include "covers/CoverTransfer.h"
#include "database/Connection.h"
#include "database/Schema.h"
#include "tools/Export.h"
#include "tools/Import.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// Covers travel with the XML export: files named after their keys and an
// index; the import takes them back, checked, and the round trip gives the
// same files again.
class TestCoverTransfer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.path() + u'/' + name; }

    // Every file below dir by its relative path, with its bytes.
    static QMap<QString, QByteArray> filesBelow(const QString& dir)
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            f.open(QIODevice::ReadOnly);
            files.insert(QDir(dir).relativeFilePath(f.fileName()), f.readAll());
        }
        return files;
    }

    static void exportTo(const QString& collection, const QString& target)
    {
        QDir().mkpath(target);
        db::Connection connection;
        connection.setDatabasePath(collection + u"/database"_s);
        tools::ExportAllTables(connection, target);
    }

    static QStringList tableFiles(const QString& exported)
    {
        QStringList files;
        for (const QString& name : QDir(exported).entryList({u"*.xml"_s}, QDir::Files))
            files << exported + u'/' + name;
        return files;
    }

private slots:
    void initTestCase()
    {
        // Keys as the SQL page can store them: a slash, an umlaut, a device name.
        db::schema::createDatabase(path(u"original"_s), [](sqlite3*) {});
        db::Connection catalogue;
        catalogue.setDatabasePath(path(u"original/database"_s));
        catalogue.connect();
        catalogue.execute(u"INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('K1', 'Eins'), ('a/b ä', 'Zwei'), "
                          "('CON', 'Drei'), ('K4', 'Ohne Bild')"_s);
        covers::CoverStore store(path(u"original/database"_s));
        store.store(u"K1"_s, testimages::jpeg(200, 300));
        store.store(u"a/b ä"_s, testimages::encode(testimages::halves(90, 120), "png"));
        store.store(u"CON"_s, testimages::withOrientation(testimages::jpeg(500, 300), 6));
        store.store(u"K9"_s, testimages::jpeg(20, 30)); // its comic is gone
        exportTo(path(u"original"_s), path(u"erster"_s));
    }

    void exportWritesFilesAndIndex()
    {
        const QMap<QString, QByteArray> files = filesBelow(path(u"erster/titelbilder"_s));
        QCOMPARE(files.keys(), (QStringList{u"%43ON.jpg"_s, u"K1.jpg"_s, u"a%2Fb%20%C3%A4.png"_s, u"titelbilder.xml"_s}));
        covers::CoverStore store(path(u"original/database"_s));
        QCOMPARE(files.value(u"K1.jpg"_s), store.original(u"K1"_s));
        QCOMPARE(files.value(u"a%2Fb%20%C3%A4.png"_s), store.original(u"a/b ä"_s));
    }

    void roundTripIsByteIdentical()
    {
        tools::ImportDatabase(path(u"kopie"_s), tableFiles(path(u"erster"_s)));
        exportTo(path(u"kopie"_s), path(u"zweiter"_s));
        const QMap<QString, QByteArray> first = filesBelow(path(u"erster"_s));
        const QMap<QString, QByteArray> second = filesBelow(path(u"zweiter"_s));
        QCOMPARE(second.keys(), first.keys());
        for (auto it = first.cbegin(); it != first.cend(); ++it)
            QVERIFY2(second.value(it.key()) == it.value(), qPrintable(it.key()));
        covers::CoverStore copy(path(u"kopie/database"_s));
        QCOMPARE(copy.info(u"CON"_s)->width, 300); // the turn is taken from the file again
    }

    void withoutCoversNoFolder()
    {
        // An earlier export's covers must not come back once the collection has none.
        exportTo(path(u"original"_s), path(u"wieder"_s));
        QVERIFY(QFileInfo::exists(path(u"wieder/titelbilder/K1.jpg"_s)));
        covers::CoverStore store(path(u"original/database"_s));
        for (const QString& key : store.keys())
            store.remove(key);
        exportTo(path(u"original"_s), path(u"wieder"_s));
        QVERIFY(!QFileInfo::exists(path(u"wieder/titelbilder"_s)));
        QCOMPARE(QDir(path(u"wieder"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 13);
    }

    void importRefuses_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("changed file") << "changed" << "K1.jpg“ ist nicht das exportierte Titelbild";
        QTest::newRow("missing file") << "missing" << "K1.jpg“ fehlt";
        QTest::newRow("cover without volume") << "novolume" << "gehört zu keinem Band der Importdateien (Schlüssel „K1“)";
        QTest::newRow("key twice") << "twice" << "Der Band „K1“ hat schon ein Titelbild";
        QTest::newRow("path as file") << "path" << "„../K1.jpg“ ist kein Dateiname";
        QTest::newRow("document type") << "dtd" << "Dokumenttyp";
        QTest::newRow("covers file there") << "existing" << "titelbilder.db“ existiert bereits";
    }

    void importRefuses()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        QTemporaryDir work;
        const QString exported = work.path() + u"/export"_s;
        QVERIFY(QDir().mkpath(exported + u"/titelbilder"_s));
        for (const auto& [name, bytes] : filesBelow(path(u"erster"_s)).asKeyValueRange()) {
            QFile f(exported + u'/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const QString index = exported + u"/titelbilder/titelbilder.xml"_s;
        const auto edit = [](const QString& file, const std::function<void(QByteArray&)>& how) {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            QByteArray text = f.readAll();
            f.close();
            how(text);
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(text);
        };
        const QString target = work.path() + u"/neu"_s;
        if (change == u"changed")
            edit(exported + u"/titelbilder/K1.jpg"_s, [](QByteArray& t) { t[t.size() / 2] = char(t[t.size() / 2] ^ 1); });
        else if (change == u"missing")
            QFile::remove(exported + u"/titelbilder/K1.jpg"_s);
        else if (change == u"novolume")
            edit(exported + u"/serverstripothek.xml"_s, [](QByteArray& t) { t.replace("\"K1\"", "\"K11\""); });
        else if (change == u"twice")
            edit(index, [](QByteArray& t) { t.replace("key=\"CON\"", "key=\"k1\""); });
        else if (change == u"path")
            edit(index, [](QByteArray& t) { t.replace("file=\"K1.jpg\"", "file=\"../K1.jpg\""); });
        else if (change == u"dtd")
            edit(index, [](QByteArray& t) { t.replace("<TITELBILDER", "<!DOCTYPE TITELBILDER [<!ENTITY x \"y\">]>\n<TITELBILDER"); });
        else if (change == u"existing")
            QVERIFY(QDir().mkpath(target + u"/database/titelbilder.db"_s));

        const QString error = errorOf([&] { tools::ImportDatabase(target, tableFiles(exported)); });
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!QFileInfo::exists(target + u"/database/stripothek.db"_s));
        const QStringList left = QDir(target + u"/database"_s).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u", "_s)));
    }

    void fileNames_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QByteArray("KX27") << "KX27.jpg";
        QTest::newRow("dots and slashes") << QByteArray("../a\\b") << "%2E%2E%2Fa%5Cb.jpg";
        QTest::newRow("device name") << QByteArray("lpt1") << "%6Cpt1.jpg";
        QTest::newRow("umlaut") << QByteArray("Ä") << "%C3%84.jpg";
        QTest::newRow("percent") << QByteArray("%41") << "%2541.jpg";
        QTest::newRow("empty") << QByteArray() << "%.jpg";
        QTest::newRow("too long") << QByteArray(70, '\x7f') << "key-" + covers::sha256Hex(QByteArray(70, '\x7f')).left(40) + ".jpg";
    }

    void fileNames()
    {
        QFETCH(QByteArray, key);
        QFETCH(QString, name);
        QCOMPARE(covers::exportFileName(key, "jpeg"), name);
    }
};

QTEST_MAIN(TestCoverTransfer)
#include "tst_covertransfer.moc"
