#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace backupui {

// Makes a checked copy of the collection in databaseDir (the folder of
// stripothek.db) before a command that may destroy data in bulk, then
// removes the copies the user's keep rule no longer holds. reason names the
// command as the list of copies shows it ("Comicdatenbank leeren"). The
// progress shows in the status bar of parent's main window, if it has one.
//
// Returns true when the command may run: the copy was made, or it failed and
// the user chose to go on without it. Returns false when the user declined
// (the default answer): the caller then ends its command with nothing changed.
bool backupBeforeCommand(QWidget* parent, const QString& databaseDir, const QString& reason);

// Told of every copy of a collection this program made, and of every
// restore, with the collection's folder: the collection then holds exactly
// what a copy holds. One listener, the main window; empty = none.
using CopyListener = std::function<void(const QString& databaseDir)>;
CopyListener setCopyListener(CopyListener listener); // returns the previous one
void notifyCopyMade(const QString& databaseDir);

} // namespace backupui
