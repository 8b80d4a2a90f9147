#pragma once

#include <QString>

namespace bench {

class Report;

// Covers on the collection in dir/database (drawn once for every volume when
// it has none yet): thumbnails by key and by screen, storing a scan, beside
// raw SQLite on the same file.
void runCoversBench(const QString& dir, Report& report);
// The same covers in the main window: the master page and the gallery.
void runCoversGuiBench(const QString& dir, Report& report);

} // namespace bench
