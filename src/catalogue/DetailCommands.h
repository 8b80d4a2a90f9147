#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>

class ComicData;
class TBoundDialog;
class QAbstractButton;
class QWidget;

namespace db {
class Table;
}

namespace ui {
class DBGrid;
}

// The controls of the three lists that the commands drive, handed over by
// the page that owns them. Every one is required: a control the page drops
// or forgets to fill is refused at attach(), never left silently unwired.
struct TDetailControls {
    QAbstractButton* btnAddAuthor = nullptr;
    QAbstractButton* btnDelAuthor = nullptr;
    QAbstractButton* btnEditAuthor = nullptr;
    QAbstractButton* btnAddAuflage = nullptr;
    QAbstractButton* btnDelAuflage = nullptr;
    QAbstractButton* btnEditAuflage = nullptr;
    QAbstractButton* btnAddLComic = nullptr;
    QAbstractButton* btnDelLComic = nullptr;
    QAbstractButton* btnEditLComic = nullptr;
    // The hidden accelerator buttons "&Autoren" and "Au&flage".
    QAbstractButton* btnAutShortCut = nullptr;
    QAbstractButton* btnAuflShortCut = nullptr;
    ui::DBGrid* dbgAutoren = nullptr;
    ui::DBGrid* dbgAuflagen = nullptr;
    ui::DBGrid* dbgLAuflage = nullptr;
};

// The commands of the three lists of the page "Stammdaten" (authors,
// editions, own copies) and the author list of the menu. Each command throws
// on failure; attach() wires the page's controls through the central command
// runner. The dialogs are created with the owner given here (the main
// window), shown modally and freed when the command ends.
class TDetailCommands : public QObject {
    Q_OBJECT
public:
    TDetailCommands(ComicData& data, QWidget* owner);
    ~TDetailCommands() override;

    // Connects the lists' controls: the "+", delete and edit buttons,
    // double-clicks in the three grids, the accelerator buttons, and Ctrl+Del
    // in the author and own-copy grids (the edition grid ignores it). Throws
    // std::invalid_argument, naming the control, when one is missing.
    // Attaching again first drops the earlier connections.
    void attach(const TDetailControls& controls);

    void btnAddAuthorClick();
    void btnDelAuthorClick();
    void btnEditAuthorClick();
    void btnAddAuflageClick();
    void btnDelAuflageClick();
    void btnEditAuflageClick();
    void btnAddLComicClick();
    void btnDelLComicClick();
    void btnEditLComicClick();
    void menAutorsClick();

private:
    void deleteAuthorRow();
    void deleteLocalRow();
    // The dialog pattern: the command appends (or shows the current row),
    // the dialog only answers, the command posts or cancels.
    void addPatternRow(TBoundDialog& dialog, db::Table& table);
    void editPatternRow(TBoundDialog& dialog, db::Table& table);

    ComicData& m_data;
    QWidget* m_owner;
    QList<QMetaObject::Connection> m_connections;
};
