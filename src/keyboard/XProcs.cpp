#include "keyboard/XProcs.h"

#include "core/AsciiCase.h"

#include <QCoreApplication>

namespace xprocs {

bool MatchWildcard(QStringView text, QStringView pattern)
{
    // Positions count from 1; txt(i) and pat(i) read position i.
    const qsizetype n = text.size();
    const qsizetype m = pattern.size();
    const auto txt = [&](qsizetype i) { return text[i - 1]; };
    const auto pat = [&](qsizetype i) { return pattern[i - 1]; };

    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype s = 0;
    bool inStar = false;
    bool failed = false;

    while (p < m && t < n && !failed) {
        ++p;
        ++t;
        const QChar c = pat(p);
        if (c == u'*') {
            s = p;
            inStar = true;
            ++p;
            if (p > m) {
                t = n;
            } else {
                // The star may stand for nothing: t stays on the first equal character.
                while (t <= n && txt(t) != pat(p)) {
                    ++t;
                    if (t > n)
                        failed = true;
                }
            }
        } else if (c == u'?') {
            inStar = false;
        } else if (txt(t) == c) {
            // equal, go on
        } else if (inStar) {
            p = s - 1;
        } else {
            failed = true;
        }
    }

    if (failed)
        return false;
    if (m > 0 && p == m - 1 && pat(m) == u'*')
        return true;
    return p >= m && t == n;
}

bool HasCommandSwitch(const QString& name, const QStringList& arguments)
{
    const QString upperName = ascii::upper(name);
    const QString atEnd = u'*' + upperName;
    const QString withValue = atEnd + QStringLiteral("=*");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString arg = ascii::upper(arguments.at(i));
        if (MatchWildcard(arg, atEnd) || MatchWildcard(arg, withValue))
            return true;
    }
    return false;
}

bool HasCommandSwitch(const QString& name)
{
    return HasCommandSwitch(name, QCoreApplication::arguments());
}

} // namespace xprocs
