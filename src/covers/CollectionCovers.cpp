#include "covers/CollectionCovers.h"

#include "core/Errors.h"
#include "covers/CoverStore.h"
#include "database/Connection.h"

#include <QDir>

namespace covers {

CollectionCovers::CollectionCovers(db::Connection& catalogue, QObject* parent)
    : QObject(parent), m_catalogue(catalogue)
{
}

CollectionCovers::~CollectionCovers() = default;

QString CollectionCovers::folder() const
{
    return QDir(m_catalogue.databasePath()).absolutePath();
}

CoverStore& CollectionCovers::store()
{
    const QString now = folder();
    if (!m_store || now != m_folder) {
        m_store = std::make_unique<CoverStore>(now);
        m_folder = now;
        connect(m_store.get(), &CoverStore::changed, this, &CollectionCovers::changed);
    }
    return *m_store;
}

void CollectionCovers::checkChangeable() const
{
    // The covers file could well be writable where the catalogue is not; but
    // a collection opened for reading is one the user cannot change, and
    // half of it changing would surprise more than it helps.
    if (m_catalogue.readAsItIs() || m_catalogue.onlyReadable())
        throw db::Error(QStringLiteral("Die Sammlung lässt sich nur lesen: Titelbilder können Sie ansehen, aber "
                                       "nicht ändern"));
}

} // namespace covers
