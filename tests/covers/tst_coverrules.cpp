#include "TestImages.h"
#include "../common/ErrorOf.h"

#include "covers/CoverRules.h"
#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "database/Schema.h"
#include "tools/TableMaintenance.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

// The catalogue's rules for covers, on the data module without widgets: a
// deleted comic's cover goes after it and never before, and packing takes
// what an interrupted deletion left; a new volume copied from a comic
// starts without a cover.
class TestCoverRules : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ComicData> m_data;

    // The data module's members, in one place.
    db::Table& catalogue() { return m_data->tblStripothek(); }
    db::Connection& connection() { return m_data->dbConnection(); }
    QString folder() const { return m_dir->path() + u"/database"_s; }

    QString addComic(const QString& title)
    {
        catalogue().append();
        catalogue().fieldByName(u"SCLTITEL1"_s).setAsString(title);
        catalogue().post();
        return catalogue().fieldByName(u"SCLCOMICID"_s).asString();
    }
    int comics()
    {
        db::Statement count(connection().handle(), u"SELECT count(*) FROM SERVERSTRIPOTHEK"_s);
        return count.step() ? int(count.columnInt64(0)) : -1;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        db::schema::createDatabase(m_dir->path(), [](sqlite3*) {});
        m_data = std::make_unique<ComicData>();
        connection().setDatabasePath(folder());
        m_data->OpenTables();
    }
    void cleanup() { m_data.reset(); }

    void deletionTakesTheCover_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("comic deleted") << QString();
        QTest::newRow("catalogue refuses") << u"catalogue"_s;
        QTest::newRow("covers file unusable") << u"covers"_s;
    }

    void deletionTakesTheCover()
    {
        QFETCH(QString, failing);
        const QString stays = addComic(u"Bleibt"_s);
        const QString goes = addComic(u"Geht"_s);
        {
            covers::CoverStore store(folder());
            store.store(stays, testimages::jpeg(20, 30));
            store.store(goes, testimages::jpeg(20, 30));
        }
        if (failing == u"catalogue")
            connection().execute(u"CREATE TEMP TRIGGER refuse BEFORE DELETE ON SERVERSTRIPOTHEK "
                                 "BEGIN SELECT RAISE(ABORT, 'gesperrt'); END"_s);
        QString coversFile;
        if (failing == u"covers") {
            coversFile = folder() + u"/titelbilder.db"_s;
            QVERIFY(QFile::rename(coversFile, coversFile + u".echt"_s));
            sqlite3* foreign = nullptr;
            sqlite3_open(coversFile.toUtf8().constData(), &foreign);
            sqlite3_exec(foreign, "CREATE TABLE fremd (x)", nullptr, nullptr, nullptr);
            sqlite3_close(foreign);
        }

        QVERIFY(catalogue().locate(u"SCLCOMICID"_s, goes));
        covers::CoverStore store(folder());
        const QString error = errorOf([&] {
            QVERIFY(covers::deleteComicWithCover(store, goes, [&] { return m_data->rules().DeleteComic(); }));
        });
        if (failing == u"covers") {
            QVERIFY2(error.startsWith(u"Der Comic wurde gelöscht, sein Titelbild aber nicht: Die Datei"_s), qPrintable(error));
            QFile::remove(coversFile);
            QVERIFY(QFile::rename(coversFile + u".echt"_s, coversFile));
        }
        QCOMPARE(comics(), failing == u"catalogue" ? 2 : 1);
        QVERIFY(store.has(stays));
        // The cover goes with its comic; should its removal fail, it stays
        // for packing to take, never the other way round.
        QCOMPARE(store.has(goes), !failing.isEmpty());
        connection().execute(u"DROP TRIGGER IF EXISTS refuse"_s);
        tools::PackAllTables(*m_data);
        QCOMPARE(store.has(goes), failing == u"catalogue");
        QVERIFY(store.has(stays));
    }

    // Emptying the catalogue leaves no cover behind.
    void emptyingTakesEveryCover()
    {
        covers::CoverStore store(folder());
        for (const QString& title : {u"Eins"_s, u"Zwei"_s})
            store.store(addComic(title), testimages::jpeg(20, 30));
        tools::EmptyCatalogue(*m_data);
        QCOMPARE(comics(), 0);
        QCOMPARE(store.count(), 0);
    }

    void newVolumeStartsWithoutCover()
    {
        const QString first = addComic(u"Band 1"_s);
        covers::CoverStore store(folder());
        store.store(first, testimages::jpeg(20, 30));
        m_data->rules().NewVolume();
        QVERIFY(store.thumbnailBytes(catalogue().fieldByName(u"SCLCOMICID"_s).asString()).isEmpty());
        catalogue().fieldByName(u"SCLTITEL1"_s).setAsString(u"Band 2"_s);
        catalogue().post();
        const QString second = catalogue().fieldByName(u"SCLCOMICID"_s).asString();
        QVERIFY(!second.isEmpty() && second != first);
        QVERIFY(!store.has(second));
        QVERIFY(store.has(first));
    }
};

QTEST_MAIN(TestCoverRules)
#include "tst_coverrules.moc"
