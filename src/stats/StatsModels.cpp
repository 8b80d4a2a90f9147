#include "stats/StatsModels.h"

#include "database/GermanOrder.h"

#include <QLocale>
#include <QStandardItemModel>

namespace stats {

namespace {

const QLocale& german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

// The same numbers in a CSV file: no thousands separators, a spreadsheet
// reads "1234,50" as a number, "1.234,50" not always.
const QLocale& csvLocale()
{
    static const QLocale locale = [] {
        QLocale l(QLocale::German, QLocale::Germany);
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l;
    }();
    return locale;
}

QStandardItem* cell(const QString& shown, const QVariant& sortBy, const QString& csv, bool number)
{
    auto* item = new QStandardItem(shown);
    item->setEditable(false);
    item->setData(sortBy, SortRole);
    item->setData(csv, CsvRole);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// A name; an empty one is shown by a placeholder, which sorts with it.
QStandardItem* nameCell(const QString& name, const QString& placeholder = QString())
{
    const QString shown = name.isEmpty() ? placeholder : name;
    return cell(shown, db::germanKey(name), shown, false);
}

QStandardItem* countCell(qint64 value)
{
    return cell(countText(value), value, csvLocale().toString(value), true);
}

QStandardItem* moneyCell(double value)
{
    return cell(moneyText(value), value, csvLocale().toString(value, 'f', 2), true);
}

QStandardItem* noValueCell()
{
    return cell(QStringLiteral("–"), -1.0, QString(), true);
}

void reset(QStandardItemModel& model, const QStringList& headers)
{
    model.removeRows(0, model.rowCount());
    model.setColumnCount(int(headers.size()));
    model.setHorizontalHeaderLabels(headers);
}

QString currencyLabel(const CurrencyFigures& row)
{
    switch (row.currency) {
    case Currency::Euro:
        return QStringLiteral("€");
    case Currency::Mark:
        return QStringLiteral("DM");
    case Currency::None:
        return QStringLiteral("ohne Währung");
    case Currency::Other:
        break;
    }
    return row.text;
}

} // namespace

QString countText(qint64 value)
{
    return german().toString(value);
}

QString moneyText(double value)
{
    return german().toString(value, 'f', 2);
}

QString conditionLabel(const ConditionFigures& row)
{
    switch (row.kind) {
    case ConditionFigures::Kind::None:
        return QStringLiteral("ohne Angabe");
    case ConditionFigures::Kind::Unknown:
        return QStringLiteral("unbekannter Zustand");
    case ConditionFigures::Kind::Named:
        break;
    }
    return row.name.isEmpty() ? QStringLiteral("(ohne Namen)") : row.name;
}

QString yearLabel(const YearFigures& row)
{
    return row.year ? QString::number(*row.year) : QStringLiteral("ohne Datum");
}

void fillCurrencies(QStandardItemModel& model, const QList<CurrencyFigures>& rows)
{
    reset(model, {QStringLiteral("Währung"), QStringLiteral("Exemplare"), QStringLiteral("ohne Preis"),
                  QStringLiteral("Summe"), QStringLiteral("in Euro")});
    for (const CurrencyFigures& r : rows) {
        const QString label = currencyLabel(r);
        const std::optional<double> euro = r.euro();
        model.appendRow({cell(label, db::germanKey(label), label, false), countCell(r.copies),
                         countCell(r.withoutPrice), moneyCell(r.sum), euro ? moneyCell(*euro) : noValueCell()});
    }
}

void fillSeries(QStandardItemModel& model, const QList<SeriesFigures>& rows)
{
    // A series' volumes may come from several publishers: the column says
    // which one it names.
    reset(model, {QStringLiteral("Serie"), QStringLiteral("Verlag (meiste Bände)"), QStringLiteral("Bände im Katalog"),
                  QStringLiteral("eigene"), QStringLiteral("fehlende"), QStringLiteral("Vollständigkeit")});
    model.horizontalHeaderItem(1)->setToolTip(
        QStringLiteral("Der Verlag, bei dem die meisten Bände der Serie erschienen sind; bei "
                       "Gleichstand der, dessen Band in der Serie zuerst kommt"));
    for (const SeriesFigures& r : rows) {
        QStandardItem* name = nameCell(r.name, QStringLiteral("(ohne Namen)"));
        name->setData(r.seriesId, SeriesIdRole);
        const double percent = r.completeness();
        model.appendRow({name, nameCell(r.publisher, QStringLiteral("(ohne Verlag)")), countCell(r.catalogued),
                         countCell(r.owned), countCell(r.missing),
                         cell(german().toString(percent, 'f', 1) + QStringLiteral(" %"), percent,
                              csvLocale().toString(percent, 'f', 1), true)});
    }
}

void fillPublishers(QStandardItemModel& model, const QList<PublisherFigures>& rows)
{
    reset(model, {QStringLiteral("Verlag"), QStringLiteral("Exemplare"), QStringLiteral("ohne Preis"),
                  QStringLiteral("Summe €"), QStringLiteral("Summe DM"), QStringLiteral("DM in €"),
                  QStringLiteral("zusammen in €"), QStringLiteral("Preise anderer Währung")});
    for (const PublisherFigures& r : rows) {
        QStandardItem* name = r.inCatalogue ? nameCell(r.publisher, QStringLiteral("(ohne Verlag)"))
                                            : nameCell(QString(), QStringLiteral("(Comic nicht mehr im Katalog)"));
        // The copies without a comic sort after every publisher.
        if (!r.inCatalogue)
            name->setData(QString(QChar(0xFFFF)), SortRole);
        model.appendRow({name, countCell(r.copies), countCell(r.withoutPrice), moneyCell(r.euroSum),
                         moneyCell(r.markSum), moneyCell(r.markSum / kMarkPerEuro), moneyCell(r.euroTotal()),
                         countCell(r.otherPrices)});
    }
}

void fillConditions(QStandardItemModel& model, const QList<ConditionFigures>& rows)
{
    reset(model, {QStringLiteral("Zustand"), QStringLiteral("Exemplare"), QStringLiteral("Anteil")});
    qint64 all = 0;
    for (const ConditionFigures& r : rows)
        all += r.copies;
    for (int i = 0; i < rows.size(); ++i) {
        const ConditionFigures& r = rows[i];
        const double share = all > 0 ? 100.0 * double(r.copies) / double(all) : 0.0;
        // The list's own order (grade first) is the natural one.
        model.appendRow({cell(conditionLabel(r), i, conditionLabel(r), false), countCell(r.copies),
                         cell(german().toString(share, 'f', 1) + QStringLiteral(" %"), share,
                              csvLocale().toString(share, 'f', 1), true)});
    }
}

void fillYears(QStandardItemModel& model, const QList<YearFigures>& rows)
{
    reset(model, {QStringLiteral("Jahr"), QStringLiteral("Exemplare"), QStringLiteral("ohne Preis"),
                  QStringLiteral("Ausgaben in €"), QStringLiteral("Preise anderer Währung")});
    for (const YearFigures& r : rows)
        model.appendRow({cell(yearLabel(r), r.year ? *r.year : 1000000, yearLabel(r), false), countCell(r.copies),
                         countCell(r.withoutPrice), moneyCell(r.euro), countCell(r.otherPrices)});
}

QByteArray toCsv(const QAbstractItemModel& model)
{
    const auto quoted = [](QString text) {
        if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) ||
            text.contains(QLatin1Char('\r')))
            text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        return text;
    };
    QStringList lines;
    QStringList header;
    for (int c = 0; c < model.columnCount(); ++c)
        header << quoted(model.headerData(c, Qt::Horizontal).toString());
    lines << header.join(QLatin1Char(';'));
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c)
            cells << quoted(model.index(r, c).data(CsvRole).toString());
        lines << cells.join(QLatin1Char(';'));
    }
    return QByteArray("\xEF\xBB\xBF") + (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

} // namespace stats
