#pragma once

#include <QWidget>

class ComicData;

namespace ui {
class DBMemo;
}

// The page "Bemerkungen": the content summary and the general remarks of the
// current catalogue entry. Typing here edits the entry like the fields of the
// page "Stammdaten", whose save and discard buttons act on it.
class TRemarksPage : public QWidget {
    Q_OBJECT
public:
    explicit TRemarksPage(ComicData& data, QWidget* parent = nullptr);

private:
    ui::DBMemo* editInhalt = nullptr;
    ui::DBMemo* editBemerkung1 = nullptr;
};
