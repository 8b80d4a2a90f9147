#pragma once

#include <QString>

namespace bench {

class Report;

// The statistics window's figures on the collection in dir/database, beside
// the same statements run through SQLite directly.
void runStatsBench(const QString& dir, Report& report);

} // namespace bench
