#pragma once

#include "stats/Statistics.h"

#include <Qt>

class QAbstractItemModel;
class QStandardItemModel;

namespace stats {

// Each cell carries, beside its German text, the value it sorts by and the
// text it has in a CSV file (numbers without thousands separators).
enum Role { SortRole = Qt::UserRole + 1, CsvRole, SeriesIdRole };

// The tables of the statistics window; each fill replaces the model's rows.
void fillCurrencies(QStandardItemModel& model, const QList<CurrencyFigures>& rows);
void fillSeries(QStandardItemModel& model, const QList<SeriesFigures>& rows); // SeriesIdRole on column 0
void fillPublishers(QStandardItemModel& model, const QList<PublisherFigures>& rows);
void fillConditions(QStandardItemModel& model, const QList<ConditionFigures>& rows);
void fillYears(QStandardItemModel& model, const QList<YearFigures>& rows);

// How a condition and a year are named in tables and charts.
QString conditionLabel(const ConditionFigures& row);
QString yearLabel(const YearFigures& row);

// German text of numbers as the window shows them.
QString countText(qint64 value);
QString moneyText(double value);

// The model as a CSV file for a German spreadsheet: UTF-8 with a byte order
// mark, ";" between cells, CRLF after each line, the header first; cells
// with a separator, a quote or a line break in double quotes.
QByteArray toCsv(const QAbstractItemModel& model);

} // namespace stats
