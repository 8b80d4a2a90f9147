#include "reports/rptComicList.h"

#include "database/Connection.h"
#include "database/FieldNames.h"
#include "database/GermanOrder.h"
#include "database/MissingVolumes.h"
#include "database/Statement.h"

using rpt::BandType;
using rpt::ColumnType;
using rpt::ItemType;
using rpt::ReportItem;

namespace f = db::fields;

namespace {
// The list's own columns that no table has: the names the layout has always
// given them, spelt once so that the layout and the filling cannot differ.
constexpr QLatin1String kVerlagsText{"SCLVERLAGSTEXT"};
constexpr QLatin1String kKaufDatum{"SCLKAUFDATUM"};
constexpr QLatin1String kKaufPreis{"SCLKAUFPREIS"};
constexpr QLatin1String kKaufPreisWG{"SCLKAUFPREISWG"};

// The columns of listSql.
enum ListColumn {
    SeriesId, SeriesName, Publisher, Title, Isbn, Band, Missing, Edition, BoughtOn, Price, PriceCurrency, ComicId
};

ReportItem item(const char* name, ItemType type, const QString& text, double left, double top, double width)
{
    ReportItem i;
    i.name = QLatin1String(name);
    i.type = type;
    i.text = text;
    i.left = left;
    i.top = top;
    i.width = width;
    return i;
}

} // namespace

// Comparing the keys twice lets SQLite use the index on the copies' comic
// key and still match exactly; names sort as the catalogue's indexes do, and
// copies with equal names and volumes keep the order they were entered in.
QString TRPTListComic::listSql(sqlite3* db)
{
    return QStringLiteral("SELECT SCLSERIEID, SCLSERIENTEXT, SCLVERLAGTEXT, SCLTITEL1, SCLISBNNR, %3, SCLFEHLT, "
                          "LCLAUFLAGE, LCKKDATUM, LCLKPREIS, LCLKPREISWG, SCLCOMICID "
                          "FROM LOKALESTRIPOTHEK, SERVERSTRIPOTHEK "
                          "WHERE (LCLSERVERCOMICID = SCLCOMICID COLLATE NOCASE AND LCLSERVERCOMICID = SCLCOMICID) "
                          "ORDER BY %1, %2, SCLBAND, SERVERSTRIPOTHEK.rowid, LOKALESTRIPOTHEK.rowid")
        .arg(db::germanKeySql(db, f::SCLVERLAGTEXT), db::germanKeySql(db, f::SCLSERIENTEXT),
             db::volumeNumberSql(f::SCLBAND));
}

TRPTListComic::TRPTListComic(QObject* owner)
    : ReportForm(owner, QStringLiteral("phbHeader"), 8),
      fldSerienID(tblReport.addColumn(f::SRSERIENID, ColumnType::Text, 50)),
      fldSerienname(tblReport.addColumn(f::SRNAME, ColumnType::Text, 100)),
      fldVerlag(tblReport.addColumn(kVerlagsText, ColumnType::Text, 100)),
      fldTitel1(tblReport.addColumn(f::SCLTITEL1, ColumnType::Text, 100)),
      fldBand(tblReport.addColumn(f::SCLBAND, ColumnType::Integer)),
      fldISBNNr(tblReport.addColumn(f::SCLISBNNR, ColumnType::Text, 25)),
      fldAuflage(tblReport.addColumn(f::SCLAUFLAGE, ColumnType::Text, 25)),
      fldKaufdatum(tblReport.addColumn(kKaufDatum, ColumnType::Date)),
      fldKaufpreis(tblReport.addColumn(kKaufPreis, ColumnType::Currency)),
      fldKaufpreisWG(tblReport.addColumn(kKaufPreisWG, ColumnType::Text, 5)),
      fldFehlt(tblReport.addColumn(f::SCLFEHLT, ColumnType::Text, 10)),
      fldComicID(tblReport.addColumn(f::SCLCOMICID, ColumnType::Text, 50))
{
    setObjectName(QStringLiteral("RPTListComic"));
    pdfFileName = QStringLiteral("Gesamtliste.pdf");
    qrlabPageHeader.text = QStringLiteral("Stripothek");
    fldFehlt.setOnGetText(&TRPTListComic::fldFehltGetText);
    fldKaufpreis.setOnGetText([this](const rpt::MemColumn& sender, int row) {
        if (sender.isNull(row))
            return QString();
        const QString currency = fldKaufpreisWG.text(row);
        return currency.isEmpty() ? sender.text(row) : sender.text(row) + QLatin1Char(' ') + currency;
    });

    // The purchase columns sit further right than the heading row of old had
    // them, so that an ISBN-13 fits before them: they print what the user
    // recorded about each copy. The volume column holds any number it may
    // hold, "-2147483648" included; its heading stands above the numbers.
    constexpr double kBandLeft = 4.5;
    constexpr double kBandWidth = 17.0;
    constexpr double kTitleLeft = kBandLeft + kBandWidth + 0.8;
    rpt::ReportBand& columns = qrReport.addBand(QStringLiteral("QRBand1"), BandType::ColumnHeader, 5.0);
    ReportItem bandLabel = item("QRLabel1", ItemType::Label, "Band", kBandLeft, 1.0, kBandWidth);
    bandLabel.alignRight = true;
    columns.addItem(bandLabel);
    columns.addItem(item("QRLabel2", ItemType::Label, "Titel", kTitleLeft, 1.0, 0));
    columns.addItem(item("QRLabel3", ItemType::Label, "ISBN-Nr", 95.2, 1.0, 0));
    columns.addItem(item("QRLabel4", ItemType::Label, "Auflage", 121.4, 1.0, 0));
    columns.addItem(item("QRLabel5", ItemType::Label, "Kaufdatum", 137.2, 1.0, 0));
    ReportItem priceLabel = item("QRLabel6", ItemType::Label, "Kaufpreis", 153.0, 1.0, 21.2);
    priceLabel.alignRight = true;
    columns.addItem(priceLabel);
    for (ReportItem& label : columns.items)
        label.autoSize = !label.alignRight;

    rpt::ReportBand& group = qrReport.addBand(QStringLiteral("qrgComic"), BandType::GroupHeader, 5.0);
    // A series under two publishers, and the entries without a series, are
    // one group per publisher: each bar names the publisher of its lines.
    group.groupKeys = {f::SRSERIENID, kVerlagsText};
    group.reprintOnNewPage = true;
    group.background = QColor(0xc0, 0xc0, 0xc0);
    group.footer = QStringLiteral("qrSerieFooter");
    ReportItem series = item("QRDBText4", ItemType::DataText, f::SRNAME, 1.3, 0.9, 127.0);
    series.bold = true;
    group.addItem(series);
    ReportItem publisher = item("QRDBText6", ItemType::DataText, kVerlagsText, 129.6, 0.9, 189.1 - 129.6);
    publisher.alignRight = true;
    group.addItem(publisher);

    rpt::ReportBand& detail = qrReport.addBand(QStringLiteral("DetailBand1"), BandType::Detail, 4.0);
    detail.addItem(item("QRDBText7", ItemType::DataText, f::SCLFEHLT, 1.3, 0.4, 2.6));
    ReportItem band = item("qrBand", ItemType::DataText, f::SCLBAND, kBandLeft, 0.4, kBandWidth);
    band.alignRight = true;
    detail.addItem(band);
    ReportItem title = item("qrTitle", ItemType::DataText, f::SCLTITEL1, kTitleLeft, 0.4, 95.0 - kTitleLeft);
    title.wordWrap = true;
    detail.addItem(title);
    // An ISBN of up to 25 characters never runs into the edition.
    detail.addItem(item("QRDBText1", ItemType::DataText, f::SCLISBNNR, 95.2, 0.4, 121.4 - 95.2 - 0.6));
    detail.addItem(item("QRDBText2", ItemType::DataText, f::SCLAUFLAGE, 121.4, 0.4, 137.2 - 121.4 - 0.6));
    detail.addItem(item("QRDBText3", ItemType::DataText, kKaufDatum, 137.2, 0.4, 15.0));
    ReportItem price = item("QRDBText5", ItemType::DataText, kKaufPreis, 153.0, 0.4, 21.2);
    price.alignRight = true;
    detail.addItem(price);

    qrReport.addBand(QStringLiteral("qrSerieFooter"), BandType::GroupFooter, 1.6);
}

