#pragma once

#include "database/Table.h"

#include <QDialog>

class ComicData;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace ui {
class DBGrid;
}

// "Autor(en) bearbeiten", the list of all authors: names are changed in
// place, the list can be searched, and authors no comic refers to can be
// deleted. While the list exists the author table takes no new rows, stores
// names trimmed and refuses to delete an author who is still assigned; all
// of that, and the search, ends with the list.
class TAutorenForm : public QDialog {
    Q_OBJECT
public:
    explicit TAutorenForm(ComicData& data, QWidget* owner = nullptr);
    ~TAutorenForm() override;

    // Deletes the selected author without asking; the author check decides.
    void btnDeleteClick();
    // Lists the authors whose name contains the search text, or all of them.
    void btnRefreshClick();

    ui::DBGrid* dbgAutoren = nullptr;
    QPushButton* btnDelete = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* editFilter = nullptr;
    QToolButton* btnRefresh = nullptr;
    QPushButton* btnAbbruch = nullptr;

private:
    void FormCreate();
    void FormDestroy() noexcept;
    void tblAutorenBeforeInsert(db::Table& table);
    void tblAutorenBeforePost(db::Table& table);
    void tblAutorenBeforeDelete(db::Table& table);

    ComicData& m_data;
    db::Table::Handler m_priorBeforeInsert;
    db::Table::Handler m_priorBeforePost;
    db::Table::Handler m_priorBeforeDelete;
    bool m_installed = false;
};
