#include "reports/PreviewWindow.h"

#include "core/Errors.h"
#include "core/Command.h"
#include "core/WaitCursor.h"
#include "reports/Layout.h"
#include "reports/PagePainter.h"
#include "reports/PageView.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

namespace rpt {

namespace {
constexpr int kSliceMs = 30;     // layout between two looks at the user's input
constexpr int kSliceRows = 400;
constexpr double kMinPercent = 10;
constexpr double kMaxPercent = 800;
constexpr double kZoomStep = 1.25;

} // namespace

TReportPreview::TReportPreview(Layouter& layouter, const QString& title, QWidget* parent)
    : QDialog(parent), m_layouter(layouter), m_title(title)
{
    setObjectName(QStringLiteral("ReportPreview"));
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    tbPreview = new QToolBar(this);
    tbPreview->setObjectName(QStringLiteral("tbPreview"));
    tbPreview->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tbPreview->setIconSize(QSize(16, 16));
    QStyle* s = style();
    btnFirst = addCommand("btnFirst", QStringLiteral("Erste Seite"), {Qt::Key_Home, Qt::CTRL | Qt::Key_Home});
    btnFirst->setIcon(s->standardIcon(QStyle::SP_MediaSkipBackward));
    btnPrior = addCommand("btnPrior", QStringLiteral("Vorige Seite"), {Qt::Key_PageUp});
    btnPrior->setIcon(s->standardIcon(QStyle::SP_MediaSeekBackward));
    // Wide enough for any page count, so that the buttons beside it stay
    // where they are while the user pages.
    labPage = new QLabel(tbPreview);
    labPage->setObjectName(QStringLiteral("labPage"));
    labPage->setContentsMargins(8, 0, 8, 0);
    labPage->setAlignment(Qt::AlignCenter);
    labPage->setFixedWidth(labPage->fontMetrics().horizontalAdvance(QStringLiteral("Seite 00000 von 00000 …")) + 16);
    tbPreview->addWidget(labPage);
    btnNext = addCommand("btnNext", QStringLiteral("Nächste Seite"), {Qt::Key_PageDown});
    btnNext->setIcon(s->standardIcon(QStyle::SP_MediaSeekForward));
    btnLast = addCommand("btnLast", QStringLiteral("Letzte Seite"), {Qt::Key_End, Qt::CTRL | Qt::Key_End});
    btnLast->setIcon(s->standardIcon(QStyle::SP_MediaSkipForward));
    for (QAction* a : {btnFirst, btnPrior, btnNext, btnLast})
        if (auto* button = qobject_cast<QToolButton*>(tbPreview->widgetForAction(a)))
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbPreview->addSeparator();
    btnZoomPage = addCommand("btnZoomPage", QStringLiteral("Ganze Seite"), {});
    btnZoomWidth = addCommand("btnZoomWidth", QStringLiteral("Seitenbreite"), {});
    btnZoom100 = addCommand("btnZoom100", QStringLiteral("100 %"), {});
    zoomGroup = new QActionGroup(this);
    for (QAction* a : {btnZoomPage, btnZoomWidth, btnZoom100}) {
        a->setCheckable(true);
        zoomGroup->addAction(a);
    }
    btnZoomIn = addCommand("btnZoomIn", QStringLiteral("Größer"), {QKeySequence::ZoomIn, Qt::CTRL | Qt::Key_Equal});
    btnZoomOut = addCommand("btnZoomOut", QStringLiteral("Kleiner"), {QKeySequence::ZoomOut});
    labZoom = new QLabel(tbPreview);
    labZoom->setObjectName(QStringLiteral("labZoom"));
    labZoom->setContentsMargins(8, 0, 8, 0);
    labZoom->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labZoom->setFixedWidth(labZoom->fontMetrics().horizontalAdvance(QStringLiteral("000 %")) + 16);
    tbPreview->addWidget(labZoom);
    tbPreview->addSeparator();
    btnPrint = addCommand("btnPrint", QStringLiteral("Drucken …"), {QKeySequence::Print});
    btnSavePdf = addCommand("btnSavePdf", QStringLiteral("Als PDF speichern …"), {QKeySequence::Save});
    tbPreview->addSeparator();
    btnClose = addCommand("btnClose", QStringLiteral("Schließen"), {});

    pvPage = new TReportPageView;
    pvPage->setObjectName(QStringLiteral("pvPage"));
    pvPage->setReport(&m_layouter.result());
    sbxPage = new QScrollArea(this);
    sbxPage->setObjectName(QStringLiteral("sbxPage"));
    sbxPage->setWidget(pvPage);
    sbxPage->setAlignment(Qt::AlignCenter);
    sbxPage->setBackgroundRole(QPalette::Dark);
    sbxPage->viewport()->installEventFilter(this);
    sbxPage->setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tbPreview);
    layout->addWidget(sbxPage, 1);

