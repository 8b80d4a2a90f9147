#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>

namespace backup {

// Which copies stay: the newest `last` ones, and beside them the newest copy
// of each of the `monthly` calendar months up to and including this one, so a
// mistake found weeks later can still be undone.
struct KeepPolicy {
    int last = 10;
    int monthly = 12;

    // The user's choice, shared by the program and stripothek-db, so that a
    // backup from a script keeps what the program would keep.
    static KeepPolicy load();
    void save() const;

    // created: the copies' times, newest first. Returns, for each, whether it
    // stays. The newest copy always stays, whatever the numbers say.
    QList<bool> keeps(const QList<QDateTime>& created, QDate today) const;
};

} // namespace backup
