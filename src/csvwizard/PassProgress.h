#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

namespace csvwizard {

// How far a pass over the file has come, with "Abbrechen". The pass runs on
// the thread of the windows and asks report() between records; report()
// lets the windows paint and answers whether to go on. Esc and closing the
// window cancel the same way as the button.
class PassProgress : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Trial, Import };
    PassProgress(Kind kind, const QString& fileName, QWidget* parent);

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

} // namespace csvwizard
