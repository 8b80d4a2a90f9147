#pragma once

#include "backup/BackupStore.h"

#include <QDialog>
#include <functional>

class ComicData;
class QLabel;
class QPushButton;
class QTreeWidget;

// "Sicherungen": the copies of the collection, newest first, with what each
// holds and the command that made it. A copy, or any file the user picks,
// can replace the collection; the current state is saved first. A copy can
// also be written to a file of the user's choice.
class TBackupDialog : public QDialog {
    Q_OBJECT
public:
    TBackupDialog(ComicData& data, QWidget* owner = nullptr);

    // Reads the list again; the newest copy is selected.
    void Refresh();
    // Each asks first; a refused copy changes nothing and its reason is shown.
    // After a restore the dialog closes (accepted) and says what it did.
    void btnRestoreClick();
    void btnRestoreFileClick();
    void btnExportClick();
    void btnSettingsClick();

    // Replace the file dialogs (tests); empty brings them back. An empty
    // answer means the user cancelled.
    using FileChooser = std::function<QString(QWidget* owner)>;
    void setOpenFileChooser(FileChooser chooser) { m_openChooser = std::move(chooser); }
    void setSaveFileChooser(FileChooser chooser) { m_saveChooser = std::move(chooser); }

private:
    void restoreFrom(const QString& nameOrFile, const QString& what);
    void updateButtons();

    ComicData& m_data;
    backup::BackupStore m_store;
    FileChooser m_openChooser;
    FileChooser m_saveChooser;

    QLabel* labFolder;
    QTreeWidget* lvBackups;
    QLabel* labStatus;
    QPushButton* btnRestore;
    QPushButton* btnRestoreFile;
    QPushButton* btnExport;
    QPushButton* btnSettings;
    QPushButton* btnClose;
};

namespace backupui {

// Replaces the collection that data shows by a copy, as the program must
// around it: what the user typed is stored (so the safety copy holds it),
// the tables close, the copy is written, and the tables open again on their
// first rows, also when the restore failed. A foreign file is refused before
// anything closes.
backup::RestoreResult restoreCollection(ComicData& data, const QString& nameOrFile, const backup::Progress& progress);

} // namespace backupui
