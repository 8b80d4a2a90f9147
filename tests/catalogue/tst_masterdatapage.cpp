#include "MasterDataFixture.h"

#include <sqlite3.h>

// The page "Stammdaten": deletion, button states and accelerators, the
// number boxes, the lists' Ctrl+Del, new publishers and series.
class TestMasterDataPage : public MasterDataFixture {
    Q_OBJECT

private Q_SLOTS:
    void init() { setUpCollection(); }
    void cleanup() { tearDownCollection(); }

    void deletion_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("OK") << u"OK"_s;
        QTest::newRow("Abbrechen") << u"Abbrechen"_s;
    }

    void deletion()
    {
        QFETCH(QString, answer);
        const bool deleted = answer == u"OK"_s;
        const QString other = addComic(u"Bleibt"_s);
        const QString victim = addComic(u"Geht"_s);
        for (const QString& comic : {victim, other}) {
            addAuthor(comic, u"AUT1"_s, m_roles[0]);
            addAuthor(comic, u"AUT2"_s, m_roles[1]);
            addEditionAndCopy(comic);
        }
        locateComic(victim);
        QSignalSpy counted(m_page.get(), &TMasterDataPage::countChanged);

        ModalAnswers user;
        user.answer(answer);
        control("btnDelete")->click();
        QVERIFY(user.done());
        QCOMPARE(user.seen[0].title, u"Bestätigung"_s);
        QCOMPARE(user.seen[0].text, u"Diesen Comic löschen?"_s);
        QCOMPARE(user.seen[0].buttons, QStringList({u"OK"_s, u"Abbrechen"_s}));

        const int left = deleted ? 1 : 2;
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), left);
        QCOMPARE(count(u"COMIC2AUTOR"_s), 2 * left);
        QCOMPARE(count(u"AUFLAGEN"_s), left);
        QCOMPARE(count(u"LOKALESTRIPOTHEK"_s), left);
        QCOMPARE(authorsOf(other).size(), 2);
        QCOMPARE(counted.size(), deleted ? 1 : 0);
        QCOMPARE(field("SCLCOMICID").asString(), deleted ? other : victim);
        QCOMPARE(m_data->tblComic2Autor().shownCount(), 2);
        QCOMPARE(m_data->tblComicLocal().shownCount(), 1);
    }

    // Whatever step fails, nothing is deleted and the same comic stays
    // current with its lists; a refused commit used to leave the window on
    // the comic that followed.
    void failedDeletionChangesNothing_data()
    {
        QTest::addColumn<QString>("failingTable");
        QTest::addColumn<QString>("message");
        QTest::newRow("editions, the second statement") << u"AUFLAGEN"_s << u"gesperrt"_s;
        QTest::newRow("own copies, the third statement") << u"LOKALESTRIPOTHEK"_s << u"gesperrt"_s;
        QTest::newRow("the comic row") << u"SERVERSTRIPOTHEK"_s << u"gesperrt"_s;
        QTest::newRow("the commit") << QString() << u"hat das Speichern abgelehnt"_s;
    }

    void failedDeletionChangesNothing()
    {
        QFETCH(QString, failingTable);
        QFETCH(QString, message);
        const QString comic = addComic(u"Zäh"_s);
        addComic(u"Danach"_s);
        addAuthor(comic, u"AUT1"_s, m_roles[0]);
        addEditionAndCopy(comic);
        locateComic(comic);
        if (!failingTable.isEmpty())
            m_data->dbConnection().execute(
                u"CREATE TEMP TRIGGER refuse BEFORE DELETE ON %1 BEGIN SELECT RAISE(ABORT, 'gesperrt'); END"_s.arg(
                    failingTable));
        QSignalSpy counted(m_page.get(), &TMasterDataPage::countChanged);

        ModalAnswers user;
        user.answer(u"OK"_s);
        // A commit that fails as on a full disk: SQLite rolls back and reports it.
        if (failingTable.isEmpty())
            sqlite3_commit_hook(m_data->dbConnection().handle(), [](void*) { return 1; }, nullptr);
        control("btnDelete")->click();
        sqlite3_commit_hook(m_data->dbConnection().handle(), nullptr, nullptr);
        QVERIFY(user.done());
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors[0].contains(message), qPrintable(m_errors[0]));
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 2);
        QCOMPARE(authorsOf(comic).size(), 1);
        QCOMPARE(count(u"AUFLAGEN"_s), 1);
        QCOMPARE(count(u"LOKALESTRIPOTHEK"_s), 1);
        QVERIFY(!m_data->dbConnection().inTransaction());
        QCOMPARE(counted.size(), 0);
        QCOMPARE(field("SCLCOMICID").asString(), comic);
        QCOMPARE(m_data->tblComic2Autor().shownCount(), 1);
        QCOMPARE(m_data->tblComicLocal().shownCount(), 1);
        QVERIFY(control("btnDelete")->isEnabled());
    }

    void deletingAnUnsavedComicOnlyDropsIt()
    {
        addComic(u"Gespeichert"_s);
        // Rows without a comic key, as a list command on an unsaved comic leaves them.
        addAuthor(QString(), u"AUT1"_s, m_roles[0]);
        addEditionAndCopy(QString());
        m_page->btnNewClick();
        ModalAnswers user;
        user.answer(u"OK"_s);
        m_page->btnDeleteClick(); // Ctrl+Del in the overview reaches it in any state
        QVERIFY(user.done());
        QCOMPARE(tbl().state(), State::Browse);
        for (const QString& table : {u"SERVERSTRIPOTHEK"_s, u"COMIC2AUTOR"_s, u"AUFLAGEN"_s, u"LOKALESTRIPOTHEK"_s})
            QCOMPARE(count(table), 1);
    }

    void deletingTheLastComicDisablesDelete()
    {
        addComic(u"Einzig"_s);
        QVERIFY(control("btnDelete")->isEnabled());
        ModalAnswers user;
        user.answer(u"OK"_s);
        control("btnDelete")->click();
        QVERIFY(user.done());
        QVERIFY(tbl().isEmpty());
        QVERIFY(!control("btnDelete")->isEnabled());
        QVERIFY(control("btnNew")->isEnabled());
    }

    void buttonStates_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("withRows");
        QTest::addColumn<QString>("enabled"); // N new, B new volume, S save, D delete, W discard
        QTest::newRow("browse") << u"browse"_s << true << u"NBD"_s;
        QTest::newRow("browse, empty catalogue") << u"browse"_s << false << u"NB"_s;
        QTest::newRow("edit by typing") << u"type"_s << true << u"SW"_s;
        QTest::newRow("edit on the page Bemerkungen") << u"remarks"_s << true << u"SW"_s;
        QTest::newRow("insert by Neu") << u"new"_s << true << u"SW"_s;
        QTest::newRow("insert by Neuer Band, empty catalogue") << u"volume"_s << false << u"SW"_s;
        QTest::newRow("after saving") << u"save"_s << true << u"NBD"_s;
        QTest::newRow("tables closed") << u"closed"_s << true << QString();
    }

    void buttonStates()
    {
        QFETCH(QString, how);
        QFETCH(bool, withRows);
        QFETCH(QString, enabled);
        if (withRows)
            addComic(u"Da"_s);
        TRemarksPage remarks(*m_data);
        if (how == u"type"_s || how == u"save"_s)
            QTest::keyClicks(control<QWidget>("editTitel1"), u"x"_s);
        if (how == u"save"_s)
            control("btnSave")->click();
        if (how == u"remarks"_s)
            QTest::keyClicks(named<ui::DBMemo>(remarks, "editBemerkung1"), u"x"_s);
        if (how == u"new"_s)
            control("btnNew")->click();
        if (how == u"volume"_s)
            control("btnNewBand")->click();
        if (how == u"closed"_s)
            m_data->CloseTables();

        QString actual;
        for (const auto& [button, letter] : {std::pair{control("btnNew"), u'N'}, {control("btnNewBand"), u'B'},
                                             {control("btnSave"), u'S'}, {control("btnDelete"), u'D'},
                                             {control("btnRestore"), u'W'}})
            if (button->isEnabled())
                actual += QChar(letter);
        QCOMPARE(actual, enabled);
        QVERIFY(m_errors.isEmpty());
    }

    void acceleratorsFollowTheirButtons()
    {
        const QString key = addComic(u"Da"_s);
        showPage();
        // A mnemonic presses its button with a short animation; the click
        // comes when it ends, so each effect is waited for.
        auto alt = [](Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k, Qt::AltModifier); };
        control<QWidget>("editTitel1")->setFocus();
        QTest::keyClicks(control<QWidget>("editTitel1"), u"x"_s);
        alt(Qt::Key_N); // disabled while editing: neither a new row nor a typed letter
        alt(Qt::Key_B);
        QVERIFY(!control("btnNew")->isDown() && !control("btnNewBand")->isDown()); // no click on its way
        QCOMPARE(tbl().state(), State::Edit);
        QCOMPARE(control<QLineEdit>("editTitel1")->text(), u"Dax"_s);

        alt(Qt::Key_S);
        QTRY_COMPARE(tbl().state(), State::Browse);
        QCOMPARE(stored(key, "SCLTITEL1"), u"Dax"_s);
        alt(Qt::Key_N);
        QTRY_COMPARE(tbl().state(), State::Insert);
        QCOMPARE(QApplication::focusWidget(), control<QWidget>("editTitel1"));
        alt(Qt::Key_W);
        QTRY_COMPARE(tbl().state(), State::Browse);
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 1);

        // Alt+A and Alt+F press the "+" buttons of the two lists, only while those can be pressed.
        QSignalSpy addAuthor(control("btnAddAuthor"), &QAbstractButton::clicked);
        QSignalSpy addEdition(control("btnAddAuflage"), &QAbstractButton::clicked);
        QSignalSpy authorShortcut(control("btnAutShortCut"), &QAbstractButton::clicked);
        alt(Qt::Key_A);
        QTRY_COMPARE(addAuthor.size(), 1);
        alt(Qt::Key_F);
        QTRY_COMPARE(addEdition.size(), 1);
        control("btnAddAuthor")->setEnabled(false);
        alt(Qt::Key_A);
        QTRY_COMPARE(authorShortcut.size(), 2);
        QCOMPARE(addAuthor.size(), 1);
        QCOMPARE(addEdition.size(), 1);
        QVERIFY(m_errors.isEmpty());
    }

    void numberBoxesRefuseText_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("Band") << u"editBand"_s << u"zwei"_s
                              << u"'zwei' ist kein gültiger Integerwert für Feld 'Band'"_s;
        QTest::newRow("Seiten") << u"editSeiten"_s << u"48 S."_s
                                << u"'48 S.' ist kein gültiger Integerwert für Feld 'Seiten'"_s;
        QTest::newRow("Limitierung") << u"editMaxLimit"_s << u"1,5"_s
                                     << u"'1,5' ist kein gültiger Integerwert für Feld 'Limitierung'"_s;
        QTest::newRow("emptied box stores null") << u"editBand"_s << QString() << QString();
    }

    void numberBoxesRefuseText()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        const QString key = addComic(u"Zahlen"_s);
        tbl().edit();
        field("SCLBAND").setAsInteger(3);
        tbl().post();
        showPage();
        auto* edit = m_page->findChild<ui::DBEdit*>(box);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);
        control<QWidget>("editTitel1")->setFocus(Qt::TabFocusReason);
        const QStringList expected = message.isEmpty() ? QStringList() : QStringList{message};
        QCOMPARE(m_errors, expected);
        QCOMPARE(QApplication::focusWidget(), message.isEmpty() ? control<QWidget>("editTitel1") : edit);

        // Saving meets the same refusal: the row stays in edit state, nothing is stored.
        m_errors.clear();
        control("btnSave")->click();
        QCOMPARE(m_errors, expected);
        QCOMPARE(tbl().state(), message.isEmpty() ? State::Browse : State::Edit);
        QCOMPARE(stored(key, "SCLBAND"), message.isEmpty() ? u"<null>"_s : u"3"_s);
    }

    void ctrlDelInTheLists()
    {
        const QString comic = addComic(u"Mit Auflage"_s);
        addAuthor(comic, u"AUT1"_s, m_roles[0]);
        addEditionAndCopy(comic);
        reread();
        ModalAnswers user;
        QTest::keyClick(control<QWidget>("dbgAuflagen"), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY2(user.done(), qPrintable(user.problems())); // the edition list ignores it

        user.answer(u"OK"_s);
        user.answer(u"OK"_s);
        QTest::keyClick(control<QWidget>("dbgAutoren"), Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(control<QWidget>("dbgLAuflage"), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(user.done());
        QCOMPARE(user.seen[0].text, u"Datensatz löschen?"_s);
        QCOMPARE(count(u"COMIC2AUTOR"_s) + count(u"LOKALESTRIPOTHEK"_s), 0);
        QCOMPARE(count(u"AUFLAGEN"_s) + count(u"SERVERSTRIPOTHEK"_s), 2);
    }

    void createLookupRow_data()
    {
        QTest::addColumn<bool>("publisher");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("namesAfter");
        QTest::addColumn<bool>("exists");
        for (bool publisher : {true, false}) {
            auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable((publisher ? u"publisher: "_s : u"series: "_s) + QLatin1String(name)))
                       << publisher;
            };
            row("new name, trimmed") << u"OK"_s << u" \tCarlsen  "_s << QStringList{"Carlsen", "Ehapa"} << false;
            row("exists") << u"OK"_s << u"Ehapa"_s << QStringList{"Ehapa"} << true;
            row("exists after trimming") << u"OK"_s << u"  Ehapa "_s << QStringList{"Ehapa"} << true;
            row("differs in case only") << u"OK"_s << u"EHAPA"_s << QStringList{"EHAPA", "Ehapa"} << false;
            row("beginning of an existing name") << u"OK"_s << u"Eha"_s << QStringList{"Eha", "Ehapa"} << false;
            row("begins with an existing name") << u"OK"_s << u"Ehapa Verlag"_s
                                                << QStringList{"Ehapa", "Ehapa Verlag"} << false;
            row("blank") << u"OK"_s << u"   "_s << QStringList{"Ehapa"} << false;
            row("cancelled") << u"Abbrechen"_s << u"Carlsen"_s << QStringList{"Ehapa"} << false;
            row("cut to the field") << u"OK"_s << QString(60, u'x') << QStringList{"Ehapa", QString(50, u'x')}
                                    << false;
        }
    }

    void createLookupRow()
    {
        QFETCH(bool, publisher);
        QFETCH(QString, answer);
        QFETCH(QString, typed);
        QFETCH(QStringList, namesAfter);
        QFETCH(bool, exists);
        publisher ? addPublisher(u"Ehapa"_s) : addSeries(u"Ehapa"_s);
        const int keysBefore = lastKeyNumber();

        ModalAnswers user;
        user.answer(answer, typed);
        control(publisher ? "btnAddVerlag" : "btnAddSerie")->click();
        QVERIFY(user.done());
        QCOMPARE(user.seen[0].title, publisher ? u"Neuen Verlag erstellen"_s : u"Neue Serie erstellen"_s);
        QCOMPARE(user.seen[0].text, publisher ? u"Verlagsname"_s : u"Serienname"_s);
        QCOMPARE(user.seen[0].buttons, QStringList({u"OK"_s, u"Abbrechen"_s}));
        QCOMPARE(user.seen.size(), 1);
        const QString existsNote = publisher ? u"Dieser Verlag existiert schon!"_s : u"Diese Serie existiert schon!"_s;
        QCOMPARE(m_errors, exists ? QStringList{existsNote} : QStringList());

        const QString sql = publisher ? u"SELECT VLNAME1, VLVERLAGID FROM VERLAGE"_s : u"SELECT SRNAME, SRSERIENID FROM SERIEN"_s;
        QStringList names;
        QString newKey;
        for (const QString& row : rows(sql)) {
            names << row.section(u'|', 0, 0);
            if (row.section(u'|', 0, 0) != u"Ehapa"_s)
                newKey = row.section(u'|', 1);
        }
        names.sort();
        QCOMPARE(names, namesAfter);
        const bool created = namesAfter.size() == 2;
        QCOMPARE(lastKeyNumber(), keysBefore + (created ? 1 : 0));
        QCOMPARE(newKey.endsWith(QString::number(lastKeyNumber())), created);
    }

    void newLookupRowIsSelectedOnlyWhileEditing_data()
    {
        QTest::addColumn<bool>("publisher");
        QTest::addColumn<QString>("state");
        QTest::newRow("publisher, comic in browse state") << true << u"browse"_s;
        QTest::newRow("publisher, comic being edited") << true << u"edit"_s;
        QTest::newRow("series, new comic being entered") << false << u"insert"_s;
        QTest::newRow("series, comic in browse state") << false << u"browse"_s;
    }

    void newLookupRowIsSelectedOnlyWhileEditing()
    {
        QFETCH(bool, publisher);
        QFETCH(QString, state);
        const QString old = publisher ? addPublisher(u"Alt"_s) : addSeries(u"Alt"_s);
        publisher ? addComic(u"C"_s, {}, old) : addComic(u"C"_s, old);
        const char* comicField = publisher ? "SCLVERLAGID" : "SCLSERIEID";
        if (state == u"edit"_s)
            tbl().edit();
        if (state == u"insert"_s)
            m_page->btnNewClick();

        ModalAnswers user;
        user.answer(u"OK"_s, u"Neu"_s);
        control(publisher ? "btnAddVerlag" : "btnAddSerie")->click();
        QVERIFY(user.done());
        if (state == u"browse"_s) {
            QCOMPARE(tbl().state(), State::Browse);
            QCOMPARE(field(comicField).asString(), old);
            return;
        }
        QVERIFY(field(comicField).asString().endsWith(QString::number(lastKeyNumber())));
        QCOMPARE(control<QComboBox>(publisher ? "cbVerlage" : "cbSerie")->currentText(), u"Neu"_s);
        m_page->btnSaveClick();
        QCOMPARE(stored(field("SCLCOMICID").asString(), publisher ? "SCLVERLAGTEXT" : "SCLSERIENTEXT"), u"Neu"_s);
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), state == u"insert"_s ? 2 : 1);
        QVERIFY(m_errors.isEmpty());
    }
};

QTEST_MAIN(TestMasterDataPage)
#include "tst_masterdatapage.moc"
