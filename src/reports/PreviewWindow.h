#pragma once

#include <QDialog>
#include <QTimer>

class QAction;
class QActionGroup;
class QLabel;
class QScrollArea;
class QToolBar;

namespace rpt {

class Layouter;
class TReportPageView;
struct LaidOutReport;

// The modal, maximised preview of a report: one page at a time, paged with
// the buttons, the page keys, Home and End or the mouse wheel, zoomed to the
// whole page, the page width or a percentage (Ctrl with the wheel or with +
// and -), printed through the print dialog or saved as PDF.
//
// Pages are laid out while the preview is open, a slice at a time between
// the user's actions, so the first page shows at once however long the
// report is; a page not yet laid out is laid out when asked for.
class TReportPreview : public QDialog {
    Q_OBJECT
public:
    enum class Zoom { WholePage, PageWidth, Percent };

    TReportPreview(Layouter& layouter, const QString& title, QWidget* parent = nullptr);
    ~TReportPreview() override;

    // The file name the PDF dialog suggests.
    void setSuggestedFileName(const QString& fileName) { m_suggestedFile = fileName; }

    const LaidOutReport& pages() const;
    int pageCount() const;      // pages laid out so far
    bool layoutFinished() const;
    int currentPage() const;    // 0-based
    QString pageText() const;   // "Seite n von m"
    Zoom zoom() const { return m_zoom; }
    double zoomPercent() const; // of the paper's real size

    void showPage(int page);
    void setZoom(Zoom zoom, double percent = 100);

    // Command handlers; the actions run them through the central error display.
    void btnFirstClick();
    void btnPriorClick();
    void btnNextClick();
    void btnLastClick();
    void btnPrintClick();
    void btnSavePdfClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* addCommand(const char* name, const QString& text, const QList<QKeySequence>& keys);
    void layoutSlice();
    void layoutUpTo(int pages); // at least this many pages, or all there are
    void updateControls();
    void applyZoom();
    bool wheel(class QWheelEvent* event);

    Layouter& m_layouter;
    QString m_title;
    QString m_suggestedFile;
    QTimer m_layoutTimer;
    Zoom m_zoom = Zoom::WholePage;
    double m_percent = 100;
    int m_wheelRest = 0;

    QToolBar* tbPreview = nullptr;
    QAction* btnFirst = nullptr;
    QAction* btnPrior = nullptr;
    QAction* btnNext = nullptr;
    QAction* btnLast = nullptr;
    QLabel* labPage = nullptr;
    QActionGroup* zoomGroup = nullptr;
    QAction* btnZoomPage = nullptr;
    QAction* btnZoomWidth = nullptr;
    QAction* btnZoom100 = nullptr;
    QAction* btnZoomIn = nullptr;
    QAction* btnZoomOut = nullptr;
    QLabel* labZoom = nullptr; // the zoom in per cent of the paper's size
    QAction* btnPrint = nullptr;
    QAction* btnSavePdf = nullptr;
    QAction* btnClose = nullptr;
    QScrollArea* sbxPage = nullptr;
    TReportPageView* pvPage = nullptr;
};

} // namespace rpt
