#include "MaintenanceWindow.h"
#include "../common/Named.h"

#include "tools/ToolCommands.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>

class TestToolCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Stripothek")); }
    void exportFromTheMenu();
    void cancelledChooserExportsNothing();
    void failedExportKeepsItsStatus();
    void exportStoresTheEntryFirst_data();
    void exportStoresTheEntryFirst();
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
    // A folder stands where AUTOREN's file belongs; AUTOREN is listed third,
    // after AUSFUEHRUNGEN, whose last row leaves 100 percent behind.
    const QString target = w.dir.path() + QStringLiteral("/export");
    QDir().mkpath(target + QStringLiteral("/autoren.xml"));
    w.form->findChild<TToolCommands*>()->setDirectoryChooser([&](QWidget*) { return target; });
    named<QAction>(*w.form, "menExport")->trigger();
    QCOMPARE(w.errors.size(), 1);
    QCOMPARE(w.messages, QStringList());
    QCOMPARE(named<QLabel>(*w.form, "sbMainPanel0")->text(), QStringLiteral("Exportiere Tabelle AUTOREN"));
    QCOMPARE(named<QLabel>(*w.form, "sbMainPanel1")->text(), QStringLiteral("100 exportiert"));
}

void TestToolCommands::exportStoresTheEntryFirst_data()
{
    QTest::addColumn<QString>("band"); // typed into "Band" with the title
    QTest::newRow("stored, then exported") << "7";
    QTest::newRow("letters in Band: refused, nothing written") << "abc";
}

void TestToolCommands::exportStoresTheEntryFirst()
{
    QFETCH(QString, band);
    const bool valid = band == QLatin1String("7");
    Window w;
    auto* title = w.form->findChild<QLineEdit*>(QStringLiteral("editTitel2"));
    auto* number = w.form->findChild<QLineEdit*>(QStringLiteral("editBand"));
    QVERIFY(title && number);
    QTest::keyClicks(title, QStringLiteral("Ungespeichert"));
    number->clear();
    QTest::keyClicks(number, band);
    const QString target = w.dir.path() + QStringLiteral("/export");
    QDir().mkpath(target);
    w.form->findChild<TToolCommands*>()->setDirectoryChooser([&](QWidget*) { return target; });

    named<QAction>(*w.form, "menExport")->trigger();

    QCOMPARE(w.errors.size(), valid ? 0 : 1);
    QCOMPARE(w.messages.size(), valid ? 1 : 0);
    QFile catalogue(target + QStringLiteral("/serverstripothek.xml"));
    QCOMPARE(catalogue.open(QIODevice::ReadOnly), valid);
    if (valid)
        QVERIFY(catalogue.readAll().contains("Ungespeichert\""));
    else
        QCOMPARE(number->text(), band); // still there to mend
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
