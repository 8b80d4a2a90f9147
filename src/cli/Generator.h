#pragma once

#include "cli/CollectionWriter.h"

#include <QString>

struct sqlite3;

namespace cli {

inline constexpr quint64 kDefaultSeed = 0x5354524950ull;
inline constexpr int kMaxVolumes = 10'000'000;

// A large made-up collection for benchmarks and tests: per volume about 1.5
// own copies, 2.5 author assignments and 1.2 editions; thousands of series
// and authors; series with gaps, missing and to-buy flags, DM and € prices.
// The same seed and count give the same rows; only the key prefix, chosen
// when the database is created, differs between two databases.
CollectionCounts generateCollection(sqlite3* db, int volumes, quint64 seed = kDefaultSeed);

// createDatabase plus generateCollection, in one transaction.
CollectionCounts createGeneratedDatabase(const QString& dir, int volumes, quint64 seed = kDefaultSeed);

} // namespace cli
