#include "stats/StatistikForm.h"

#include "core/Errors.h"
#include "core/Command.h"
#include "core/WaitCursor.h"
#include "database/SqliteFailureText.h"
#include "stats/StatsCharts.h"
#include "stats/StatsModels.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTime>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <cerrno>

namespace {

const char* const kOverviewCaptions[] = {
    "Bände im Katalog", "Eigene Exemplare", "Serien", "Autoren", "Als fehlend markierte Bände",
    "Zum Kauf vorgemerkte Bände", "Exemplare ohne Preis", "Exemplare ohne Katalogeintrag",
};

void replaceChart(QChartView* view, QChart* chart)
{
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

} // namespace

TStatistikForm::TStatistikForm(db::Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window), m_connection(connection), m_currencies(new QStandardItemModel(this)),
      m_series(new QStandardItemModel(this)), m_publishers(new QStandardItemModel(this)),
      m_conditions(new QStandardItemModel(this)), m_years(new QStandardItemModel(this))
{
    setObjectName(QStringLiteral("StatistikForm"));
    setWindowTitle(QStringLiteral("Statistik"));
    buildWindow();
    resize(960, 680);
}

TStatistikForm::~TStatistikForm() = default;

QTableView* TStatistikForm::newTable(const char* name, QStandardItemModel* model)
{
    auto* proxy = new QSortFilterProxyModel(this);
    proxy->setSourceModel(model);
    proxy->setSortRole(stats::SortRole);
    auto* table = new QTableView;
    table->setObjectName(QLatin1String(name));
    table->setModel(proxy);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Arrows move within the table; Tab, and Enter acting as Tab, go on to
    // the buttons instead of walking thousands of cells.
    table->setTabKeyNavigation(false);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(false);
    // The rows come in their natural order; a click on a title sorts them.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    return table;
}

QWidget* TStatistikForm::buildOverviewPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* figures = new QGroupBox(QStringLiteral("Sammlung"), page);
    auto* grid = new QGridLayout(figures);
    int i = 0;
    for (const char* caption : kOverviewCaptions) {
        auto* value = new QLabel(figures);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Two columns of caption and value.
        const int row = i % 4;
        const int column = (i / 4) * 3;
        grid->addWidget(new QLabel(QString::fromUtf8(caption) + QLatin1Char(':'), figures), row, column);
        grid->addWidget(value, row, column + 1);
        m_overviewValues << value;
        ++i;
    }
    grid->setColumnMinimumWidth(2, 40);
    grid->setColumnStretch(5, 1);
    layout->addWidget(figures);

    auto* value = new QGroupBox(QStringLiteral("Wert der eigenen Exemplare nach Kaufpreis"), page);
    auto* valueLayout = new QVBoxLayout(value);
    grdWaehrung = newTable("grdWaehrung", m_currencies);
    valueLayout->addWidget(grdWaehrung);
    labTotal = new QLabel(value);
    labTotal->setObjectName(QStringLiteral("labTotal"));
    labTotal->setWordWrap(true);
    valueLayout->addWidget(labTotal);
    layout->addWidget(value);
    layout->addStretch(1);
    return page;
}

