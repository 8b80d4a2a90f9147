#pragma once

#include "reports/Layout.h"

#include <QRectF>
#include <functional>

class QPagedPaintDevice;
class QPainter;

namespace rpt {

// Paints one laid-out page so that the paper fills target (device
// coordinates of the painter): the band backgrounds, the outlines of the
// layout view and the text. Paints nothing outside the page.
void paintPage(QPainter& painter, const LaidOutReport& report, int page, const QRectF& target);

// Prints pages first..last (0-based, inclusive) on a printer or PDF writer
// that is set to the report's paper with no margins. progress is told of
// each page before it is painted and may return false to stop; returns
// whether every page was printed.
bool printPages(QPagedPaintDevice& device, QPainter& painter, const LaidOutReport& report, int first, int last,
                const std::function<bool(int page)>& progress = {});

// Writes the whole report as a PDF file. Nothing is left at that name when
// writing fails or progress stops it; an existing file is replaced only by a
// complete new one. Throws db::Error with the reason.
bool writePdf(const LaidOutReport& report, const QString& fileName, const QString& title,
              const std::function<bool(int page)>& progress = {});

} // namespace rpt
