#include "reports/ReportForm.h"

#include "reports/PagePainter.h"
#include "reports/PreviewWindow.h"

#include "core/Errors.h"

#include <QLocale>
#include <limits>

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
    return layoutReport(qrReport, &tblReport, today, images);
}

void ReportForm::Preview(QWidget* owner)
{
    Layouter layouter(qrReport, &tblReport, QDate::currentDate(), images);
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

bool UnprintableNumbers::fits(qint64 number)
{
    return number >= std::numeric_limits<qint32>::min() && number <= std::numeric_limits<qint32>::max();
}

void UnprintableNumbers::note(const QString& comicId, const QString& title, const QString& series, qint64 number)
{
    if (m_keys.contains(comicId))
        return;
    m_keys.insert(comicId);
    const QLocale german(QLocale::German, QLocale::Germany);
    m_comics << QStringLiteral("„%1“, Serie „%2“, Band %3 (Schlüssel %4)")
                    .arg(title, series, german.toString(number), comicId);
}

void UnprintableNumbers::check() const
{
    if (m_comics.isEmpty())
        return;
    constexpr int kNamed = 10;
    QStringList named = m_comics.mid(0, kNamed);
    if (m_comics.size() > kNamed)
        named << QStringLiteral("und %1 weitere").arg(m_comics.size() - kNamed);
    const QLocale german(QLocale::German, QLocale::Germany);
    throw db::Error(QStringLiteral("Der Report kann nur Bandnummern von %1 bis %2 drucken. Bitte korrigieren Sie "
                                   "die Bandnummer dieser Comics:\n%3")
                        .arg(german.toString(std::numeric_limits<qint32>::min()),
                             german.toString(std::numeric_limits<qint32>::max()), named.join(QLatin1Char('\n'))));
}

QString missingFlagText(const QString& stored)
{
    return stored == QLatin1String("1") ? QStringLiteral("X") : QString();
}

} // namespace rpt
