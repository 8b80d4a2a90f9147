#pragma once

#include <QDialog>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QFrame;

namespace service {

class ComicsPort;

// Fetches one comic's data from the comics service by ISBN and appends the
// answer to the memo, one value per line. Reads and writes no catalogue data.
class TComicDownload : public QDialog {
    Q_OBJECT
public:
    // Takes a client of the default endpoint for the dialog's whole life, so
    // all searches share one connection. Throws when the endpoint is refused.
    explicit TComicDownload(QWidget* owner);
    ~TComicDownload() override;

    // One search; a failure throws and leaves the memo as it was.
    void btnSearchClick();

private:
    std::shared_ptr<ComicsPort> m_port;

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* editISBNNr;
    QLabel* Label2;
    QLineEdit* editTitel;
    QLabel* Label3;
    QLineEdit* editSerie;
    QPushButton* btnSearch;
    QPlainTextEdit* memoData;
    QFrame* Panel1;
    QFrame* Panel2;
    QPushButton* Button1;
};

// The command of the menu entry "Comic downloaden": shows the dialog modally
// over owner and frees it whatever happens. Errors reach the error display.
void menDownloadClick(QWidget* owner);

} // namespace service
