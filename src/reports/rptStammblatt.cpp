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
    setObjectName(QStringLiteral("RPTStammblatt"));
    setWindowTitle(QStringLiteral("Stammblatt"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    m_layout = rpt::layoutDesign(qrReport);
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
