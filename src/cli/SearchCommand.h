#pragma once

#include <QStringList>
#include <QTextStream>
#include <functional>

namespace cli {

// "search DIR TEXT", with the arguments after "search": the volumes the
// overview's search finds, in series order, one per line: series, volume,
// first title and key, separated by tabs, for scripts. usage reports a
// wrong command line and gives its exit code.
int runSearchCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     const std::function<int(const QString&)>& usage);

} // namespace cli
