#include "reports/Layout.h"

#include "core/Errors.h"
#include "reports/MemTable.h"

#include <QTextStream>
#include <algorithm>

namespace rpt {

namespace {
constexpr double kEpsilon = 1e-6;

QString dateText(const QDate& date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

// One style per item that prints text; the painter sets its font.
quint16 addStyle(LaidOutReport& report, std::vector<std::unique_ptr<TextMetrics>>& metrics,
                 const ReportDefinition& definition, const ReportItem& item)
{
    TextStyle style;
    style.itemName = item.name;
    style.font = reportFont(definition.fontFamily, definition.itemFontSize(item), item.bold);
    metrics.push_back(std::make_unique<TextMetrics>(style.font));
    style.ascent = metrics.back()->ascent();
    report.styles.push_back(style);
    if (report.styles.size() > 0xffff)
        throw db::Error(QStringLiteral("Der Report hat zu viele Elemente"));
    return quint16(report.styles.size() - 1);
}

// Places one item's text relative to its band's top; returns how much
// taller than one line it made the item.
double placeText(const ReportItem& item, const TextMetrics& metrics, const QString& text, quint16 style,
                 const PageSetup& page, std::vector<TextBox>& out, std::vector<QString>& lines)
{
    if (text.isEmpty())
        return 0;
    const double x0 = page.marginLeft + item.left;
    const double right = page.marginLeft + page.printableWidth();
    const double lineHeight = metrics.lineHeight();
    const size_t first = out.size();
    double grow = 0;
    if (item.wordWrap) {
        metrics.breakLines(text, item.width, lines);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].isEmpty())
                continue;
            const double w = metrics.width(lines[i]);
            const double x = item.alignRight ? x0 + item.width - w : x0;
            out.push_back({lines[i], float(x), float(item.top + double(i) * lineHeight), float(w), float(lineHeight),
                           style, w > item.width + kEpsilon});
        }
        if (lines.size() > 1)
            grow = double(lines.size() - 1) * lineHeight;
    } else {
        QString line = text;
        if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
            line = line.simplified();
        double w = metrics.width(line);
        // Left-aligned text ends at the right margin at the latest.
        double field = item.autoSize ? w : item.width;
        if (!item.alignRight)
            field = std::min(field, right - x0);
        bool clipped = w > field + kEpsilon;
        // Cut in the middle of a letter and flush against the next column, a
        // text would run into it; shortened to whole letters and "…" it ends
        // visibly inside its own box.
        if (clipped) {
            const QString elided = metrics.elide(line, field);
            if (!elided.isEmpty()) {
                line = elided;
                w = metrics.width(line);
                clipped = false;
            }
        }
        const double boxWidth = std::min(w, field);
        const double x = item.alignRight ? x0 + item.width - boxWidth : x0;
        out.push_back({line, float(x), float(item.top), float(boxWidth), float(lineHeight), style, clipped});
    }
    // Nothing prints beyond the right margin.
    for (size_t i = first; i < out.size(); ++i) {
        TextBox& box = out[i];
        if (box.x + box.w > right + kEpsilon) {
            box.w = float(std::max(0.0, right - box.x));
            box.clipped = true;
        }
    }
    return grow;
}

} // namespace

struct Layouter::PreparedItem {
    const ReportItem* item;
    quint16 style;
    const TextMetrics* metrics;
    const MemColumn* column; // data text
    QString fixedText;       // label or expression
};

struct Layouter::PreparedBand {
    const ReportBand* band = nullptr;
    std::vector<PreparedItem> items;
};

struct Layouter::Group {
    PreparedBand header;
    PreparedBand footer; // band null: none
    std::vector<const MemColumn*> keys;
    std::vector<QString> values;
    bool open = false;

    bool sameAs(int row) const
    {
        for (size_t k = 0; k < keys.size(); ++k)
            if (keys[k]->text(row) != values[k])
                return false;
        return true;
    }
    void take(int row)
    {
        values.clear();
        for (const MemColumn* key : keys)
            values.push_back(key->text(row));
    }
};

Layouter::Layouter(const ReportDefinition& definition, const MemTable* data, const QDate& today,
                   std::shared_ptr<ImageSource> images)
    : m_data(data), m_today(dateText(today))
{
    m_report.page = definition.page;
    m_report.images = std::move(images);
    m_rows = data ? data->rowCount() : 0;
    prepare(definition);
}

Layouter::~Layouter() = default;

