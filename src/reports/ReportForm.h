#pragma once

#include "reports/Layout.h"
#include "reports/MemTable.h"
#include "reports/ReportDefinition.h"

#include <QDate>
#include <QObject>
#include <QSet>
#include <QStringList>

class QWidget;

namespace rpt {

// What the two list reports share: the report bound to its in-memory table,
// the page header with its heading and date, and the ways to show the rows:
// the modal preview and a PDF file. A form lives for one command.
class ReportForm : public QObject {
    Q_OBJECT
public:
    ReportForm(QObject* owner, const QString& headerBand, double baseFontSize);
    ~ReportForm() override;

    ReportDefinition qrReport;
    MemTable tblReport;
    ReportItem& qrlabPageHeader;
    ReportItem& QRExpr1;
    // What the preview suggests when the user saves the pages as PDF.
    QString pdfFileName;
    // Where image items find their pictures; none: they take no room.
    std::shared_ptr<ImageSource> images;

    // Lays out the rows and shows them in the modal preview; returns when the
    // user has closed it. The first page shows while later ones are still
    // being laid out.
    void Preview(QWidget* owner);
    // The laid-out pages, all at once.
    LaidOutReport layout(const QDate& today = QDate::currentDate()) const;
    // Writes every page to a PDF file; throws db::Error when it cannot.
    int writePdf(const QString& fileName, const QDate& today = QDate::currentDate()) const;

private:
    static ReportItem& withPageHeader(ReportDefinition& report, const QString& headerBand, double baseFontSize);
};

// Volume numbers a report's number column cannot hold: beyond 32 bits,
// which only other tools store. A report that meets one prints nothing and
// names every such comic, so that the user can correct them at once rather
// than read a list with volumes under no number.
class UnprintableNumbers {
public:
    static bool fits(qint64 number);
    void note(const QString& comicId, const QString& title, const QString& series, qint64 number);
    // Throws db::Error naming the comics noted.
    void check() const;

private:
    QStringList m_comics;
    QSet<QString> m_keys;
};

// The missing-flag rule: a stored "1" shows as "X", anything else as nothing.
QString missingFlagText(const QString& stored);

} // namespace rpt
