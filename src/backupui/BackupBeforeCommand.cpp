#include "backupui/BackupBeforeCommand.h"

#include "backup/BackupStore.h"
#include "backupui/Progress.h"
#include "core/Command.h"
#include "core/WaitCursor.h"

#include <QDir>

namespace backupui {

namespace {
CopyListener& listener()
{
    static CopyListener l;
    return l;
}
} // namespace

CopyListener setCopyListener(CopyListener l)
{
    CopyListener previous = std::move(listener());
    listener() = std::move(l);
    return previous;
}

void notifyCopyMade(const QString& databaseDir)
{
    if (listener())
        listener()(databaseDir);
}

bool backupBeforeCommand(QWidget* parent, const QString& databaseDir, const QString& reason)
{
    StatusProgress status(parent, QStringLiteral("Sicherung vor „%1“").arg(reason));
    backup::BackupStore store(databaseDir);
    QString failure;
    {
        const ui::WaitCursor wait;
        try {
            store.makeBackup(reason, status.callback());
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    }
    if (!failure.isEmpty()) {
        status.clear();
        return ui::askYesNo(QStringLiteral("Die Sicherung vor „%1“ ist nicht gelungen:\n\n%2\n\nOhne Sicherung "
                                           "fortfahren?")
                                .arg(reason, ui::withFullStop(failure)),
                            parent);
    }
    notifyCopyMade(databaseDir);
    try {
        store.prune(backup::KeepPolicy::load());
        status.clear();
    } catch (const std::exception& e) {
        // The new copy is there; an old one that stays costs only disk space
        // and must not stop the command. The user reads why in the status bar.
        status.finish(QStringLiteral("Sicherung angelegt; ältere ließen sich nicht entfernen: %1")
                          .arg(QString::fromUtf8(e.what())));
    }
    return true;
}

} // namespace backupui
