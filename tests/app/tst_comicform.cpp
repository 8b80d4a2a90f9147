#include "FormFixture.h"
#include "../common/Named.h"
#include "../common/ModalDriver.h"

#include "app/AboutDialog.h"
#include "database/Query.h"
#include "app/ComicForm.h"
#include "database/ComicData.h"
#include "dbcontrols/DBNavigator.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

class TestComicForm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Stripothek")); }

    void startWithoutDatabase();
    void startWithDatabase();
    void unsuitableDatabaseIsReportedOnce_data();
    void unsuitableDatabaseIsReportedOnce();
    void menuBar();
    void menuItems_data();
    void menuItems();
    void pages();
    void toolBarAndStatusBar();
    void toolBarPopup();
    void showLogToggles();
    void aboutDialog();
    void aboutFromMenu();
    void closingWhileEditingStoresTheRow_data();
    void closingWhileEditingStoresTheRow();
    void deleteFromListUpdatesCount();
    void menusOpenListDialogs_data();
    void menusOpenListDialogs();
};

void TestComicForm::startWithoutDatabase()
{
    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;

    QCOMPARE(errors.messages.size(), 1);
    const QString message = errors.messages.first();
    QVERIFY2(message.contains(QStringLiteral("stripothek-db create")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("database")), qPrintable(message));
    QVERIFY(!form.data().tblStripothek().active());

    auto* labInfo = form.findChild<QLabel*>(QStringLiteral("labInfo"));
    QVERIFY(labInfo);
    QCOMPARE(labInfo->text(), QStringLiteral("Anzahl: 0"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(named<QTabWidget>(form, "pcMain")->currentWidget(), named(form, "tsListe"));
}

void TestComicForm::startWithDatabase()
{
    WorkDir dir(true);
    ErrorRecorder errors;
    TComicForm form;

    QCOMPARE(errors.messages, QStringList());
    QCOMPARE(ComicForm, &form);
    db::Table& catalogue = form.data().tblStripothek();
    QVERIFY(catalogue.active());
    QVERIFY(catalogue.recordCount() > 3);
    QCOMPARE(catalogue.indexName(), QStringLiteral("NKSCLSERIENTEXT"));
    QCOMPARE(catalogue.recNo(), 1);
    for (db::Table* table : form.data().tables())
        QVERIFY2(table->active(), qPrintable(table->name()));
    QVERIFY(form.data().rules().pendingAuthors().empty());

    auto* labInfo = form.findChild<QLabel*>(QStringLiteral("labInfo"));
    QVERIFY(labInfo);
    QCOMPARE(labInfo->text(), QStringLiteral("Anzahl: %1").arg(catalogue.recordCount()));
    QCOMPARE(form.windowTitle(), QStringLiteral("Stripothek V 0.8.2"));
    QCOMPARE(form.objectName(), QStringLiteral("ComicForm"));
}

// A file that is no Stripothek database, or one whose tables do not match,
// is named once at the start, with what is wrong; the window opens.
void TestComicForm::unsuitableDatabaseIsReportedOnce_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("another program's file") << "PRAGMA application_id = 0" << "ist keine Stripothek-Datenbank";
    QTest::newRow("table that does not match") << "ALTER TABLE LOKALESTRIPOTHEK DROP COLUMN LCLNUMMER"
                                               << "In der Tabelle „LOKALESTRIPOTHEK“ fehlt das Feld „LCLNUMMER“";
}

void TestComicForm::unsuitableDatabaseIsReportedOnce()
{
    QFETCH(QString, change);
    QFETCH(QString, message);
    WorkDir dir(true);
    {
        db::Connection c;
        c.connect();
        c.execute(change);
    }
    ErrorRecorder errors;
    TComicForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    named<QTabWidget>(form, "pcMain")->setCurrentWidget(named(form, "tsEingabe"));
    form.repaint();
    QCoreApplication::processEvents();
    QCOMPARE(errors.messages.size(), 1);
    QVERIFY2(errors.messages.first().contains(message), qPrintable(errors.messages.first()));
}

void TestComicForm::menuBar()
{
    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;
    QCOMPARE(form.menuBar()->objectName(), QStringLiteral("MainMenu"));

    QStringList names, titles;
    for (QAction* action : form.menuBar()->actions()) {
        names << action->menu()->objectName();
        titles << action->menu()->title();
    }
    QCOMPARE(names, QStringList({"menFile", "menView", "menReport", "menOptions", "menExtras", "menHelp"}));
    QCOMPARE(titles, QStringList({"Datei", "Ansicht", "Reports", "Stammdaten", "Extras", "Hilfe"}));
}

void TestComicForm::menuItems_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QStringList>("shortcuts");
    QTest::addColumn<QList<bool>>("enabled");

    // Items whose commands are not part of the frame stay disabled until they are.
    QTest::newRow("Datei") << "menFile"
                           << QStringList{"menDBSync", "menBackups", "menImportCsv", "menSaveOverviewCsv", "N1", "menExit"}
                           << QStringList{"Mit Server-Datenbank synchronisieren", "Sicherungen …", "Importieren aus Tabelle …",
                                          "Übersicht als CSV speichern …", "", "Beenden"}
                           << QStringList{"", "", "", "", "", ""} << QList<bool>{false, true, true, true, true, true};
    QTest::newRow("Ansicht") << "menView" << QStringList{"menResfreshView", "N5", "menEditLocal"}
                             << QStringList{"Aktualisieren", "", "Lokale Daten bearbeiten"}
                             << QStringList{"Ctrl+F5", "", "Alt+L"} << QList<bool>{true, true, true};
    QTest::newRow("Reports") << "menReport"
                             << QStringList{"menShowMissing", "menListe1", "menSingle", "menStatistik", "N6",
                                            "menReportCovers"}
                             << QStringList{"Fehlende Bände auflisten", "Gesamtliste", "Stammblatt eines Comics",
                                            "Statistik …", "", "Mit Titelbildern"}
                             << QStringList{"", "", "", "", "", ""} << QList<bool>{true, true, true, true, true, true};
    QTest::newRow("Stammdaten") << "menOptions" << QStringList{"menAutors", "menUnterart"}
                                << QStringList{"Autoren", "Unterart"} << QStringList{"", ""}
                                << QList<bool>{true, true};
    QTest::newRow("Extras") << "menExtras"
                            << QStringList{"menDownload", "menEmptyDB", "menExport", "N6", "menSettings"}
                            << QStringList{"Comic downloaden", "Comicdatenbank leeren", "Exportieren nach", "",
                                           "Einstellungen …"}
                            << QStringList{"", "", "", "", ""} << QList<bool>{true, true, true, true, true};
    QTest::newRow("Hilfe") << "menHelp" << QStringList{"menAbout"} << QStringList{"Über Stripothek"}
                           << QStringList{""} << QList<bool>{true};
    QTest::newRow("Popup der Werkzeugleiste")
        << "pmDebug" << QStringList{"menShowLog", "N3", "menCheckISBNNr"}
        << QStringList{"Protokoll anzeigen", "", "ISBN-Nr kontrollieren"} << QStringList{"", "", ""}
        << QList<bool>{true, true, true};
}

