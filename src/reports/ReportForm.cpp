#include "reports/ReportForm.h"

#include "reports/PagePainter.h"
#include "reports/PreviewWindow.h"

namespace rpt {

ReportForm::ReportForm(QObject* owner, const QString& headerBand, double baseFontSize)
    : QObject(owner),
      tblReport(QStringLiteral("tblReport"), this),
      qrlabPageHeader(withPageHeader(qrReport, headerBand, baseFontSize)),
      QRExpr1(qrReport.item(QStringLiteral("QRExpr1")))
{
}

ReportForm::~ReportForm() = default;

ReportItem& ReportForm::withPageHeader(ReportDefinition& report, const QString& headerBand, double baseFontSize)
{
    report.fontSize = baseFontSize;
    addPageHeader(report, headerBand, QString(), baseFontSize);
    return report.item(QStringLiteral("qrlabPageHeader"));
}

LaidOutReport ReportForm::layout(const QDate& today) const
{
    return layoutReport(qrReport, &tblReport, today);
}

void ReportForm::Preview(QWidget* owner)
{
    Layouter layouter(qrReport, &tblReport, QDate::currentDate());
    TReportPreview preview(layouter, qrReport.title, owner);
    preview.setSuggestedFileName(pdfFileName);
    preview.exec();
}

int ReportForm::writePdf(const QString& fileName, const QDate& today) const
{
    const LaidOutReport pages = layout(today);
    rpt::writePdf(pages, fileName, qrReport.title);
    return int(pages.pages.size());
}

QString missingFlagText(const QString& stored)
{
    return stored == QLatin1String("1") ? QStringLiteral("X") : QString();
}

} // namespace rpt
