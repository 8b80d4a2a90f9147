#pragma once

#include <QString>
#include <functional>

namespace db {
class Connection;
class DataSet;
class Table;
} // namespace db

namespace rpt {

// Answers whether the user owns a copy of a catalogue entry, each question
// with one look-up in the index of the own copies' comic keys.
class OwnCopies {
public:
    explicit OwnCopies(db::Connection& connection) : m_connection(connection) {}

    bool any() const;
    // A copy refers to exactly this key (whole value, same case).
    bool owned(const QString& comicId) const;

private:
    db::Connection& m_connection;
};

// What the walk reads of a catalogue entry.
struct CatalogueEntry {
    QString comicId;
    QString seriesId;
    QString seriesName;
    QString title;
    qint64 band = 0;      // none reads as 0
    bool flagged = false; // marked as missing from the collection
};

// Called for each volume missing from a series, with the entry it is judged
// by: the entry's title belongs to the missing volume when withTitle is set;
// number is where the volume belongs in its series.
using MissingVolumeSink = std::function<void(const CatalogueEntry& entry, bool withTitle, qint64 number)>;

// Which volumes of the user's series are missing. Walks the catalogue as its
// filter shows it, in series order (the table stays in that order), one run
// of consecutive records with the same series id at a time; records without
// a series take no part. In each run a count starts at 1 and stands for the
// number the walk expects next:
//  - a record the user does not own, or owns but has flagged as missing, is
//    missing under the count's number, with its title;
//  - an owned record closes a gap: each number from the count up to one
//    below its volume number is missing, without a title; the count then
//    moves one past the record (a volume 0 or none just moves it on by one).
// The walk first moves to the first record, which ends an edit as any move
// does. Bound controls are not told of it, and the table returns to the
// record number it had (counted in series order), also when the walk fails.
// Throws db::Error when one volume number would leave a gap of more numbers
// than any series has, which can only be a mistyped number.
void WalkMissingVolumes(db::Table& catalogue, const OwnCopies& copies, const MissingVolumeSink& sink);

inline constexpr qint64 kLargestGap = 100000;

} // namespace rpt
