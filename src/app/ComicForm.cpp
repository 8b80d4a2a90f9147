#include "ComicForm.h"

#include "csvwizard/CsvImportWizard.h"

#include "AboutDialog.h"

#include "backupui/BackupBeforeCommand.h"
#include "backupui/BackupDialog.h"
#include "backupui/KeepSettingsDialog.h"
#include "catalogue/DetailCommands.h"
#include "catalogue/MasterDataPage.h"
#include "catalogue/OverviewPage.h"
#include "catalogue/RemarksPage.h"
#include "core/Command.h"
#include "database/FieldNames.h"
#include "dbcontrols/DBNavigator.h"
#include "dbcontrols/FieldLink.h"
#include "keyboard/KeyCtrl.h"
#include "reports/ReportCommands.h"
#include "service/ComicDownload.h"
#include "stats/StatistikForm.h"
#include "tools/BackupHook.h"
#include "tools/SqlPage.h"
#include "tools/ToolCommands.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

TComicForm* ComicForm = nullptr;

namespace {

QAction* namedAction(QMenu* menu, const char* name, const QString& caption, bool enabled = true)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setEnabled(enabled);
    return action;
}

QAction* namedSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

QMenu* namedMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

// A tab page whose content fills it without a margin.
QWidget* newPage(const char* name, QWidget* content = nullptr)
{
    auto* page = new QWidget;
    page->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    if (content)
        layout->addWidget(content);
    return page;
}

// The widget that sees a keystroke first: the focused control of its window,
// or the window itself when nothing in it has the focus. Keys that the
// focused control ignores travel on to its parents, and keys from the window
// system pass the window object before the control; only the first widget
// counts, so every keystroke is handled once.
bool isFirstReceiver(QObject* receiver)
{
    if (!receiver->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(receiver);
    QWidget* window = widget->window();
    QWidget* focus = window->focusWidget();
    return widget == (focus ? focus : window);
}

} // namespace

TComicForm::TComicForm(QWidget* parent) : QMainWindow(parent), m_covers(m_data.dbConnection())
{
    ComicForm = this;
    setObjectName(QStringLiteral("ComicForm"));
    setWindowTitle(QStringLiteral("Stripothek V 0.8.2"));

    buildMenus();
    buildToolBar();
    buildPages();
    buildStatusBar();
    connectTools();
    connectBackups();
    placeCentred();

    // Sees every keystroke of the application before the focused control:
    // the window keys and the shortcut of the SQL page work on every page.
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            AppEventsActivate();
        else
            AppEventsDeactivate();
    });

    FormCreate();
}

TComicForm::~TComicForm()
{
    qApp->removeEventFilter(this);
    tools::setBackupHook({});
    backupui::setCopyListener({});
    // The statistics window reads through the connection that goes with the data.
    delete statistikForm;
    FormDestroy();
    // The pages and the navigator are bound to the data; they go first.
    delete takeCentralWidget();
    delete tbMain;
    if (ComicForm == this)
        ComicForm = nullptr;
}

