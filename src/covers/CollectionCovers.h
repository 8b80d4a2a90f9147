#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace db {
class Connection;
}

namespace covers {

class CoverStore;

// The covers of the collection the program has open: the store beside the
// catalogue's connection, made at its first use (a collection that has
// never had a cover gets no file by being looked at), and made again when
// the connection is pointed at another folder. The window's pages share it,
// so that a cover stored on the master page reaches the gallery through
// changed().
class CollectionCovers : public QObject {
    Q_OBJECT
public:
    explicit CollectionCovers(db::Connection& catalogue, QObject* parent = nullptr);
    ~CollectionCovers() override;

    // The store for the catalogue's folder as it is now.
    CoverStore& store();
    // The folder of that store, absolute: where a reader on another thread
    // opens a store of its own.
    QString folder() const;

    // Throws db::Error when the collection may only be read: its covers can
    // be seen, not changed.
    void checkChangeable() const;

Q_SIGNALS:
    // A cover was stored, replaced or removed through this store.
    void changed(const QString& key);

private:
    db::Connection& m_catalogue;
    QString m_folder;
    std::unique_ptr<CoverStore> m_store;
};

} // namespace covers
