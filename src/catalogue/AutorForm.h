#pragma once

#include "catalogue/DialogPattern.h"

class ComicData;
class QToolButton;

namespace ui {
class DBLookupComboBox;
}

// "Autor(en) bearbeiten": picks the author and the role of the current row of
// the author assignments; "..." creates a new author, "Autor ändern" renames
// the chosen one. The assignment itself is posted or cancelled by the command
// that opened the dialog.
class TAutorForm : public TBoundDialog {
    Q_OBJECT
public:
    explicit TAutorForm(ComicData& data, QWidget* owner = nullptr);

    // Asks for a name; creates the author unless an existing name begins
    // with it (case ignored), and chooses the new author for the assignment.
    void btnSelectClick();
    // Asks for a new name of the author chosen in the box and stores it
    // trimmed; any name is accepted, a duplicate too.
    void btnModifyClick();

    ui::DBLookupComboBox* cbAutor = nullptr;
    QToolButton* btnSelect = nullptr;
    ui::DBLookupComboBox* cbFunktion = nullptr;
    QPushButton* btnModify = nullptr;

private:
    ComicData& m_data;
};
