#include "database/ComicData.h"
#include "database/Errors.h"
#include "database/Schema.h"

#include <QTemporaryDir>
#include <QtTest>

// The data module without any widget: opening, closing, keys and names.
class TestComicData : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void open(ComicData& data)
    {
        data.dbConnection.setDatabasePath(m_dir.path() + "/database");
        data.OpenTables();
    }

private Q_SLOTS:
    void initTestCase()
    {
        db::schema::createDatabase(m_dir.path(), [](sqlite3*) {});
        ComicData data;
        open(data);
        auto add = [](db::Table& t, std::initializer_list<std::pair<const char*, QString>> values) {
            t.append();
            for (const auto& [field, value] : values)
                t.fieldByName(field).setAsString(value);
            t.post();
        };
        add(data.tblAutoren, {{"ANAUTORID", "A1"}, {"ANNAME", "Goscinny"}});
        add(data.tblAutoren, {{"ANAUTORID", "A2"}, {"ANNAME", "Uderzo"}});
        add(data.tblSerie, {{"SRSERIENID", "S1"}, {"SRNAME", "Asterix"}});
        add(data.tblStripothek, {{"SCLCOMICID", "C1"}, {"SCLTITEL1", "Eins"}, {"SCLSERIENTEXT", "Asterix"},
                                 {"SCLSERIEID", "S1"}, {"SCLBAND", "2"}});
        add(data.tblStripothek, {{"SCLCOMICID", "C2"}, {"SCLTITEL1", "Zwei"}, {"SCLSERIENTEXT", "Asterix"},
                                 {"SCLBAND", "1"}});
        add(data.tblStripothek, {{"SCLCOMICID", "C3"}, {"SCLTITEL1", "Drei"}, {"SCLSERIENTEXT", "Achille Talon"}});
        data.tblStripothek.locate("SCLCOMICID", "C1");
        add(data.tblComic2Autor, {{"C2AID", "X1"}, {"C2AAUTORID", "A1"}});
        add(data.tblComic2Autor, {{"C2AID", "X2"}, {"C2AAUTORID", "A9"}}); // names no author
        add(data.tblComic2Autor, {{"C2AID", "X3"}, {"C2AAUTORID", ""}});
    }

    void opensInSeriesOrderOnFirstRow()
    {
        ComicData data;
        open(data);
        for (db::Table* t : data.tables())
            QVERIFY2(t->active(), qPrintable(t->name()));
        QCOMPARE(data.tblStripothek.indexName(), QString("NKSCLSERIENTEXT"));
        QCOMPARE(data.tblStripothek.fieldByName("SCLCOMICID").asString(), QString("C3"));
        data.tblStripothek.setIndexName("NKSCLTITEL1");
        data.tblStripothek.last();
        data.OpenTables(); // again: back to series order on the first row
        QCOMPARE(data.tblStripothek.indexName(), QString("NKSCLSERIENTEXT"));
        QCOMPARE(data.tblStripothek.recNo(), 1);
    }

    void referenceNames_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("shown");
        QTest::newRow("known author") << "X1" << "Goscinny";
        QTest::newRow("dangling id shows nothing") << "X2" << "";
        QTest::newRow("empty id") << "X3" << "";
    }
    void referenceNames()
    {
        QFETCH(QString, assignment);
        QFETCH(QString, shown);
        ComicData data;
        open(data);
        QVERIFY(data.tblStripothek.locate("SCLCOMICID", "C1"));
        QVERIFY(data.tblComic2Autor.locate("C2AID", assignment));
        QCOMPARE(data.tblComic2Autor.fieldByName("C2AAUTORID").displayText(), shown);
    }

    void seriesNameAndRenameShowAtOnce()
    {
        ComicData data;
        open(data);
        QVERIFY(data.tblStripothek.locate("SCLCOMICID", "C1"));
        QCOMPARE(data.tblStripothek.fieldByName("SCLSERIEID").displayText(), QString("Asterix"));
        QVERIFY(data.tblSerie.locate("SRSERIENID", "S1"));
        data.tblSerie.edit();
        data.tblSerie.fieldByName("SRNAME").setAsString("Asterix der Gallier");
        data.tblSerie.post();
        QCOMPARE(data.tblStripothek.fieldByName("SCLSERIEID").displayText(), QString("Asterix der Gallier"));
        data.tblSerie.edit();
        data.tblSerie.fieldByName("SRNAME").setAsString("Asterix");
        data.tblSerie.post();
    }

    void filteredLookupTableHidesNames()
    {
        ComicData data;
        open(data);
        data.tblStripothek.locate("SCLCOMICID", "C1");
        data.tblComic2Autor.locate("C2AID", "X1");
        data.tblAutoren.setFilter("(ANNAME LIKE '*derz*')");
        data.tblAutoren.setFiltered(true);
        QCOMPARE(data.tblComic2Autor.fieldByName("C2AAUTORID").displayText(), QString());
        data.tblAutoren.setFiltered(false);
        QCOMPARE(data.tblComic2Autor.fieldByName("C2AAUTORID").displayText(), QString("Goscinny"));
    }

    void namesSurviveReopening()
    {
        ComicData data;
        open(data);
        data.CloseTables();
        data.OpenTables();
        data.tblStripothek.locate("SCLCOMICID", "C1");
        data.tblComic2Autor.locate("C2AID", "X1");
        QCOMPARE(data.tblComic2Autor.fieldByName("C2AAUTORID").displayText(), QString("Goscinny"));
    }

    void closingDropsPendingEdits()
    {
        {
            ComicData data;
            open(data);
            data.tblStripothek.edit();
            data.tblStripothek.fieldByName("SCLTITEL1").setAsString("nie gespeichert");
            data.CloseTables();
            QVERIFY(!data.tblStripothek.active());
        }
        ComicData data;
        open(data);
        QVERIFY(!data.tblStripothek.locate("SCLTITEL1", "nie gespeichert"));
    }

    void missingTableStopsOpeningThere()
    {
        QTemporaryDir dir;
        db::schema::createDatabase(dir.path());
        {
            db::Connection c;
            c.setDatabasePath(dir.path() + "/database");
            c.connect();
            c.execute("DROP TABLE SERVERSTRIPOTHEK");
        }
        ComicData data;
        data.dbConnection.setDatabasePath(dir.path() + "/database");
        try {
            data.OpenTables();
            QFAIL("no error");
        } catch (const db::EngineError& e) {
            QVERIFY2(e.message().startsWith("tblStripothek: "), qPrintable(e.message()));
        }
        QVERIFY(data.tblAutortyp.active());
        QVERIFY(data.tblAusfuehrungen.active());
        QVERIFY(!data.tblStripothek.active());
        QVERIFY(!data.tblKeyGen.active());
        QVERIFY_THROWS_EXCEPTION(db::EngineError, data.NewRecordKey());
    }

    void recordKeysComeFromTheCounter()
    {
        ComicData data;
        open(data);
        const QString prefix = data.tblKeyGen.fieldByName("KGDBID").asString();
        const int last = data.tblKeyGen.fieldByName("KGNEXTID").asInteger();
        QCOMPARE(data.NewRecordKey(), prefix + QString::number(last + 1));
        QCOMPARE(data.NewRecordKey(), prefix + QString::number(last + 2));
    }
};

QTEST_GUILESS_MAIN(TestComicData)
#include "tst_comicdata.moc"
