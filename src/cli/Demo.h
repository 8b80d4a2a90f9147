#pragma once

#include "cli/CollectionWriter.h"

#include <QString>

struct sqlite3;

namespace cli {

// A small made-up collection that gives every window and report something to
// show: series with gaps, volumes flagged missing and to be bought again,
// authors in several roles, editions priced in DM and €, own copies.
CollectionCounts fillDemo(sqlite3* db);

// createDatabase plus fillDemo, in one transaction.
CollectionCounts createDemoDatabase(const QString& dir);

} // namespace cli
