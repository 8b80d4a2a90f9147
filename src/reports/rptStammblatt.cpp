#include "reports/rptStammblatt.h"

#include "reports/MemTable.h"
#include "reports/PageView.h"
#include "reports/ReportForm.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace {
rpt::ReportItem& sheetHeader(rpt::ReportDefinition& report)
{
    report.fontSize = 8;
    rpt::addPageHeader(report, QStringLiteral("phbHeader"), QStringLiteral("Stammblatt"), 8);
    return report.item(QStringLiteral("qrlabPageHeader"));
}
} // namespace

TRPTStammblatt::TRPTStammblatt(QWidget* owner)
    : QDialog(owner), qrlabPageHeader(sheetHeader(qrReport)), QRExpr1(qrReport.item(QStringLiteral("QRExpr1")))
{
    m_layout = rpt::layoutDesign(qrReport);
    build(owner);
}

TRPTStammblatt::TRPTStammblatt(QWidget* owner, std::shared_ptr<rpt::ImageSource> covers, const QString& comicKey)
    : QDialog(owner), qrlabPageHeader(sheetHeader(qrReport)), QRExpr1(qrReport.item(QStringLiteral("QRExpr1")))
{
    // The picture's box: below the heading, a third of the paper wide.
    rpt::ReportBand& band = qrReport.addBand(QStringLiteral("qrbTitelbild"), rpt::BandType::Detail, 92.0);
    rpt::ReportItem cover;
    cover.name = QStringLiteral("qrTitelbild");
    cover.type = rpt::ItemType::Image;
    cover.text = comicKey;
    cover.left = 1.6;
    cover.top = 2.0;
    cover.width = 63.0;
    cover.height = 88.0;
    band.addItem(cover);
    m_layout = rpt::layoutDesign(qrReport);
    // The layout view would print the key as the item's text; the picture
    // stands there instead, or nothing for a comic without one.
    rpt::Page& page = m_layout.pages.front();
    std::erase_if(page.texts, [&](const rpt::TextBox& t) { return m_layout.styles.at(t.style).itemName == cover.name; });
    if (covers && !comicKey.isEmpty() && covers->has(comicKey)) {
        const double top = qrReport.page.marginTop + qrReport.findBand(QStringLiteral("phbHeader"))->height;
        quint16 style = 0;
        while (style < m_layout.styles.size() && m_layout.styles[style].itemName != cover.name)
            ++style;
        page.images.push_back({float(qrReport.page.marginLeft + cover.left), float(top + cover.top),
                               float(cover.width), float(cover.height), comicKey, style});
        m_layout.images = std::move(covers);
    }
    build(owner);
}

void TRPTStammblatt::build(QWidget* owner)
{
    setObjectName(QStringLiteral("RPTStammblatt"));
    setWindowTitle(QStringLiteral("Stammblatt"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    pvPage = new rpt::TReportPageView;
    pvPage->setObjectName(QStringLiteral("qrReport"));
    pvPage->setReport(&m_layout);
    pvPage->setPixelsPerMm(logicalDpiX() / 25.4);
    sbxPage = new QScrollArea(this);
    sbxPage->setObjectName(QStringLiteral("sbxPage"));
    sbxPage->setWidget(pvPage);
    sbxPage->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    sbxPage->setBackgroundRole(QPalette::Dark);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sbxPage);

    // The paper's width, and as much of its height as the screen allows,
    // centred on the main window.
    QSize wanted = pvPage->sizeHint() + QSize(sbxPage->verticalScrollBar()->sizeHint().width() + 4, 4);
    QRect area = owner ? owner->window()->frameGeometry() : QRect();
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        wanted = wanted.boundedTo(available.size() * 9 / 10);
        if (!area.isValid())
            area = available;
    }
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, wanted, area));
}

TRPTStammblatt::~TRPTStammblatt() = default;

QString TRPTStammblatt::fldFehltGetText(const rpt::MemColumn& sender, int row)
{
    return rpt::missingFlagText(sender.text(row));
}