    ui::onCommand(btnFirst, &QAction::triggered, this, [this](bool) { btnFirstClick(); });
    ui::onCommand(btnPrior, &QAction::triggered, this, [this](bool) { btnPriorClick(); });
    ui::onCommand(btnNext, &QAction::triggered, this, [this](bool) { btnNextClick(); });
    ui::onCommand(btnLast, &QAction::triggered, this, [this](bool) { btnLastClick(); });
    ui::onCommand(btnZoomPage, &QAction::triggered, this, [this](bool) { setZoom(Zoom::WholePage); });
    ui::onCommand(btnZoomWidth, &QAction::triggered, this, [this](bool) { setZoom(Zoom::PageWidth); });
    ui::onCommand(btnZoom100, &QAction::triggered, this, [this](bool) { setZoom(Zoom::Percent, 100); });
    ui::onCommand(btnZoomIn, &QAction::triggered, this,
                  [this](bool) { setZoom(Zoom::Percent, zoomPercent() * kZoomStep); });
    ui::onCommand(btnZoomOut, &QAction::triggered, this,
                  [this](bool) { setZoom(Zoom::Percent, zoomPercent() / kZoomStep); });
    ui::onCommand(btnPrint, &QAction::triggered, this, [this](bool) { btnPrintClick(); });
    ui::onCommand(btnSavePdf, &QAction::triggered, this, [this](bool) { btnSavePdfClick(); });
    connect(btnClose, &QAction::triggered, this, &QDialog::reject);

    // The first page is there before the window shows; the rest follows
    // between the user's actions.
    layoutUpTo(1);
    m_layoutTimer.setInterval(0);
    connect(&m_layoutTimer, &QTimer::timeout, this, [this] {
        ui::runCommand([this] {
            try {
                layoutSlice();
            } catch (...) {
                m_layoutTimer.stop(); // one message, not one per slice
                throw;
            }
        });
    });
    if (!m_layouter.finished())
        m_layoutTimer.start();

    // Maximised; also where no window manager would do it.
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    setZoom(Zoom::WholePage);
    updateControls();
    sbxPage->setFocus();
}

TReportPreview::~TReportPreview() = default;

QAction* TReportPreview::addCommand(const char* name, const QString& text, const QList<QKeySequence>& keys)
{
    QAction* action = tbPreview->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    if (!keys.isEmpty())
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text, keys.first().toString(QKeySequence::NativeText)));
    return action;
}

const LaidOutReport& TReportPreview::pages() const
{
    return m_layouter.result();
}

int TReportPreview::pageCount() const
{
    return m_layouter.completedPages();
}

bool TReportPreview::layoutFinished() const
{
    return m_layouter.finished();
}

int TReportPreview::currentPage() const
{
    return pvPage->page();
}

QString TReportPreview::pageText() const
{
    const QString text = QStringLiteral("Seite %1 von %2").arg(currentPage() + 1).arg(pageCount());
    // Later pages are still being laid out.
    return layoutFinished() ? text : text + QStringLiteral(" …");
}

void TReportPreview::layoutSlice()
{
    QElapsedTimer timer;
    timer.start();
    while (!m_layouter.finished() && timer.elapsed() < kSliceMs)
        m_layouter.run(kSliceRows);
    if (m_layouter.finished())
        m_layoutTimer.stop();
    updateControls();
}

void TReportPreview::layoutUpTo(int pages)
{
    if (m_layouter.finished() || m_layouter.completedPages() >= pages)
        return;
    ui::WaitCursor wait;
    while (!m_layouter.finished() && m_layouter.completedPages() < pages)
        m_layouter.run(kSliceRows);
    if (m_layouter.finished())
        m_layoutTimer.stop();
}

void TReportPreview::showPage(int page)
{
    layoutUpTo(page + 1);
    const int last = pageCount() - 1;
    pvPage->setPage(std::clamp(page, 0, std::max(0, last)));
    updateControls();
}

void TReportPreview::btnFirstClick()
{
    showPage(0);
}

void TReportPreview::btnPriorClick()
{
    showPage(currentPage() - 1);
}

void TReportPreview::btnNextClick()
{
    showPage(currentPage() + 1);
}

void TReportPreview::btnLastClick()
{
    layoutUpTo(INT_MAX);
    showPage(pageCount() - 1);
}

