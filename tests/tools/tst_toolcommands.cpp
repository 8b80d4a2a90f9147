#include "MaintenanceWindow.h"
#include "../common/Named.h"

#include "tools/ToolCommands.h"

#include <QAction>
#include <QApplication>
#include <QLabel>

class TestToolCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Stripothek")); }
    void exportFromTheMenu();
    void cancelledChooserExportsNothing();
    void failedExportKeepsItsStatus();
    void emptyingAsksFirst_data();
    void emptyingAsksFirst();
    void isbnCheckFromThePopup();
};

void TestToolCommands::exportFromTheMenu()
{
    Window w;
    const QString target = w.dir.path() + QStringLiteral("/export");
    QDir().mkpath(target);
    w.form->findChild<TToolCommands*>()->setDirectoryChooser([&](QWidget*) { return target; });
    named<QAction>(*w.form, "menExport")->trigger();
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.messages, QStringList{QStringLiteral("Daten wurden exportiert!")});
    QCOMPARE(QDir(target).entryList(QDir::Files).size(), 13);
    QCOMPARE(named<QLabel>(*w.form, "sbMainPanel0")->text(), QString());
    QCOMPARE(named<QLabel>(*w.form, "sbMainPanel1")->text(), QString());
}

void TestToolCommands::cancelledChooserExportsNothing()
{
    Window w;
    w.form->findChild<TToolCommands*>()->setDirectoryChooser([](QWidget*) { return QString(); });
    named<QAction>(*w.form, "menExport")->trigger();
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.messages, QStringList());
}

void TestToolCommands::failedExportKeepsItsStatus()
{
    Window w;
    // A control character cannot stand in XML; AUTOREN is listed third,
    // after AUSFUEHRUNGEN, whose last row leaves 100 percent behind.
    w.data().dbConnection().execute(QStringLiteral("UPDATE AUTOREN SET ANNAME = 'A' || char(2) WHERE rowid = 1"));
    const QString target = w.dir.path() + QStringLiteral("/export");
    QDir().mkpath(target);
    w.form->findChild<TToolCommands*>()->setDirectoryChooser([&](QWidget*) { return target; });
    named<QAction>(*w.form, "menExport")->trigger();
    QCOMPARE(w.errors.size(), 1);
    QCOMPARE(w.messages, QStringList());
    QCOMPARE(named<QLabel>(*w.form, "sbMainPanel0")->text(), QStringLiteral("Exportiere Tabelle AUTOREN"));
    QCOMPARE(named<QLabel>(*w.form, "sbMainPanel1")->text(), QStringLiteral("100 exportiert"));
}

void TestToolCommands::emptyingAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Ja") << true;
    QTest::newRow("Nein") << false;
}

void TestToolCommands::emptyingAsksFirst()
{
    QFETCH(bool, yes);
    Window w;
    w.answer = yes;
    const int comics = w.data().tblStripothek().recordCount();
    named<QAction>(*w.form, "menEmptyDB")->trigger();
    QCOMPARE(w.errors, QStringList());
    QStringList expected{QStringLiteral("Möchten Sie wirklich alle Daten löschen?")};
    if (yes)
        expected << QStringLiteral("Tabellen wurden geleert!");
    QCOMPARE(w.messages, expected);
    QCOMPARE(w.data().tblStripothek().recordCount(), yes ? 0 : comics);
    QCOMPARE(w.form->findChild<QLabel*>(QStringLiteral("labInfo"))->text(),
             QStringLiteral("Anzahl: %1").arg(yes ? 0 : comics));
    QVERIFY(w.scalar(QStringLiteral("SELECT count(*) FROM SERIEN")) > 0);
    w.verifyAllOpen();
}

void TestToolCommands::isbnCheckFromThePopup()
{
    Window w;
    w.data().dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = 'ALT'"));
    named<QAction>(*w.form, "menCheckISBNNr")->trigger();
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.messages, QStringList());
    QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLINTISBNNR = 'ALT'")), 0);
    QCOMPARE(w.data().tblStripothek().recNo(), w.data().tblStripothek().shownCount());
}

QTEST_MAIN(TestToolCommands)
#include "tst_toolcommands.moc"