void TestComicForm::menuItems()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    QFETCH(QStringList, captions);
    QFETCH(QStringList, shortcuts);
    QFETCH(QList<bool>, enabled);

    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;
    auto* m = form.findChild<QMenu*>(menu);
    QVERIFY(m);

    QStringList names, texts, keys;
    QList<bool> states;
    for (QAction* action : m->actions()) {
        names << action->objectName();
        texts << action->text();
        keys << action->shortcut().toString(QKeySequence::PortableText);
        states << action->isEnabled();
        if (action->isSeparator())
            QVERIFY2(action->objectName().startsWith(QLatin1Char('N')), qPrintable(action->objectName()));
    }
    QCOMPARE(names, items);
    QCOMPARE(texts, captions);
    QCOMPARE(keys, shortcuts);
    QCOMPARE(states, enabled);
}

void TestComicForm::pages()
{
    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto* pcMain = form.findChild<QTabWidget*>(QStringLiteral("pcMain"));
    QVERIFY(pcMain);
    QStringList names, captions;
    QList<bool> visible;
    for (int i = 0; i < pcMain->count(); ++i) {
        names << pcMain->widget(i)->objectName();
        captions << pcMain->tabText(i);
        visible << pcMain->isTabVisible(i);
    }
    QCOMPARE(names, QStringList({"tsListe", "tsEingabe", "tsLocal", "tsProtocoll", "tsSQLSheet"}));
    QCOMPARE(captions, QStringList({"Übersicht", "Stammdaten", "Bemerkungen", "Protokoll", "SQL - Direkteingabe"}));
    QCOMPARE(visible, QList<bool>({true, true, true, false, false}));
    QCOMPARE(pcMain->currentWidget()->objectName(), QStringLiteral("tsListe"));

    auto* memoLog = named(form, "tsProtocoll")->findChild<QPlainTextEdit*>(QStringLiteral("memoLog"));
    QVERIFY(memoLog);
    QVERIFY(memoLog->toPlainText().isEmpty());
    QVERIFY(!memoLog->isReadOnly());
}