void TComicForm::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    menFile = namedMenu(bar, "menFile", QStringLiteral("Datei"));
    // Synchronising with a server database was planned but never built.
    menDBSync = namedAction(menFile, "menDBSync", QStringLiteral("Mit Server-Datenbank synchronisieren"), false);
    menBackups = namedAction(menFile, "menBackups", QStringLiteral("Sicherungen …"));
    menImportCsv = namedAction(menFile, "menImportCsv", QStringLiteral("Importieren aus Tabelle …"));
    menSaveOverviewCsv = namedAction(menFile, "menSaveOverviewCsv", QStringLiteral("Übersicht als CSV speichern …"));
    N1 = namedSeparator(menFile, "N1");
    menExit = namedAction(menFile, "menExit", QStringLiteral("Beenden"));

    menView = namedMenu(bar, "menView", QStringLiteral("Ansicht"));
    menResfreshView = namedAction(menView, "menResfreshView", QStringLiteral("Aktualisieren"));
    menResfreshView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    N5 = namedSeparator(menView, "N5");
    menEditLocal = namedAction(menView, "menEditLocal", QStringLiteral("Lokale Daten bearbeiten"));
    menEditLocal->setShortcut(QKeySequence(Qt::ALT | Qt::Key_L));

    menReport = namedMenu(bar, "menReport", QStringLiteral("Reports"));
    menShowMissing = namedAction(menReport, "menShowMissing", QStringLiteral("Fehlende Bände auflisten"));
    menListe1 = namedAction(menReport, "menListe1", QStringLiteral("Gesamtliste"));
    menSingle = namedAction(menReport, "menSingle", QStringLiteral("Stammblatt eines Comics"));
    menStatistik = namedAction(menReport, "menStatistik", QStringLiteral("Statistik …"));
    namedSeparator(menReport, "N6");
    // Off unless asked for: the list then prints as quickly as ever.
    menReportCovers = namedAction(menReport, "menReportCovers", QStringLiteral("Mit Titelbildern"));
    menReportCovers->setCheckable(true);

    menOptions = namedMenu(bar, "menOptions", QStringLiteral("Stammdaten"));
    menAutors = namedAction(menOptions, "menAutors", QStringLiteral("Autoren"));
    // Kept for the menu's shape; choosing it does nothing.
    menUnterart = namedAction(menOptions, "menUnterart", QStringLiteral("Unterart"));

    menExtras = namedMenu(bar, "menExtras", QStringLiteral("Extras"));
    menDownload = namedAction(menExtras, "menDownload", QStringLiteral("Comic downloaden"));
    menEmptyDB = namedAction(menExtras, "menEmptyDB", QStringLiteral("Comicdatenbank leeren"));
    menExport = namedAction(menExtras, "menExport", QStringLiteral("Exportieren nach"));
    N6 = namedSeparator(menExtras, "N6");
    menSettings = namedAction(menExtras, "menSettings", QStringLiteral("Einstellungen …"));

    menHelp = namedMenu(bar, "menHelp", QStringLiteral("Hilfe"));
    menAbout = namedAction(menHelp, "menAbout", QStringLiteral("Über Stripothek"));

    pmDebug = new QMenu(this);
    pmDebug->setObjectName(QStringLiteral("pmDebug"));
    menShowLog = namedAction(pmDebug, "menShowLog", QStringLiteral("Protokoll anzeigen"));
    menShowLog->setCheckable(true);
    N3 = namedSeparator(pmDebug, "N3");
    menCheckISBNNr = namedAction(pmDebug, "menCheckISBNNr", QStringLiteral("ISBN-Nr kontrollieren"));

    ui::onCommand(menExit, &QAction::triggered, this, [this](bool) { menExitClick(); });
    ui::onCommand(menResfreshView, &QAction::triggered, this, [this](bool) { menResfreshViewClick(); });
    ui::onCommand(menDownload, &QAction::triggered, this, [this](bool) { service::menDownloadClick(this); });
    // The own-copy dialog opens from every page, as the list's edit button does.
    ui::onCommand(menEditLocal, &QAction::triggered, this, [this](bool) { detailCommands->btnEditLComicClick(); });
    ui::onCommand(menAutors, &QAction::triggered, this, [this](bool) { detailCommands->menAutorsClick(); });
    ui::onCommand(menShowMissing, &QAction::triggered, this, [this](bool) { menShowMissingClick(); });
    ui::onCommand(menListe1, &QAction::triggered, this, [this](bool) { menListe1Click(); });
    ui::onCommand(menSingle, &QAction::triggered, this, [this](bool) { menSingleClick(); });
    ui::onCommand(menAbout, &QAction::triggered, this, [this](bool) { menAboutClick(); });
    ui::onCommand(menShowLog, &QAction::toggled, this, [this](bool checked) { menShowLogClick(checked); });
    ui::onCommand(menStatistik, &QAction::triggered, this, [this](bool) { menStatistikClick(); });
    ui::onCommand(menBackups, &QAction::triggered, this, [this](bool) { menBackupsClick(); });
    ui::onCommand(menSettings, &QAction::triggered, this, [this](bool) { menSettingsClick(); });
    ui::onCommand(menImportCsv, &QAction::triggered, this, [this](bool) { menImportCsvClick(); });
    ui::onCommand(menSaveOverviewCsv, &QAction::triggered, this, [this](bool) { menSaveOverviewCsvClick(); });
}

