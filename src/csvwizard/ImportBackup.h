#pragma once

class ComicData;
class QWidget;

namespace csvwizard {

// The checked copy of the collection before the import changes it, with
// the copies kept as the user chose. When the copy fails the user is asked
// whether to import without one; false when not.
bool makeBackupBeforeImport(ComicData& data, QWidget* parent);

} // namespace csvwizard
