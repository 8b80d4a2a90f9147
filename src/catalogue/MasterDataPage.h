#pragma once

#include "catalogue/DetailCommands.h"

#include <QWidget>

class ComicData;
class TCoverPanel;
class QGroupBox;
class QLabel;
class QToolButton;

namespace covers {
class CollectionCovers;
}

namespace db {
class Table;
}

namespace ui {
class DBCheckBox;
class DBEdit;
class DBGrid;
class DBLookupComboBox;
class DBMemo;
}

// The page "Stammdaten": the current catalogue entry with its authors,
// editions and own copies, and the toolbar that creates, copies as the next
// volume, saves, deletes and discards. Its controls carry their names for
// findChild; the list commands get theirs through detailControls(). The
// comic's cover stands between the fields and the lists.
class TMasterDataPage : public QWidget {
    Q_OBJECT
public:
    TMasterDataPage(ComicData& data, covers::CollectionCovers& covers, QWidget* parent = nullptr);
    ~TMasterDataPage() override;

    // Toolbar commands. Each throws on failure; the buttons run them through
    // the central command runner.
    void btnNewClick();
    void btnNewBandClick();
    void btnSaveClick();
    // Asks first; removes the comic with its authors, editions and own
    // copies, all or nothing, and then its cover. Also what Ctrl+Del in the
    // overview runs.
    void btnDeleteClick();
    void btnRestoreClick();
    // Button states after every change of the catalogue's state or rows.
    void srcStripothekStateChange();

    void btnAddVerlagClick();
    void btnAddSerieClick();

    // The controls of the author, edition and own-copy lists, for the
    // commands that drive them (TDetailCommands::attach).
    const TDetailControls& detailControls() const { return m_lists; }

Q_SIGNALS:
    // The number of stored comics may have changed (a deletion, a new comic
    // stored or dropped); the frame updates the overview's count label.
    void countChanged();

private:
    QToolButton* btnNew = nullptr;
    QToolButton* btnNewBand = nullptr;
    QToolButton* btnSave = nullptr;
    QToolButton* btnDelete = nullptr;
    QToolButton* btnRestore = nullptr;

    ui::DBCheckBox* cbFehlt = nullptr;
    ui::DBCheckBox* cbReBuy = nullptr;
    ui::DBEdit* editTitel1 = nullptr;
    ui::DBEdit* editTitel2 = nullptr;
    ui::DBEdit* editTitel3 = nullptr;
    ui::DBLookupComboBox* cbSerie = nullptr;
    QToolButton* btnAddSerie = nullptr;
    ui::DBLookupComboBox* cbVerlage = nullptr;
    QToolButton* btnAddVerlag = nullptr;
    ui::DBLookupComboBox* cbLitTyp = nullptr;
    ui::DBLookupComboBox* cbLitart = nullptr;
    ui::DBEdit* editISBNNr = nullptr;
    ui::DBEdit* editBand = nullptr;
    ui::DBEdit* editSeiten = nullptr;
    ui::DBEdit* editMaxLimit = nullptr;
    TCoverPanel* pnlTitelbild = nullptr;

    // The author, edition and own-copy lists with their buttons. The two
    // accelerator buttons lie covered by the own-copy grid, there only for
    // Alt+A and Alt+F, which press the "+" buttons of the first two lists.
    TDetailControls m_lists;
    QGroupBox* gbLokaleDaten = nullptr;
    ui::DBMemo* editBemerkung2 = nullptr;

    QWidget* buildToolbar();
    QWidget* buildFields();
    QWidget* buildLists();
    QGroupBox* buildLocalData();
    void buildTabOrder();
    void connectCommands();
    void labelNumberFields();
    void addLookupRow(db::Table& table, const QString& keyField, const QString& nameField, const QString& caption,
                      const QString& prompt, const QString& existsMessage, const QString& comicField);

    ComicData& m_data;
    covers::CollectionCovers& m_covers;
    int m_lastState = 0;
};
