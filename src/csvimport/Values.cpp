#include "csvimport/Values.h"

#include <QLocale>

#include "csvimport/Names.h"

#include <QRegularExpression>

#include <algorithm>

namespace csvimport {

namespace {

bool dropped(char16_t c)
{
    // C0 and C1 controls, DEL, byte order marks and the two non-characters:
    // XML cannot carry them and no reader can see them.
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0xfeff || c == 0xfffe || c == 0xffff;
}

bool loneSurrogate(QStringView text, qsizetype i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

QString clean(QStringView text, bool memo)
{
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                continue;
            c = u'\n';
        }
        // A word processor's line and paragraph breaks, as the entry boxes take them.
        if (c == 0x0b || c == 0x0c || c == 0x85 || c == 0x2028 || c == 0x2029)
            c = u'\n';
        if (!memo && QChar::isSpace(c)) {
            blank = !out.isEmpty();
            continue;
        }
        const bool kept = memo && (c == u'\n' || c == u'\t');
        if ((dropped(c) && !kept) || loneSurrogate(text, i))
            continue;
        if (blank)
            out += u' ';
        blank = false;
        out += QChar(c);
    }
    return memo ? out.trimmed() : out;
}

// Digits with optional thousands groups: "1234", "1.234", "1 234 567".
bool groupedDigits(QStringView digits, QChar group, qint64* value)
{
    qint64 v = 0;
    int run = 0;
    bool grouped = false;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const QChar c = digits[i];
        if (c.isDigit() && c.unicode() < 128) {
            v = v * 10 + (c.unicode() - u'0');
            if (v > 1'000'000'000'000LL)
                return false;
            ++run;
        } else if (c == group && !group.isNull() && run > 0 && (grouped ? run == 3 : run <= 3)) {
            grouped = true;
            run = 0;
        } else {
            return false;
        }
    }
    if (run == 0 || (grouped && run != 3))
        return false;
    *value = v;
    return true;
}

// Blanks between digit groups: the blank, no-break spaces, the Swiss apostrophe.
QString withoutGroupBlanks(QStringView text)
{
    QString s;
    s.reserve(text.size());
    for (const QChar c : text)
        if (c != u' ' && c != u'\u00a0' && c != u'\u202f' && c != u'\'')
            s += c;
    return s;
}

} // namespace

QString grouped(qint64 n)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(n);
}

QString quoted(QStringView text)
{
    const qsizetype max = 40;
    const QString shown = text.size() > max ? text.left(max).toString() + u'…' : text.toString();
    return QStringLiteral("„%1“").arg(shown);
}

QString cleanLine(QStringView text) { return clean(text, false); }
QString cleanMemo(QStringView text) { return clean(text, true); }

bool isBlankText(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!QChar::isSpace(c) && !dropped(c) && !loneSurrogate(text, i))
            return false;
    }
    return true;
}

int parseCount(QStringView text, int min, int max)
{
    const QString digits = withoutGroupBlanks(text);
    qint64 value = 0;
    const bool ok = groupedDigits(digits, u'.', &value) || groupedDigits(digits, u',', &value);
    if (!ok)
        throw ValueError(QStringLiteral("%1 ist keine Zahl").arg(quoted(text)));
    if (value < min)
        throw ValueError(QStringLiteral("%1 ist zu klein (mindestens %2)").arg(quoted(text)).arg(min));
    if (value > max)
        throw ValueError(QStringLiteral("%1 ist zu groß (höchstens %2)").arg(quoted(text)).arg(max));
    return int(value);
}

