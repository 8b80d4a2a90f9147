#pragma once

#include <QString>

namespace bench {

class Report;

// Backups of the collection in dir/database: a checked copy beside the
// sqlite3 shell's .backup and the backup interface in a plain loop, the list
// of 22 copies, and a restore.
void runBackupBench(const QString& dir, Report& report);

} // namespace bench
