#include "reports/rptComicMissing.h"

#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "reports/MissingVolumes.h"

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
    group.groupKey = f::SRSERIENID;
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
    ReportItem band;
    band.name = QStringLiteral("QRDBText2");
    band.type = ItemType::DataText;
    band.text = f::SCLBAND;
    band.left = 2.4;
    band.width = 10.0;
    band.alignRight = true;
    detail.addItem(band);
    ReportItem title;
    title.name = QStringLiteral("QRDBText1");
    title.type = ItemType::DataText;
    title.text = f::SCLTITEL1;
    title.left = 14.6;
    title.width = 173.6;
    title.wordWrap = true;
    detail.addItem(title);
}

void TRPTMissingComic::AddMissingRow(rpt::MemTable& tblReport, const rpt::CatalogueEntry& entry, bool withTitle,
                                     qint64& count)
{
    tblReport.append();
    try {
        tblReport.fieldByName(f::SRSERIENID).setAsString(entry.seriesId);
        tblReport.fieldByName(f::SRNAME).setAsString(entry.seriesName);
        tblReport.fieldByName(f::SCLBAND).setValue(count);
        if (withTitle)
            tblReport.fieldByName(f::SCLTITEL1).setAsString(entry.title);
        tblReport.post();
    } catch (...) {
        tblReport.cancel();
        throw;
    }
    ++count;
}

bool TRPTMissingComic::gather(ComicData& data)
{
    const rpt::OwnCopies copies(data.dbConnection());
    if (!copies.any())
        return false;
    tblReport.open();
    rpt::WalkMissingVolumes(data.tblStripothek(), copies,
                            [this](const rpt::CatalogueEntry& entry, bool withTitle, qint64 number) {
                                AddMissingRow(tblReport, entry, withTitle, number);
                            });
    return true;
}