void Layouter::prepare(const ReportDefinition& definition)
{
    const auto prepareBand = [&](const ReportBand& band) {
        PreparedBand prepared;
        prepared.band = &band;
        for (const ReportItem& item : band.items) {
            PreparedItem p{&item, addStyle(m_report, m_metrics, definition, item), nullptr, nullptr, {}};
            p.metrics = m_metrics.back().get();
            switch (item.type) {
            case ItemType::Label:
                p.fixedText = item.text;
                break;
            case ItemType::Expression:
                p.fixedText = item.text.compare(QLatin1String("DATE"), Qt::CaseInsensitive) == 0 ? m_today : item.text;
                break;
            case ItemType::DataText:
            case ItemType::Image:
                if (m_data) {
                    p.column = m_data->findField(item.text);
                    if (!p.column)
                        throw db::Error(QStringLiteral("Das Element „%1“ des Reports zeigt die Spalte „%2“, "
                                                       "die es in %3 nicht gibt")
                                            .arg(item.name, item.text, m_data->name()));
                }
                break;
            }
            prepared.items.push_back(std::move(p));
        }
        return prepared;
    };

    for (BandType type : {BandType::PageHeader, BandType::ColumnHeader})
        for (const ReportBand& band : definition.bands())
            if (band.type == type)
                m_pageBands.push_back(prepareBand(band));
    for (const ReportBand& band : definition.bands()) {
        if (band.type == BandType::GroupHeader) {
            Group group;
            group.header = prepareBand(band);
            for (const QString& key : m_data ? band.groupKeys : QStringList()) {
                group.keys.push_back(m_data->findField(key));
                if (!group.keys.back())
                    throw db::Error(QStringLiteral("Die Gruppe „%1“ des Reports ordnet nach der Spalte „%2“, "
                                                   "die es in %3 nicht gibt")
                                        .arg(band.name, key, m_data->name()));
            }
            if (const ReportBand* footer = band.footer.isEmpty() ? nullptr : definition.findBand(band.footer))
                group.footer = prepareBand(*footer);
            m_groups.push_back(std::move(group));
        } else if (band.type == BandType::Detail) {
            m_details.push_back(prepareBand(band));
        }
    }
}

double Layouter::measure(const PreparedBand& band, int row)
{
    m_scratch.clear();
    m_scratchImages.clear();
    double grow = 0;
    for (const PreparedItem& p : band.items) {
        const QString text = p.column ? (row >= 0 && row < m_rows ? p.column->displayText(row) : QString())
                                      : p.fixedText;
        if (p.item->type == ItemType::Image) {
            // A line without a picture keeps its height.
            if (m_report.images && !text.isEmpty() && m_report.images->has(text)) {
                const ReportItem& i = *p.item;
                m_scratchImages.push_back({float(m_report.page.marginLeft + i.left), float(i.top), float(i.width),
                                           float(i.height), text, p.style});
                grow = std::max(grow, i.top + i.height - band.band->height);
            }
            continue;
        }
        grow = std::max(grow, placeText(*p.item, *p.metrics, text, p.style, m_report.page, m_scratch, m_lines));
    }
    return band.band->height + grow;
}

void Layouter::commit(const PreparedBand& band, int row, double height)
{
    Q_UNUSED(row);
    Page& page = m_report.pages.back();
    if (band.band->background.isValid())
        page.fills.push_back({float(m_report.page.marginLeft), float(m_y), float(m_report.page.printableWidth()),
                              float(height), band.band->background.rgb()});
    for (TextBox& box : m_scratch) {
        box.y = float(box.y + m_y);
        page.texts.push_back(std::move(box));
    }
    for (ImageBox& box : m_scratchImages) {
        box.y = float(box.y + m_y);
        page.images.push_back(std::move(box));
    }
    m_scratch.clear();
    m_scratchImages.clear();
    m_y += height;
}

bool Layouter::fits(double height) const
{
    return m_y + height <= m_report.page.printableBottom() + kEpsilon;
}

void Layouter::newPage(int row)
{
    // Pages of one report hold about as many boxes as the one before.
    const size_t expected = m_report.pages.empty() ? 0 : m_report.pages.back().texts.size();
    m_report.pages.emplace_back();
    m_report.pages.back().texts.reserve(expected);
    m_y = m_report.page.marginTop;
    for (const PreparedBand& band : m_pageBands)
        commit(band, row, measure(band, row));
    for (const Group& group : m_groups)
        if (group.open && group.header.band->reprintOnNewPage)
            commit(group.header, row, measure(group.header, row));
    m_contentTop = m_y;
}

void Layouter::placeFooter(Group& group, int row)
{
    group.open = false;
    if (!group.footer.band)
        return;
    const double height = measure(group.footer, row);
    if (!fits(height)) {
        // An empty footer only keeps groups apart; a page end does that already.
        if (group.footer.items.empty())
            return;
        newPage(row);
        commit(group.footer, row, measure(group.footer, row));
        return;
    }
    commit(group.footer, row, height);
}

