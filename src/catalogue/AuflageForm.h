#pragma once

#include "catalogue/DialogPattern.h"

class ComicData;
class QComboBox;

namespace ui {
class DBEdit;
class DBLookupComboBox;
}

// "Auflage bearbeiten": the fields of the current edition of the current
// comic. The command that opened the dialog posts or cancels the row.
class TAuflageForm : public TBoundDialog {
    Q_OBJECT
public:
    explicit TAuflageForm(ComicData& data, QWidget* owner = nullptr);

    ui::DBEdit* editAuflage = nullptr;
    ui::DBLookupComboBox* cbAusfuehrung1 = nullptr;
    ui::DBEdit* editEDatum = nullptr;
    ui::DBEdit* editKPreis = nullptr;
    QComboBox* cbKWaehrung = nullptr;
    ui::DBEdit* editSPreis = nullptr;
    QComboBox* cbSWaehrung = nullptr;
};
