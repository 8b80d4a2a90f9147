#pragma once

#include "reports/ReportForm.h"

struct sqlite3;

namespace db {
class Connection;
class Statement;
} // namespace db

// The list of the whole collection: one line per own copy, grouped by series
// under a grey bar with the series and its publisher, in the order of
// publisher, series and volume.
class TRPTListComic : public rpt::ReportForm {
    Q_OBJECT
public:
    explicit TRPTListComic(QObject* owner = nullptr);

    rpt::MemColumn& fldSerienID;
    rpt::MemColumn& fldSerienname;
    rpt::MemColumn& fldVerlag;
    rpt::MemColumn& fldTitel1;
    rpt::MemColumn& fldBand;
    rpt::MemColumn& fldISBNNr;
    rpt::MemColumn& fldAuflage;
    rpt::MemColumn& fldKaufdatum;
    rpt::MemColumn& fldKaufpreis;
    rpt::MemColumn& fldKaufpreisWG; // the currency printed after the price
    rpt::MemColumn& fldFehlt;
    rpt::MemColumn& fldComicID; // whose cover the line shows

    // Each line of a volume with a cover shows its thumbnail at the right;
    // without this call the list prints as it always has.
    void showCovers(std::shared_ptr<rpt::ImageSource> covers);

    // "X" for a stored "1", nothing otherwise.
    static QString fldFehltGetText(const rpt::MemColumn& sender, int row);

    // The own copies that have a catalogue entry, with the fields of both,
    // ordered by publisher, series, volume, for the file db. Its columns are
    // the ones AddListRow reads, in this order.
    static QString listSql(sqlite3* db);

    // Appends one row from the query's current row.
    static void AddListRow(rpt::MemTable& tblReport, const db::Statement& query);

    // Fills the report from the collection. Returns false, and gathers
    // nothing, when no own copy has a catalogue entry.
    bool gather(db::Connection& connection);
};
