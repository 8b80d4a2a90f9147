#include "../tools/MaintenanceWindow.h"
#include "../common/ModalDriver.h"
#include "../common/Named.h"

#include "backup/BackupStore.h"
#include "backup/KeepPolicy.h"
#include "backup/Snapshot.h"
#include "backupui/BackupDialog.h"
#include "database/FieldNames.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTreeWidget>

namespace {

QString databaseDir(Window& w)
{
    return w.dir.path() + QStringLiteral("/database");
}

QList<backup::BackupInfo> copies(Window& w)
{
    return backup::BackupStore(databaseDir(w)).list();
}

QByteArray digest(const QString& file)
{
    backup::Handle db(file, backup::Handle::Mode::ReadOnly);
    return backup::contentDigest(db.get());
}

QByteArray liveDigest(Window& w)
{
    return digest(databaseDir(w) + QStringLiteral("/stripothek.db"));
}

qint64 count(const QString& file, const QString& sql)
{
    backup::Handle db(file, backup::Handle::Mode::ReadOnly);
    return db.value(sql).toLongLong();
}

// Answers the questions of the central question box and keeps them.
struct Questions {
    bool answer;
    QStringList asked;
    ui::QuestionSink previous;
    explicit Questions(bool a) : answer(a)
    {
        previous = ui::setQuestionSink([this](const QString& q) {
            // Emptying's own question is the user's go-ahead, not one about the copy.
            if (q == QStringLiteral("Möchten Sie wirklich alle Daten löschen?"))
                return true;
            asked << q;
            return answer;
        });
    }
    ~Questions() { ui::setQuestionSink(std::move(previous)); }
};

// A command as the user starts it from the window.
void runCommand(Window& w, const QString& command)
{
    if (command == QLatin1String("emptying"))
        named<QAction>(*w.form, "menEmptyDB")->trigger();
    else if (command == QLatin1String("packing"))
        w.page().btnPack->click();
    else if (command == QLatin1String("statement"))
        w.run(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'Geändert'"));
    else if (command == QLatin1String("ISBN check"))
        named<QAction>(*w.form, "menCheckISBNNr")->trigger();
    else if (command == QLatin1String("closing"))
        w.form->close();
    else
        QFAIL(qPrintable(QStringLiteral("unknown command ") + command));
}

// One entry saved as the master page saves it.
void storeEntry(Window& w, const QString& title)
{
    db::Table& catalogue = w.data().tblStripothek();
    catalogue.edit();
    catalogue.fieldByName(db::fields::SCLTITEL1).setAsString(title);
    catalogue.post();
}

} // namespace

class TestBackupUi : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setApplicationName(QStringLiteral("Stripothek"));
        // The keep rule lives in the user's settings; the tests keep their own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }
    void init() { QSettings(QStringLiteral("Stripothek"), QStringLiteral("Stripothek")).clear(); }

    void bulkCommandCopiesFirst_data();
    void bulkCommandCopiesFirst();
    void failedCopyStopsUnlessConfirmed_data();
    void failedCopyStopsUnlessConfirmed();
    void restoreShowsRestoredRows_data();
    void restoreShowsRestoredRows();
    void refusedCopyChangesNothing_data();
    void refusedCopyChangesNothing();
    void closingCopiesOnlyAfterChanges_data();
    void closingCopiesOnlyAfterChanges();
    void keepRuleFromTheSettings_data();
    void keepRuleFromTheSettings();
    void exportWritesACheckedCopy_data();
    void exportWritesACheckedCopy();

private:
    QTemporaryDir m_settings;
};

void TestBackupUi::bulkCommandCopiesFirst_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("changes");
    QTest::newRow("emptying") << "emptying" << "Comicdatenbank leeren" << true;
    QTest::newRow("packing") << "packing" << "Tabellen verkleinern" << false;
    QTest::newRow("statement") << "statement" << "SQL-Anweisung: UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'Geändert'"
                               << true;
    QTest::newRow("ISBN check") << "ISBN check" << "ISBN-Nr kontrollieren" << true;
}

void TestBackupUi::bulkCommandCopiesFirst()
{
    QFETCH(QString, command);
    QFETCH(QString, reason);
    QFETCH(bool, changes);
    Window w;
    const Questions questions(true);
    // Stale internal numbers: the ISBN check has something to mend.
    w.data().dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = 'ALT'"));
    const QByteArray before = liveDigest(w);

    runCommand(w, command);
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(questions.asked, QStringList());
    const auto made = copies(w);
    QCOMPARE(made.size(), 1);
    QCOMPARE(made[0].reason, reason);
    // The copy holds the collection as it was before the command touched it.
    QCOMPARE(digest(made[0].file), before);
    QCOMPARE(liveDigest(w) != before, changes);
    w.verifyAllOpen();
}

void TestBackupUi::failedCopyStopsUnlessConfirmed_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("goOn");
    for (const char* command : {"emptying", "statement", "closing"})
        for (const bool goOn : {false, true})
            QTest::addRow("%s, %s", command, goOn ? "Ja" : "Nein") << command << goOn;
}

