#pragma once

#include "reports/ReportForm.h"

namespace rpt {
struct CatalogueEntry;
} // namespace rpt

class ComicData;

// The report of the volumes missing from the user's series: one group per
// run of a series, one line per missing volume under the number it belongs at.
class TRPTMissingComic : public rpt::ReportForm {
    Q_OBJECT
public:
    explicit TRPTMissingComic(QObject* owner = nullptr);

    rpt::MemColumn& fldSerienID;
    rpt::MemColumn& fldSerienname;
    rpt::MemColumn& fldBand;
    rpt::MemColumn& fldTitel1;

    // Appends one row for a catalogue entry under the number count, with the
    // entry's title only when withTitle is set, and moves count on by one.
    static void AddMissingRow(rpt::MemTable& tblReport, const rpt::CatalogueEntry& entry, bool withTitle,
                              qint64& count);

    // Fills the report from the main window's catalogue as it is shown.
    // Returns false, and gathers nothing, when the user owns no copies at all.
    bool gather(ComicData& data);
};
