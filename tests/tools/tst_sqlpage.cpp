#include "MaintenanceWindow.h"

#include "database/Query.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

class TestSqlPage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Stripothek")); }
    void lowerCaseSelectFillsTheGrid();
    void textIsTrimmed_data();
    void textIsTrimmed();
    void commandPathReopensTables_data();
    void commandPathReopensTables();
    void catalogueQueryHidesMemosAndCapsWidths();
    void columnsOfOneNameKeepTheirOwnValues_data();
    void columnsOfOneNameKeepTheirOwnValues();
    void updateShowsInFilteredOverview();
    void droppedSearchComesBack_data();
    void droppedSearchComesBack();
    void failingStatementLeavesTablesOpen_data();
    void failingStatementLeavesTablesOpen();
    void reopeningErrorIsShown();
    void openTransactionIsRolledBack();
    void largeResultReadsEveryRowWherever();
    void editedEntryIsStoredFirst_data();
    void editedEntryIsStoredFirst();
    void countKeepsWhereTheGridStands();
    void rowsComeWhileCountingAndStay_data();
    void rowsComeWhileCountingAndStay();
    void stoppedStatementChangesNothing_data();
    void stoppedStatementChangesNothing();
};

namespace {
// Never ends by itself: counting it, or writing its rows, lasts until stopped.
const QString kEndless = QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT x FROM n");

void stopAsUser(TSQLPage& page, bool escape)
{
    if (escape)
        QTest::keyClick(page.memoSQLDirect, Qt::Key_Escape);
    else
        QTest::mouseClick(page.btnSQLStop, Qt::LeftButton);
}
} // namespace

void TestSqlPage::lowerCaseSelectFillsTheGrid()
{
    Window w;
    w.run(QStringLiteral("select * from AUTOREN order by ANNAME"));
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.gridRows(), w.scalar(QStringLiteral("SELECT count(*) FROM AUTOREN")));
    QVERIFY(w.gridRows() > 3);
    db::Query reference(w.data().dbConnection());
    reference.setSql(QStringLiteral("SELECT ANNAME FROM AUTOREN ORDER BY ANNAME"));
    reference.open();
    for (int row = 0; row < w.gridRows(); ++row, reference.next())
        QCOMPARE(w.cell(w.page().dbgSQLDirect, row, QStringLiteral("ANNAME")),
                 reference.fieldByName(QStringLiteral("ANNAME")).asString());
}

void TestSqlPage::textIsTrimmed_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("blank lines and spaces") << QStringLiteral("\n\n   select * from SERIEN  \n\t")
                                            << QStringLiteral("select * from SERIEN");
    QTest::newRow("control characters") << QStringLiteral("\x01\x1f select * from SERIEN\r\n")
                                        << QStringLiteral("select * from SERIEN");
    QTest::newRow("inner line breaks stay") << QStringLiteral(" select *\nfrom SERIEN ")
                                            << QStringLiteral("select *\nfrom SERIEN");
}

void TestSqlPage::textIsTrimmed()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Window w;
    w.run(typed);
    QCOMPARE(w.page().memoSQLDirect->toPlainText(), shown);
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.gridRows(), w.scalar(QStringLiteral("SELECT count(*) FROM SERIEN")));
}

void TestSqlPage::commandPathReopensTables_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("query in parentheses") << QStringLiteral("(SELECT * FROM AUTOREN)");
    QTest::newRow("comment first") << QStringLiteral("-- alle Autoren\nSELECT * FROM AUTOREN");
    QTest::newRow("update") << QStringLiteral("UPDATE AUTOREN SET ANNAME = ANNAME");
}

