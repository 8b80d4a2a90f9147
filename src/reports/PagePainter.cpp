#include "reports/PagePainter.h"

#include "core/Errors.h"
#include "database/SqliteFailureText.h"

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <cerrno>

namespace rpt {

void paintPage(QPainter& painter, const LaidOutReport& report, int index, const QRectF& target)
{
    const Page& page = report.pages.at(size_t(index));
    const double u = kFontUnitsPerMm; // the painter works in the fonts' units
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / report.page.width / u, target.height() / report.page.height / u);
    painter.setClipRect(QRectF(0, 0, report.page.width * u, report.page.height * u), Qt::IntersectClip);

    for (const FillBox& f : page.fills)
        painter.fillRect(QRectF(f.x * u, f.y * u, f.w * u, f.h * u), QColor(f.color));

    if (!page.outlines.empty()) {
        QPen pen(QColor(0x80, 0x80, 0x80));
        pen.setCosmetic(true); // the layout view is only shown on the screen
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        for (const OutlineBox& o : page.outlines)
            painter.drawRect(QRectF(o.x * u, o.y * u, o.w * u, o.h * u));
    }

    if (report.images && !page.images.empty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        for (const ImageBox& i : page.images) {
            const QImage image = report.images->image(i.key);
            if (image.isNull())
                continue;
            // Top left in its box, as text starts there.
            const QSizeF size = QSizeF(image.size()).scaled(QSizeF(i.w, i.h), Qt::KeepAspectRatio);
            painter.drawImage(QRectF(i.x * u, i.y * u, size.width() * u, size.height() * u), image);
        }
    }

    painter.setPen(Qt::black);
    int current = -1;
    for (const TextBox& t : page.texts) {
        const TextStyle& style = report.styles.at(t.style);
        if (t.style != current) {
            painter.setFont(style.font);
            current = t.style;
        }
        const QPointF baseline(t.x * u, (t.y + style.ascent) * u);
        if (t.clipped) {
            painter.save();
            painter.setClipRect(QRectF(t.x * u, t.y * u, t.w * u, t.h * u), Qt::IntersectClip);
            painter.drawText(baseline, t.text);
            painter.restore();
        } else {
            painter.drawText(baseline, t.text);
        }
    }
    painter.restore();
}

bool printPages(QPagedPaintDevice& device, QPainter& painter, const LaidOutReport& report, int first, int last,
                const std::function<bool(int page)>& progress)
{
    // The paper keeps its proportions on a printer set to another size.
    const double scale = std::min(device.width() / report.page.width, device.height() / report.page.height);
    const QRectF target(0, 0, report.page.width * scale, report.page.height * scale);
    for (int p = first; p <= last; ++p) {
        if (progress && !progress(p))
            return false;
        if (p != first && !device.newPage())
            throw db::Error(QStringLiteral("Die Seite %1 konnte nicht begonnen werden").arg(p + 1));
        paintPage(painter, report, p, target);
    }
    return true;
}

namespace {
db::Error writeFailure(const QString& fileName, const QFileDevice& file, int errorNumber)
{
    return db::Error(QStringLiteral("Die Datei „%1“ lässt sich nicht schreiben: %2")
                         .arg(QDir::toNativeSeparators(fileName),
                              db::fileFailureReason(fileName, file.errorString(), errorNumber)));
}
} // namespace

bool writePdf(const LaidOutReport& report, const QString& fileName, const QString& title,
              const std::function<bool(int page)>& progress)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw writeFailure(fileName, file, errno);
    bool complete = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Stripothek"));
        writer.setPageSize(QPageSize(QSizeF(report.page.width, report.page.height), QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QPainter painter;
        if (!painter.begin(&writer))
            throw db::Error(QStringLiteral("Die Datei „%1“ kann nicht geschrieben werden").arg(fileName));
        try {
            complete = printPages(writer, painter, report, 0, int(report.pages.size()) - 1, progress);
        } catch (...) {
            painter.end();
            file.cancelWriting();
            throw;
        }
        painter.end();
    }
    if (!complete) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        throw writeFailure(fileName, file, errno);
    return true;
}

} // namespace rpt
