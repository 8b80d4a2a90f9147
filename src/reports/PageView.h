#pragma once

#include <QWidget>

namespace rpt {

struct LaidOutReport;

// Shows one laid-out page as paper at a given scale. Only this page is
// painted, however many the report has.
class TReportPageView : public QWidget {
    Q_OBJECT
public:
    explicit TReportPageView(QWidget* parent = nullptr);

    // The report is not owned and must outlive the view.
    void setReport(const LaidOutReport* report);
    void setPage(int page);
    int page() const { return m_page; }
    void setPixelsPerMm(double pixelsPerMm);
    double pixelsPerMm() const { return m_pixelsPerMm; }
    // The paper's rectangle inside the view.
    QRect paperRect() const;

    QSize sizeHint() const override;

    static constexpr int kGap = 12; // around the paper, for its shadow

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize paperSize() const;

    const LaidOutReport* m_report = nullptr;
    int m_page = 0;
    double m_pixelsPerMm = 1;
};

} // namespace rpt
