#include "database/GermanOrder.h"

#include <QStringList>

#include <algorithm>
#include <span>

namespace db {

namespace {

struct Replacement {
    char16_t letter;
    const char* base;
};

constexpr Replacement kUmlauts[] = {{u'ä', "a"}, {u'Ä', "a"}, {u'ö', "o"}, {u'Ö', "o"},
                                    {u'ü', "u"}, {u'Ü', "u"}, {u'ß', "ss"}};

// Most likely first: a name gets only the first group it contains.
constexpr Replacement kFrench[] = {{u'é', "e"}, {u'è', "e"}, {u'ê', "e"}, {u'ë', "e"}, {u'à', "a"}, {u'â', "a"},
                                   {u'ç', "c"}, {u'î', "i"}, {u'ï', "i"}, {u'ô', "o"}, {u'û', "u"}, {u'œ', "oe"}};
constexpr Replacement kSouthNorth[] = {{u'á', "a"}, {u'í', "i"}, {u'ó', "o"}, {u'ú', "u"}, {u'ñ', "n"}, {u'ã', "a"},
                                       {u'õ', "o"}, {u'ì', "i"}, {u'ò', "o"}, {u'ù', "u"}, {u'å', "a"}, {u'ø', "o"}};
constexpr Replacement kCapitals[] = {{u'É', "e"}, {u'È', "e"}, {u'Ê', "e"}, {u'À', "a"}, {u'Â', "a"}, {u'Ç', "c"},
                                     {u'Î', "i"}, {u'Ô', "o"}, {u'Á', "a"}, {u'Ó', "o"}, {u'Ñ', "n"}, {u'Å', "a"}};
constexpr Replacement kEastern[] = {{u'š', "s"}, {u'č', "c"}, {u'ž', "z"}, {u'ł', "l"}, {u'ś', "s"}, {u'ć', "c"},
                                    {u'ń', "n"}, {u'ź', "z"}, {u'ż', "z"}, {u'ř', "r"}, {u'ě', "e"}, {u'ů', "u"}};
constexpr Replacement kRest[] = {{u'æ', "ae"}, {u'Æ', "ae"}, {u'Œ', "oe"}, {u'Ø', "o"}, {u'Š', "s"}, {u'Č', "c"},
                                 {u'Ž', "z"}, {u'Ł', "l"}, {u'Í', "i"}, {u'Ú', "u"}, {u'ý', "y"}, {u'ÿ', "y"}};
// Letters typed as a base letter followed by a combining accent.
constexpr Replacement kCombining[] = {{u'\u0300', ""}, {u'\u0301', ""}, {u'\u0302', ""}, {u'\u0303', ""},
                                      {u'\u0308', ""}, {u'\u030A', ""}, {u'\u030C', ""}, {u'\u0327', ""}};

const std::span<const Replacement> kGroups[] = {kFrench, kSouthNorth, kCapitals, kEastern, kRest, kCombining};

QString letters(std::span<const Replacement> group)
{
    QString text;
    for (const Replacement& r : group)
        text += QChar(r.letter);
    return text;
}

QString replacedSql(QString expression, std::span<const Replacement> group)
{
    for (const Replacement& r : group)
        expression = QStringLiteral("replace(%1,'%2','%3')").arg(expression, QString(QChar(r.letter)), QLatin1String(r.base));
    return expression;
}

void replaceIn(QString& text, std::span<const Replacement> group)
{
    for (const Replacement& r : group)
        text.replace(QChar(r.letter), QLatin1String(r.base));
}

bool printable(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() <= 0x7E;
}

bool containsAny(const QString& text, std::span<const Replacement> group)
{
    for (const Replacement& r : group)
        if (text.contains(QChar(r.letter)))
            return true;
    return false;
}

// SQLite's upper() changes ASCII letters only.
QString asciiUpper(QString text)
{
    for (QChar& c : text)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 0x20);
    return text;
}

} // namespace

QString germanKeySql(const QString& column)
{
    const QString umlauts = letters(kUmlauts);
    QStringList cases;
    cases << QStringLiteral("WHEN %1 NOT GLOB '*[^ -~]*' THEN %1").arg(column);
    cases << QStringLiteral("WHEN %1 NOT GLOB '*[^ -~%2]*' THEN %3").arg(column, umlauts, replacedSql(column, kUmlauts));
    for (const auto& group : kGroups)
        cases << QStringLiteral("WHEN %1 GLOB '*[%2]*' THEN %3")
                     .arg(column, letters(group), replacedSql(replacedSql(column, kUmlauts), group));
    return QStringLiteral("upper(CASE %1 ELSE %2 END)")
        .arg(cases.join(QLatin1Char(' ')), replacedSql(column, kUmlauts));
}

QString germanKey(const QString& text)
{
    if (std::all_of(text.begin(), text.end(), printable))
        return asciiUpper(text);
    QString key = text;
    replaceIn(key, kUmlauts);
    for (const auto& group : kGroups) {
        if (containsAny(text, group)) {
            replaceIn(key, group);
            break;
        }
    }
    return asciiUpper(key);
}

int germanCompare(const QString& a, const QString& b)
{
    return germanKey(a).compare(germanKey(b));
}

} // namespace db
