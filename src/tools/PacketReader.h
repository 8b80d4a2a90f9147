#pragma once

#include "tools/ImportQueue.h"

#include <QString>

namespace tools::import {

// Reads one export file of table and hands its rows on in batches, the last
// one marked as the end of the file once the whole file has been found
// sound. Checks the structure, the fields against the schema and every
// value against its field: a row without its key, a key held twice, text in
// a number field, a text over its field's width, an element longer than
// any the export writes. Throws db::Error naming the file, the line and,
// where there is one, the row's key. False when the storing side gave up.
bool readPacket(const QString& path, const QString& table, BatchQueue& queue);

// The line of the file's ordinal-th row (from 1), 0 when there is none.
qint64 lineOfRow(const QString& path, qint64 ordinal);

} // namespace tools::import
