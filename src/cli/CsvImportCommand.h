#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace cli {

struct CsvImportRequest {
    QString mappingFile; // empty: proposed from the column names
    bool dryRun = false;
    bool complete = false; // volumes already there get what they lack
};

// "import-csv DIR FILE [--mapping FILE] [--dry-run] [--complete]", with the
// arguments after the command's name: prints the trial run's summary, and
// without --dry-run makes a checked backup and stores the file. usage
// reports a wrong command line and gives its exit code.
int runCsvImportCommand(const QStringList& arguments, const CsvImportRequest& request, QTextStream& out,
                        QTextStream& err, const std::function<int(const QString&)>& usage);

} // namespace cli
