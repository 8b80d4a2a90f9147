#pragma once

#include "catalogue/DialogPattern.h"

class ComicData;
class QComboBox;

namespace ui {
class DBEdit;
class DBLookupComboBox;
class DBMemo;
}

// "Eigene Daten zu diesem Eintrag": the fields of the current own copy. Unlike
// the other editing dialogs it stores or drops the row itself; the command
// that opened it ignores its result.
class TLokalDatenForm : public TBoundDialog {
    Q_OBJECT
public:
    explicit TLokalDatenForm(ComicData& data, QWidget* owner = nullptr);

    // Stores the row if anything was entered (a new one with its keys) and
    // closes; the dialog closes also when storing fails, the input then stays
    // in the row. Typed text the field refuses keeps the dialog open.
    void btnSaveClick();
    // Drops what was entered and closes.
    void btnAbbruchClick();

    void accept() override { btnSaveClick(); }
    void reject() override { btnAbbruchClick(); }

    ui::DBEdit* editAuflage = nullptr;
    ui::DBLookupComboBox* cbAusfuehrung1 = nullptr;
    ui::DBLookupComboBox* cbAusfuehrung2 = nullptr;
    ui::DBLookupComboBox* cbZustand = nullptr;
    ui::DBEdit* editKaufpreis = nullptr;
    QComboBox* cbWaehrung2 = nullptr;
    ui::DBEdit* editLimitNr = nullptr;
    ui::DBEdit* editKaufdatum = nullptr;
    ui::DBEdit* editLagerplatz = nullptr;
    ui::DBMemo* memoBemerkungen = nullptr;

private:
    ComicData& m_data;
};