void TestComicForm::toolBarAndStatusBar()
{
    WorkDir dir(true);
    ErrorRecorder errors;
    TComicForm form;

    auto* tbMain = form.findChild<QToolBar*>(QStringLiteral("tbMain"));
    QVERIFY(tbMain);
    auto* dbnGrid = tbMain->findChild<ui::DBNavigator*>(QStringLiteral("dbnGrid"));
    QVERIFY(dbnGrid);
    QCOMPARE(dbnGrid->dataSource(), &form.data().srcStripothek());
    const QList<QAction*> actions = tbMain->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(tbMain->widgetForAction(actions.at(0)), dbnGrid);
    QVERIFY(actions.at(1)->isSeparator());

    // The navigator moves the same catalogue the other pages show.
    dbnGrid->button(ui::DBNavigator::Next)->click();
    QCOMPARE(form.data().tblStripothek().recNo(), 2);

    QStatusBar* sbMain = form.statusBar();
    QCOMPARE(sbMain->objectName(), QStringLiteral("sbMain"));
    auto* panel0 = sbMain->findChild<QLabel*>(QStringLiteral("sbMainPanel0"));
    auto* panel1 = sbMain->findChild<QLabel*>(QStringLiteral("sbMainPanel1"));
    QVERIFY(panel0 && panel1);
    QCOMPARE(panel0->text(), QString());
    QCOMPARE(panel1->text(), QString());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(panel0->width() > panel1->width());
    QVERIFY(panel0->x() < panel1->x());
}

void TestComicForm::toolBarPopup()
{
    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto* toolbar = named<QToolBar>(form, "tbMain");
    auto* popup = named<QMenu>(form, "pmDebug");
    const QPoint pos = toolbar->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, toolbar->mapToGlobal(pos));
    QCoreApplication::sendEvent(toolbar, &event);
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(QApplication::activePopupWidget(), popup);
    popup->close();
}

void TestComicForm::showLogToggles()
{
    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;
    errors.messages.clear();

    auto* showLog = named<QAction>(form, "menShowLog");
    showLog->trigger();
    QVERIFY(showLog->isChecked());
    QVERIFY(form.pageTabVisible(named(form, "tsProtocoll")));
    QVERIFY(!form.pageTabVisible(named(form, "tsSQLSheet")));
    QCOMPARE(named<QTabWidget>(form, "pcMain")->currentWidget(), named(form, "tsListe"));

    showLog->trigger();
    QVERIFY(!showLog->isChecked());
    QVERIFY(!form.pageTabVisible(named(form, "tsProtocoll")));
    QCOMPARE(errors.messages, QStringList());
}

