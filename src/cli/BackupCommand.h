#pragma once

#include <QStringList>
#include <QTextStream>
#include <functional>

namespace cli {

// "backup DIR [--to FILE]", "backups DIR" and "restore DIR NAME|FILE", with
// the arguments after the command's name. usage reports a wrong command
// line and gives its exit code.
int runBackupCommand(const QString& command, const QStringList& arguments, const QString& toFile, QTextStream& out,
                     QTextStream& err, const std::function<int(const QString&)>& usage);

bool isBackupCommand(const QString& command);

} // namespace cli
