#pragma once

#include "stats/Statistics.h"

class QChart;

namespace stats {

// Own copies per condition, one horizontal bar each, the list's first
// condition on top.
QChart* conditionChart(const QList<ConditionFigures>& rows);

// Copies bought per year as bars, the money spent (euros, marks converted)
// as a line on an axis of its own. Years without a purchase between the
// first and the last show as empty; copies without a date are left out.
QChart* purchaseChart(const QList<YearFigures>& rows);

} // namespace stats
