#include "MasterDataFixture.h"

// Saving a catalogue entry: the derived fields, new comics and new volumes
// with their authors, the remarks page.
class TestComicRecord : public MasterDataFixture {
    Q_OBJECT

private Q_SLOTS:
    void init() { setUpCollection(); }
    void cleanup() { tearDownCollection(); }

    void savingDerivesKeyAndNames()
    {
        const QString asterix = addSeries(u"Asterix"_s);
        const QString spirou = addSeries(u"Spirou"_s);
        const QString publisher = addPublisher(u"Ehapa"_s);
        const int keysBefore = lastKeyNumber();

        control("btnNew")->click();
        QVERIFY(field("SCLCOMICID").asString().isEmpty()); // the key comes with the first save
        field("SCLSERIEID").setAsString(asterix);
        field("SCLVERLAGID").setAsString(publisher);
        control("btnSave")->click();
        const QString key = field("SCLCOMICID").asString();
        QCOMPARE(lastKeyNumber(), keysBefore + 1);
        QVERIFY(key.endsWith(QString::number(lastKeyNumber())));
        QCOMPARE(stored(key, "SCLSERIENTEXT"), u"Asterix"_s);
        QCOMPARE(stored(key, "SCLVERLAGTEXT"), u"Ehapa"_s);

        // Saved again: same key, the names follow the ids, an id of no row gives no name.
        for (const QString& series : {spirou, u"NOSUCHKEY"_s}) {
            tbl().edit();
            field("SCLSERIEID").setAsString(series);
            field("SCLVERLAGID").clear();
            m_page->btnSaveClick();
            QCOMPARE(field("SCLCOMICID").asString(), key);
            QCOMPARE(stored(key, "SCLSERIENTEXT"), series == spirou ? u"Spirou"_s : QString());
            QCOMPARE(stored(key, "SCLVERLAGTEXT"), QString());
        }
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 1);
        QCOMPARE(lastKeyNumber(), keysBefore + 1);
        QVERIFY(m_errors.isEmpty());
    }

    void isbnIsReduced_data()
    {
        QTest::addColumn<QString>("isbn");
        QTest::addColumn<QString>("reduced");
        QTest::newRow("hyphens and small x") << u"3-551-71234-x"_s << u"355171234X"_s;
        QTest::newRow("prefix letters stay") << u"ISBN 3-89343-105-5"_s << u"ISBN3893431055"_s;
        QTest::newRow("umlaut and full stop go") << u"Nr. ä-12"_s << u"NR12"_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void isbnIsReduced()
    {
        QFETCH(QString, isbn);
        QFETCH(QString, reduced);
        const QString key = addComic(u"Titel"_s);
        tbl().edit(); // any post derives it, not only the page's save button
        field("SCLISBNNR").setAsString(isbn);
        tbl().post();
        QCOMPARE(stored(key, "SCLINTISBNNR"), reduced);
    }

    void flagsAreNeverStoredNull_data()
    {
        QTest::addColumn<bool>("newRow");
        QTest::newRow("new comic") << true;
        QTest::newRow("existing row with null flags") << false;
    }

    void flagsAreNeverStoredNull()
    {
        QFETCH(bool, newRow);
        QString key = u"OLD1"_s;
        if (newRow) {
            m_page->btnNewClick();
        } else {
            insert(u"SERVERSTRIPOTHEK"_s, {"SCLCOMICID"}, {key});
            locateComic(key);
            tbl().edit();
        }
        field("SCLTITEL2").setAsString(u"geändert"_s);
        m_page->btnSaveClick();
        key = field("SCLCOMICID").asString();
        QCOMPARE(stored(key, "SCLFEHLT"), u"0"_s);
        QCOMPARE(stored(key, "SCLZUKAUFEN"), u"0"_s);
    }

    void newVolumeTakesOverDataAndAuthors_data()
    {
        QTest::addColumn<int>("authors");
        QTest::newRow("no authors") << 0;
        QTest::newRow("three authors") << 3;
    }

    void newVolumeTakesOverDataAndAuthors()
    {
        QFETCH(int, authors);
        const QString series = addSeries(u"Thorgal"_s);
        const QString publisher = addPublisher(u"Carlsen"_s);
        const QString source = addComic(u"Die Insel"_s, series, publisher);
        tbl().edit();
        const std::pair<const char*, QVariant> values[] = {
            {"SCLBAND", 7},         {"SCLSEITEN", 48},      {"SCLMAXLIMANZAHL", 500},
            {"SCLZUKAUFEN", 1},     {"SCLLITARTID", "LA1"}, {"SCLSPARTEID", "UA1"},
            {"SCLINHALT", "Text"},  {"SCLISBNNR", "3-551-71234-x"}};
        for (const auto& [name, value] : values)
            field(name).setValue(value);
        tbl().post();
        // Roles out of key order: the order of the rows is checked, not a sort.
        const QString roleOrder[] = {m_roles[2], m_roles[0], m_roles[1]};
        for (int i = 0; i < authors; ++i)
            addAuthor(source, u"AUT%1"_s.arg(3 - i), roleOrder[i]);
        locateComic(source);

        control("btnNewBand")->click();
        QCOMPARE(tbl().state(), State::Insert);
        QCOMPARE(int(m_data->rules().pendingAuthors().size()), authors);
        const QStringList copied = {series, publisher, u"LA1"_s, u"UA1"_s, u"3-551-71234-x"_s, u"48"_s};
        QCOMPARE(QStringList({field("SCLSERIEID").asString(), field("SCLVERLAGID").asString(),
                              field("SCLLITARTID").asString(), field("SCLSPARTEID").asString(),
                              field("SCLISBNNR").asString(), field("SCLSEITEN").asString()}),
                 copied);
        QCOMPARE(field("SCLFEHLT").value(), QVariant(0));
        for (const char* empty : {"SCLTITEL1", "SCLBAND", "SCLMAXLIMANZAHL", "SCLZUKAUFEN", "SCLINHALT"})
            QVERIFY2(field(empty).isNull(), empty);

        control("btnSave")->click();
        const QString volume = field("SCLCOMICID").asString();
        QVERIFY(volume != source);
        QCOMPARE(authorsOf(volume), authorsOf(source));
        QCOMPARE(authorsOf(source).size(), authors);
        QVERIFY(m_data->rules().pendingAuthors().empty());
        const QStringList keys = rows(u"SELECT DISTINCT C2AID FROM COMIC2AUTOR"_s);
        QCOMPARE(keys.size(), 2 * authors);
        QCOMPARE(m_data->tblComic2Autor().shownCount(), authors); // the list shows the new volume's
        QVERIFY(m_errors.isEmpty());
    }

    void discardedNewVolumeTakesItsAuthorsAlong_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("Wiederherstellen") << true;
        QTest::newRow("cancel by the table") << false;
    }

    void discardedNewVolumeTakesItsAuthorsAlong()
    {
        QFETCH(bool, byButton);
        const QString source = addComic(u"Quelle"_s);
        for (const QString& role : m_roles)
            addAuthor(source, u"AUT1"_s, role);
        locateComic(source);

        m_page->btnNewBandClick();
        QCOMPARE(int(m_data->rules().pendingAuthors().size()), 3);
        byButton ? control("btnRestore")->click() : tbl().cancel();
        QCOMPARE(tbl().state(), State::Browse);
        QVERIFY(m_data->rules().pendingAuthors().empty());

        m_page->btnNewClick();
        field("SCLTITEL1").setAsString(u"Ein anderer Comic"_s);
        m_page->btnSaveClick();
        QCOMPARE(authorsOf(field("SCLCOMICID").asString()), QStringList());
        QCOMPARE(count(u"COMIC2AUTOR"_s), 3);
    }

    void newVolumeStoredByMovingKeepsItsAuthors()
    {
        const QString source = addComic(u"Band 1"_s);
        addComic(u"Anderer"_s);
        addAuthor(source, u"AUT1"_s, m_roles[0]);
        addAuthor(source, u"AUT2"_s, m_roles[1]);
        locateComic(source);

        m_page->btnNewBandClick();
        field("SCLTITEL1").setAsString(u"Band 2"_s);
        tbl().first(); // a click in the overview, the navigator: the row is posted
        QCOMPARE(tbl().state(), State::Browse);
        QVERIFY(m_data->rules().pendingAuthors().empty());
        QCOMPARE(authorsOf(comicTitled(u"Band 2"_s)), authorsOf(source));

        // Copying from an unsaved volume stores it first and copies its authors once.
        locateComic(comicTitled(u"Band 2"_s));
        m_page->btnNewBandClick();
        field("SCLTITEL1").setAsString(u"Band 3"_s);
        m_page->btnNewBandClick();
        QCOMPARE(int(m_data->rules().pendingAuthors().size()), 2);
        field("SCLTITEL1").setAsString(u"Band 4"_s);
        m_page->btnSaveClick();
        for (const QString& title : {u"Band 3"_s, u"Band 4"_s})
            QCOMPARE(authorsOf(comicTitled(title)), authorsOf(source));
        QCOMPARE(count(u"COMIC2AUTOR"_s), 8);
    }

    // The overview filtered: a new volume that the filter does not let
    // through is stored by moving on, and its authors reach it, not the
    // comic the catalogue fell back to.
    void newVolumeStoredByMovingUnderFilter()
    {
        const QString source = addComic(u"Band 1"_s);
        const QString neighbour = addComic(u"Band 9"_s);
        addAuthor(source, u"AUT1"_s, m_roles[0]);
        addAuthor(source, u"AUT2"_s, m_roles[1]);
        reread();
        tbl().setFilter(u"(SCLTITEL1 = 'Band*')"_s);
        tbl().setFiltered(true);
        QVERIFY(tbl().locate(u"SCLCOMICID"_s, source));

        m_page->btnNewBandClick();
        field("SCLTITEL1").setAsString(u"Neu"_s);
        tbl().prior(); // Page Up
        QCOMPARE(tbl().state(), State::Browse);
        QCOMPARE(authorsOf(comicTitled(u"Neu"_s)), authorsOf(source));
        QCOMPARE(authorsOf(neighbour), QStringList());
        QVERIFY(m_errors.isEmpty());
    }

    void movingFromNewRow_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("untouched row is dropped") << false;
        QTest::newRow("row from Neu is stored empty") << true;
    }

    void movingFromNewRow()
    {
        QFETCH(bool, byButton);
        addComic(u"Vorhanden"_s);
        const int keysBefore = lastKeyNumber();
        byButton ? m_page->btnNewClick() : tbl().append();
        tbl().first();
        QCOMPARE(tbl().state(), State::Browse);
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), byButton ? 2 : 1);
        QCOMPARE(lastKeyNumber(), keysBefore + (byButton ? 1 : 0));
        if (byButton)
            QCOMPARE(rows(u"SELECT SCLFEHLT, SCLZUKAUFEN, ifnull(SCLTITEL1, '') FROM SERVERSTRIPOTHEK "
                          "WHERE SCLCOMICID LIKE ?"_s,
                          {u"%"_s + QString::number(lastKeyNumber())}),
                     QStringList{u"0|0|"_s});
    }

    void remarksAreSavedAndDiscardedWithTheComic()
    {
        const QString key = addComic(u"Mit Text"_s);
        TRemarksPage remarks(*m_data);
        QTest::keyClicks(named<ui::DBMemo>(remarks, "editInhalt"), u"Kurz"_s);
        QTest::keyClicks(named<ui::DBMemo>(remarks, "editBemerkung1"), u"Gut"_s);
        control("btnSave")->click();
        QCOMPARE(rows(u"SELECT SCLINHALT, SCLBEMERKUNG FROM SERVERSTRIPOTHEK"_s), QStringList{u"Kurz|Gut"_s});
        QTest::keyClicks(named<ui::DBMemo>(remarks, "editInhalt"), u" verworfen"_s);
        control("btnRestore")->click();
        QCOMPARE(named<ui::DBMemo>(remarks, "editInhalt")->toPlainText(), u"Kurz"_s);
        QCOMPARE(stored(key, "SCLINHALT"), u"Kurz"_s);
    }
};

QTEST_MAIN(TestComicRecord)
#include "tst_comicrecord.moc"