void TestBackupUi::failedCopyStopsUnlessConfirmed()
{
    QFETCH(QString, command);
    QFETCH(bool, goOn);
    Window w;
    const Questions questions(goOn);
    storeEntry(w, QStringLiteral("Vor dem Befehl"));
    // A file where the folder of copies belongs: no copy can be made.
    QFile blocker(databaseDir(w) + QStringLiteral("/Sicherungen"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    w.form->show();
    const QByteArray before = liveDigest(w);

    runCommand(w, command);
    QCOMPARE(questions.asked.size(), 1);
    QVERIFY2(questions.asked[0].startsWith(QStringLiteral("Die Sicherung vor „")), qPrintable(questions.asked[0]));
    QVERIFY2(questions.asked[0].endsWith(QStringLiteral("Ohne Sicherung fortfahren?")), qPrintable(questions.asked[0]));
    QCOMPARE(w.errors, QStringList());
    if (command == QLatin1String("closing")) {
        QCOMPARE(w.form->isVisible(), !goOn);
    } else {
        QCOMPARE(liveDigest(w) != before, goOn);
        w.verifyAllOpen();
    }
    if (command == QLatin1String("statement") && !goOn)
        QCOMPARE(w.page().labSQLStatus->text(), QStringLiteral("Nicht ausgeführt; die Datenbank ist unverändert"));
}

void TestBackupUi::restoreShowsRestoredRows_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("plain") << "plain";
    QTest::newRow("filter on") << "filter";
    QTest::newRow("entry being edited") << "editing";
}

void TestBackupUi::restoreShowsRestoredRows()
{
    QFETCH(QString, situation);
    Window w;
    const Questions questions(true);
    backup::BackupStore(databaseDir(w)).makeBackup(QStringLiteral("Von Hand"));
    const QByteArray original = liveDigest(w);
    auto* overview = named<ui::DBGrid>(*w.form, "dbgListe");
    if (situation == QLatin1String("filter")) {
        named<QLineEdit>(*w.form, "editSrchSerie")->setText(QStringLiteral("Kapitän"));
        w.form->menResfreshViewClick();
    }
    const int listed = overview->model()->rowCount();
    w.data().dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'Geändert'"));
    w.data().CloseTables();
    w.data().OpenTables();
    QCOMPARE(w.cell(overview, 0, QStringLiteral("SCLTITEL1")), QStringLiteral("Geändert"));
    if (situation == QLatin1String("editing"))
        QTest::keyClicks(named<QLineEdit>(*w.form, "editTitel2"), QStringLiteral("Ungespeichert"));

    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* list = driver.find<QTreeWidget>(modal, QStringLiteral("lvBackups"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(4), QStringLiteral("Von Hand"));
        driver.press(modal, QStringLiteral("btnRestore"));
    });
    named<QAction>(*w.form, "menBackups")->trigger();
    QVERIFY2(driver.finished(), qPrintable(driver.problems()));
    QCOMPARE(questions.asked.size(), 1);
    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.messages.size(), 1);
    QVERIFY2(w.messages[0].startsWith(QStringLiteral("Wiederhergestellt aus „stripothek-")), qPrintable(w.messages[0]));

    // The window shows the copy's rows from the first, under its filter.
    w.verifyAllOpen();
    QCOMPARE(w.data().tblStripothek().recNo(), 1);
    QCOMPARE(overview->model()->rowCount(), listed);
    QVERIFY(w.cell(overview, 0, QStringLiteral("SCLTITEL1")) != QStringLiteral("Geändert"));
    QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 = 'Geändert'")), 0);
    QCOMPARE(liveDigest(w), original);

    // The state before is a copy of its own, with what was being typed.
    const auto made = copies(w);
    QCOMPARE(made.size(), 2);
    QVERIFY(made[0].reason.startsWith(QStringLiteral("Vor der Wiederherstellung aus")));
    QCOMPARE(count(made[0].file, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLTITEL2 LIKE '%Ungespeichert'")),
             situation == QLatin1String("editing") ? 1 : 0);

    // The collection is what a copy holds: closing copies nothing more.
    QVERIFY(w.form->close());
    QCOMPARE(copies(w).size(), 2);
}

void TestBackupUi::refusedCopyChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << "text";
    QTest::newRow("database of another program") << "foreign";
    QTest::newRow("damaged copy") << "damaged";
}