int parsePages(QStringView text)
{
    static const QRegularExpression unit(QStringLiteral("\\s*(S\\.?|Seiten|pages?|pp?\\.?)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString number = text.toString();
    if (!std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        number.remove(unit);
    try {
        return parseCount(number, 1, 100000);
    } catch (const ValueError&) {
        throw ValueError(QStringLiteral("%1 ist keine Seitenzahl").arg(quoted(text)));
    }
}

Volume parseVolume(QStringView text)
{
    static const QRegularExpression prefix(QStringLiteral("^(#|Nr\\.?|No\\.?|Bd\\.?|Band|Volume|Vol\\.?|Heft|Issue)\\s*"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression shape(QStringLiteral("^(\\d{1,3}(?:[.,]\\d{3})+|\\d{1,9})(?:[.,]0+)?(.*)$"));
    if (!text.isEmpty() && text.size() < 7 && std::all_of(text.begin(), text.end(), [](QChar c) {
            return c >= u'0' && c <= u'9';
        }))
        return Volume{parseCount(text, 0, 999'999), {}};
    QString rest = text.toString();
    rest.remove(prefix);
    const QRegularExpressionMatch m = shape.match(rest);
    if (!m.hasMatch())
        throw ValueError(QStringLiteral("%1 ist keine Zahl").arg(quoted(text)));
    QString digits = m.captured(1);
    digits.remove(u'.').remove(u',');
    Volume v;
    v.number = parseCount(digits, 0, 999'999);
    if (!m.captured(2).trimmed().isEmpty())
        v.designation = QStringLiteral("Band ") + rest;
    return v;
}

QString parseCurrency(QStringView text)
{
    const QString folded = foldName(text);
    if (text.trimmed() == u"€" || folded == u"eur" || folded == u"euro")
        return QStringLiteral("€");
    if (folded == u"dm" || folded == u"dem" || folded == u"dmark")
        return QStringLiteral("DM");
    // Other currencies as ISO codes ("CHF"), signs ("$", "£", "US$") or the
    // Swiss and Austrian abbreviations; "ca." in front of a price is none.
    static const QRegularExpression other(QStringLiteral("^([A-Z]{3}|[A-Z]{0,2}\\p{Sc}|s?Fr\\.|SFr\\.?|öS)$"));
    const QString typed = text.trimmed().toString();
    if (!other.match(typed).hasMatch())
        throw ValueError(QStringLiteral("%1 ist keine Währung").arg(quoted(text)));
    return typed;
}

Price parsePrice(QStringView text)
{
    const auto refuse = [&] { return ValueError(QStringLiteral("%1 ist kein Preis").arg(quoted(text))); };
    qsizetype first = 0;
    while (first < text.size() && !text[first].isDigit())
        ++first;
    qsizetype last = text.size();
    while (last > first && !text[last - 1].isDigit())
        --last;
    if (first == text.size())
        throw refuse();
    QStringView prefix = text.left(first).trimmed();
    QString number = withoutGroupBlanks(text.mid(first, last - first));
    QStringView suffix = text.mid(last).trimmed();
    // "12,-" and "12,--": whole euros, as German price tags write them.
    for (const QLatin1String dash : {QLatin1String(",--"), QLatin1String(",-"), QLatin1String(".-")}) {
        if (suffix.startsWith(dash)) {
            suffix = suffix.mid(dash.size()).trimmed();
            break;
        }
    }
    if (prefix.endsWith(u'-') || prefix.endsWith(u'−'))
        throw ValueError(QStringLiteral("%1 ist negativ").arg(quoted(text)));
    if (!prefix.isEmpty() && !suffix.isEmpty())
        throw refuse();

    Price price;
    const QStringView currency = prefix.isEmpty() ? suffix : prefix;
    if (!currency.isEmpty()) {
        try {
            price.currency = parseCurrency(currency);
        } catch (const ValueError&) {
            throw refuse();
        }
    }

    const qsizetype dot = number.lastIndexOf(u'.');
    const qsizetype comma = number.lastIndexOf(u',');
    qsizetype decimal = -1;
    QChar group;
    if (dot >= 0 && comma >= 0) {
        decimal = std::max(dot, comma);
        group = number[std::min(dot, comma)];
    } else if (dot >= 0 || comma >= 0) {
        const QChar sep = dot >= 0 ? u'.' : u',';
        const qsizetype at = std::max(dot, comma);
        const qsizetype after = number.size() - at - 1;
        const bool thousands = number.count(sep) > 1 || (after == 3 && number[0] != u'0');
        if (thousands)
            group = sep;
        else
            decimal = at;
    }
    const QString whole = decimal < 0 ? number : number.left(decimal);
    const QString cents = decimal < 0 ? QString() : number.mid(decimal + 1);
    qint64 units = 0;
    if (!groupedDigits(whole, group, &units) || cents.size() > 2 || (decimal >= 0 && cents.isEmpty())
        || !std::all_of(cents.begin(), cents.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        throw refuse();
    if (units >= 10'000'000)
        throw ValueError(QStringLiteral("%1 ist zu hoch für einen Preis").arg(quoted(text)));
    const int hundredths = cents.isEmpty() ? 0 : (cents + QStringLiteral("0").repeated(2 - cents.size())).toInt();
    price.amount = double(units * 100 + hundredths) / 100.0;
    return price;
}

QDate parseDate(QStringView text, const QDate& today, DateOrder slashOrder)
{
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})$"));
    static const QRegularExpression german(QStringLiteral("^(\\d{1,2})\\.\\s?(\\d{1,2})\\.\\s?(\\d{4}|\\d{2})$"));
    static const QRegularExpression slash(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{4}|\\d{2})$"));
    static const QRegularExpression monthYear(QStringLiteral("^(\\d{1,2})[./](\\d{4})$"));
    static const QRegularExpression year(QStringLiteral("^(\\d{4})$"));
    static const QRegularExpression time(QStringLiteral("^\\d{1,2}:\\d{2}(:\\d{2}(\\.\\d+)?)?(Z|[+-]\\d{2}:?\\d{2})?$"));

    const auto refuse = [&] { return ValueError(QStringLiteral("%1 ist kein gültiges Datum").arg(quoted(text))); };
    QStringView datePart = text;
    const qsizetype colon = text.indexOf(u':');
    if (colon >= 0) {
        const qsizetype cut = std::max(text.lastIndexOf(u' ', colon), text.lastIndexOf(u'T', colon));
        if (cut <= 0 || !time.match(text.mid(cut + 1)).hasMatch())
            throw refuse();
        datePart = text.left(cut).trimmed();
    }
    const QString s = datePart.toString();
    int y = 0, m = 1, d = 1;
    bool twoDigitYear = false;
    QRegularExpressionMatch match;
    const auto digits = [&s](qsizetype from, qsizetype n) {
        int v = 0;
        for (qsizetype i = from; i < from + n; ++i)
            v = v * 10 + (s[i].unicode() - u'0');
        return v;
    };
    // dd.mm.yyyy and yyyy-mm-dd, what nearly every file writes, without a pattern.
    const bool plain = s.size() == 10 && std::all_of(s.begin(), s.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
    });
    if (plain && s[2] == u'.' && s[5] == u'.' && s.count(u'.') == 2) {
        d = digits(0, 2);
        m = digits(3, 2);
        y = digits(6, 4);
    } else if (plain && s[4] == u'-' && s[7] == u'-' && s.count(u'-') == 2) {
        y = digits(0, 4);
        m = digits(5, 2);
        d = digits(8, 2);
    } else if ((match = iso.match(s)).hasMatch()) {
        y = match.captured(1).toInt();
        m = match.captured(2).toInt();
        d = match.captured(3).toInt();
    } else if ((match = german.match(s)).hasMatch() || (match = slash.match(s)).hasMatch()) {
        d = match.captured(1).toInt();
        m = match.captured(2).toInt();
        if (match.regularExpression() == slash && slashOrder == DateOrder::MonthDay)
            std::swap(d, m);
        y = match.captured(3).toInt();
        twoDigitYear = match.captured(3).size() == 2;
    } else if ((match = monthYear.match(s)).hasMatch()) {
        m = match.captured(1).toInt();
        y = match.captured(2).toInt();
    } else if ((match = year.match(s)).hasMatch()) {
        y = match.captured(1).toInt();
    } else {
        throw refuse();
    }
    if (twoDigitYear) {
        y += 2000;
        if (y > today.year())
            y -= 100;
    }
    const QDate date(y, m, d);
    if (!date.isValid() || y < 1000)
        throw refuse();
    return date;
}

bool parseFlag(QStringView text)
{
    if (text == u"✓" || text == u"✔" || text == u"☑")
        return true;
    const QString f = foldName(text);
    for (const char* yes : {"ja", "j", "x", "yes", "y", "true", "wahr", "1"})
        if (f == QLatin1String(yes))
            return true;
    for (const char* no : {"", "nein", "n", "no", "false", "falsch", "0"})
        if (f == QLatin1String(no))
            return false;
    throw ValueError(QStringLiteral("%1 ist weder ja noch nein").arg(quoted(text)));
}

} // namespace csvimport
