#include "database/GermanOrder.h"

#include "core/Errors.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QHash>
#include <QList>
#include <QMutex>

#include <sqlite3.h>

#include <array>
#include <deque>
#include <span>

namespace db {

namespace {

struct Fold {
    const char16_t* letters;
    const char* base;
};

// What German names carry most: a name with no other letter beyond ASCII
// needs these replacements only.
constexpr Fold kUmlauts[] = {{u"äÄ", "a"}, {u"öÖ", "o"}, {u"üÜ", "u"}, {u"ßẞ", "ss"}};

// The typographic forms of plain signs: with the umlauts, the first step,
// so that a title with a dash or quotes needs no more.
constexpr Fold kSigns[] = {{u"–—", "-"}, {u"‘’‚‹›", "'"}, {u"“”„«»", "\""}, {u"…", "..."}, {u"\u00A0", " "}};

// Every other letter of Latin-1 and Latin Extended-A, Romanian ș and ț, the
// Welsh ẁ ẃ ẅ ỳ, and the combining accents of a letter typed decomposed.
constexpr Fold kLetters[] = {
    {u"ÀÁÂÃÅàáâãåĀāĂăĄą", "a"},
    {u"Ææ", "ae"},
    {u"ÇçĆćĈĉĊċČč", "c"},
    {u"ÐðĎďĐđ", "d"},
    {u"ÈÉÊËèéêëĒēĔĕĖėĘęĚě", "e"},
    {u"ĜĝĞğĠġĢģ", "g"},
    {u"ĤĥĦħ", "h"},
    {u"ÌÍÎÏìíîïĨĩĪīĬĭĮįİı", "i"},
    {u"Ĳĳ", "ij"},
    {u"Ĵĵ", "j"},
    {u"Ķķĸ", "k"},
    {u"ĹĺĻļĽľĿŀŁł", "l"},
    {u"ÑñŃńŅņŇňŉŊŋ", "n"},
    {u"ÒÓÔÕØòóôõøŌōŎŏŐő", "o"},
    {u"Œœ", "oe"},
    {u"ŔŕŖŗŘř", "r"},
    {u"ŚśŜŝŞşŠšſȘș", "s"},
    {u"ŢţŤťŦŧȚț", "t"},
    {u"Þþ", "th"},
    {u"ÙÚÛùúûŨũŪūŬŭŮůŰűŲų", "u"},
    {u"ŴŵẀẁẂẃẄẅ", "w"},
    {u"ÝýÿŶŷŸỲỳ", "y"},
    {u"ŹźŻżŽž", "z"},
    {u"\u0300\u0301\u0302\u0303\u0304\u0306\u0307\u0308\u030A\u030B\u030C\u0326\u0327\u0328", ""},
};

// Replacements per column: with the CASE and upper() around them, 24 stay
// clear of the parser's limit.
constexpr qsizetype kPerColumn = 24;

struct Replacement {
    QChar letter;
    QString base;
};

QList<Replacement> flatten(std::span<const Fold> folds)
{
    QList<Replacement> all;
    for (const Fold& f : folds)
        for (const char16_t* c = f.letters; *c; ++c)
            all.append({QChar(*c), QString::fromLatin1(f.base)});
    return all;
}

QString replaced(QString expression, std::span<const Replacement> replacements)
{
    for (const Replacement& r : replacements)
        expression = QStringLiteral("replace(%1,%2,%3)").arg(expression, sqlText(r.letter), sqlText(r.base));
    return expression;
}

const QString kBeyondAscii = QStringLiteral(" GLOB '*[^ -~]*'");

// A GLOB that holds where a text has a character beyond ASCII and these.
QString beyond(std::span<const Replacement> replacements)
{
    QString letters;
    for (const Replacement& r : replacements)
        letters += r.letter;
    return QStringLiteral(" GLOB '*[^ -~%1]*'").arg(letters);
}

QString columnSql(const QString& name, const QString& expression)
{
    // Declared BLOB for its affinity, which is none: the expression yields
    // text or NULL anyway and nothing converts it, while SQLite's quick_check
    // leaves such columns alone. For a TEXT column it computes the whole chain
    // for every row to check the type: seconds at 100,000 volumes, in every
    // checked backup. A file with TEXT columns counts as an earlier version
    // and gets these. The SQL page hides them as it hides every blob.
    return QStringLiteral("%1 BLOB GENERATED ALWAYS AS (%2) VIRTUAL").arg(name, expression);
}

QString step(const QString& field, int n)
{
    return field + QStringLiteral("_SORT") + QString::number(n);
}

// The upper-case base of each character the order folds, looked up by code
// point: most of them lie below U+0370, a few typographic signs beyond.
class Bases {
public:
    Bases()
    {
        for (const Replacement& r : flatten(kUmlauts) + flatten(kSigns) + flatten(kLetters)) {
            const char32_t c = r.letter.unicode();
            m_texts.push_back(r.base.toUpper().toLatin1());
            if (c < kLow)
                m_low[c] = m_texts.size();
            else
                m_high.insert(c, m_texts.size());
        }
    }
    // nullptr for a character the order keeps.
    const QByteArray* of(char32_t c) const
    {
        const qsizetype i = c < kLow ? m_low[c] : m_high.value(c);
        return i ? &m_texts[i - 1] : nullptr;
    }

private:
    static constexpr char32_t kLow = 0x370;
    std::array<qsizetype, kLow> m_low{}; // index + 1 into m_texts, 0 for none
    QHash<char32_t, qsizetype> m_high;
    std::deque<QByteArray> m_texts;
};

const Bases& bases()
{
    static const Bases all;
    return all;
}

// The key of UTF-8 text, in UTF-8: each character folded to its base, ASCII
// letters upper-cased. caseFold first folds the case of every character, as
// a search compares; withBases false folds only the case, as the search
// index compares. A byte that is no proper UTF-8 stays as it is.
QByteArray keyOf(const char* text, qsizetype size, bool caseFold, bool withBases = true)
{
    QByteArray key;
    key.reserve(size);
    const Bases& table = bases();
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + size;
    while (p < end) {
        if (*p < 0x80) {
            key += *p >= 'a' && *p <= 'z' ? char(*p - 0x20) : char(*p);
            ++p;
            continue;
        }
        const int length = *p >= 0xF0 ? 4 : *p >= 0xE0 ? 3 : *p >= 0xC0 ? 2 : 0;
        bool proper = length > 0 && end - p >= length;
        for (int i = 1; proper && i < length; ++i)
            proper = (p[i] & 0xC0) == 0x80;
        if (!proper) {
            key += char(*p++);
            continue;
        }
        char32_t c = *p & (0xFF >> (length + 1));
        for (int i = 1; i < length; ++i)
            c = (c << 6) | (p[i] & 0x3F);
        const char32_t folded = caseFold ? QChar::toCaseFolded(c) : c;
        if (const QByteArray* base = withBases ? table.of(folded) : nullptr)
            key += *base;
        else if (folded < 0x80)
            key += char(folded >= 'a' && folded <= 'z' ? folded - 0x20 : folded);
        else if (folded != c)
            key += QString::fromUcs4(&folded, 1).toUtf8();
        else
            key.append(reinterpret_cast<const char*>(p), length);
        p += length;
    }
    return key;
}

// The key as SQL sees it, straight from SQLite's UTF-8.
template <bool caseFold, bool withBases = true>
void keyFunction(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const QByteArray key = keyOf(text, sqlite3_value_bytes(argv[0]), caseFold, withBases);
    sqlite3_result_text(context, key.constData(), int(key.size()), SQLITE_TRANSIENT);
}

// Whether the file computes the field's key as this version does: ALTER
// TABLE keeps each column's definition as written, so the text tells.
bool currentKey(sqlite3* db, const QString& table, const QString& field)
{
    try {
        Statement find(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"));
        find.bindText(1, table);
        if (!find.step())
            return false;
        const QString stored = find.column(0).toString();
        for (const QString& column : germanKeyColumnsSql(field))
            if (!stored.contains(column))
                return false;
        return true;
    } catch (const Error&) {
        return false;
    }
}

} // namespace

QString sqlText(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

QString germanKeyColumn(const QString& field)
{
    return field + QStringLiteral("_SORT");
}

namespace {

QStringList keyColumnsSql(const QString& field)
{
    static const QList<Replacement> umlauts = flatten(kUmlauts);
    static const QList<Replacement> first = umlauts + flatten(kSigns);
    static const QList<Replacement> letters = flatten(kLetters);
    QStringList columns;
    // Each step tests the cheap things first: plain ASCII costs one pass of
    // GLOB over the name, a name with umlauts two and eight replacements.
    const QString start = step(field, 0);
    columns << columnSql(start, QStringLiteral("CASE WHEN %1 NOT%2 THEN NULL WHEN %1%3 THEN %4 END")
                                    .arg(field, kBeyondAscii, beyond(umlauts), replaced(field, first)));
    // Every chunk but the last is a column of its own; the key does the last.
    QString previous = start;
    qsizetype done = 0;
    for (int n = 1; letters.size() - done > kPerColumn; ++n, done += kPerColumn) {
        columns << columnSql(step(field, n), QStringLiteral("CASE WHEN %1%2 THEN %3 END")
                                                 .arg(start, kBeyondAscii,
                                                      replaced(previous, std::span(letters).subspan(done, kPerColumn))));
        previous = step(field, n);
    }
    columns << columnSql(germanKeyColumn(field),
                         QStringLiteral("upper(CASE WHEN %1 NOT%2 THEN %1 WHEN %1 NOT%3 THEN %4 WHEN %1 NOT%5 THEN %6"
                                        " ELSE %7 END)")
                             .arg(field, kBeyondAscii, beyond(umlauts), replaced(field, umlauts), beyond(first), start,
                                  replaced(previous, std::span(letters).subspan(done))));
    return columns;
}

} // namespace

QStringList germanKeyColumnsSql(const QString& field)
{
    // Asked for at every sort and filter of a name; the statistics ask from their threads.
    static QMutex mutex;
    static QHash<QString, QStringList> made;
    const QMutexLocker lock(&mutex);
    auto it = made.constFind(field);
    if (it == made.constEnd())
        it = made.insert(field, keyColumnsSql(field));
    return *it;
}

namespace {
QList<FoldedCharacter> folded(const QList<Replacement>& replacements)
{
    QList<FoldedCharacter> all;
    for (const Replacement& r : replacements)
        all.append({r.letter, r.base});
    return all;
}
} // namespace

QList<FoldedCharacter> germanFoldsCommon()
{
    return folded(flatten(kUmlauts) + flatten(kSigns));
}

QList<FoldedCharacter> germanFoldsOther()
{
    return folded(flatten(kLetters));
}

QString germanKey(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return QString::fromUtf8(keyOf(utf8.constData(), utf8.size(), false));
}

int germanCompare(const QString& a, const QString& b)
{
    return germanKey(a).compare(germanKey(b));
}

QString searchKey(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return QString::fromUtf8(keyOf(utf8.constData(), utf8.size(), true));
}

void addGermanOrderFunctions(sqlite3* db)
{
    sqlite3_create_function_v2(db, "stsort", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, keyFunction<false>,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "stfold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, keyFunction<true>,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "stcase", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               keyFunction<true, false>, nullptr, nullptr, nullptr);
}

QString germanKeyColumnIn(sqlite3* db, const QString& field)
{
    const schema::TableDef* table = schema::tableOfField(field);
    if (!table || !schema::nameFields(*table).contains(field, Qt::CaseInsensitive) || !currentKey(db, table->name, field))
        return QString();
    return germanKeyColumn(field);
}

QString germanKeySql(sqlite3* db, const QString& field, const QString& qualifier)
{
    const QString prefix = qualifier.isEmpty() ? QString() : qualifier + QLatin1Char('.');
    const QString column = germanKeyColumnIn(db, field);
    return column.isEmpty() ? germanKeyCall(prefix + field) : prefix + column;
}

QString germanKeyCall(const QString& expression)
{
    return QStringLiteral("stsort(%1)").arg(expression);
}

} // namespace db
