#pragma once

#include <QObject>
#include <QString>
#include <vector>

class ComicData;

namespace db {
class Table;
}

// One pending author assignment of "Neuer Band": copied from the volume it
// was made from, stored with the new volume.
struct PendingAuthor {
    QString authorId;
    QString roleId;
};

// The catalogue's rules. The pages only call them; each throws on failure
// and leaves nothing half-written. They need no widget: the tests drive them
// on the tables alone. ComicData owns the one instance; making it installs
// the catalogue's before-post handler, so the rules hold whoever posts.
class ComicRules : public QObject {
    Q_OBJECT
public:
    explicit ComicRules(ComicData& data);
    ~ComicRules() override;

    // "Neu": a new row, counted as changed from the start, so that a move
    // stores it.
    void NewComic();
    // "Neuer Band": stores a row being edited, then starts a new row with
    // the bibliographic fields of the current comic and its authors pending.
    void NewVolume();
    // Deletes the current comic with its authors, editions and own copies in
    // one transaction; after a failure the same comic stays current. A new
    // row not yet stored is only dropped. True when a stored comic went.
    bool DeleteComic();
    // Refuses, with the message the user sees, to delete an author whom any
    // comic still names.
    void CheckAuthorDeletable(const QString& authorId);
    // The key of the comic a new author, edition or own copy belongs to. A
    // new comic is stored first, so that it has one; without a comic the
    // command ends quietly (db::Abort).
    QString ComicKeyForNewDetail();
    // Gives the row being inserted into one of the three detail tables its
    // own new key and the current comic's key.
    void KeyNewDetailRow(db::Table& detail);
    // Stores a new row of a lookup table (publisher, series, author) under a
    // new key and returns the key; a refused row is dropped.
    QString AddNamedRow(db::Table& table, const QString& keyField, const QString& nameField, const QString& name);

    // The fields every save of a catalogue row derives: key, internal ISBN,
    // series and publisher names, the two flags never null.
    void tblStripothekBeforePost(db::Table& table);

    // Author assignments that "Neuer Band" copied. They belong to the new
    // volume while it is being inserted: its store writes them in the same
    // transaction as the row, and any other way out of the insert drops them.
    const std::vector<PendingAuthor>& pendingAuthors() const { return m_pendingAuthors; }
    void dropPendingAuthors() { m_pendingAuthors.clear(); }

private:
    void beforePost(db::Table& table);
    void catalogueStateChanged();
    void storeNewVolume(db::Table& table);

    ComicData& m_data;
    std::vector<PendingAuthor> m_pendingAuthors;
    // Set while a new volume and its authors are being stored, so that the
    // row leaving the insert state on the way does not drop them.
    bool m_storingNewVolume = false;
};
