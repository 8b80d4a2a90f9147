#include "stats/StatsCharts.h"

#include "stats/StatsModels.h"

#include <QLocale>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QHorizontalBarSeries>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <map>

namespace stats {

namespace {

QChart* germanChart(const QString& title)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setLocale(QLocale(QLocale::German, QLocale::Germany));
    chart->setLocalizeNumbers(true);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

// A count axis from 0 with whole-number steps.
QValueAxis* countAxis(qint64 largest, const QString& title)
{
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    // "%d" shows nothing once the chart localises its numbers.
    axis->setLabelFormat(QStringLiteral("%.0f"));
    axis->setRange(0, std::max<qint64>(largest, 4));
    axis->applyNiceNumbers();
    return axis;
}

} // namespace

QChart* conditionChart(const QList<ConditionFigures>& rows)
{
    QChart* chart = germanChart(QStringLiteral("Eigene Exemplare nach Zustand"));
    auto* set = new QBarSet(QStringLiteral("Exemplare"));
    QStringList labels;
    qint64 largest = 0;
    for (const ConditionFigures& r : rows) {
        *set << double(r.copies);
        labels << conditionLabel(r);
        largest = std::max(largest, r.copies);
    }
    auto* series = new QHorizontalBarSeries;
    series->append(set);
    series->setLabelsVisible(true);
    series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    series->setLabelsFormat(QStringLiteral("@value"));
    chart->addSeries(series);

    auto* conditions = new QBarCategoryAxis;
    conditions->append(labels);
    conditions->setReverse(true);
    chart->addAxis(conditions, Qt::AlignLeft);
    series->attachAxis(conditions);
    QValueAxis* counts = countAxis(largest, QStringLiteral("Exemplare"));
    chart->addAxis(counts, Qt::AlignBottom);
    series->attachAxis(counts);
    chart->legend()->hide();
    return chart;
}

QChart* purchaseChart(const QList<YearFigures>& rows)
{
    QChart* chart = germanChart(QStringLiteral("Käufe pro Jahr"));
    std::map<int, const YearFigures*> byYear;
    for (const YearFigures& r : rows)
        if (r.year)
            byYear[*r.year] = &r;

    auto* copies = new QBarSet(QStringLiteral("gekaufte Exemplare"));
    auto* money = new QLineSeries;
    money->setName(QStringLiteral("Ausgaben in €"));
    auto* years = new QCategoryAxis;
    years->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    qint64 mostCopies = 0;
    double mostMoney = 0;
    if (!byYear.empty()) {
        const int first = byYear.begin()->first;
        const int last = byYear.rbegin()->first;
        // Every year would crowd the axis of a long collecting life.
        const int step = last - first < 15 ? 1 : last - first < 40 ? 5 : 10;
        for (int year = first; year <= last; ++year) {
            const auto it = byYear.find(year);
            const qint64 n = it == byYear.end() ? 0 : it->second->copies;
            const double euro = it == byYear.end() ? 0 : it->second->euro;
            const int x = year - first;
            *copies << double(n);
            money->append(x, euro);
            mostCopies = std::max(mostCopies, n);
            mostMoney = std::max(mostMoney, euro);
            if (year % step == 0 || step == 1)
                years->append(QString::number(year), x);
        }
        years->setRange(-0.5, last - first + 0.5);
    }
    auto* bars = new QBarSeries;
    bars->append(copies);
    chart->addSeries(bars);
    chart->addSeries(money);

    chart->addAxis(years, Qt::AlignBottom);
    bars->attachAxis(years);
    money->attachAxis(years);
    QValueAxis* counts = countAxis(mostCopies, QStringLiteral("Exemplare"));
    chart->addAxis(counts, Qt::AlignLeft);
    bars->attachAxis(counts);
    auto* euros = new QValueAxis;
    euros->setTitleText(QStringLiteral("Euro"));
    euros->setLabelFormat(QStringLiteral("%.0f"));
    euros->setRange(0, std::max(mostMoney, 10.0));
    euros->applyNiceNumbers();
    chart->addAxis(euros, Qt::AlignRight);
    money->attachAxis(euros);
    chart->legend()->setAlignment(Qt::AlignTop);
    return chart;
}

} // namespace stats
