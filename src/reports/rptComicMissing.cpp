#include "reports/rptComicMissing.h"

#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "database/MissingVolumes.h"
#include "database/Statement.h"

#include <QCoreApplication>
#include <optional>

using rpt::BandType;
using rpt::ColumnType;
using rpt::ItemType;
using rpt::ReportItem;

namespace f = db::fields;

TRPTMissingComic::TRPTMissingComic(QObject* owner)
    : ReportForm(owner, QStringLiteral("PageHeaderBand1"), 10),
      fldSerienID(tblReport.addColumn(f::SRSERIENID, ColumnType::Text, 50)),
      fldSerienname(tblReport.addColumn(f::SRNAME, ColumnType::Text, 100)),
      fldBand(tblReport.addColumn(f::SCLBAND, ColumnType::Integer)),
      fldTitel1(tblReport.addColumn(f::SCLTITEL1, ColumnType::Text, 100))
{
    setObjectName(QStringLiteral("RPTMissingComic"));
    pdfFileName = QStringLiteral("Fehlende Bände.pdf");
    qrlabPageHeader.text = QStringLiteral("Liste mit den fehlenden Bänder in Serien");

    rpt::ReportBand& group = qrReport.addBand(QStringLiteral("QRGroup1"), BandType::GroupHeader, 6.35);
    group.groupKeys = {f::SRSERIENID};
    group.reprintOnNewPage = true;
    ReportItem name;
    name.name = QStringLiteral("QRDBText4");
    name.type = ItemType::DataText;
    name.text = f::SRNAME;
    name.left = 1.6;
    name.top = 1.9;
    name.autoSize = true;
    group.addItem(name);

    rpt::ReportBand& detail = qrReport.addBand(QStringLiteral("DetailBand1"), BandType::Detail, 3.7);
    // Wide enough for any number the column holds, "-2147483648" included.
    ReportItem band;
    band.name = QStringLiteral("QRDBText2");
    band.type = ItemType::DataText;
    band.text = f::SCLBAND;
    band.left = 2.4;
    band.width = 21.0;
    band.alignRight = true;
    detail.addItem(band);
    ReportItem title;
    title.name = QStringLiteral("QRDBText1");
    title.type = ItemType::DataText;
    title.text = f::SCLTITEL1;
    title.left = 25.6;
    title.width = 188.2 - title.left;
    title.wordWrap = true;
    detail.addItem(title);
}

namespace {
bool hasOwnCopies(db::Connection& connection)
{
    connection.beginRead();
    db::Statement& any = connection.cached(QStringLiteral("SELECT 1 FROM LOKALESTRIPOTHEK LIMIT 1"),
                                           QStringLiteral("qryComicLocal"));
    const db::StatementReset resetting(any);
    return any.step();
}

// The number a line prints under, if it has one.
std::optional<qint64> numberOf(const db::MissingVolume& line)
{
    if (line.kind == db::MissingVolume::Kind::LongGap ||
        (line.kind == db::MissingVolume::Kind::Volume && !line.entry->numbered))
        return std::nullopt;
    return line.first;
}
} // namespace

void TRPTMissingComic::AddMissingRow(rpt::MemTable& tblReport, const db::SeriesRun& run, const db::MissingVolume& line)
{
    tblReport.append();
    try {
        tblReport.fieldByName(f::SRSERIENID).setAsString(run.seriesId);
        tblReport.fieldByName(f::SRNAME).setAsString(run.seriesName);
        if (const std::optional<qint64> number = numberOf(line))
            tblReport.fieldByName(f::SCLBAND).setValue(*number);
        if (line.kind == db::MissingVolume::Kind::Volume)
            tblReport.fieldByName(f::SCLTITEL1).setAsString(line.entry->title);
        else if (line.kind == db::MissingVolume::Kind::LongGap)
            tblReport.fieldByName(f::SCLTITEL1).setAsString(line.text());
        tblReport.post();
    } catch (...) {
        tblReport.cancel();
        throw;
    }
}

bool TRPTMissingComic::gather(ComicData& data)
{
    if (!hasOwnCopies(data.dbConnection()))
        return false;
    tblReport.open();
    db::Table& catalogue = data.tblStripothek();
    rpt::UnprintableNumbers unprintable;
    // A gap beyond 32 bits is named by the volume above it, whose number is the one to correct.
    const auto note = [&](const db::SeriesRun& run, const db::MissingVolume& line) {
        db::Statement& entry = data.dbConnection().cached(
            QStringLiteral("SELECT SCLCOMICID, SCLTITEL1 FROM SERVERSTRIPOTHEK WHERE rowid = ?"),
            QStringLiteral("qryComicLocal"));
        const db::StatementReset resetting(entry);
        entry.bindInt64(1, line.entry->rowId);
        entry.step();
        unprintable.note(entry.column(0).toString(), entry.column(1).toString(), run.seriesName, line.entry->number);
    };
    const int noted = catalogue.recNo();
    db::ControlsDisabled quiet(catalogue);
    try {
        catalogue.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
        // What the window has pending (a repaint) happens before the walk,
        // not during it; typed input waits until the command is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        // Moving ends an edit as any move does: the walk reads what is stored.
        catalogue.first();
        db::WalkMissingVolumes(catalogue, {nullptr, [&](const db::SeriesRun& run, const db::MissingVolume& line) {
                                               const std::optional<qint64> number = numberOf(line);
                                               if (number && !rpt::UnprintableNumbers::fits(*number))
                                                   note(run, line);
                                               else
                                                   AddMissingRow(tblReport, run, line);
                                           }});
    } catch (...) {
        try {
            catalogue.setRecNo(noted);
        } catch (...) {
            // The walk's own error is the one to report.
        }
        throw;
    }
    catalogue.setRecNo(noted);
    unprintable.check();
    return true;
}