void TStatistikForm::buildWindow()
{
    auto* layout = new QVBoxLayout(this);
    pcStatistik = new QTabWidget(this);
    pcStatistik->setObjectName(QStringLiteral("pcStatistik"));
    layout->addWidget(pcStatistik, 1);

    pcStatistik->addTab(buildOverviewPage(), QStringLiteral("Übersicht"));

    auto* seriesPage = new QWidget;
    auto* seriesLayout = new QVBoxLayout(seriesPage);
    grdSerien = newTable("grdSerien", m_series);
    seriesLayout->addWidget(grdSerien, 1);
    auto* seriesHint = new QLabel(
        QStringLiteral("Verlag: der Verlag der meisten Bände der Serie. Fehlende: die Zeilen der Liste „Fehlende "
                       "Bände auflisten“. Vollständigkeit: eigene, nicht als fehlend markierte Bände unter diesen "
                       "und den fehlenden. Ein Doppelklick zeigt die Serie in der Übersicht."),
        seriesPage);
    seriesHint->setWordWrap(true);
    btnShowSeries = new QPushButton(QStringLiteral("In der Übersicht zeigen"), seriesPage);
    btnShowSeries->setObjectName(QStringLiteral("btnShowSeries"));
    auto* seriesFoot = new QHBoxLayout;
    seriesFoot->addWidget(seriesHint, 1);
    seriesFoot->addWidget(btnShowSeries);
    seriesLayout->addLayout(seriesFoot);
    pcStatistik->addTab(seriesPage, QStringLiteral("Serien"));

    grdVerlage = newTable("grdVerlage", m_publishers);
    pcStatistik->addTab(grdVerlage, QStringLiteral("Verlage"));

    auto* conditions = new QSplitter(Qt::Horizontal);
    grdZustand = newTable("grdZustand", m_conditions);
    chartZustand = new QChartView;
    chartZustand->setObjectName(QStringLiteral("chartZustand"));
    chartZustand->setRenderHint(QPainter::Antialiasing);
    conditions->addWidget(grdZustand);
    conditions->addWidget(chartZustand);
    conditions->setStretchFactor(1, 1);
    conditions->setSizes({300, 640});
    pcStatistik->addTab(conditions, QStringLiteral("Zustand"));

    auto* purchases = new QSplitter(Qt::Vertical);
    chartKaeufe = new QChartView;
    chartKaeufe->setObjectName(QStringLiteral("chartKaeufe"));
    chartKaeufe->setRenderHint(QPainter::Antialiasing);
    grdKaeufe = newTable("grdKaeufe", m_years);
    purchases->addWidget(chartKaeufe);
    purchases->addWidget(grdKaeufe);
    purchases->setStretchFactor(0, 1);
    purchases->setSizes({420, 160});
    pcStatistik->addTab(purchases, QStringLiteral("Käufe pro Jahr"));

    auto* buttons = new QHBoxLayout;
    labStand = new QLabel(this);
    labStand->setObjectName(QStringLiteral("labStand"));
    buttons->addWidget(labStand, 1);
    btnRefresh = new QPushButton(QStringLiteral("Aktualisieren"), this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    btnRefresh->setToolTip(QStringLiteral("Die Zahlen neu berechnen (F5)"));
    btnCsv = new QPushButton(QStringLiteral("Als CSV speichern …"), this);
    btnCsv->setObjectName(QStringLiteral("btnCsv"));
    btnCsv->setToolTip(QStringLiteral("Die Tabelle dieser Seite als CSV-Datei speichern"));
    btnClose = new QPushButton(QStringLiteral("Schließen"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    for (QPushButton* b : {btnRefresh, btnCsv, btnClose})
        buttons->addWidget(b);
    layout->addLayout(buttons);

    ui::onCommand(btnRefresh, &QPushButton::clicked, this, [this](bool) { Refresh(); });
    ui::onCommand(btnCsv, &QPushButton::clicked, this, [this](bool) { btnCsvClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    connect(grdSerien, &QTableView::activated, this, &TStatistikForm::chooseSeries);
    // Enter moves on in this program's windows; the keyboard takes the button.
    connect(btnShowSeries, &QPushButton::clicked, this, [this] { chooseSeries(grdSerien->currentIndex()); });
    // Without a chosen row the button would do nothing at all.
    connect(grdSerien->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TStatistikForm::updateShowSeries);
    updateShowSeries();
}

void TStatistikForm::updateShowSeries()
{
    btnShowSeries->setEnabled(grdSerien->currentIndex().isValid());
}

void TStatistikForm::chooseSeries(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    const QModelIndex name = index.siblingAtColumn(0);
    Q_EMIT seriesChosen(name.data(stats::SeriesIdRole).toString(), name.data().toString());
}

void TStatistikForm::Refresh()
{
    // New rows replace the old ones; the series the user chose stays chosen,
    // so that "In der Übersicht zeigen" still means it.
    const QString chosenSeries = grdSerien->currentIndex().siblingAtColumn(0).data(stats::SeriesIdRole).toString();
    stats::Figures figures;
    {
        ui::WaitCursor wait;
        figures = stats::ComputeFiguresInParallel(m_connection);
    }
    m_figures = std::move(figures);
    showOverview();
    stats::fillCurrencies(*m_currencies, m_figures.currencies);
    stats::fillSeries(*m_series, m_figures.series);
    stats::fillPublishers(*m_publishers, m_figures.publishers);
    stats::fillConditions(*m_conditions, m_figures.conditions);
    stats::fillYears(*m_years, m_figures.years);
    replaceChart(chartZustand, stats::conditionChart(m_figures.conditions));
    replaceChart(chartKaeufe, stats::purchaseChart(m_figures.years));
    for (QTableView* table : {grdWaehrung, grdSerien, grdVerlage, grdZustand, grdKaeufe})
        table->resizeColumnsToContents();
    // Series and publishers take what the numbers leave.
    for (QTableView* table : {grdSerien, grdVerlage})
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    // The few currencies need no more room than their rows.
    grdWaehrung->setFixedHeight(grdWaehrung->horizontalHeader()->height() +
                                grdWaehrung->verticalHeader()->defaultSectionSize() * m_currencies->rowCount() +
                                2 * grdWaehrung->frameWidth() + 2);
    if (!chosenSeries.isEmpty()) {
        QAbstractItemModel* rows = grdSerien->model();
        const QModelIndexList found =
            rows->match(rows->index(0, 0), stats::SeriesIdRole, chosenSeries, 1, Qt::MatchExactly);
        if (!found.isEmpty()) {
            grdSerien->setCurrentIndex(found.constFirst());
            grdSerien->scrollTo(found.constFirst());
        }
    }
    updateShowSeries();
    labStand->setText(QStringLiteral("Stand: %1 Uhr").arg(QTime::currentTime().toString(QStringLiteral("HH:mm"))));
}

void TStatistikForm::showOverview()
{
    const stats::Overview& o = m_figures.overview;
    const qint64 values[] = {o.volumes,        o.copies, o.series, o.authors, o.flaggedMissing,
                             o.toBuy, m_figures.copiesWithoutPrice, m_figures.copiesWithoutComic};
    for (int i = 0; i < m_overviewValues.size(); ++i)
        m_overviewValues[i]->setText(stats::countText(values[i]));

    double euro = 0;
    bool others = false;
    for (const stats::CurrencyFigures& c : m_figures.currencies) {
        if (const auto value = c.euro())
            euro += *value;
        else if (c.copies > c.withoutPrice)
            others = true;
    }
    labTotal->setText(QStringLiteral("Zusammen %1 €; DM zum festen Kurs von 1,95583 DM je Euro umgerechnet.%2")
                          .arg(stats::moneyText(euro),
                               others ? QStringLiteral(" Preise ohne Währung oder in anderer Währung sind darin "
                                                       "nicht enthalten.")
                                      : QString()));
}

QTableView* TStatistikForm::currentTable() const
{
    switch (pcStatistik->currentIndex()) {
    case 0:
        return grdWaehrung;
    case 1:
        return grdSerien;
    case 2:
        return grdVerlage;
    case 3:
        return grdZustand;
    default:
        return grdKaeufe;
    }
}

void TStatistikForm::btnCsvClick()
{
    static const char* const names[] = {"Statistik-Wert", "Statistik-Serien", "Statistik-Verlage",
                                        "Statistik-Zustand", "Statistik-Käufe"};
    QFileDialog dialog(this, QStringLiteral("Als CSV speichern"),
                       QDir::home().filePath(QString::fromUtf8(names[pcStatistik->currentIndex()]) +
                                             QStringLiteral(".csv")),
                       QStringLiteral("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    dialog.setObjectName(QStringLiteral("dlgCsv"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveCsv(dialog.selectedFiles().constFirst());
}

void TStatistikForm::saveCsv(const QString& fileName) const
{
    // Written beside the target and moved over it at the end: a failure
    // never leaves half a file, nor destroys the one that was there.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(stats::toCsv(*currentTable()->model())) < 0 || !file.commit()) {
        const int code = errno;
        throw db::Error(QStringLiteral("Die Datei „%1“ lässt sich nicht schreiben: %2")
                            .arg(QDir::toNativeSeparators(fileName), db::fileFailureReason(fileName, file.errorString(), code)));
    }
}
