#include "reports/PageView.h"

#include "reports/Layout.h"
#include "reports/PagePainter.h"

#include <QPainter>
#include <QPaintEvent>

namespace rpt {

TReportPageView::TReportPageView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TReportPageView::setReport(const LaidOutReport* report)
{
    m_report = report;
    m_page = 0;
    updateGeometry();
    update();
}

void TReportPageView::setPage(int page)
{
    if (page == m_page)
        return;
    m_page = page;
    update();
}

void TReportPageView::setPixelsPerMm(double pixelsPerMm)
{
    m_pixelsPerMm = pixelsPerMm;
    resize(sizeHint());
    updateGeometry();
    update();
}

QSize TReportPageView::paperSize() const
{
    if (!m_report)
        return {};
    return QSize(qRound(m_report->page.width * m_pixelsPerMm), qRound(m_report->page.height * m_pixelsPerMm));
}

QSize TReportPageView::sizeHint() const
{
    return paperSize() + QSize(2 * kGap, 2 * kGap);
}

QRect TReportPageView::paperRect() const
{
    const QSize paper = paperSize();
    // Centred when the view is wider or taller than the paper needs.
    const int x = std::max(kGap, (width() - paper.width()) / 2);
    const int y = std::max(kGap, (height() - paper.height()) / 2);
    return QRect(QPoint(x, y), paper);
}

void TReportPageView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Dark));
    if (!m_report || m_page < 0 || m_page >= int(m_report->pages.size()))
        return;
    const QRect paper = paperRect();
    painter.fillRect(paper.translated(3, 3), QColor(0, 0, 0, 90));
    painter.fillRect(paper, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setClipRect(event->rect());
    paintPage(painter, *m_report, m_page, QRectF(paper));
}

} // namespace rpt
