#pragma once

#include "database/Connection.h"

#include <QStringList>
#include <optional>

namespace server {

// Finds comics of one catalogue by ISBN for the comics service. The file is
// opened read-only, so the program may go on editing it; every look-up reads
// the state of the moment.
class CatalogueLookup {
public:
    // Opens directory/database/stripothek.db; throws db::EngineError when the
    // file is missing, unreadable or holds no catalogue.
    explicit CatalogueLookup(const QString& directory);

    QString databaseFile() const { return m_connection.databaseFile(); }

    // The ten answer values of the comic whose reduced ISBN matches isbn, in
    // the order of the answer elements; none when the catalogue holds no such
    // ISBN. Of several matches the first in series order counts.
    std::optional<QStringList> comicByIsbn(const QString& isbn);

private:
    db::Connection m_connection;
};

} // namespace server
