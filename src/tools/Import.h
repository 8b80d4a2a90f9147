#pragma once

#include <QString>
#include <QStringList>

namespace tools {

// Makes a new database in dir (as "stripothek-db create" does, refusing an
// existing one) whose tables are filled from export files instead of the
// defaults. Each file names its table ("serverstripothek.xml" fills
// SERVERSTRIPOTHEK); tables without a file keep what create gives them.
// A file of an unknown table, a file whose fields differ from its table's,
// a row with a field its table lacks, a malformed file, or one with a
// document type declaration is refused with a message naming file and line,
// and then no database is left behind. The covers of the export (the folder
// "titelbilder" beside the catalogue's file) become the new collection's
// covers file, checked the same way. Throws db::Error.
void ImportDatabase(const QString& dir, const QStringList& files);

} // namespace tools
