#pragma once

#include <QStringList>
#include <QTextStream>
#include <functional>

namespace cli {

// "report missing|list DIR --pdf FILE", with the arguments after "report".
// usage reports a wrong command line and gives its exit code.
int runReportCommand(const QStringList& arguments, const QString& pdfFile, QTextStream& out, QTextStream& err,
                     const std::function<int(const QString&)>& usage);

// Whether the command line asks for a report: reports lay out text with real
// fonts and need a QGuiApplication (no display: the offscreen platform).
bool wantsReport(int argc, char** argv);

} // namespace cli
