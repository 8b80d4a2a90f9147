#include "backupui/Progress.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace backupui {

namespace {
QString stageText(backup::Stage stage)
{
    switch (stage) {
    case backup::Stage::Copying:
        return QStringLiteral("kopiert");
    case backup::Stage::Checking:
        return QStringLiteral("prüft die Kopie");
    case backup::Stage::Restoring:
        return QStringLiteral("stellt wieder her");
    }
    return {};
}
} // namespace

StatusProgress::StatusProgress(QWidget* parent, const QString& title) : m_title(title)
{
    if (auto* main = qobject_cast<QMainWindow*>(parent ? parent->window() : nullptr))
        m_bar = main->statusBar();
}

StatusProgress::StatusProgress(QLabel* label, const QString& title) : m_label(label), m_title(title) {}

StatusProgress::~StatusProgress()
{
    clear();
}

backup::Progress StatusProgress::callback()
{
    return [this](backup::Stage stage, int percent) {
        show(QStringLiteral("%1: %2 … %3 %").arg(m_title, stageText(stage)).arg(percent));
    };
}

void StatusProgress::show(const QString& text)
{
    // Each step reports; painting the same text again would cost more than the step.
    if (text == m_shown)
        return;
    m_shown = text;
    if (m_bar) {
        m_bar->showMessage(text);
        m_bar->repaint();
    }
    if (m_label) {
        m_label->setText(text);
        m_label->repaint();
    }
}

void StatusProgress::clear()
{
    if (m_shown.isEmpty())
        return;
    m_shown.clear();
    if (m_bar)
        m_bar->clearMessage();
    if (m_label)
        m_label->clear();
}

void StatusProgress::finish(const QString& text)
{
    m_shown.clear();
    if (m_bar)
        m_bar->showMessage(text, 15000);
    if (m_label)
        m_label->setText(text);
}

} // namespace backupui