void TComicForm::buildToolBar()
{
    tbMain = new QToolBar(this);
    tbMain->setObjectName(QStringLiteral("tbMain"));
    tbMain->setMovable(false);
    tbMain->setFloatable(false);
    tbMain->setContextMenuPolicy(Qt::CustomContextMenu);
    addToolBar(Qt::TopToolBarArea, tbMain);

    dbnGrid = new ui::DBNavigator(&m_data.srcStripothek(), tbMain);
    dbnGrid->setObjectName(QStringLiteral("dbnGrid"));
    tbMain->addWidget(dbnGrid);
    tbMain->addSeparator();

    connect(tbMain, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmDebug->popup(tbMain->mapToGlobal(pos)); });
}

void TComicForm::buildPages()
{
    pcMain = new QTabWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    setCentralWidget(pcMain);

    overviewPage = new TOverviewPage(m_data, m_covers);
    tsListe = newPage("tsListe", overviewPage);
    masterDataPage = new TMasterDataPage(m_data, m_covers);
    tsEingabe = newPage("tsEingabe", masterDataPage);
    detailCommands = new TDetailCommands(m_data, this);
    detailCommands->attach(masterDataPage->detailControls());
    remarksPage = new TRemarksPage(m_data);
    tsLocal = newPage("tsLocal", remarksPage);

    // Nothing writes to the log; the user may note things there for the session.
    memoLog = new QPlainTextEdit;
    memoLog->setObjectName(QStringLiteral("memoLog"));
    tsProtocoll = newPage("tsProtocoll", memoLog);
    sqlPage = new TSQLPage(m_data);
    tsSQLSheet = newPage("tsSQLSheet", sqlPage);

    pcMain->addTab(tsListe, QStringLiteral("Übersicht"));
    pcMain->addTab(tsEingabe, QStringLiteral("Stammdaten"));
    pcMain->addTab(tsLocal, QStringLiteral("Bemerkungen"));
    pcMain->addTab(tsProtocoll, QStringLiteral("Protokoll"));
    pcMain->addTab(tsSQLSheet, QStringLiteral("SQL - Direkteingabe"));
    setPageTabVisible(tsProtocoll, false);
    setPageTabVisible(tsSQLSheet, false);
    pcMain->setCurrentWidget(tsListe);

    // Ctrl+Del in the list deletes the comic as "Löschen" on the master data does.
    overviewPage->setDeleteAction([this] { masterDataPage->btnDeleteClick(); });
    connect(masterDataPage, &TMasterDataPage::countChanged, overviewPage, &TOverviewPage::UpdateCount);
    connect(overviewPage, &TOverviewPage::comicOpened, this, [this] {
        if (storeTypedBeforePageChange())
            pcMain->setCurrentWidget(tsEingabe);
    });
}

void TComicForm::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbMain"));
    sbMainPanel0 = new QLabel(bar);
    sbMainPanel0->setObjectName(QStringLiteral("sbMainPanel0"));
    sbMainPanel1 = new QLabel(bar);
    sbMainPanel1->setObjectName(QStringLiteral("sbMainPanel1"));
    sbMainPanel1->setMinimumWidth(sbMainPanel1->fontMetrics().horizontalAdvance(QStringLiteral("100 exportiert")) + 16);
    bar->addWidget(sbMainPanel0, 1);
    bar->addWidget(sbMainPanel1);
}

void TComicForm::connectTools()
{
    toolCommands = new TToolCommands(m_data, this, sbMainPanel0, sbMainPanel1);
    ui::onCommand(menExport, &QAction::triggered, this, [this](bool) { toolCommands->menExportClick(); });
    ui::onCommand(menEmptyDB, &QAction::triggered, this, [this](bool) { toolCommands->menEmptyDBClick(); });
    ui::onCommand(menCheckISBNNr, &QAction::triggered, this, [this](bool) { toolCommands->menCheckISBNNrClick(); });
    // A statement of the SQL page reopens the tables, emptying removes rows:
    // the count label follows both.
    const auto count = [this] {
        ui::runCommand([this] {
            if (m_data.tblStripothek().active())
                overviewPage->UpdateCount();
        });
    };
    connect(&m_data, &ComicData::tablesOpened, this, count);
    connect(toolCommands, &TToolCommands::catalogueChanged, this, count);
}