void TestComicForm::aboutDialog()
{
    TAboutDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Über Stripothek"));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));

    auto* memAbout = dialog.findChild<QPlainTextEdit*>(QStringLiteral("memAbout"));
    auto* btnExit = dialog.findChild<QPushButton*>(QStringLiteral("btnExit"));
    QVERIFY(memAbout && btnExit);
    QCOMPARE(btnExit->text(), QStringLiteral("&Schliessen"));
    QCOMPARE(memAbout->toPlainText().split(QLatin1Char('\n')),
             QStringList({"", "",
                          "Verwaltungsprogramm für Comics, welches in Zukunft über SOAP Comic-Daten auf einem "
                          "zentralen ",
                          "Server abgleichen kann. Eine einfache Anfrage ist zur Zeit schon möglich.", "",
                          "Für den Zugriff auf Datentabellen wird die Datenbank-Bibliothek SQLite verwendet,",
                          "die gemeinfrei (Public Domain) ist und frei weiter gegeben werden kann."}));
    QCOMPARE(memAbout->frameShape(), QFrame::NoFrame);
    QCOMPARE(memAbout->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(memAbout->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Every line fits, since nothing can scroll.
    QVERIFY(memAbout->document()->size().width() <= memAbout->viewport()->width());
    QVERIFY(memAbout->document()->size().height() <= memAbout->viewport()->height());

    memAbout->setFocus(Qt::MouseFocusReason);
    QCOMPARE(QApplication::focusWidget(), btnExit);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
    QVERIFY(!memAbout->toPlainText().contains(QLatin1Char('x')));

    QTest::keyClick(btnExit, Qt::Key_Space);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestComicForm::aboutFromMenu()
{
    WorkDir dir(false);
    ErrorRecorder errors;
    TComicForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QPointer<QWidget> seen;
    QString caption;
    QWidget* owner = nullptr;
    ModalDriver user;
    user.then([&](QWidget* modal) {
        seen = qobject_cast<TAboutDialog*>(modal);
        caption = modal->windowTitle();
        owner = modal->parentWidget();
        user.press(modal, QStringLiteral("btnExit"));
    });
    named<QAction>(form, "menAbout")->trigger();

    QVERIFY2(user.finished(), qPrintable(user.problems()));
    QCOMPARE(caption, QStringLiteral("Über Stripothek"));
    QCOMPARE(owner, &form);
    // Freed as soon as it closed.
    QVERIFY(seen.isNull());
    QCOMPARE(form.findChildren<TAboutDialog*>().size(), 0);
}

void TestComicForm::closingWhileEditingStoresTheRow_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("band"); // typed into "Band" besides the new title
    QTest::addColumn<bool>("stores");
    QTest::newRow("stored, then closed") << "menExit" << "12" << true;
    QTest::newRow("letters in Band: refused, window stays") << "menExit" << "abc" << false;
    QTest::newRow("import: stored, then the wizard opens") << "menImportCsv" << "12" << true;
    QTest::newRow("import: letters in Band refused, no wizard") << "menImportCsv" << "abc" << false;
}

// What was typed and not saved is not lost by closing the window, nor left
// behind a command that changes the collection in bulk.
void TestComicForm::closingWhileEditingStoresTheRow()
{
    QFETCH(QString, item);
    QFETCH(QString, band);
    QFETCH(bool, stores);
    const bool closing = item == u"menExit";
    WorkDir dir(true);
    ErrorRecorder errors;
    QString key, title;
    {
        TComicForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        db::Table& catalogue = form.data().tblStripothek();
        key = catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString();
        title = catalogue.fieldByName(QStringLiteral("SCLTITEL1")).asString();
        catalogue.edit();
        catalogue.fieldByName(QStringLiteral("SCLTITEL1")).setValue(QStringLiteral("Nie gespeichert"));
        auto* number = form.findChild<QLineEdit*>(QStringLiteral("editBand"));
        QVERIFY(number);
        number->clear();
        QTest::keyClicks(number, band);

        ModalDriver user;
        bool editedWhileOpen = false;
        if (!closing && stores)
            user.then([&](QWidget* wizard) {
                editedWhileOpen = catalogue.state() != db::DataSetState::Browse;
                wizard->close();
            });
        named<QAction>(form, qPrintable(item))->trigger();
        QVERIFY2(user.finished(), qPrintable(user.problems()));
        QVERIFY(!editedWhileOpen);
        QCOMPARE(form.isVisible(), !(closing && stores));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(errors.messages.size(), stores ? 0 : 1);
        // Refused: still being edited, with what was typed.
        if (!stores)
            QCOMPARE(number->text(), band);
    }

    ComicData data;
    data.OpenTables();
    QVERIFY(data.tblStripothek().locate(QStringLiteral("SCLCOMICID"), key));
    QCOMPARE(data.tblStripothek().fieldByName(QStringLiteral("SCLTITEL1")).asString(),
             stores ? QStringLiteral("Nie gespeichert") : title);
}

void TestComicForm::deleteFromListUpdatesCount()
{
    WorkDir dir(true);
    ErrorRecorder errors;
    TComicForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    db::Table& catalogue = form.data().tblStripothek();
    const int before = catalogue.recordCount();
    catalogue.setRecNo(2);
    const QString key = catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString();

    ModalDriver user;
    user.then(user.answer(QStringLiteral("OK")));
    auto* grid = form.findChild<QAbstractItemView*>(QStringLiteral("dbgListe"));
    QVERIFY(grid);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);

    QVERIFY2(user.finished(), qPrintable(user.problems()));
    QCOMPARE(user.texts, QStringList{QStringLiteral("Diesen Comic löschen?")});
    QCOMPARE(catalogue.recordCount(), before - 1);
    QVERIFY(!catalogue.locate(QStringLiteral("SCLCOMICID"), key));
    auto* labInfo = form.findChild<QLabel*>(QStringLiteral("labInfo"));
    QCOMPARE(labInfo->text(), QStringLiteral("Anzahl: %1").arg(before - 1));
    QCOMPARE(errors.messages, QStringList());
}

QTEST_MAIN(TestComicForm)
#include "tst_comicform.moc"

void TestComicForm::menusOpenListDialogs_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("dialog");
    QTest::newRow("Lokale Daten bearbeiten") << "menEditLocal" << "TLokalDatenForm";
    QTest::newRow("Autoren") << "menAutors" << "TAutorenForm";
}

void TestComicForm::menusOpenListDialogs()
{
    QFETCH(QString, item);
    QFETCH(QString, dialog);
    WorkDir dir(true);
    ErrorRecorder errors;
    TComicForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // A comic with an own copy, so the own-copy dialog has a row to open.
    db::Query copies(form.data().dbConnection());
    copies.setSql(QStringLiteral("SELECT LCLSERVERCOMICID FROM LOKALESTRIPOTHEK LIMIT 1"));
    copies.open();
    QVERIFY(form.data().tblStripothek().locate(QStringLiteral("SCLCOMICID"), copies.field(0).asString()));

    QString seen;
    QWidget* owner = nullptr;
    ModalDriver user;
    user.then([&](QWidget* modal) {
        seen = QString::fromLatin1(modal->metaObject()->className());
        owner = modal->parentWidget();
        modal->close();
    });
    form.findChild<QAction*>(item)->trigger();
    QVERIFY2(user.finished(), qPrintable(user.problems()));
    QCOMPARE(seen, dialog);
    QCOMPARE(owner, &form);
    QCOMPARE(errors.messages, QStringList());
}
