#include "csvwizard/PassProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace csvwizard {

namespace {

constexpr int kSteps = 1000;

} // namespace

PassProgress::PassProgress(Kind kind, const QString& fileName, QWidget* parent) : QDialog(parent), m_kind(kind)
{
    setObjectName(QStringLiteral("dlgPassProgress"));
    setWindowTitle(QStringLiteral("Importieren aus Tabelle"));
    // Not modal: the wizard that shows it is, and its close button and
    // "Abbrechen" must still reach it to cancel the pass first.
    auto* layout = new QVBoxLayout(this);
    labPass = new QLabel(QStringLiteral("%1 „%2“ …")
                             .arg(kind == Kind::Trial ? QStringLiteral("Probelauf") : QStringLiteral("Importieren"),
                                  fileName),
                         this);
    labPass->setObjectName(QStringLiteral("labPass"));
    barPass = new QProgressBar(this);
    barPass->setObjectName(QStringLiteral("barPass"));
    barPass->setRange(0, kSteps);
    barPass->setValue(0);
    barPass->setFormat(QStringLiteral("%p %"));
    btnCancelPass = new QPushButton(QStringLiteral("Abbrechen"), this);
    btnCancelPass->setObjectName(QStringLiteral("btnCancelPass"));
    btnCancelPass->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnCancelPass);
    layout->addWidget(labPass);
    layout->addWidget(barPass);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    connect(btnCancelPass, &QPushButton::clicked, this, &PassProgress::cancel);
}

void PassProgress::start()
{
    show();
    btnCancelPass->setFocus();
    QCoreApplication::processEvents();
}

bool PassProgress::report(qint64 bytesRead, qint64 fileSize)
{
    barPass->setValue(fileSize > 0 ? int(std::min(bytesRead, fileSize) * kSteps / fileSize) : kSteps);
    // After the last row only the search index and the commit remain, and
    // they cannot stop halfway: the button would promise what cannot be.
    if (m_kind == Kind::Import && fileSize >= 0 && bytesRead >= fileSize && !m_cancelled) {
        m_finishing = true;
        btnCancelPass->setEnabled(false);
        labPass->setText(QStringLiteral("Suchindex wird aktualisiert …"));
    }
    QCoreApplication::processEvents();
    if (m_finishing) // painted now, before the index holds the thread
        repaint();
    return !m_cancelled;
}

void PassProgress::cancel()
{
    if (m_finishing)
        return;
    m_cancelled = true;
    btnCancelPass->setEnabled(false);
    labPass->setText(QStringLiteral("Wird abgebrochen …"));
}

void PassProgress::reject()
{
    cancel(); // stays open until the pass has given everything back
}

void PassProgress::closeEvent(QCloseEvent* event)
{
    cancel();
    event->ignore();
}

HoldOpen::HoldOpen(QWidget* window) : m_window(window)
{
    if (m_window)
        m_window->installEventFilter(this);
}

HoldOpen::~HoldOpen()
{
    if (m_window)
        m_window->removeEventFilter(this);
}

bool HoldOpen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    return false;
}

} // namespace csvwizard