bool Layouter::run(int maxRows)
{
    if (m_finished)
        return true;
    if (!m_started) {
        m_started = true;
        newPage(m_rows > 0 ? 0 : -1);
    }
    for (int done = 0; m_row < m_rows && done < maxRows; ++done, ++m_row) {
        const int row = m_row;
        size_t changed = m_groups.size();
        for (size_t g = 0; g < m_groups.size(); ++g) {
            const Group& group = m_groups[g];
            if (!group.open || !group.sameAs(row)) {
                changed = g;
                break;
            }
        }
        if (changed < m_groups.size()) {
            for (size_t g = m_groups.size(); g-- > changed;)
                if (m_groups[g].open)
                    placeFooter(m_groups[g], row - 1);
            // The new headers go on the page of their group's first row.
            double needed = 0;
            for (size_t g = changed; g < m_groups.size(); ++g)
                needed += measure(m_groups[g].header, row);
            for (const PreparedBand& detail : m_details)
                needed += measure(detail, row);
            if (!fits(needed) && m_y > m_contentTop + kEpsilon)
                newPage(row);
            for (size_t g = changed; g < m_groups.size(); ++g) {
                Group& group = m_groups[g];
                commit(group.header, row, measure(group.header, row));
                group.open = true;
                group.take(row);
            }
        }
        for (const PreparedBand& detail : m_details) {
            double height = measure(detail, row);
            if (!fits(height) && m_y > m_contentTop + kEpsilon) {
                newPage(row);
                height = measure(detail, row);
            }
            commit(detail, row, height);
        }
    }
    if (m_row >= m_rows)
        finishRows();
    return m_finished;
}

void Layouter::finishRows()
{
    for (size_t g = m_groups.size(); g-- > 0;)
        if (m_groups[g].open)
            placeFooter(m_groups[g], m_rows - 1);
    m_finished = true;
}

LaidOutReport Layouter::take()
{
    return std::move(m_report);
}

int Layouter::completedPages() const
{
    const int pages = int(m_report.pages.size());
    return m_finished ? pages : std::max(0, pages - 1);
}

LaidOutReport layoutReport(const ReportDefinition& definition, const MemTable* data, const QDate& today,
                           std::shared_ptr<ImageSource> images)
{
    Layouter layouter(definition, data, today, std::move(images));
    layouter.run();
    return layouter.take();
}

LaidOutReport layoutDesign(const ReportDefinition& definition)
{
    LaidOutReport report;
    report.page = definition.page;
    report.pages.emplace_back();
    Page& page = report.pages.back();
    std::vector<std::unique_ptr<TextMetrics>> metrics;
    std::vector<QString> lines;
    double y = definition.page.marginTop;
    for (const ReportBand& band : definition.bands()) {
        const float x = float(definition.page.marginLeft);
        const float w = float(definition.page.printableWidth());
        if (band.background.isValid())
            page.fills.push_back({x, float(y), w, float(band.height), band.background.rgb()});
        page.outlines.push_back({x, float(y), w, float(band.height)});
        std::vector<TextBox> boxes;
        for (const ReportItem& item : band.items) {
            const quint16 style = addStyle(report, metrics, definition, item);
            ReportItem shown = item;
            shown.wordWrap = false; // the layout view shows each item on its one line
            placeText(shown, *metrics.back(), item.text, style, definition.page, boxes, lines);
        }
        for (TextBox& box : boxes) {
            box.y = float(box.y + y);
            page.texts.push_back(std::move(box));
        }
        y += band.height;
    }
    return report;
}

QString describeLayout(const LaidOutReport& report)
{
    QString out;
    QTextStream s(&out);
    const auto mm = [](float v) { return QString::number(double(v), 'f', 1); };
    const auto box = [&](float x, float y, float w, float h) {
        return mm(x) + QLatin1Char(' ') + mm(y) + QLatin1Char(' ') + mm(w) + QLatin1Char(' ') + mm(h);
    };
    for (size_t p = 0; p < report.pages.size(); ++p) {
        const Page& page = report.pages[p];
        s << "page " << p + 1 << '\n';
        for (const OutlineBox& o : page.outlines)
            s << "  outline " << box(o.x, o.y, o.w, o.h) << '\n';
        for (const FillBox& f : page.fills)
            s << "  fill " << box(f.x, f.y, f.w, f.h) << ' ' << QColor(f.color).name() << '\n';
        for (const TextBox& t : page.texts)
            s << "  " << report.styles.at(t.style).itemName << ' ' << box(t.x, t.y, t.w, t.h) << " \"" << t.text
              << '"' << (t.clipped ? " clipped" : "") << '\n';
        for (const ImageBox& i : page.images)
            s << "  " << report.styles.at(i.style).itemName << ' ' << box(i.x, i.y, i.w, i.h) << " image\n";
    }
    return out;
}

} // namespace rpt
