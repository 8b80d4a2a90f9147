#pragma once

#include "csvimport/CsvReader.h"
#include "csvimport/Mapping.h"
#include "csvimport/Names.h"

#include <QDate>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// From records and a mapping to typed rows the data module can store, with
// every refused cell named by line and column, without touching a database.
namespace csvimport {

struct ImportAuthor {
    QString name; // ANNAME, to be matched or created
    QString role; // ATTYP of an existing role (COMIC2AUTOR.C2AATID)
    bool operator==(const ImportAuthor&) const = default;
};

// An own copy (LOKALESTRIPOTHEK). Names of read-only lists are the exact
// stored names when the plan was given the lists.
struct ImportCopy {
    QString edition;                  // LCLAUFLAGE
    QString condition;                // ZWNAME → LCLZUSTANDID
    QDate purchaseDate;               // LCKKDATUM; null when not given
    std::optional<double> price;      // LCLKPREIS
    QString currency;                 // LCLKPREISWG
    QString storagePlace;             // LCLLAGERPLATZ
    std::optional<int> number;        // LCLNUMMER
    QString execution1;               // AFNAME → LCLAUSFUEHRUNGID1
    QString execution2;               // AFNAME → LCLAUSFUEHRUNGID2
    QString remarks;                  // LCLBEMERKUNG
    bool operator==(const ImportCopy&) const = default;
};

// One catalogue entry (SERVERSTRIPOTHEK) with what hangs on it. Texts are
// cleaned and within their fields' sizes; empty means not given.
struct ImportRow {
    int line = 0;                     // the file's line the record begins on
    QString title1, title2, title3;   // SCLTITEL1..3
    QString series;                   // SRNAME, to be matched or created → SCLSERIEID
    std::optional<int> volume;        // SCLBAND
    QString publisher;                // VLNAME1, to be matched or created → SCLVERLAGID
    QString isbn;                     // SCLISBNNR as written; the before-post rule derives the rest
    std::optional<int> pages;         // SCLSEITEN
    QString literatureType;           // LANAME → SCLLITARTID ("Literaturtyp")
    QString literatureKind;           // UANAME → SCLSPARTEID ("Literaturart")
    QString content;                  // SCLINHALT
    QString remarks;                  // SCLBEMERKUNG
    std::optional<int> limitation;    // SCLMAXLIMANZAHL
    bool missing = false;             // SCLFEHLT
    bool toBuy = false;               // SCLZUKAUFEN
    QList<ImportAuthor> authors;      // COMIC2AUTOR, each name and role once
    std::optional<ImportCopy> copy;
    bool operator==(const ImportRow&) const = default;
};

struct RowError {
    int line = 0;
    QString column; // the column's name, or "3" without a header; empty for the whole row
    QString message;
    // "Zeile 17, Spalte Band: „abc“ ist keine Zahl"
    QString text() const;
};

// The names of the collection's read-only lists. A list left empty is not
// checked here: its values pass as written and the caller must match them.
struct Lookups {
    QStringList roles;           // AUTORTYP.ATTYP
    QStringList conditions;      // ZUSTANDSARTEN.ZWNAME
    QStringList literatureTypes; // LITERATURART.LANAME
    QStringList literatureKinds; // UNTERART.UANAME
    QStringList executions;      // AUSFUEHRUNGEN.AFNAME
};

struct PlanOptions {
    Lookups lookups;
    QDate today = QDate::currentDate(); // for two-digit years
    int maxErrors = 1000;               // kept in full; the rest only counted
    // Asked now and then, on the thread that reads, how far reading has come;
    // false cancels the pass (Cancelled is thrown).
    std::function<bool(qint64 bytesRead, qint64 fileSize)> progress;
};

// The user cancelled a pass over a file: nothing of it may stay.
class Cancelled : public db::Error {
public:
    Cancelled();
};

struct PlanSummary {
    int records = 0;      // data records read, empty ones included
    int emptyRecords = 0; // records without any value (";;;;"), skipped
    int rows = 0;         // rows planned
    int copies = 0;
    int authorLinks = 0;
    int refusedRows = 0;
    int errorCount = 0;
    QList<RowError> errors; // the first PlanOptions::maxErrors
    int windows1252Lines = 0;
    int firstWindows1252Line = 0;
    QStringList ignoredColumns; // named in the header, mapped to no field
    // Purchase dates like 03/10/1998, read in the mapping's order.
    int ambiguousDates = 0;
    int firstAmbiguousDateLine = 0;
    QString firstAmbiguousDate;
    QDate firstAmbiguousDateRead;
    DateOrder slashDates = DateOrder::DayMonth;
    // Author cells like "Uderzo, Albert" read as two names, commas separating them.
    int commaNames = 0;
    int firstCommaNamesLine = 0;
    QString firstCommaNames;
    // Prices without a currency that took the mapping's default.
    int defaultCurrencyPrices = 0;
    int firstDefaultCurrencyLine = 0;
    QString defaultCurrency;
    // The refused rows and the notes for the dry run, one line each.
    QStringList problems() const;
};

class Planner {
public:
    // Refuses a mapping that cannot work (db::Error): a field mapped twice,
    // no title, series or ISBN, an author role the collection does not know,
    // a named column the header lacks.
    Planner(const QStringList& header, const Mapping& mapping, const PlanOptions& options);

    // The row of one record, or nothing when the record is empty or refused
    // (then its errors are in the summary). Never throws for bad values.
    std::optional<ImportRow> plan(const Record& record);
    const PlanSummary& summary() const { return m_summary; }

private:
    struct Pending;
    void apply(const ColumnMapping& column, const QString& cell, ImportRow& row, Pending& pending);
    void error(int line, const QString& column, const QString& message);

    QStringList m_header;
    QList<ColumnMapping> m_columns; // the mapped ones, resolved
    Mapping m_mapping;
    PlanOptions m_options;
    LookupList m_roles, m_conditions, m_literatureTypes, m_literatureKinds, m_executions;
    PlanSummary m_summary;
    int m_rowErrors = 0;
};

// The author names and roles of one cell. Names are separated by ";", line
// breaks, "/" and "&", and by "," when commaSeparates; "Zeichner: A; Texter:
// B" gives each name the role written before it (and keeps it for the names
// that follow), "A (Zeichner)" one name its own; the rest take columnRole.
// Throws ValueError for an unknown role or a name without any.
QList<ImportAuthor> parseAuthors(QStringView cell, const QString& columnRole, bool commaSeparates,
                                 const LookupList& roles);

// The whole pass over a file: every row that plans goes to sink, in file
// order. Throws ReadError when the file cannot be read, or has no data.
PlanSummary planFile(const QString& path, const Format& format, const Mapping& mapping, const PlanOptions& options,
                     const std::function<void(const ImportRow&)>& sink = {}, const Limits& limits = {});

} // namespace csvimport
