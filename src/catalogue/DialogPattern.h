#pragma once

#include "dbcontrols/BoundComboBox.h"

#include <QDialog>
#include <QStringList>

class QHBoxLayout;
class QPushButton;

namespace db {
class DataSet;
class DataSource;
}

namespace ui {
class FieldLink;
}

// The editing dialogs live for one command: the command creates one with the
// main window as owner, holds it in a std::unique_ptr (freed on every way out
// of the command, an error included) and shows it with showModal.

// Shows a dialog modally, centred on the window of its owner.
int showModal(QDialog& dialog);

// Base of the dialogs whose controls edit the current row of one of the main
// window's tables. They own no data: "&Speichern" and "Abbruch" only set the
// result, and the command that opened the dialog posts or cancels the row.
// Closing is never refused.
class TBoundDialog : public QDialog {
    Q_OBJECT
public:
    QPushButton* btnSave = nullptr;
    QPushButton* btnAbbruch = nullptr;

    // Writes what is typed but not yet in its field; a refused value keeps
    // the dialog open (the box has the focus and the error was shown).
    void accept() override;

protected:
    TBoundDialog(db::DataSet& dataSet, QWidget* owner);
    // The row of buttons along the bottom edge: "&Speichern", "Abbruch".
    QHBoxLayout* createButtonRow();
    db::DataSet& boundDataSet() const { return m_dataSet; }

private:
    db::DataSet& m_dataSet;
};

// Drop-down list of fixed texts bound to a text field: shows the field's
// value and writes the picked text (the empty item clears the field). Text
// that is not among the items shows as no selection.
class TDBChoiceBox : public ui::BoundComboBox {
    Q_OBJECT
public:
    TDBChoiceBox(const QStringList& items, db::DataSource* source, const QString& fieldName,
                 QWidget* parent = nullptr);

private:
    void showValue();
    void onActivated(int index);

    ui::FieldLink* m_link;
};

// The currencies a price can be given in.
QStringList currencyItems();
