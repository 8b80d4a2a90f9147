#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace csvwizard {

// How far a pass over the file has come, with "Abbrechen". The pass runs on
// the thread of the windows and asks report() between records; report()
// lets the windows paint and answers whether to go on. Esc and closing the
// window cancel the same way as the button. Its parent keeps the rest of
// the program waiting meanwhile.
class PassProgress : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Trial, Import };
    PassProgress(Kind kind, const QString& fileName, QWidget* parent);

    // Shows it at once: before the first rows the pass reads what the
    // collection has, which takes a moment at many volumes.
    void start();
    bool report(qint64 bytesRead, qint64 fileSize);
    void cancel();
    bool cancelled() const { return m_cancelled; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Kind m_kind;
    bool m_cancelled = false;
    bool m_finishing = false;
    QLabel* labPass = nullptr;
    QProgressBar* barPass = nullptr;
    QPushButton* btnCancelPass = nullptr;
};

// Keeps window open for as long as it lives: the program's main window,
// whose closing would close the tables under a pass's transaction. Its close
// button is blocked by the progress anyway; this also holds against a close
// asked for by the desktop session or by code.
class HoldOpen : public QObject {
public:
    explicit HoldOpen(QWidget* window);
    ~HoldOpen() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace csvwizard
