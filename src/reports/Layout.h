#pragma once

#include "reports/ReportDefinition.h"
#include "reports/TextMetrics.h"

#include <QDate>
#include <QFont>
#include <QImage>
#include <QRgb>
#include <QString>
#include <climits>
#include <memory>
#include <vector>

namespace rpt {

class MemColumn;
class MemTable;

// Laid-out pages: positioned text boxes in millimetres on the paper, ready
// to be painted on any device. Floats keep a page of a large report small;
// their precision is far below a hundredth of a millimetre.

struct TextStyle {
    QString itemName;
    QFont font;
    double ascent = 0; // mm from a line's top to its baseline
};

struct TextBox {
    QString text;
    float x, y, w, h;
    quint16 style;   // index into LaidOutReport::styles
    bool clipped;    // the text is wider than its box and is cut there
};

struct FillBox {
    float x, y, w, h;
    QRgb color;
};

// Pictures of a report (the volumes' covers) by key. Asked whether there is
// one while the pages are laid out, for the picture itself only while a page
// is painted: a long list never holds more than a page of them.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual bool has(const QString& key) = 0;
    virtual QImage image(const QString& key) = 0; // null: none
};

// A picture fitted into its box, keeping its proportions.
struct ImageBox {
    float x, y, w, h;
    QString key;
    quint16 style; // of its item, for the item's name
};

// A band's outline in the layout view.
struct OutlineBox {
    float x, y, w, h;
};

struct Page {
    std::vector<FillBox> fills;
    std::vector<OutlineBox> outlines;
    std::vector<TextBox> texts;
    std::vector<ImageBox> images;
};

struct LaidOutReport {
    PageSetup page;
    std::vector<TextStyle> styles;
    std::vector<Page> pages;
    std::shared_ptr<ImageSource> images; // none: image items print nothing
};

// The layout pass: walks the bound table's rows and places the bands on
// pages. Bands grow with word-wrapped text; a band that does not fit below
// the last one starts a new page, which begins with the page header, the
// column header and the headers of the groups it continues. A group header
// stays with the first row of its group.
//
// It runs in slices, so that a preview can show the first pages while the
// rest are still being laid out.
class Layouter {
public:
    // data may be null: the report then has no rows. Both must outlive the
    // layouter. Without images, image items take no room and print nothing.
    Layouter(const ReportDefinition& definition, const MemTable* data, const QDate& today,
             std::shared_ptr<ImageSource> images = {});
    ~Layouter();
    Layouter(const Layouter&) = delete;
    Layouter& operator=(const Layouter&) = delete;

    // Lays out up to maxRows further rows; true when the report is complete.
    bool run(int maxRows = INT_MAX);
    bool finished() const { return m_finished; }
    // Pages that no further row can change.
    int completedPages() const;
    const LaidOutReport& result() const { return m_report; }
    // Hands the pages over; the layouter is of no further use.
    LaidOutReport take();

private:
    struct PreparedItem;
    struct PreparedBand;
    struct Group;

    void prepare(const ReportDefinition& definition);
    double measure(const PreparedBand& band, int row);
    void commit(const PreparedBand& band, int row, double height);
    bool fits(double height) const;
    void newPage(int row);
    void placeFooter(Group& group, int row);
    void finishRows();

    const MemTable* m_data;
    QString m_today;
    LaidOutReport m_report;
    std::vector<std::unique_ptr<TextMetrics>> m_metrics;
    std::vector<PreparedBand> m_pageBands;   // page and column headers
    std::vector<Group> m_groups;             // outermost first
    std::vector<PreparedBand> m_details;
    int m_rows = 0;
    int m_row = 0;
    double m_y = 0;
    double m_contentTop = 0; // below the headers of the current page
    bool m_started = false;
    bool m_finished = false;
    std::vector<TextBox> m_scratch;
    std::vector<ImageBox> m_scratchImages;
    std::vector<QString> m_lines;
};

// Lays out a whole report at once.
LaidOutReport layoutReport(const ReportDefinition& definition, const MemTable* data, const QDate& today,
                           std::shared_ptr<ImageSource> images = {});

// The layout view of a report: one page with each band once, outlined, its
// labels with their text and its other items with their expression or
// column name instead of a value.
LaidOutReport layoutDesign(const ReportDefinition& definition);

// A readable account of the pages: each box with its item, position and size
// in 0.1 mm, and text. Layout tests compare it with stored files.
QString describeLayout(const LaidOutReport& report);

} // namespace rpt
