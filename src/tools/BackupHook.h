#pragma once

#include <QString>
#include <functional>

// Commands that change the collection in bulk (packing, emptying, a statement
// of the SQL page, the ISBN check) let the program keep a copy of it first.
// How the copy is made, and what the user is asked when it fails, is the
// business of the program above; the tools only say when and why.
namespace tools {

// Gets the command's name as the user knows it; returns false when the copy
// failed and the user chose not to go on without it.
using BackupHook = std::function<bool(const QString& command)>;
BackupHook setBackupHook(BackupHook hook); // returns the previous hook; empty = no copies

// Call after what the user typed is stored and before the first change.
// Throws db::Abort when the hook says no: the command ends, nothing changed.
void backupBefore(const QString& command);

} // namespace tools
