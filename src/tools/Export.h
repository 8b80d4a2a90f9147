#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace db {
class Connection;
}

namespace tools {

// What an export shows while it runs; each part may be left empty.
struct ExportProgress {
    std::function<void(const QString& tableName)> tableStarted; // "Exportiere Tabelle ..."
    std::function<void(int percent)> percent;                    // "%d exportiert"
    std::function<void()> afterRow;                              // lets pending events run
    std::function<void(int count)> coversWritten;                // after the covers, if any
};

// The export file of a table: its name in lower case (letters A to Z only)
// with ".xml", in directory, with exactly one separator between them.
QString ExportTargetPath(const QString& directory, const QString& tableName);

// Writes one table to one XML data packet: the field descriptions in the
// table's field order, then every row in the table's natural order, each
// non-null field as an attribute of the stored value (nulls stay absent).
// The file appears, replacing an older one, only once the table has been
// read completely; on any error no file of that name is touched. Throws
// db::EngineError or db::Error.
void ExportTable(db::Connection& connection, const QString& targetPath, const QString& tableName,
                 const ExportProgress& progress = {});

// Every table of the database in the engine's listing order, one file each,
// then the volumes' covers into the subfolder "titelbilder" (none: no
// subfolder; see covers/CoverTransfer.h). Stops at the first table that
// fails; the files written before it stay. Returns the tables' files.
QStringList ExportAllTables(db::Connection& connection, const QString& directory,
                            const ExportProgress& progress = {});

} // namespace tools
