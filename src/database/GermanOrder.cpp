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

// The accented letters of a few languages, each group with the letters that
// tell the language (tested; each also replaced) and the letters it replaces.
// A name gets the replacements of the first group whose telling letters it
// contains; the last groups catch what is left.
struct Group {
    const char16_t* telling;
    std::span<const Replacement> replaced;
};

constexpr Replacement kSpanish[] = {{u'á', "a"}, {u'é', "e"}, {u'í', "i"}, {u'ó', "o"}, {u'ú', "u"}, {u'ñ', "n"},
                                    {u'Á', "a"}, {u'É', "e"}, {u'Í', "i"}, {u'Ó', "o"}, {u'Ú', "u"}, {u'Ñ', "n"}};
constexpr Replacement kFrench[] = {{u'é', "e"}, {u'è', "e"}, {u'ê', "e"}, {u'à', "a"}, {u'â', "a"}, {u'ç', "c"},
                                   {u'î', "i"}, {u'ô', "o"}, {u'û', "u"}, {u'œ', "oe"}, {u'É', "e"}, {u'Œ', "oe"}};
constexpr Replacement kItalian[] = {{u'à', "a"}, {u'è', "e"}, {u'é', "e"}, {u'ì', "i"}, {u'ò', "o"}, {u'ù', "u"},
                                    {u'À', "a"}, {u'È', "e"}, {u'É', "e"}, {u'Ì', "i"}, {u'Ò', "o"}, {u'Ù', "u"}};
constexpr Replacement kPortuguese[] = {{u'ã', "a"}, {u'õ', "o"}, {u'ç', "c"}, {u'á', "a"}, {u'é', "e"}, {u'í', "i"},
                                       {u'ó', "o"}, {u'ú', "u"}, {u'â', "a"}, {u'ê', "e"}, {u'ô', "o"}, {u'Ã', "a"}};
constexpr Replacement kNordic[] = {{u'å', "a"}, {u'ø', "o"}, {u'æ', "ae"}, {u'Å', "a"},
                                   {u'Ø', "o"}, {u'Æ', "ae"}, {u'é', "e"}};
constexpr Replacement kPolish[] = {{u'ą', "a"}, {u'ć', "c"}, {u'ę', "e"}, {u'ł', "l"}, {u'ń', "n"}, {u'ó', "o"},
                                   {u'ś', "s"}, {u'ź', "z"}, {u'ż', "z"}, {u'Ł', "l"}, {u'Ś', "s"}, {u'Ż', "z"}};
constexpr Replacement kCzech[] = {{u'č', "c"}, {u'ď', "d"}, {u'ě', "e"}, {u'ň', "n"}, {u'ř', "r"}, {u'š', "s"},
                                  {u'ů', "u"}, {u'ý', "y"}, {u'ž', "z"}, {u'Č', "c"}, {u'Š', "s"}, {u'Ž', "z"}};
// What is left: single accents and capitals that begin a word.
constexpr Replacement kCommon[] = {{u'é', "e"}, {u'è', "e"}, {u'ë', "e"}, {u'ï', "i"}, {u'á', "a"}, {u'à', "a"},
                                   {u'í', "i"}, {u'ó', "o"}, {u'ú', "u"}, {u'É', "e"}, {u'È', "e"}, {u'Ç', "c"}};
// Letters typed as a base letter followed by a combining accent.
constexpr Replacement kCombining[] = {{u'\u0300', ""}, {u'\u0301', ""}, {u'\u0302', ""}, {u'\u0303', ""},
                                      {u'\u0308', ""}, {u'\u030A', ""}, {u'\u030C', ""}, {u'\u0327', ""}};

const Group kGroups[] = {
    {u"ñÑáíóúÁÍÓÚ", kSpanish},
    {u"çèêàâîôûœŒ", kFrench},
    {u"ìòÌÒ", kItalian},
    {u"ãõÃ", kPortuguese},
    {u"åøæÅØÆ", kNordic},
    {u"ąćęłńśźżŁŚŻ", kPolish},
    {u"čďěňřšůžČŠŽ", kCzech},
    {u"éèëïáàíóúÉÈÇ", kCommon},
    {u"\u0300\u0301\u0302\u0303\u0308\u030A\u030C\u0327", kCombining},
};

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

bool containsAny(const QString& text, const char16_t* letters)
{
    for (const char16_t* c = letters; *c; ++c)
        if (text.contains(QChar(*c)))
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
    for (const Group& group : kGroups)
        cases << QStringLiteral("WHEN %1 GLOB '*[%2]*' THEN %3")
                     .arg(column, QString::fromUtf16(group.telling), replacedSql(replacedSql(column, kUmlauts), group.replaced));
    return QStringLiteral("upper(CASE %1 ELSE %2 END)")
        .arg(cases.join(QLatin1Char(' ')), replacedSql(column, kUmlauts));
}

QString germanKey(const QString& text)
{
    if (std::all_of(text.begin(), text.end(), printable))
        return asciiUpper(text);
    QString key = text;
    replaceIn(key, kUmlauts);
    for (const Group& group : kGroups) {
        if (containsAny(text, group.telling)) {
            replaceIn(key, group.replaced);
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