void TComicForm::connectBackups()
{
    tools::setBackupHook([this](const QString& command) {
        // Nothing can be destroyed in a collection that can only be read,
        // and no copy could be put beside it.
        return !collectionWritable() || backupui::backupBeforeCommand(this, databaseFolder(), command);
    });
    backupui::setCopyListener([this](const QString& folder) {
        if (m_data.dbConnection().connected()
            && QFileInfo(folder).canonicalFilePath() == QFileInfo(databaseFolder()).canonicalFilePath())
            m_rowsAtLastCopy = m_data.dbConnection().rowsChanged();
    });
}

bool TComicForm::collectionWritable()
{
    const db::Connection& connection = m_data.dbConnection();
    return connection.connected() && !connection.damaged() && !connection.readAsItIs() && !connection.onlyReadable();
}

QString TComicForm::databaseFolder()
{
    return QFileInfo(m_data.dbConnection().databaseFile()).absolutePath();
}

void TComicForm::placeCentred()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize wanted = QSize(1024, 720).boundedTo(available.size());
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, wanted, available));
}

void TComicForm::FormCreate()
{
    m_data.rules().dropPendingAuthors();
    // An error ends the start-up steps here; the window opens all the same.
    ui::runCommand([this] {
        // A collection of an earlier version gets its search index on the
        // first opening; at a million volumes that takes a while.
        std::unique_ptr<QProgressDialog> progress;
        m_data.dbConnection().setUpgradeProgress([&](int percent) {
            if (!progress) {
                progress = std::make_unique<QProgressDialog>(
                    QStringLiteral("Die Sammlung bekommt ihren Suchindex; das geschieht nur dieses eine Mal …"),
                    QString(), 0, 100, this);
                progress->setWindowTitle(QStringLiteral("Stripothek"));
                progress->setWindowModality(Qt::ApplicationModal);
                progress->setMinimumDuration(0);
            }
            progress->setValue(percent); // a modal dialog's value lets it paint
        });
        const auto stopProgress = qScopeGuard([this] { m_data.dbConnection().setUpgradeProgress({}); });
        m_data.OpenTables();
        overviewPage->UpdateCount();
        // Said once at the start, not at the first save that fails. A
        // collection on a CD or in someone else's folder is still worth
        // browsing and printing, so it opens for reading.
        const db::Connection& connection = m_data.dbConnection();
        if (connection.readAsItIs())
            ui::showWarning(QStringLiteral("In den Ordner „%1“ dürfen Sie nicht schreiben. Sie können die Sammlung "
                                           "ansehen und ihre Reports drucken, aber keine Änderung speichern; was ein "
                                           "anderes Programm inzwischen an ihr ändert, zeigt die Stripothek erst nach "
                                           "einem neuen Start")
                                .arg(QDir::toNativeSeparators(QFileInfo(connection.databaseFile()).absolutePath())));
        else if (connection.onlyReadable())
            ui::showWarning(QStringLiteral("Die Datenbankdatei „%1“ lässt sich nur lesen. Sie können die Sammlung "
                                           "ansehen, aber keine Änderung speichern")
                                .arg(QDir::toNativeSeparators(connection.databaseFile())));
    });
}

void TComicForm::FormDestroy()
{
    ui::runCommand([this] { m_data.CloseTables(); });
    m_data.rules().dropPendingAuthors();
}

void TComicForm::closeEvent(QCloseEvent* event)
{
    event->setAccepted(FormCloseQuery() && StoreBeforeClosing() && BackupBeforeClosing());
}

