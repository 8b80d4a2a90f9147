#pragma once

#include <QWidget>
#include <functional>

class ComicData;
class TCoverGallery;
class QAction;
class QStackedWidget;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QTimer;
class QToolButton;

namespace covers {
class CollectionCovers;
}

namespace ui {
class DBGrid;
}

// The page "Übersicht": the catalogue as a list that can be searched for
// any text of a volume, filtered by the beginning of title, series,
// publisher and ISBN, limited to missing or
// to-buy volumes, and re-sorted by a click on a column title. The grid is
// bound to the catalogue table itself, so the row chosen here is the entry
// the other pages edit and the filter limits every walk through the catalogue.
class TOverviewPage : public QWidget {
    Q_OBJECT
public:
    TOverviewPage(ComicData& data, covers::CollectionCovers& covers, QWidget* parent = nullptr);
    ~TOverviewPage() override;

    // Builds the filter from the boxes and the option buttons, applies it to
    // the catalogue, moves to the first listed row and sets the count label.
    // Throws on an expression the engine refuses (a quote typed into a box);
    // the catalogue then keeps its previous filter.
    void ApplyOverviewFilter();
    // Runs the search typed into editSuche over every text of the volumes,
    // beside the filter; the list keeps its order, and its row where that is
    // found. Typing runs it on its own once the user pauses.
    void ApplySearch();
    // labInfo = "Anzahl: " + rows stored in the catalogue (a filter does not reduce it).
    void UpdateCount();
    // What Ctrl+Del in the list does; without an action it does nothing.
    void setDeleteAction(std::function<void()> action);
    // Puts the list into series order on the first volume of the series
    // (whole-value match on its id). A filter that hides the whole series is
    // switched off first: boxes emptied, "Alle anzeigen". Returns whether that
    // happened; throws when the catalogue holds no volume of the series.
    bool ShowSeries(const QString& seriesId, const QString& name);

    // Writes what the list shows (its columns, its filter, its order) as a
    // German spreadsheet's CSV file; a row being edited is stored first.
    // Returns the rows written; throws db::Error naming the file.
    int SaveAsCsv(const QString& fileName);

    // Command handlers, public so that the frame and tests can reach them.
    void btnRefreshClick();
    void dbgListeTitleClick(int column);
    // Shows the gallery of covers instead of the list, or the list again.
    void showGallery(bool gallery);
    bool galleryShown() const;

Q_SIGNALS:
    // A double click on a cover of the gallery: the user wants that comic's page.
    void comicOpened();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPage();
    void connectCommands();
    QString filterExpression() const;

    ComicData& m_data;
    covers::CollectionCovers& m_covers;
    std::function<void()> m_deleteAction;

    QStackedWidget* swListe = nullptr;
    ui::DBGrid* dbgListe = nullptr;
    TCoverGallery* lvGalerie = nullptr; // made when first shown
    QToolButton* btnShowList = nullptr;
    QToolButton* btnShowGallery = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* labInfo = nullptr;
    QRadioButton* rbShowAll = nullptr;
    QRadioButton* rbShowToBuy = nullptr;
    QRadioButton* rbShowOwner = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QToolButton* btnRefresh = nullptr;
    QLineEdit* editSrchTitel = nullptr;
    QLineEdit* editSrchSerie = nullptr;
    QLineEdit* editSrchVerlag = nullptr;
    QLineEdit* editSrchISBN = nullptr;
    QLineEdit* editSuche = nullptr;
    QTimer* m_searchPause = nullptr;
    QMenu* pmMenu = nullptr;
    QAction* menRefresh = nullptr;
};
