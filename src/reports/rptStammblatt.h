#pragma once

#include "reports/Layout.h"
#include "reports/ReportDefinition.h"

#include <QDialog>

class QScrollArea;

namespace rpt {
class MemColumn;
class TReportPageView;
} // namespace rpt

// The master sheet of a comic as far as it was ever designed: its page with
// the heading and the date item, shown in the layout view at real size in a
// window of its own. It reads nothing from the database.
class TRPTStammblatt : public QDialog {
    Q_OBJECT
public:
    explicit TRPTStammblatt(QWidget* owner = nullptr);
    // With covers: the sheet shows the cover of the comic whose key is given
    // below its heading, as large as a thumbnail prints well.
    TRPTStammblatt(QWidget* owner, std::shared_ptr<rpt::ImageSource> covers, const QString& comicKey);
    ~TRPTStammblatt() override;

    rpt::ReportDefinition qrReport;
    rpt::ReportItem& qrlabPageHeader;
    rpt::ReportItem& QRExpr1;

    // "X" for a stored "1", nothing otherwise; no item of the sheet uses it yet.
    static QString fldFehltGetText(const rpt::MemColumn& sender, int row);

    const rpt::LaidOutReport& layoutView() const { return m_layout; }

private:
    void build(QWidget* owner);

    rpt::LaidOutReport m_layout;
    QScrollArea* sbxPage = nullptr;
    rpt::TReportPageView* pvPage = nullptr;
};
