#pragma once

#include <QString>

namespace db {

class Table;

// Hands out the next record key from the counter row of the key table:
// prefix followed by the number, the number used up at once. The increment
// is one atomic step in the database, so two programs on the same file never
// draw the same key.
QString drawRecordKey(Table& keyGen);

} // namespace db
