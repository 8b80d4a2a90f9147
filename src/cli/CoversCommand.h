#pragma once

#include "cli/CollectionWriter.h"

#include <QStringList>
#include <QTextStream>
#include <functional>

namespace cli {

// "covers import DIR FOLDER", with the arguments after "covers": assigns the
// scans in FOLDER to the volumes of the collection in DIR and reports each
// file. usage reports a wrong command line and gives its exit code. Exit
// code 1 when any file was left out.
int runCoversCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     const std::function<int(const QString&)>& usage);

// "generate DIR --covers": the generated collection with a drawn cover on
// every volume, made together: either both files come into being or neither.
CollectionCounts createGeneratedDatabaseWithCovers(const QString& dir, int volumes, int* covers);

// Whether the command line asks for drawn covers: drawing text needs a
// QGuiApplication (no display: the offscreen platform).
bool wantsCovers(int argc, char** argv);

} // namespace cli