void TestBackupUi::refusedCopyChangesNothing()
{
    QFETCH(QString, kind);
    Window w;
    const Questions questions(true);
    bool ended = false;
    const ui::DamageHandler previousHandler = ui::setDamageHandler([&] { ended = true; });
    const auto restoreHandler = qScopeGuard([&] { ui::setDamageHandler(previousHandler); });
    const QString file = w.dir.path() + QStringLiteral("/kopie.db");
    if (kind == QLatin1String("text")) {
        QFile text(file);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Keine Sammlung, nur Text.\n");
    } else if (kind == QLatin1String("foreign")) {
        backup::Handle(file, backup::Handle::Mode::Create).exec(QStringLiteral("CREATE TABLE NOTIZEN(TEXT)"));
    } else {
        backup::BackupStore(databaseDir(w)).exportCopy(file);
        // Garbage inside the catalogue's first page: it opens, its check fails.
        const qint64 page = count(file, QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'SERVERSTRIPOTHEK'"));
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        QVERIFY(damaged.seek((page - 1) * 4096 + 8));
        damaged.write(QByteArray(64, '\xa5'));
    }
    const QByteArray before = liveDigest(w);

    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        static_cast<TBackupDialog*>(modal)->setOpenFileChooser([&](QWidget*) { return file; });
        driver.press(modal, QStringLiteral("btnRestoreFile"));
    });
    driver.then(driver.answer(QStringLiteral("btnClose")));
    named<QAction>(*w.form, "menBackups")->trigger();
    QVERIFY2(driver.finished(), qPrintable(driver.problems()));

    QCOMPARE(w.errors.size(), 1);
    QVERIFY2(w.errors[0].endsWith(QStringLiteral("Es wurde nichts wiederhergestellt; die Sammlung ist unverändert.")),
             qPrintable(w.errors[0]));
    QVERIFY(!ended);
    QCOMPARE(liveDigest(w), before);
    QCOMPARE(copies(w).size(), 0);
    w.verifyAllOpen();
}

void TestBackupUi::closingCopiesOnlyAfterChanges_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("reasons"); // of the copies afterwards, newest first
    QTest::newRow("nothing stored") << "" << QStringList();
    QTest::newRow("an entry stored") << "store" << QStringList{"Programm beenden"};
    QTest::newRow("packed after storing") << "store, pack" << QStringList{"Tabellen verkleinern"};
    QTest::newRow("stored after packing") << "pack, store"
                                          << QStringList{"Programm beenden", "Tabellen verkleinern"};
}

void TestBackupUi::closingCopiesOnlyAfterChanges()
{
    QFETCH(QString, before);
    QFETCH(QStringList, reasons);
    Window w;
    const Questions questions(true);
    for (const QString& step : before.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        if (step == QLatin1String("store"))
            storeEntry(w, QStringLiteral("Gespeichert"));
        else
            runCommand(w, QStringLiteral("packing"));
    }
    QVERIFY(w.form->close());
    QStringList made;
    for (const backup::BackupInfo& copy : copies(w))
        made << copy.reason;
    QCOMPARE(made, reasons);
    QCOMPARE(w.errors, QStringList());
}

void TestBackupUi::keepRuleFromTheSettings_data()
{
    QTest::addColumn<QString>("leave");
    QTest::addColumn<int>("kept"); // of three copies
    QTest::newRow("OK: two") << "btnOk" << 2;
    QTest::newRow("Esc: as before") << "Esc" << 3;
}

void TestBackupUi::keepRuleFromTheSettings()
{
    QFETCH(QString, leave);
    QFETCH(int, kept);
    Window w;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* last = driver.find<QSpinBox>(modal, QStringLiteral("editKeepLast"));
        auto* months = driver.find<QSpinBox>(modal, QStringLiteral("editKeepMonths"));
        QCOMPARE(last->value(), 10);
        for (const auto& [box, number] : {std::pair{last, "2"}, std::pair{months, "0"}}) {
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, QLatin1String(number));
        }
        driver.leave(modal, leave);
    });
    named<QAction>(*w.form, "menSettings")->trigger();
    QVERIFY2(driver.finished(), qPrintable(driver.problems()));
    for (int i = 0; i < 3; ++i)
        runCommand(w, QStringLiteral("packing"));
    QCOMPARE(copies(w).size(), kept);
}

void TestBackupUi::exportWritesACheckedCopy_data()
{
    QTest::addColumn<bool>("fileThere"); // the file dialog asked before it allowed that
    QTest::newRow("new file") << false;
    QTest::newRow("file replaced") << true;
}

void TestBackupUi::exportWritesACheckedCopy()
{
    QFETCH(bool, fileThere);
    Window w;
    const QString file = w.dir.path() + QStringLiteral("/kopie.db");
    if (fileThere) {
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("alt");
    }
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        static_cast<TBackupDialog*>(modal)->setSaveFileChooser([&](QWidget*) { return file; });
        driver.press(modal, QStringLiteral("btnExport"));
    });
    driver.then(driver.answer(QStringLiteral("btnClose")));
    named<QAction>(*w.form, "menBackups")->trigger();
    QVERIFY2(driver.finished(), qPrintable(driver.problems()));

    QCOMPARE(w.errors, QStringList());
    QCOMPARE(w.messages.size(), 1);
    QVERIFY2(w.messages[0].startsWith(QStringLiteral("Kopie gespeichert: „")), qPrintable(w.messages[0]));
    QCOMPARE(digest(file), liveDigest(w));
    // Beside the file nothing is left, and the list of copies stays as it was.
    QCOMPARE(QDir(w.dir.path()).entryList({QStringLiteral("*kopie*")}, QDir::Files | QDir::Hidden).size(), 1);
    QCOMPARE(copies(w).size(), 0);
}

QTEST_MAIN(TestBackupUi)
#include "tst_backupui.moc"
