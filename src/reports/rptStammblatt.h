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
    ~TRPTStammblatt() override;

    rpt::ReportDefinition qrReport;
    rpt::ReportItem& qrlabPageHeader;
    rpt::ReportItem& QRExpr1;

    // "X" for a stored "1", nothing otherwise; no item of the sheet uses it yet.
    static QString fldFehltGetText(const rpt::MemColumn& sender, int row);

    const rpt::LaidOutReport& layoutView() const { return m_layout; }

private:
    rpt::LaidOutReport m_layout;
    QScrollArea* sbxPage = nullptr;
    rpt::TReportPageView* pvPage = nullptr;
};