void TestSqlPage::commandPathReopensTables()
{
    QFETCH(QString, statement);
    Window w;
    w.run(QStringLiteral("select * from SERIEN"));
    QVERIFY(w.gridRows() > 0);
    db::Table& catalogue = w.data().tblStripothek();
    catalogue.setIndexName(QStringLiteral("NKSCLTITEL1"));
    catalogue.setRecNo(4);
    catalogue.edit();
    catalogue.fieldByName(QStringLiteral("SCLTITEL1")).setAsString(QStringLiteral("nie gespeichert"));

    w.run(statement);

    // The parenthesised query is no statement SQLite executes; whether it
    // fails or not, the tables are open again as at start-up.
    QVERIFY(w.errors.size() <= 1);
    w.verifyAllOpen();
    QCOMPARE(catalogue.indexName(), QStringLiteral("NKSCLSERIENTEXT"));
    QCOMPARE(catalogue.recNo(), 1);
    // The entry being edited was stored before the tables closed.
    QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 = 'nie gespeichert'")), 1);
    QVERIFY(!w.page().qrySQLDirect.active());
    QCOMPARE(w.gridRows(), 0);
}

void TestSqlPage::catalogueQueryHidesMemosAndCapsWidths()
{
    Window w;
    w.run(QStringLiteral("SELECT * FROM SERVERSTRIPOTHEK"));
    ui::DBGrid* grid = w.page().dbgSQLDirect;
    const int charWidth = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    QHash<QString, int> column;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        column.insert(grid->fieldNameAt(c), c);
    // The 22 fields and the generated columns of the three names' German keys,
    // which are hidden like every blob.
    QCOMPARE(column.size(), 52);
    QVERIFY(grid->isColumnHidden(column.value(QStringLiteral("SCLTITEL1_SORT"))));
    QVERIFY(grid->isColumnHidden(column.value(QStringLiteral("SCLSERIENTEXT_SORT0"))));
    QVERIFY(grid->isColumnHidden(column.value(QStringLiteral("SCLINHALT"))));
    QVERIFY(grid->isColumnHidden(column.value(QStringLiteral("SCLBEMERKUNG"))));
    QCOMPARE(grid->columnWidth(column.value(QStringLiteral("SCLCOMICID"))), 25 * charWidth + 8);
    QCOMPARE(grid->columnWidth(column.value(QStringLiteral("SCLAUTOREN"))), 25 * charWidth + 8);
    QCOMPARE(grid->columnWidth(column.value(QStringLiteral("SCLBAND"))), 10 * charWidth + 8);
    QVERIFY(!grid->isColumnHidden(column.value(QStringLiteral("SCLTITEL1"))));
    // The grid only shows: nothing it offers edits or deletes a row.
    QVERIFY(!(grid->model()->flags(grid->model()->index(0, 1)) & Qt::ItemIsEditable));
}

void TestSqlPage::columnsOfOneNameKeepTheirOwnValues_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QList<bool>>("hidden");
    QTest::addColumn<QList<int>>("widths"); // in characters; 0 for a hidden column
    QTest::newRow("self-join of the authors")
        << QStringLiteral("SELECT a.ANNAME, b.ANNAME FROM AUTOREN a JOIN AUTOREN b ON a.ANAUTORID < b.ANAUTORID "
                          "ORDER BY a.ANNAME, b.ANNAME")
        << QList<bool>{false, false} << QList<int>{25, 25};
    QTest::newRow("memo and title under one name")
        << QStringLiteral("SELECT SCLINHALT, SCLTITEL1 AS SCLINHALT, SCLBAND AS SCLINHALT FROM SERVERSTRIPOTHEK "
                          "ORDER BY rowid")
        << QList<bool>{true, false, false} << QList<int>{0, 25, 10};
}

// Duplicate searches join a table with itself; each column shows its own
// values and keeps its own visibility and width.
void TestSqlPage::columnsOfOneNameKeepTheirOwnValues()
{
    QFETCH(QString, sql);
    QFETCH(QList<bool>, hidden);
    QFETCH(QList<int>, widths);
    Window w;
    w.run(sql);
    QCOMPARE(w.errors, QStringList());
    ui::DBGrid* grid = w.page().dbgSQLDirect;
    QCOMPARE(grid->model()->columnCount(), hidden.size());
    const int charWidth = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < hidden.size(); ++c) {
        QCOMPARE(grid->isColumnHidden(c), hidden[c]);
        if (!hidden[c])
            QCOMPARE(grid->columnWidth(c), widths[c] * charWidth + 8);
    }
    db::Statement reference(w.data().dbConnection().handle(), sql);
    int row = 0;
    for (; reference.step(); ++row)
        for (int c = 0; c < hidden.size(); ++c)
            if (!hidden[c])
                QCOMPARE(w.cell(grid, row, c), reference.column(c).toString());
    QVERIFY(row > 1);
    QCOMPARE(w.gridRows(), row);
}

