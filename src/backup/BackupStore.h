#pragma once

#include "backup/KeepPolicy.h"
#include "backup/Snapshot.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace backup {

// One copy in the backup folder, as the list shows it.
struct BackupInfo {
    QString name;      // file name in the folder: stripothek-2026-12-10-143012.db
    QString file;      // absolute path
    QDateTime created; // local time, from the name
    qint64 bytes = 0;
    QString reason;    // the command that made it; empty when not recorded
    qint64 volumes = -1;   // -1: the copy cannot be read
    qint64 ownCopies = -1;
};

// What a restore did.
struct RestoreResult {
    QString source;       // the copy that was restored
    BackupInfo safety;    // the state before, saved first (name empty when there was no catalogue)
    Snapshot restored;    // what the catalogue holds now
    QString damagedKept;  // where a damaged catalogue was kept instead of a checked copy, if it was
};

// The stages a long backup or restore reports while it runs.
enum class Stage { Copying, Checking, Restoring };
// percent 0..100 within the stage; called on the caller's thread.
using Progress = std::function<void(Stage stage, int percent)>;

// The copies of one collection: databaseDir/Sicherungen beside
// databaseDir/stripothek.db. Every copy is made through SQLite's backup
// interface from one read transaction, so the program, stripothek-db or a
// shell may keep the collection open, and even write to it, meanwhile.
//
// Copies, pruning and restores of one folder take turns across processes
// through a lock file in the folder. Any method throws db::Error with a
// German message that says what went wrong and that nothing was changed.
class BackupStore {
public:
    explicit BackupStore(const QString& databaseDir);

    QString databaseFile() const;
    QString folder() const;

    // A checked copy of the catalogue as it is now, under the next free name
    // of this second; reason says which command made it ("Comicdatenbank
    // leeren"). A copy that cannot be made whole leaves no file behind and
    // throws; the older copies stay as they were.
    BackupInfo makeBackup(const QString& reason, const Progress& progress = {});
    // The same copy written to a file of the caller's choice, which must not
    // exist yet; not part of the list and never pruned.
    Snapshot exportCopy(const QString& targetFile, const Progress& progress = {});

    // The copies, newest first. Reads only their side files (and the file of
    // a copy whose side file is missing), never the copies' tables.
    QList<BackupInfo> list() const;

    // Removes what the policy does not keep, with their side files; returns
    // the names removed. Call it after makeBackup succeeded, never instead.
    QStringList prune(const KeepPolicy& policy, QDate today = QDate::currentDate());

    // Replaces the catalogue by a copy: a name from the list or any file. The
    // copy is checked first; a damaged or foreign one is refused. The current
    // state is saved as a new copy, then the copy is written into the live
    // file through SQLite's backup interface in one transaction, so the
    // catalogue is afterwards either the old one or the copy's. Connections of
    // this program stay valid, but tables opened on them show stale rows:
    // close them before and open them again after. Refuses while another
    // connection holds the write lock.
    RestoreResult restore(const QString& nameOrFile, const Progress& progress = {});

    // The file a name or a path stands for; throws when there is none.
    QString resolve(const QString& nameOrFile) const;

private:
    QString m_databaseDir;
};

} // namespace backup
