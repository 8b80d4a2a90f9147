#pragma once

#include "csvimport/CsvReader.h"
#include "csvimport/Values.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Which column of a file goes into which field of the catalogue: proposed
// from the column names, changed by the user, saved for the next file of
// the same kind.
namespace csvimport {

enum class Target {
    None,
    // the catalogue entry
    Title1,
    Title2,
    Title3,
    Series,
    Volume,
    Publisher,
    Isbn,
    Pages,
    LiteratureType, // "Literaturtyp": Comic, Manga … (LITERATURART)
    LiteratureKind, // "Literaturart": Abenteuer, Funny … (UNTERART)
    Content,
    Remarks,
    Limitation,
    Missing,
    ToBuy,
    // names with a role each, or all roles in one column
    Authors,
    // the own copy
    CopyEdition,
    Condition,
    PurchaseDate,
    PurchasePrice,
    Currency,
    StoragePlace,
    CopyNumber,
    Execution1,
    Execution2,
    CopyRemarks,
};

// The target's name in a saved mapping ("volume") and for the user ("Band").
QString targetKey(Target target);
std::optional<Target> targetFromKey(const QString& key);
QString targetCaption(Target target);
QList<Target> allTargets(); // None first, in the order a wizard offers them
bool isCopyTarget(Target target);
// Authors and the memos take several columns (joined line by line); every
// other field one.
bool takesSeveralColumns(Target target);

// One column of the file. role is the author role of an Authors column: the
// role of names that do not name one themselves ("Zeichner: A" does).
struct ColumnMapping {
    QString name;   // the column's name in the header; empty without one
    int index = -1; // from 0
    Target target = Target::None;
    QString role;
    bool operator==(const ColumnMapping&) const = default;
};

// When a row gets an own copy besides its catalogue entry.
enum class CopyRule {
    IfFilled, // when a field of the copy (but the currency) has a value
    Always,
    Never,
};

struct Mapping {
    QList<ColumnMapping> columns; // unmapped columns may be left out
    CopyRule copies = CopyRule::IfFilled;
    // "A, B" names two authors; off for files that write "Goscinny, René".
    bool commaSeparatesAuthors = true;
    QString defaultCurrency; // for prices without one; empty: none
    DateOrder slashDates = DateOrder::DayMonth;
    std::optional<Format> file; // the file's format, when it was saved with it

    static constexpr int kVersion = 1;
    QJsonObject toJson() const;
    static Mapping fromJson(const QJsonObject& json); // throws db::Error
    // Through QSaveFile: a failed save leaves the old file.
    void save(const QString& path) const;
    static Mapping load(const QString& path);

    // The target of each of the file's columns, matched by name when the file
    // has a header (so a saved mapping survives reordered columns) and by
    // position otherwise. A named column missing from the file is refused.
    QList<ColumnMapping> resolve(const QStringList& header, int columnCount) const;
};

// The name of a price column without the currency it names ("Preis (€)" →
// "Preis", currency "€"); any other name as it is.
QString priceColumnName(const QString& columnName, QString* currency = nullptr);

// The field a column name proposes, and for an author column its role;
// Target::None for a name the import does not know.
Target proposeTarget(const QString& columnName, QString* role = nullptr);

// A mapping proposed from the header: each known name to its field, each
// field once (authors as often as there are columns). The sample records
// decide the order of dates written with slashes.
Mapping proposeMapping(const QStringList& header, const QList<Record>& sample = {});

} // namespace csvimport