bool TComicForm::BackupBeforeClosing()
{
    if (!collectionWritable() || m_data.dbConnection().rowsChanged() == m_rowsAtLastCopy)
        return true;
    bool goOn = false;
    ui::runCommand(
        [&] { goOn = backupui::backupBeforeCommand(this, databaseFolder(), QStringLiteral("Programm beenden")); });
    return goOn;
}

void TComicForm::menBackupsClick()
{
    TBackupDialog dialog(m_data, this);
    dialog.exec();
}

void TComicForm::menSettingsClick()
{
    TKeepSettingsDialog dialog(this);
    dialog.exec();
}

bool TComicForm::StoreBeforeClosing()
{
    // Closing the tables would drop what the user typed and has not saved; it
    // is stored as a move would store it. A value the field refuses keeps the
    // window open, with the message and the box to mend or "Wiederherstellen".
    db::Table& catalogue = m_data.tblStripothek();
    if (!catalogue.active())
        return true;
    bool stored = false;
    ui::runCommand([&] {
        ui::storeEditedRow(catalogue);
        stored = true;
    });
    return stored;
}

void TComicForm::menExitClick()
{
    close();
}

void TComicForm::menAboutClick()
{
    TAboutDialog dialog(this);
    dialog.exec();
}

void TComicForm::menResfreshViewClick()
{
    overviewPage->ApplyOverviewFilter();
}

void TComicForm::menShowLogClick(bool checked)
{
    setPageTabVisible(tsProtocoll, checked);
}

void TComicForm::menImportCsvClick()
{
    m_data.tblStripothek().checkActive();
    // What the user typed is stored now, before the wizard opens, with its
    // refusal where the user typed it: not by the trial run behind the
    // wizard, where a refused value could not be mended.
    ui::storeEditedRow(m_data.tblStripothek());
    const std::optional<csvstore::ImportSummary> imported = csvwizard::runImportWizard(m_data, this);
    if (!imported)
        return;
    // The rows came in behind the tables' backs.
    for (db::Table* table : m_data.tables())
        if (table->active())
            table->refresh();
    overviewPage->UpdateCount();
    sbMainPanel0->setText(QStringLiteral("„%1“ importiert: %2").arg(imported->fileName, imported->text()));
}

void TComicForm::menSaveOverviewCsvClick()
{
    m_data.tblStripothek().checkActive();
    QFileDialog dialog(this, QStringLiteral("Übersicht als CSV speichern"),
                       QDir::home().filePath(QStringLiteral("Übersicht.csv")),
                       QStringLiteral("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    dialog.setObjectName(QStringLiteral("dlgOverviewCsv"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const int rows = overviewPage->SaveAsCsv(dialog.selectedFiles().constFirst());
    sbMainPanel0->setText(QStringLiteral("%1 Zeilen der Übersicht gespeichert")
                              .arg(QLocale(QLocale::German, QLocale::Germany).toString(rows)));
}

void TComicForm::menShowMissingClick()
{
    rpt::ShowMissingVolumes(m_data, this);
}

void TComicForm::menListe1Click()
{
    rpt::ShowCollectionList(m_data, this, menReportCovers->isChecked() ? &m_covers.store() : nullptr);
}

void TComicForm::menSingleClick()
{
    if (!menReportCovers->isChecked()) {
        rpt::ShowStammblatt(this);
        return;
    }
    const db::Table& catalogue = m_data.tblStripothek();
    const bool stored = catalogue.active() && !catalogue.isEmpty() && catalogue.state() != db::DataSetState::Insert;
    rpt::ShowStammblatt(this, &m_covers.store(),
                        stored ? catalogue.fieldByName(db::fields::SCLCOMICID).asString() : QString());
}

void TComicForm::setPageTabVisible(QWidget* page, bool visible)
{
    pcMain->setTabVisible(pcMain->indexOf(page), visible);
}

bool TComicForm::pageTabVisible(QWidget* page) const
{
    return pcMain->isTabVisible(pcMain->indexOf(page));
}

void TComicForm::AppEventsActivate()
{
    keyctrl::AppEventsActivate();
}

void TComicForm::AppEventsDeactivate()
{
    keyctrl::AppEventsDeactivate();
    // Releases while another application is active never reach us.
    m_modifiers.reset();
}

void TComicForm::FormKeyDown(QKeyEvent* event)
{
    db::Table& catalogue = m_data.tblStripothek();
    if (!catalogue.active())
        return;
    switch (event->key()) {
    case Qt::Key_PageUp:
        ui::runCommand([&] {
            ui::updateRecord(&catalogue);
            catalogue.prior();
        });
        break;
    case Qt::Key_PageDown:
        ui::runCommand([&] {
            ui::updateRecord(&catalogue);
            catalogue.next();
        });
        break;
    case Qt::Key_F5:
        if (pcMain->currentWidget() == tsListe)
            ui::runCommand([this] { menResfreshViewClick(); });
        break;
    default:
        break;
    }
}

void TComicForm::AppEventsShortCut(QKeyEvent* event)
{
    if (event->key() != Qt::Key_S || !m_modifiers.leftCtrl() || !m_modifiers.leftShift() || !m_modifiers.leftAlt())
        return;
    const bool wasVisible = pageTabVisible(tsSQLSheet);
    setPageTabVisible(tsSQLSheet, !wasVisible);
    if (wasVisible)
        pcMain->setCurrentWidget(tsListe);
}

bool TComicForm::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        m_modifiers.track(*key);
        if (event->type() == QEvent::KeyPress && isFirstReceiver(watched)) {
            AppEventsShortCut(key);
            if (static_cast<QWidget*>(watched)->window() == this)
                FormKeyDown(key);
        }
        break;
    }
    default:
        break;
    }
    // The tab header switches before the page goes and the box's refusal
    // comes: a refused value stops the switch here, before it starts.
    if (changesPage(watched, event) && !storeTypedBeforePageChange())
        return true;
    // The key goes on to the focused control in every case.
    return QMainWindow::eventFilter(watched, event);
}

