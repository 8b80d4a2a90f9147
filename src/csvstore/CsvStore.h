#pragma once

#include "csvimport/CsvReader.h"
#include "csvimport/ImportPlan.h"
#include "csvimport/Mapping.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

class ComicData;

namespace db {
class Connection;
}

// Storing a spreadsheet's rows in the collection: publishers, series and
// authors matched by name or made, the catalogue entries with their authors
// and own copies, all in one transaction. The trial run goes through the
// same pass and its decisions row by row, but writes nothing: what it
// reports is what storing does, except where the database itself refuses a
// write (then storing stores nothing and says why).
namespace csvstore {

// What happens to a row whose volume the catalogue has already (same ISBN,
// an ISBN-10 and its ISBN-13 being one, or same series and volume number).
enum class ExistingRows {
    Skip,     // "überspringen": left as it is
    Complete, // "ergänzen": empty fields filled, missing authors and an own copy added
};

struct ImportOptions {
    ExistingRows existing = ExistingRows::Skip;
    QDate today = QDate::currentDate(); // for two-digit years
    csvimport::Limits limits;
    // See csvimport::PlanOptions::progress; a cancelled pass stores nothing.
    std::function<bool(qint64 bytesRead, qint64 fileSize)> progress;
};

struct ImportSummary {
    QString fileName;        // without folder, for messages
    ExistingRows existingRule = ExistingRows::Skip;
    int volumes = 0;         // new catalogue entries
    int newSeries = 0;
    int newPublishers = 0;
    int newAuthors = 0;
    int copies = 0;          // own copies made, also for completed entries
    int authorLinks = 0;     // author assignments made
    int existing = 0;        // rows whose volume was there already
    int completed = 0;       // of those, the ones that got something
    csvimport::PlanSummary plan;

    // One paragraph for the user, numbers grouped the German way:
    // "1.234 Bände, 56 neue Serien, …; 12 schon vorhanden (…): überspringen;
    // 3 Zeilen fehlerhaft: Zeile 17, Spalte Band: „abc“ ist keine Zahl …"
    QString text() const;
    bool operator==(const ImportSummary& other) const;
};

// The names of the collection's read-only lists, for planning.
csvimport::Lookups readLookups(db::Connection& connection);

// The currencies to offer for prices that name none: those the collection's
// own copies are priced in, the most used first and at most `most` of them,
// written as the import writes a cell's currency ("EUR" as "€"), then the
// euro and the mark when they are not among them.
QStringList offeredCurrencies(db::Connection& connection, int most = 10);

// The trial run: every decision storing makes, without writing. Refused rows
// are in the summary; a file that cannot be read or a mapping that cannot
// work throws.
ImportSummary dryRun(ComicData& data, const QString& path, const csvimport::Format& format,
                     const csvimport::Mapping& mapping, const ImportOptions& options = {});

// Stores the file, or nothing: a refused row, a file that cannot be read or
// any failure of the database throws (db::Error naming file, line and
// column) and leaves the collection as it was. A row being edited in the
// data's tables is posted first, as any move would.
ImportSummary importFile(ComicData& data, const QString& path, const csvimport::Format& format,
                         const csvimport::Mapping& mapping, const ImportOptions& options = {});

} // namespace csvstore
