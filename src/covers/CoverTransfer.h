#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

struct sqlite3;

namespace db {
class Connection;
}

// Covers in the XML export: beside the tables' files, a folder "titelbilder"
// with one image file per cover, named after its volume's key, and an index
// "titelbilder.xml" that says which file belongs to which key:
//
//   <TITELBILDER Version="1">
//    <TITELBILD key="K27" file="K27.jpg" format="jpeg" sha256="…"/>
//   </TITELBILDER>
//
// The files hold the stored bytes unchanged, so export → import → export
// gives the same files again.
namespace covers {

class CoverBuilder;

inline constexpr char kExportFolder[] = "titelbilder";
inline constexpr char kIndexFile[] = "titelbilder.xml";

// The image file's name for a key: ASCII letters, digits, "-" and "_" stay,
// every other byte becomes %XX (so no key can name a path, a hidden file or
// a device), a name too long for a file system becomes "key-" and a hash.
// Keys differ without case, and so do their names.
QString exportFileName(const QByteArray& key, const QByteArray& format);

// Writes the covers of the catalogue's volumes from the covers file in
// databaseFolder into targetDirectory/titelbilder, in the order of their
// keys; covers without a volume are left out. Without any cover no folder is
// made, and what an earlier export left there (its index and the files it
// named) is removed, so the folder never brings back covers the collection
// no longer has. Each file appears only complete. afterCover runs after each
// file (the window repaints). Returns the number written. Throws db::Error.
int exportCovers(const QString& databaseFolder, db::Connection& catalogue, const QString& targetDirectory,
                 const std::function<void()>& afterCover = {});

// One line of the index.
struct IndexEntry {
    QByteArray key;
    QString file;
    QByteArray format;
    QString sha256;
    qint64 line = 0;
};

// The index of the export whose tables lie in exportDirectory, or an empty
// string when it has no covers.
QString indexIn(const QString& exportDirectory);

// Reads and checks an index: the root and version, every entry with its
// key, a plain file name, an accepted format and a hash; no key (without
// case) or file twice; no document type declaration. Throws db::Error naming
// file and line.
QList<IndexEntry> readIndex(const QString& indexFile);

// Adds the covers of an index to builder, checked as a new cover is (only
// that an export's original stays as it is, whatever its size): each file
// must exist, match its hash and format, and belong to a volume of the
// catalogue being made (keys compared without case). Several are decoded at
// once. Returns the number added. Throws db::Error naming the file.
int importCovers(const QString& indexFile, const QList<IndexEntry>& entries, sqlite3* catalogue,
                 CoverBuilder& builder);

} // namespace covers
