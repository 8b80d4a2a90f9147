#include "csvwizard/ImportBackup.h"

#include "backup/BackupStore.h"
#include "backup/KeepPolicy.h"
#include "core/WaitCursor.h"
#include "database/ComicData.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace csvwizard {

bool makeBackupBeforeImport(ComicData& data, QWidget* parent)
{
    QString failure;
    try {
        const ui::WaitCursor waiting;
        backup::BackupStore store(QFileInfo(data.dbConnection().databaseFile()).absolutePath());
        store.makeBackup(QStringLiteral("Import aus Tabelle"));
        store.prune(backup::KeepPolicy::load());
        return true;
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Sicherung misslungen"),
                    QStringLiteral("Vor dem Import ließ sich keine Sicherung der Sammlung anlegen: %1.\n\n"
                                   "Ohne Sicherung importieren?")
                        .arg(failure),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("dlgNoBackup"));
    QPushButton* without = box.addButton(QStringLiteral("Ohne Sicherung importieren"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == without;
}

} // namespace csvwizard
