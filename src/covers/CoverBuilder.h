#pragma once

#include "covers/CoverImage.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct sqlite3;

namespace covers {

// Makes the covers file of a collection being made (an import, a generated
// collection) in one go. It is written under a hidden name that the next
// "create", "import" or "generate" in that folder removes if this run is
// killed, and gets its real name only by install(), once the catalogue
// beside it is complete. Destroyed without install(), it leaves nothing.
class CoverBuilder {
public:
    // Refuses a folder that has a covers file already: it is never overwritten.
    explicit CoverBuilder(const QString& databaseFolder);
    ~CoverBuilder();
    CoverBuilder(const CoverBuilder&) = delete;
    CoverBuilder& operator=(const CoverBuilder&) = delete;

    // key as its bytes (the catalogue's key exactly, valid UTF-8 or not).
    void add(const QByteArray& key, const PreparedCover& cover);
    int count() const { return m_count; }

    // Finishes the file and gives it its real name; without any cover,
    // nothing is made. Throws db::Error (the file is gone then). madeWith
    // names a catalogue file made together with these covers: it goes too
    // when they cannot be installed, so that no collection without its
    // covers stays behind.
    void install(const QString& madeWith = {});

    // titelbilder.db in databaseFolder; throws when it exists.
    static void refuseExisting(const QString& databaseFolder);

private:
    void start();
    void discard() noexcept;

    QString m_target;
    QString m_building;
    sqlite3* m_db = nullptr;
    struct Insert;
    std::unique_ptr<Insert> m_insert;
    int m_count = 0;
};

} // namespace covers
