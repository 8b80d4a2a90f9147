#pragma once

#include <QDialog>
#include <QStringList>

class QPlainTextEdit;
class QPushButton;

// "Über Stripothek": a few lines about the program and one button to close.
class TAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDialog(QWidget* owner = nullptr);

    static QStringList aboutLines();

    // The text is for reading only: focus arriving on it moves on to the button.
    void memAboutEnter();

    QPlainTextEdit* memAbout;
    QPushButton* btnExit;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
