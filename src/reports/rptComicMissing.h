#pragma once

#include "reports/ReportForm.h"

namespace db {
struct MissingVolume;
struct SeriesRun;
} // namespace db

class ComicData;

// The report of the volumes missing from the user's series: one group per
// run of a series, one line per missing volume under its own number.
class TRPTMissingComic : public rpt::ReportForm {
    Q_OBJECT
public:
    explicit TRPTMissingComic(QObject* owner = nullptr);

    rpt::MemColumn& fldSerienID;
    rpt::MemColumn& fldSerienname;
    rpt::MemColumn& fldBand;
    rpt::MemColumn& fldTitel1;

    // Appends one row for a line of the report: a volume with its number and
    // title, a number of a gap, or a long gap as one line of text.
    static void AddMissingRow(rpt::MemTable& tblReport, const db::SeriesRun& run, const db::MissingVolume& line);

    // Fills the report from the main window's catalogue as it is shown (its
    // filter, in series order); the table stays in that order, on the record
    // number it had. Returns false, and gathers nothing, when the user owns
    // no copies at all. Throws db::Error naming the comics whose volume
    // number the report cannot print.
    bool gather(ComicData& data);
};