void TReportPreview::updateControls()
{
    const int page = currentPage();
    const int count = pageCount();
    btnFirst->setEnabled(page > 0);
    btnPrior->setEnabled(page > 0);
    btnNext->setEnabled(page + 1 < count || !layoutFinished());
    btnLast->setEnabled(page + 1 < count || !layoutFinished());
    labPage->setText(pageText());
    btnZoomPage->setChecked(m_zoom == Zoom::WholePage);
    btnZoomWidth->setChecked(m_zoom == Zoom::PageWidth);
    btnZoom100->setChecked(m_zoom == Zoom::Percent && std::abs(m_percent - 100) < 0.01);
}

double TReportPreview::zoomPercent() const
{
    const double realSize = logicalDpiX() / 25.4;
    return pvPage->pixelsPerMm() / realSize * 100;
}

void TReportPreview::setZoom(Zoom zoom, double percent)
{
    m_zoom = zoom;
    m_percent = std::clamp(percent, kMinPercent, kMaxPercent);
    applyZoom();
    updateControls();
}

void TReportPreview::applyZoom()
{
    const PageSetup& page = m_layouter.result().page;
    const QSize room = sbxPage->viewport()->size() - QSize(2 * TReportPageView::kGap, 2 * TReportPageView::kGap);
    double pixelsPerMm = logicalDpiX() / 25.4 * m_percent / 100;
    if (m_zoom == Zoom::PageWidth)
        pixelsPerMm = room.width() / page.width;
    else if (m_zoom == Zoom::WholePage)
        pixelsPerMm = std::min(room.width() / page.width, room.height() / page.height);
    pvPage->setPixelsPerMm(std::max(0.2, pixelsPerMm));
    labZoom->setText(QStringLiteral("%1 %").arg(qRound(zoomPercent())));
}

bool TReportPreview::wheel(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return false;
    if (event->modifiers() & Qt::ControlModifier) {
        setZoom(Zoom::Percent, zoomPercent() * std::pow(kZoomStep, delta / 120.0));
        return true;
    }
    // At the end of a page the wheel turns to the next one, at its top to
    // the one before; in between it scrolls.
    QScrollBar* bar = sbxPage->verticalScrollBar();
    const bool atEnd = delta < 0 ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum();
    if (!atEnd) {
        m_wheelRest = 0;
        return false;
    }
    m_wheelRest += delta;
    if (std::abs(m_wheelRest) < 120)
        return true;
    const bool forward = m_wheelRest < 0;
    m_wheelRest = 0;
    const int before = currentPage();
    showPage(before + (forward ? 1 : -1));
    if (currentPage() != before)
        bar->setValue(forward ? bar->minimum() : bar->maximum());
    return true;
}

bool TReportPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == sbxPage->viewport()) {
        if (event->type() == QEvent::Resize && m_zoom != Zoom::Percent)
            applyZoom();
        if (event->type() == QEvent::Wheel) {
            bool handled = false;
            ui::runCommand([&] { handled = wheel(static_cast<QWheelEvent*>(event)); });
            return handled;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TReportPreview::btnPrintClick()
{
    layoutUpTo(INT_MAX);
    const int count = pageCount();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_title);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
    printer.setFromTo(1, count);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, count);
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintCurrentPage |
                      QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    if (dialog.exec() != QDialog::Accepted)
        return;

    int first = 0;
    int last = count - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::clamp(printer.fromPage(), 1, count) - 1;
        last = std::clamp(printer.toPage(), first + 1, count) - 1;
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        first = last = currentPage();
    }
    QPainter painter;
    if (!painter.begin(&printer))
        throw db::Error(QStringLiteral("Der Drucker „%1“ nimmt den Report nicht an").arg(printer.printerName()));
    QProgressDialog progress(QStringLiteral("Der Report wird gedruckt …"), QStringLiteral("Abbrechen"), 0,
                             last - first + 1, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const bool complete = printPages(printer, painter, m_layouter.result(), first, last, [&](int page) {
        progress.setValue(page - first);
        return !progress.wasCanceled();
    });
    if (!complete)
        printer.abort();
    painter.end();
}

void TReportPreview::btnSavePdfClick()
{
    layoutUpTo(INT_MAX);
    const QString suggested = QDir(QDir::homePath()).filePath(m_suggestedFile.isEmpty() ? m_title + QStringLiteral(".pdf") : m_suggestedFile);
    QFileDialog dialog(this, QStringLiteral("Als PDF speichern"), suggested, QStringLiteral("PDF-Dateien (*.pdf)"));
    dialog.setObjectName(QStringLiteral("dlgSavePdf"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The suffix is added before the dialog asks whether to replace a file.
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString file = dialog.selectedFiles().first();
    QProgressDialog progress(QStringLiteral("Die PDF-Datei wird geschrieben …"), QStringLiteral("Abbrechen"), 0,
                             pageCount(), this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    writePdf(m_layouter.result(), file, m_title, [&](int page) {
        progress.setValue(page);
        return !progress.wasCanceled();
    });
}

} // namespace rpt
