#include "backup/KeepPolicy.h"

#include <QSet>
#include <QSettings>

#include <algorithm>

namespace backup {

namespace {

QSettings settings()
{
    // Named explicitly: the program and the command-line tool run under
    // different application names but share this choice.
    return QSettings(QStringLiteral("Stripothek"), QStringLiteral("Stripothek"));
}

int monthIndex(QDate date)
{
    return date.year() * 12 + date.month() - 1;
}

} // namespace

KeepPolicy KeepPolicy::load()
{
    const QSettings s = settings();
    KeepPolicy policy;
    policy.last = std::max(1, s.value(QStringLiteral("Sicherungen/Letzte"), policy.last).toInt());
    policy.monthly = std::max(0, s.value(QStringLiteral("Sicherungen/Monate"), policy.monthly).toInt());
    return policy;
}

void KeepPolicy::save() const
{
    QSettings s = settings();
    s.setValue(QStringLiteral("Sicherungen/Letzte"), last);
    s.setValue(QStringLiteral("Sicherungen/Monate"), monthly);
}

QList<bool> KeepPolicy::keeps(const QList<QDateTime>& created, QDate today) const
{
    QList<bool> keep(created.size(), false);
    const int firstMonth = monthIndex(today) - monthly + 1;
    QSet<int> monthsTaken;
    for (qsizetype i = 0; i < created.size(); ++i) {
        if (i < std::max(1, last))
            keep[i] = true;
        const int month = monthIndex(created[i].date());
        // Newest first: the first copy met in a month is that month's newest.
        if (month >= firstMonth && month <= monthIndex(today) && !monthsTaken.contains(month)) {
            monthsTaken.insert(month);
            keep[i] = true;
        }
    }
    return keep;
}

} // namespace backup
