#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>

class ComicData;
class TBoundDialog;
class QWidget;

namespace db {
class Table;
}

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

    // Finds the lists' controls by name in page and its children and connects
    // them: the "+", delete and edit buttons, double-clicks in the author and
    // own-copy grids and in the edition grid, the hidden accelerator buttons
    // "&Autoren" and "Au&flage", and Ctrl+Del in the author and own-copy grids
    // (the edition grid ignores it). Missing controls are skipped. Attaching
    // again, or to another page, first drops the earlier connections.
    void attach(QWidget* page);

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