void TestSqlPage::updateShowsInFilteredOverview()
{
    Window w;
    auto* series = w.form->findChild<QLineEdit*>(QStringLiteral("editSrchSerie"));
    auto* overview = w.form->findChild<ui::DBGrid*>(QStringLiteral("dbgListe"));
    auto* count = w.form->findChild<QLabel*>(QStringLiteral("labInfo"));
    QVERIFY(series && overview && count);
    series->setText(QStringLiteral("Kapitän"));
    w.form->menResfreshViewClick();
    const int listed = overview->model()->rowCount();
    QVERIFY(listed > 1);
    db::Table& catalogue = w.data().tblStripothek();
    const QString key = catalogue.valueAt(1, catalogue.fieldByName(QStringLiteral("SCLCOMICID")).index()).toString();

    w.run(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'Geändert' WHERE SCLCOMICID = '%1'").arg(key));
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(overview->model()->rowCount(), listed);
    QCOMPARE(w.cell(overview, 1, QStringLiteral("SCLTITEL1")), QStringLiteral("Geändert"));
    QCOMPARE(catalogue.recNo(), 1);

    w.run(QStringLiteral("DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = '%1'").arg(key));
    QCOMPARE(overview->model()->rowCount(), listed - 1);
    QCOMPARE(count->text(), QStringLiteral("Anzahl: %1").arg(w.scalar(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"))));
}

void TestSqlPage::droppedSearchComesBack_data()
{
    QTest::addColumn<QString>("statement");
    QTest::newRow("index") << QStringLiteral("DROP TABLE SUCHINDEX");
    QTest::newRow("folding view") << QStringLiteral("DROP VIEW SUCHTEXT_1");
    QTest::newRow("trigger") << QStringLiteral("DROP TRIGGER SUCHE_KATALOG_GEAENDERT");
    QTest::newRow("notes") << QStringLiteral("DROP TABLE SUCHE_OFFEN");
}

// Right after the statement, not at the next start: an edit made then is
// found, and so is what was there before.
void TestSqlPage::droppedSearchComesBack()
{
    QFETCH(QString, statement);
    Window w;
    w.run(statement);
    QCOMPARE(w.errors, QStringList());
    QVERIFY2(w.page().labSQLStatus->text().contains(QStringLiteral("Suchindex wurde wieder angelegt")),
             qPrintable(w.page().labSQLStatus->text()));
    w.run(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL2 = 'Quallenplage' WHERE rowid = (SELECT min(rowid) FROM "
                         "SERVERSTRIPOTHEK)"));
    QCOMPARE(w.errors, QStringList());
    db::Table& catalogue = w.data().tblStripothek();
    const auto found = [&](const QString& text) {
        catalogue.setSearch(text);
        return catalogue.shownCount();
    };
    QCOMPARE(found(QStringLiteral("quallenpl")), 1);
    const QString title = w.cell(w.form->findChild<ui::DBGrid*>(QStringLiteral("dbgListe")), 0, QStringLiteral("SCLTITEL1"));
    QVERIFY(found(title) >= 1);
}

void TestSqlPage::failingStatementLeavesTablesOpen_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown table") << QStringLiteral("UPDATE NICHTDA SET X = 1") << QStringLiteral("qrySQLDirect: Die Datenbank hat die Anweisung abgelehnt: Die Tabelle „NICHTDA“ gibt es nicht");
    QTest::newRow("two statements") << QStringLiteral("UPDATE AUTOREN SET ANNAME = 'x'; DELETE FROM AUTOREN")
                                    << QStringLiteral("nur eine SQL-Anweisung");
    QTest::newRow("empty") << QString() << QStringLiteral("leer");
    QTest::newRow("wrong query") << QStringLiteral("select * frm AUTOREN")
                                 << QStringLiteral("qrySQLDirect: Die Datenbank hat die Anweisung abgelehnt: Die Anweisung hat einen Syntaxfehler");
    QTest::newRow("query failing at its first row") << QStringLiteral("select json('kein JSON') from AUTOREN")
                                                    << QStringLiteral("malformed JSON");
}

void TestSqlPage::failingStatementLeavesTablesOpen()
{
    QFETCH(QString, statement);
    QFETCH(QString, message);
    Window w;
    const int authors = w.scalar(QStringLiteral("SELECT count(*) FROM AUTOREN WHERE ANNAME <> 'x'"));
    w.run(statement);
    QCOMPARE(w.errors.size(), 1);
    QVERIFY2(w.errors.first().contains(message), qPrintable(w.errors.first()));
    w.verifyAllOpen();
    QVERIFY(w.form->findChild<ui::DBGrid*>(QStringLiteral("dbgListe"))->model()->rowCount() > 0);
    QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM AUTOREN WHERE ANNAME <> 'x'")), authors);
    QCOMPARE(w.gridRows(), 0);
}

void TestSqlPage::reopeningErrorIsShown()
{
    Window w;
    w.run(QStringLiteral("DROP TABLE UNTERART"));
    QCOMPARE(w.errors.size(), 1);
    QVERIFY2(w.errors.first().startsWith(QStringLiteral("tblUnterart: ")), qPrintable(w.errors.first()));
    // Opened in their order up to the missing table; the rest stay closed.
    ComicData& d = w.data();
    for (db::Table* t : {&d.tblAutortyp(), &d.tblAutoren(), &d.tblVerlage(), &d.tblSerie(), &d.tblZustandsarten(), &d.tblLitart()})
        QVERIFY2(t->active(), qPrintable(t->name()));
    for (db::Table* t : {&d.tblUnterart(), &d.tblAusfuehrungen(), &d.tblStripothek(), &d.tblKeyGen()})
        QVERIFY2(!t->active(), qPrintable(t->name()));
}

void TestSqlPage::openTransactionIsRolledBack()
{
    Window w;
    w.run(QStringLiteral("BEGIN"));
    QCOMPARE(w.errors.size(), 1);
    QVERIFY2(w.errors.first().contains(QStringLiteral("Transaktion")), qPrintable(w.errors.first()));
    // A save afterwards is stored for good, as always.
    w.run(QStringLiteral("UPDATE AUTOREN SET ANNAME = 'Neu'"));
    db::Connection other;
    other.setDatabasePath(w.dir.path() + QStringLiteral("/database"));
    other.connect();
    db::Statement names(other.handle(), QStringLiteral("SELECT count(*) FROM AUTOREN WHERE ANNAME <> 'Neu'"));
    QVERIFY(names.step());
    QCOMPARE(names.columnInt64(0), 0);
}

void TestSqlPage::editedEntryIsStoredFirst_data()
{
    QTest::addColumn<QString>("band"); // typed into "Band" with the title
    QTest::addColumn<bool>("pack");    // "Tabellen verkleinern" instead of a command
    QTest::addColumn<bool>("stored");
    QTest::newRow("command") << "7" << false << true;
    QTest::newRow("packing") << "7" << true << true;
    QTest::newRow("letters in Band: nothing runs") << "abc" << false << false;
}

// What the user typed on "Stammdaten" and has not saved yet must not vanish
// when the tables close for a command or for packing.
void TestSqlPage::editedEntryIsStoredFirst()
{
    QFETCH(QString, band);
    QFETCH(bool, pack);
    QFETCH(bool, stored);
    Window w;
    auto* title = w.form->findChild<QLineEdit*>(QStringLiteral("editTitel2"));
    auto* number = w.form->findChild<QLineEdit*>(QStringLiteral("editBand"));
    QVERIFY(title && number);
    const int authors = w.scalar(QStringLiteral("SELECT count(*) FROM AUTOREN"));
    QTest::keyClicks(title, QStringLiteral("Ungespeichert"));
    number->clear();
    QTest::keyClicks(number, band);
    if (pack)
        w.page().btnPack->click();
    else
        w.run(QStringLiteral("UPDATE AUTOREN SET ANNAME = 'x'"));
    QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLTITEL2 LIKE '%Ungespeichert'")),
             stored ? 1 : 0);
    QCOMPARE(w.errors.size(), stored ? 0 : 1);
    if (!pack)
        QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM AUTOREN WHERE ANNAME = 'x'")), stored ? authors : 0);
    if (!stored) {
        // Refused: the entry is still being edited, with what was typed.
        QVERIFY(title->text().endsWith(QStringLiteral("Ungespeichert")));
        QCOMPARE(number->text(), band);
    }
}

void TestSqlPage::largeResultReadsEveryRowWherever()
{
    Window w(10000);
    const QString sql = QStringLiteral("SELECT SCLCOMICID, SCLTITEL1 FROM SERVERSTRIPOTHEK ORDER BY SCLTITEL1, rowid");
    w.run(QStringLiteral("  select") + sql.mid(6));
    QCOMPARE(w.gridRows(), 10000);
    db::Query reference(w.data().dbConnection());
    reference.setSql(sql);
    reference.open();
    const auto expect = [&](int row) {
        reference.setRecNo(row + 1);
        QCOMPARE(w.cell(w.page().dbgSQLDirect, row, QStringLiteral("SCLCOMICID")),
                 reference.fieldByName(QStringLiteral("SCLCOMICID")).asString());
    };
    // Forward, far ahead, back past what is kept, and again after packing.
    for (int row : {0, 1, 200, 9999, 5, 1500, 1499, 9000, 8000})
        expect(row);
    // Scrolled through once: more blocks than are kept.
    for (int row = 0; row < 10000; row += 97)
        expect(row);
    expect(0);
    w.page().btnPack->click();
    QCOMPARE(w.messages, QStringList{QStringLiteral("Tabellen wurden gepackt!")});
    QCOMPARE(w.errors, QStringList());
    for (int row : {9998, 3, 1700})
        expect(row);
}

// The count comes after the first rows: the grid gets the rows it lacked
// and stays where the user scrolled, away from the current row.
void TestSqlPage::countKeepsWhereTheGridStands()
{
    Window w;
    w.showPage();
    TSQLPage& page = w.page();
    ui::DBGrid* grid = page.dbgSQLDirect;
    page.memoSQLDirect->setPlainText(
        QStringLiteral("SELECT x FROM (WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n LIMIT 1000000) "
                       "SELECT x FROM n)"));
    page.btnSQLExecute->click();
    QTRY_VERIFY_WITH_TIMEOUT(page.qrySQLDirect.active(), 60000);
    page.qrySQLDirect.moveToRow(3);
    grid->verticalScrollBar()->setValue(60);
    w.settle();
    QCOMPARE(w.gridRows(), 1000000);
    QCOMPARE(grid->verticalScrollBar()->value(), 60);
    QCOMPARE(page.qrySQLDirect.currentRow(), 3);
    QCOMPARE(grid->currentIndex().row(), 3);
    QCOMPARE(w.cell(grid, 70, 0), QStringLiteral("71"));
    QCOMPARE(page.labSQLStatus->text(), QStringLiteral("%L1 Zeilen").arg(1000000));
}

void TestSqlPage::rowsComeWhileCountingAndStay_data()
{
    QTest::addColumn<bool>("escape"); // Esc, or the button
    QTest::newRow("Esc") << true;
    QTest::newRow("Abbrechen") << false;
}

// An endless result is never counted: the grid shows the rows read so far,
// reads more when scrolled to its end, and keeps them when the count stops.
void TestSqlPage::rowsComeWhileCountingAndStay()
{
    QFETCH(bool, escape);
    Window w;
    w.showPage();
    TSQLPage& page = w.page();
    ui::DBGrid* grid = page.dbgSQLDirect;
    const auto shown = [grid](int row) { return grid->model()->index(row, 0).data().toString(); };
    page.memoSQLDirect->setPlainText(QStringLiteral("SELECT x FROM (%1)").arg(kEndless));
    page.btnSQLExecute->click();
    QTRY_VERIFY_WITH_TIMEOUT(page.qrySQLDirect.active(), 60000);
    QVERIFY(page.qrySQLDirect.counting());
    QCOMPARE(w.gridRows(), 128);
    QCOMPARE(shown(0), QStringLiteral("1"));
    QCOMPARE(shown(127), QStringLiteral("128"));
    QTRY_VERIFY(page.labSQLStatus->text().contains(QStringLiteral("gezählt")));

    grid->scrollToBottom();
    QTRY_VERIFY_WITH_TIMEOUT(w.gridRows() > 128, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(shown(200), QStringLiteral("201"), 60000);

    stopAsUser(page, escape);
    w.settle();
    QVERIFY(page.qrySQLDirect.countStopped());
    QVERIFY2(page.labSQLStatus->text().contains(QStringLiteral("Zählen abgebrochen")),
             qPrintable(page.labSQLStatus->text()));
    QVERIFY(w.gridRows() > 128);
    QCOMPARE(shown(5), QStringLiteral("6"));
    QCOMPARE(w.errors, QStringList());

    w.run(QStringLiteral("SELECT ANNAME FROM AUTOREN"));
    QCOMPARE(w.gridRows(), w.scalar(QStringLiteral("SELECT count(*) FROM AUTOREN")));
    QCOMPARE(page.labSQLStatus->text(), QStringLiteral("%1 Zeilen").arg(w.gridRows()));
}

void TestSqlPage::stoppedStatementChangesNothing_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("escape");
    QTest::newRow("update, Esc")
        << QStringLiteral("UPDATE AUTOREN SET ANNAME = 'geändert' WHERE CASE WHEN rowid > 2 "
                          "THEN (SELECT count(*) FROM (%1)) ELSE 1 END > 0").arg(kEndless)
        << true;
    QTest::newRow("insert, button")
        << QStringLiteral("INSERT INTO AUTOREN (ANAUTORID, ANNAME) SELECT 'neu' || x, 'Neu ' || x FROM (%1)").arg(kEndless)
        << false;
    QTest::newRow("query before its first row, Esc") << QStringLiteral("SELECT count(*) FROM (%1)").arg(kEndless) << true;
}

// A stop ends the statement with nothing of it left: SQLite rolls a write
// back whole, the tables are open again, and the page goes on working.
void TestSqlPage::stoppedStatementChangesNothing()
{
    QFETCH(QString, sql);
    QFETCH(bool, escape);
    Window w;
    w.showPage();
    TSQLPage& page = w.page();
    const auto authors = [&w] {
        db::Statement all(w.data().dbConnection().handle(),
                          QStringLiteral("SELECT group_concat(ANAUTORID || '=' || ANNAME, '|') FROM AUTOREN"));
        all.step();
        return all.column(0).toString();
    };
    const QString before = authors();
    const bool command = !tools::IsQueryText(sql);
    bool stopped = false;
    // Runs once the statement is under way: a command keeps this function
    // inside the click until it ends.
    QTimer::singleShot(0, this, [&] {
        QVERIFY(page.btnSQLStop->isEnabled());
        if (command) {
            // Nothing but the stop reaches the window meanwhile.
            QTest::keyClicks(page.memoSQLDirect, QStringLiteral("x"));
            QCOMPARE(page.memoSQLDirect->toPlainText(), sql);
        }
        stopAsUser(page, escape);
        stopped = true;
    });
    page.memoSQLDirect->setPlainText(sql);
    page.btnSQLExecute->click();
    QTRY_VERIFY_WITH_TIMEOUT(stopped, 60000);
    w.settle();

    QCOMPARE(w.errors, QStringList());
    QVERIFY2(page.labSQLStatus->text().startsWith(QStringLiteral("Abgebrochen")), qPrintable(page.labSQLStatus->text()));
    QCOMPARE(authors(), before);
    w.verifyAllOpen();
    QCOMPARE(w.gridRows(), 0);
    QVERIFY(!page.btnSQLStop->isEnabled());

    w.run(QStringLiteral("selct 1"));
    QCOMPARE(w.errors.size(), 1);
    QCOMPARE(page.labSQLStatus->text(), QString());
    w.errors.clear();
    w.run(QStringLiteral("UPDATE AUTOREN SET ANNAME = ANNAME || '!' WHERE rowid = 1"));
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(page.labSQLStatus->text(), QStringLiteral("Ausgeführt, 1 Zeile geändert"));
    QVERIFY(authors() != before);
}

QTEST_MAIN(TestSqlPage)
#include "tst_sqlpage.moc"
