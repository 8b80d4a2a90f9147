#pragma once

#include "SideModifiers.h"

#include "covers/CollectionCovers.h"
#include "database/ComicData.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTabWidget;
class QToolBar;
class TDetailCommands;
class TMasterDataPage;
class TOverviewPage;
class TRemarksPage;
class TSQLPage;
class TToolCommands;
class TStatistikForm;

namespace ui {
class DBNavigator;
}

// The main window: owns the collection's data for the whole run, hosts the
// pages, and routes the menus, the toolbar and the window keys to the
// commands that carry them out.
class TComicForm : public QMainWindow {
    Q_OBJECT
public:
    // Opens the database in the working directory's "database" folder. An
    // error on the way is shown once and the window opens all the same.
    explicit TComicForm(QWidget* parent = nullptr);
    ~TComicForm() override;

    ComicData& data() { return m_data; }
    covers::CollectionCovers& covers() { return m_covers; }

    // Handlers, public so that menus of later commands and tests reach them.
    void FormCreate();
    void FormDestroy();
    void FormKeyDown(QKeyEvent* event);
    void AppEventsActivate();
    void AppEventsDeactivate();
    void AppEventsShortCut(QKeyEvent* event);
    void menExitClick();
    void menAboutClick();
    void menResfreshViewClick();
    void menShowLogClick(bool checked);
    void menShowMissingClick();
    void menListe1Click();
    void menSingleClick();
    // Closing asks nothing; StoreBeforeClosing decides whether the window may go.
    bool FormCloseQuery() const { return true; }
    // Stores the entry being edited before the window closes; false when it was refused.
    bool StoreBeforeClosing();
    // Copies the collection when something was stored since the program's
    // last copy of it; false when the copy failed and the user keeps the
    // window open rather than go without it.
    bool BackupBeforeClosing();
    // "Sicherungen …" and "Einstellungen …".
    void menBackupsClick();
    void menSettingsClick();

    // Shows or hides the tab of a page; the page itself stays in place.
    void setPageTabVisible(QWidget* page, bool visible);
    bool pageTabVisible(QWidget* page) const;

    // Opens the statistics window, or brings it forward with fresh figures.
    void menStatistikClick();
    void menImportCsvClick();
    void menSaveOverviewCsvClick();
    // The overview on the first volume of a series, as the statistics window asks.
    void ShowSeries(const QString& seriesId, const QString& name);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildPages();
    void buildStatusBar();
    void connectTools();
    void placeCentred();
    void connectBackups();
    // Whether copies of the collection can be made and are worth making:
    // a collection the program may write to.
    bool collectionWritable();
    QString databaseFolder();
    // Writes what the focused box of the page in view holds, before another
    // page is shown. False when the value is refused: the refusal is shown,
    // the page stays and the box keeps the focus.
    bool storeTypedBeforePageChange();
    // Whether event on the page tabs would show another page.
    bool changesPage(QObject* watched, QEvent* event) const;

    QPointer<TStatistikForm> statistikForm;

    // Main menu; the items carry their names for findChild.
    QMenu* menFile;
    QAction* menDBSync;
    QAction* menBackups;
    QAction* menImportCsv;
    QAction* menSaveOverviewCsv;
    QAction* N1;
    QAction* menExit;
    QMenu* menView;
    QAction* menResfreshView;
    QAction* N5;
    QAction* menEditLocal;
    QMenu* menReport;
    QAction* menShowMissing;
    QAction* menListe1;
    QAction* menSingle;
    QAction* menStatistik;
    QAction* menReportCovers; // the list and the master sheet show covers
    QMenu* menOptions;
    QAction* menAutors;
    QAction* menUnterart;
    QMenu* menExtras;
    QAction* menDownload;
    QAction* menEmptyDB;
    QAction* menExport;
    QAction* N6;
    QAction* menSettings;
    QMenu* menHelp;
    QAction* menAbout;

    // Popup of the toolbar.
    QMenu* pmDebug;
    QAction* menShowLog;
    QAction* N3;
    QAction* menCheckISBNNr;

    QToolBar* tbMain;
    ui::DBNavigator* dbnGrid;

    QTabWidget* pcMain;
    QWidget* tsListe;
    QWidget* tsEingabe;
    QWidget* tsLocal;
    QWidget* tsProtocoll;
    QWidget* tsSQLSheet;
    QPlainTextEdit* memoLog;

    TOverviewPage* overviewPage = nullptr;
    TMasterDataPage* masterDataPage = nullptr;
    TRemarksPage* remarksPage = nullptr;
    // The commands of the author, edition and own-copy lists and their dialogs.
    TDetailCommands* detailCommands = nullptr;
    TSQLPage* sqlPage = nullptr;
    // Export, emptying and the ISBN check.
    TToolCommands* toolCommands = nullptr;

    // Status bar panels: a wide one followed by a narrow one.
    QLabel* sbMainPanel0;
    QLabel* sbMainPanel1;

    // The destructor removes the pages and the navigator bound to it before
    // it goes, the other child widgets follow with the base class.
    ComicData m_data;
    // The covers of the collection, on a connection of their own, opened
    // at their first use.
    covers::CollectionCovers m_covers;
    app::SideModifiers m_modifiers;
    // The connection's count of changed rows when the collection last
    // matched a copy (made or restored); closing copies only past it.
    qint64 m_rowsAtLastCopy = 0;
};

// The one main window of the program; null while none exists.
extern TComicForm* ComicForm;
