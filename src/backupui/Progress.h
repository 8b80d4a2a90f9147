#pragma once

#include "backup/BackupStore.h"

#include <QPointer>
#include <QString>

class QLabel;
class QStatusBar;
class QWidget;

namespace backupui {

// A copy's or a restore's stage and percent where the user looks: the status
// bar of the main window, or a label of a dialog. Painted at once, since the
// command holds the event loop while it copies; cleared when it goes.
class StatusProgress {
public:
    // The status bar of parent's main window; nothing when it has none.
    StatusProgress(QWidget* parent, const QString& title);
    StatusProgress(QLabel* label, const QString& title);
    ~StatusProgress();
    StatusProgress(const StatusProgress&) = delete;
    StatusProgress& operator=(const StatusProgress&) = delete;

    backup::Progress callback();
    void clear();
    // Leaves text in the status bar for a while instead of clearing it.
    void finish(const QString& text);

private:
    void show(const QString& text);

    QPointer<QStatusBar> m_bar;
    QPointer<QLabel> m_label;
    QString m_title;
    QString m_shown;
};

} // namespace backupui
