#include "reports/ReportDefinition.h"

#include "core/Errors.h"

namespace rpt {

ReportItem& ReportBand::addItem(const ReportItem& item)
{
    items.push_back(item);
    return items.back();
}

ReportItem* ReportBand::findItem(const QString& itemName)
{
    for (ReportItem& i : items)
        if (i.name == itemName)
            return &i;
    return nullptr;
}

ReportBand& ReportDefinition::addBand(const QString& name, BandType type, double height)
{
    ReportBand band;
    band.name = name;
    band.type = type;
    band.height = height;
    m_bands.push_back(band);
    return m_bands.back();
}

ReportBand* ReportDefinition::findBand(const QString& name)
{
    for (ReportBand& b : m_bands)
        if (b.name == name)
            return &b;
    return nullptr;
}

const ReportBand* ReportDefinition::findBand(const QString& name) const
{
    return const_cast<ReportDefinition*>(this)->findBand(name);
}

ReportItem& ReportDefinition::item(const QString& itemName)
{
    for (ReportBand& b : m_bands)
        if (ReportItem* i = b.findItem(itemName))
            return *i;
    throw db::Error(QStringLiteral("Der Report hat kein Element „%1“").arg(itemName));
}

void addPageHeader(ReportDefinition& report, const QString& bandName, const QString& heading, double dateFontSize)
{
    ReportBand& band = report.addBand(bandName, BandType::PageHeader, 6.9);
    ReportItem label;
    label.name = QStringLiteral("qrlabPageHeader");
    label.text = heading;
    label.left = 1.6;
    label.top = 0.8;
    label.fontSize = 12;
    label.bold = true;
    label.autoSize = true;
    band.addItem(label);

    ReportItem date;
    date.name = QStringLiteral("QRExpr1");
    date.type = ItemType::Expression;
    date.text = QStringLiteral("DATE");
    date.width = 24.6;
    date.left = report.page.printableWidth() - 0.8 - date.width;
    date.top = 0.8;
    date.alignRight = true;
    date.fontSize = dateFontSize;
    band.addItem(date);
}

} // namespace rpt