bool TComicForm::changesPage(QObject* watched, QEvent* event) const
{
    QTabBar* bar = pcMain->tabBar();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched != bar || mouse->button() != Qt::LeftButton)
            return false;
        const int tab = bar->tabAt(mouse->position().toPoint());
        return tab >= 0 && tab != bar->currentIndex();
    }
    case QEvent::Wheel:
        return watched == bar && bar->style()->styleHint(QStyle::SH_TabBar_AllowWheelScrolling, nullptr, bar);
    case QEvent::KeyPress: {
        // Ctrl+Tab reaches the tab widget when the focused control leaves it.
        const auto* key = static_cast<QKeyEvent*>(event);
        return watched == pcMain && (key->modifiers() & Qt::ControlModifier)
               && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab);
    }
    default:
        return false;
    }
}

bool TComicForm::storeTypedBeforePageChange()
{
    // The window's focus widget, also while another window (the statistics)
    // is active.
    QWidget* box = focusWidget();
    QWidget* page = pcMain->currentWidget();
    if (!box || !page || !page->isAncestorOf(box))
        return true;
    auto* link = box->findChild<ui::FieldLink*>(QString(), Qt::FindDirectChildrenOnly);
    return !link || link->commitPending();
}

void TComicForm::menStatistikClick()
{
    if (!statistikForm) {
        auto* form = new TStatistikForm(m_data.dbConnection(), this);
        form->setAttribute(Qt::WA_DeleteOnClose);
        connect(form, &TStatistikForm::seriesChosen, this, [this](const QString& id, const QString& name) {
            ui::runCommand([&] { ShowSeries(id, name); });
        });
        statistikForm = form;
    }
    statistikForm->Refresh();
    statistikForm->show();
    statistikForm->raise();
    statistikForm->activateWindow();
}

void TComicForm::ShowSeries(const QString& seriesId, const QString& name)
{
    if (!storeTypedBeforePageChange())
        return;
    pcMain->setCurrentWidget(tsListe);
    const bool filterDropped = overviewPage->ShowSeries(seriesId, name);
    sbMainPanel0->setText(filterDropped ? QStringLiteral("Filter aufgehoben: er blendete die Serie „%1“ aus").arg(name)
                                        : QString());
    raise();
    activateWindow();
}