void TRPTListComic::showCovers(std::shared_ptr<rpt::ImageSource> covers)
{
    images = std::move(covers);
    rpt::ReportBand* detail = qrReport.findBand(QStringLiteral("DetailBand1"));
    if (detail->findItem(QStringLiteral("qrCover")))
        return;
    // Right of the price, in the room the ISBN and purchase columns leave.
    ReportItem cover = item("qrCover", ItemType::Image, f::SCLCOMICID, 176.0, 0.4, 14.0);
    cover.height = 20.0;
    detail->addItem(cover);
}

QString TRPTListComic::fldFehltGetText(const rpt::MemColumn& sender, int row)
{
    return rpt::missingFlagText(sender.text(row));
}

void TRPTListComic::AddListRow(rpt::MemTable& tblReport, const db::Statement& query)
{
    tblReport.append();
    try {
        tblReport.fieldByName(f::SRSERIENID).setValue(query.column(SeriesId));
        tblReport.fieldByName(f::SRNAME).setValue(query.column(SeriesName));
        tblReport.fieldByName(kVerlagsText).setValue(query.column(Publisher));
        tblReport.fieldByName(f::SCLTITEL1).setValue(query.column(Title));
        tblReport.fieldByName(f::SCLISBNNR).setValue(query.column(Isbn));
        tblReport.fieldByName(f::SCLBAND).setValue(query.column(Band));
        tblReport.fieldByName(f::SCLFEHLT).setValue(query.column(Missing));
        tblReport.fieldByName(f::SCLAUFLAGE).setValue(query.column(Edition));
        tblReport.fieldByName(kKaufDatum).setValue(query.column(BoughtOn));
        tblReport.fieldByName(kKaufPreis).setValue(query.column(Price));
        tblReport.fieldByName(kKaufPreisWG).setValue(query.column(PriceCurrency));
        tblReport.fieldByName(f::SCLCOMICID).setValue(query.column(ComicId));
        tblReport.post();
    } catch (...) {
        tblReport.cancel();
        throw;
    }
}

bool TRPTListComic::gather(db::Connection& connection)
{
    connection.beginRead();
    db::Statement& query = connection.cached(listSql(connection.handle()), QStringLiteral("qryListe"));
    const db::StatementReset resetting(query);
    if (!query.step())
        return false;
    tblReport.open();
    rpt::UnprintableNumbers unprintable;
    do {
        if (query.columnIsNull(Band) || rpt::UnprintableNumbers::fits(query.columnInt64(Band)))
            AddListRow(tblReport, query);
        else
            unprintable.note(query.column(ComicId).toString(), query.column(Title).toString(),
                             query.column(SeriesName).toString(), query.columnInt64(Band));
    } while (query.step());
    unprintable.check();
    return true;
}
