#pragma once

#include <QString>
#include <functional>

namespace covers {

class CoverStore;

// A comic's deletion takes its cover along. SQLite commits the catalogue
// and the covers file one after the other, never together, so the order
// decides what an interruption leaves: the comic goes first, in its own
// transaction; only once that is committed does its cover go. A deletion
// that fails or is cut short therefore never takes the cover of a comic that
// stays; at worst a cover without its comic remains, and packing removes it
// (CoverStore::removeOrphans).
//
// deleteComic deletes the current comic whose key is key and says whether a
// stored comic went (the data module's DeleteComic). Returns what it returned.
// When the comic went but its cover could not be removed, throws a message
// that says both.
bool deleteComicWithCover(CoverStore& covers, const QString& key, const std::function<bool()>& deleteComic);

} // namespace covers
