#pragma once

#include "database/DataSet.h"
#include "database/LazyQuery.h"

#include <QWidget>

class ComicData;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QShortcut;
class QSplitter;

namespace ui {
class DBGrid;
}

// The page "SQL - Direkteingabe": one statement typed into a text box, run
// against the main window's database; the rows of a query fill the grid
// below, any other statement runs while all tables are closed. Esc or
// "Abbrechen" stops what runs; a line beside the buttons says what runs,
// how many rows there are, and whether a stop ended it. The same page
// packs all tables.
class TSQLPage : public QWidget {
    Q_OBJECT
public:
    explicit TSQLPage(ComicData& data, QWidget* parent = nullptr);
    ~TSQLPage() override;

    // Both throw on failure; the buttons run them through the central
    // command runner, which shows the error.
    void btnSQLExecuteClick();
    void btnPackClick();

    QPlainTextEdit* memoSQLDirect = nullptr;
    QWidget* Panel8 = nullptr;
    QPushButton* btnSQLExecute = nullptr;
    QPushButton* btnSQLStop = nullptr;
    QPushButton* btnPack = nullptr;
    QLabel* labSQLStatus = nullptr;
    QSplitter* Splitter1 = nullptr;
    ui::DBGrid* dbgSQLDirect = nullptr;

    // Lives as long as the page; its statement is replaced on each run.
    db::LazyQuery qrySQLDirect;
    db::DataSource srcSQLDirect{&qrySQLDirect, QStringLiteral("srcSQLDirect")};

private:
    void runCommand();
    bool restoreSearch();
    void stopStatement();
    void hideMemosAndCapWidths();
    void showActivity();
    QString queryStatus() const;

    ComicData& m_data;
    QShortcut* m_escape = nullptr;
    bool m_commandRunning = false;
    QString m_commandStatus; // how the last command ended
};

namespace tools {
// Blanks and control characters (everything up to U+0020) removed at both ends.
QString TrimStatement(const QString& text);
// Whether the first six characters are SELECT, in any case of A to Z.
bool IsQueryText(const QString& text);
} // namespace tools
