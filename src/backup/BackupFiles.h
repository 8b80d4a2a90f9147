#pragma once

// The backup folder's files: names, side files, the lock, syncing. Used by
// BackupStore only.

#include "backup/Snapshot.h"

#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QString>
#include <memory>
#include <optional>

namespace backup::files {

// A copy's name: stripothek-2026-12-10-143012.db; a second copy in the same
// second gets -2, -3 … before the extension.
struct CopyName {
    QString name;
    QDateTime created;
    int sequence = 1;
};
std::optional<CopyName> parseCopyName(const QString& fileName);
// The copies' names in the folder, newest first.
QList<CopyName> copyNames(const QString& folder);
// The first name of this second that no copy, side file or unfinished copy uses.
QString freeCopyName(const QString& folder, const QDateTime& now);

// What a new file is called while it is written: nothing that lists or
// prunes copies takes it for one, and the next run removes it if its writer
// was killed.
QString unfinishedName(const QString& folder, const QString& name);
// Removes unfinished files and side files whose copy is gone; call only
// with the folder locked.
void removeLeftovers(const QString& folder);
// Removes a database file with whatever SQLite may have left beside it.
void removeDatabaseFiles(const QString& file);

// The side file beside each copy: why it was made and what it holds, so the
// list never has to open the copies.
QString sideFileName(const QString& copyName);
void writeSideFile(const QString& file, const QString& reason, const QDateTime& created, const Snapshot& snapshot);
struct SideInfo {
    QString reason;
    Snapshot snapshot;
};
std::optional<SideInfo> readSideFile(const QString& file);

// Makes what is written so far survive a power cut.
void syncFile(const QString& file);
void syncFolder(const QString& folder);
// Never replaces an existing file; throws with the user's words.
void renameInto(const QString& from, const QString& to);

// Copies, pruning and restores of one folder take turns, also between the
// program and stripothek-db; a lock left by a killed process is taken over.
std::unique_ptr<QLockFile> lockFolder(const QString& folder);

} // namespace backup::files
