#pragma once

#include <QStringList>
#include <QTextStream>

namespace cli {

// Exit codes of stripothek-db.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // the database could not be made
inline constexpr int kExitUsage = 2;  // wrong command line

// Runs stripothek-db with its arguments (without the program name); reports
// go to out, errors and usage problems to err.
int runTool(const QStringList& arguments, QTextStream& out, QTextStream& err);

QString helpText();

// A message of the tool as the sentence it is: ending in a full stop, or in
// the "!" or "?" it has. Unlike the window's rule, ")" and "“" get one too.
QString sentence(const QString& message);

// Writes why a command failed to err, as the sentence it is, and gives the
// exit code for it.
int failed(QTextStream& err, const QString& message);

} // namespace cli
