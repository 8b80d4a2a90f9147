#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace rpt {

// What a banded report looks like: page set-up, bands and their items, all
// in millimetres. Nothing here knows about rows, fonts or painting.

enum class BandType { PageHeader, ColumnHeader, GroupHeader, GroupFooter, Detail };
enum class ItemType {
    Label,      // fixed text, which a command may change before the preview
    DataText,   // the shown text of a column of the bound table
    Expression, // "DATE": today's date
    Image,      // the picture whose key the column holds, fitted into width × height
};

struct ReportItem {
    QString name;
    ItemType type = ItemType::Label;
    QString text;           // the label's text, the column's name, or the expression
    double left = 0;        // from the band's left edge, which is the left margin
    double top = 0;         // from the band's top
    double width = 0;       // the field; a growing item widens with its text
    bool alignRight = false;
    double fontSize = 0;    // points; 0 takes the report's base size
    bool bold = false;
    bool wordWrap = false;  // breaks into lines within the width; its band grows
    bool autoSize = false;  // widens with its text instead of being cut
    double height = 0;      // an image's; its band grows to hold it where there is one
};

struct ReportBand {
    QString name;
    BandType type = BandType::Detail;
    double height = 0;
    QColor background;      // invalid: none
    // Group header only: the columns whose change of value starts a group,
    // whether the header is printed again on each page the group continues,
    // and the footer band that closes the group.
    QStringList groupKeys;
    bool reprintOnNewPage = false;
    QString footer;
    std::deque<ReportItem> items; // stable addresses: commands keep pointers to items

    ReportItem& addItem(const ReportItem& item);
    ReportItem* findItem(const QString& itemName);
};

struct PageSetup {
    double width = 210;  // A4 portrait
    double height = 297;
    double marginLeft = 10;
    double marginTop = 10;
    double marginRight = 10;
    double marginBottom = 10;
    double printableWidth() const { return width - marginLeft - marginRight; }
    double printableBottom() const { return height - marginBottom; }
};

class ReportDefinition {
public:
    QString title = QStringLiteral("Reportausgabe Stripothek");
    PageSetup page;
    QString fontFamily = QStringLiteral("Arial");
    double fontSize = 10;

    ReportBand& addBand(const QString& name, BandType type, double height);
    const std::deque<ReportBand>& bands() const { return m_bands; }
    ReportBand* findBand(const QString& name);
    const ReportBand* findBand(const QString& name) const;
    // Throws db::Error when no band holds an item of that name.
    ReportItem& item(const QString& itemName);

    double itemFontSize(const ReportItem& item) const { return item.fontSize > 0 ? item.fontSize : fontSize; }

private:
    std::deque<ReportBand> m_bands;
};

// The page header every report shares: its heading at the left, 12 pt bold,
// growing with its text, and today's date right-aligned in a field that
// ends just inside the right margin.
void addPageHeader(ReportDefinition& report, const QString& bandName, const QString& heading, double dateFontSize);

} // namespace rpt
