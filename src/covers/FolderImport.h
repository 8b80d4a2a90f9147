#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace db {
class Connection;
}

// A folder of scans assigned to volumes by file name: the name without its
// extension is a volume's key or its ISBN, punctuated any way.
namespace covers {

class CoverStore;

// The form in which ISBNs are compared: the catalogue's internal form
// (db::ReduceIsbn) without a leading "ISBN", and a valid ISBN-10 as the
// ISBN-13 of the same book, so that a scan named after the barcode
// ("978-3-551-…") finds a volume catalogued with its old number. Empty: no ISBN.
QString isbnMatchKey(const QString& text);

// One catalogue entry as the assignment needs it.
struct Volume {
    QString key;
    QString isbn; // as catalogued
    QString shown; // title and number, for the report
};

// Which volumes a file name names. Keys compare without case (as the
// catalogue's key index does) and win over ISBNs; an ISBN that two volumes
// share names both.
class VolumeMatcher {
public:
    explicit VolumeMatcher(const QList<Volume>& volumes);
    struct Match {
        QList<const Volume*> volumes;
        bool byKey = false;
    };
    Match match(const QString& fileName) const;

private:
    QList<Volume> m_volumes;
    QHash<QString, qsizetype> m_byKey;
    QHash<QString, QList<qsizetype>> m_byIsbn;
};

// The catalogue's volumes (key, ISBN, title and number).
QList<Volume> readVolumes(db::Connection& catalogue);

struct FolderEntry {
    enum class Outcome { Stored, Unmatched, Ambiguous, Refused };
    QString file; // its name in the folder
    Outcome outcome = Outcome::Unmatched;
    bool byKey = false;
    bool replaced = false; // the volume had a cover before
    QList<Volume> volumes; // the one stored to, or those an ambiguous name names
    QString message;       // why it was refused or is ambiguous
};

// Assigns every file of folder (hidden files and subfolders aside) to its
// volume and stores it as the volume's cover, replacing an older one. A
// name that matches nothing, names two volumes, or names a volume another
// file names too is left out, as is a file that is no acceptable picture;
// the rest are stored. Entries come in the order of the file names. Throws
// db::Error only for what stops the whole run (no folder, the database).
QList<FolderEntry> importFolder(db::Connection& catalogue, CoverStore& store, const QString& folder);

} // namespace covers
