#include "csvimport/Names.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace csvimport {

QString foldName(QStringView name)
{
    // Most names are ASCII: nothing to decompose.
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        QString folded;
        folded.reserve(name.size());
        for (const QChar c : name)
            if (c.isLetterOrNumber() || c == u'#')
                folded += c.toLower();
        return folded;
    }
    const QString decomposed = name.toString().normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.isMark())
            continue;
        if (c == u'ß') {
            folded += QStringLiteral("ss");
        } else if (c.isLetterOrNumber() || c == u'#') {
            folded += c.toCaseFolded();
        }
    }
    return folded;
}

namespace {

// A leading grade of a condition name: "1 – sehr gut" → "1", rest "sehr gut".
bool splitGrade(const QString& name, QString* grade, QString* rest)
{
    qsizetype i = 0;
    while (i < name.size() && name[i].isDigit())
        ++i;
    if (i == 0)
        return false;
    *grade = name.left(i);
    *rest = name.mid(i);
    return true;
}

// "Z1", "Z 1", "Zustand 1", "Note 1", "1": the grade alone, else a null string.
QString gradeOf(const QString& folded)
{
    for (const QLatin1String prefix : {QLatin1String("zustand"), QLatin1String("note"), QLatin1String("z")}) {
        if (folded.startsWith(prefix)) {
            const QString rest = folded.mid(prefix.size());
            if (!rest.isEmpty() && std::all_of(rest.begin(), rest.end(), [](QChar c) { return c.isDigit(); }))
                return rest;
        }
    }
    if (!folded.isEmpty() && std::all_of(folded.begin(), folded.end(), [](QChar c) { return c.isDigit(); }))
        return folded;
    return {};
}

// The grades of English collectors' lists on the German scale of 0
// (untouched) to 4 (damaged), so that another program's "Near Mint" finds
// "1 – sehr gut"; and German words a list of grades lacks.
int englishGrade(const QString& folded)
{
    static const QHash<QString, int> grades = {
        {QStringLiteral("mint"), 0},     {QStringLiteral("neu"), 0},      {QStringLiteral("nearmint"), 1},
        {QStringLiteral("nm"), 1},       {QStringLiteral("veryfine"), 1}, {QStringLiteral("vf"), 1},
        {QStringLiteral("fine"), 2},     {QStringLiteral("fn"), 2},       {QStringLiteral("verygood"), 2},
        {QStringLiteral("vg"), 2},       {QStringLiteral("good"), 3},     {QStringLiteral("gd"), 3},
        {QStringLiteral("fair"), 3},     {QStringLiteral("fr"), 3},       {QStringLiteral("poor"), 4},
        {QStringLiteral("pr"), 4},
        // German words beside the grades, school marks among them.
        {QStringLiteral("ungelesen"), 0}, {QStringLiteral("neuwertig"), 1}, {QStringLiteral("wieneu"), 1},
        {QStringLiteral("befriedigend"), 3}, {QStringLiteral("ausreichend"), 3}, {QStringLiteral("mangelhaft"), 4},
    };
    return grades.value(folded, -1);
}

// The grade of a condition written as collectors write grades between two
// others, or null: "1-2" and "Z 1–2" (German half grades), "VF/NM", "FN+",
// "9.4" (the ten-point scale of graded American comics), also with its
// words and grader beside it ("VF/NM 9.0", "CGC 9.8", "9.2 NM-"), where the
// number is the finer grade. Between two grades the worse one counts: a copy
// is not catalogued better than its seller saw it.
QString gradeBetween(QStringView text)
{
    static const QRegularExpression german(
        QStringLiteral("^\\s*(?:Zustand|Note|Z)?\\s*([0-4])\\s*[-–/]\\s*([0-4])\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    // Only the English grade letters may stand beside the number: "Z 1.5"
    // is a German half grade written with a point, not 1.5 of ten.
    static const QString words = QStringLiteral("(?:NM|VF|FN|VG|GD|FR|PR|MT|M|G)[+-]?(?:/(?:NM|VF|FN|VG|GD|FR|PR|MT|M|G)[+-]?)?");
    static const QRegularExpression tenPoint(
        QStringLiteral("^\\s*(?:(?:CGC|CBCS|PGX)\\s+)?(?:%1\\s+)?(\\d{1,2}\\.\\d)(?:\\s+%1)?\\s*$").arg(words),
        QRegularExpression::CaseInsensitiveOption);
    const QString s = text.toString();
    if (const QRegularExpressionMatch m = german.match(s); m.hasMatch())
        return QString::number(std::max(m.captured(1).toInt(), m.captured(2).toInt()));
    if (const QRegularExpressionMatch m = tenPoint.match(s); m.hasMatch()) {
        const double v = m.captured(1).toDouble();
        if (v < 0.5 || v > 10.0)
            return {};
        return QString::number(v >= 9.9 ? 0 : v >= 7.5 ? 1 : v >= 3.5 ? 2 : v >= 1.0 ? 3 : 4);
    }
    int worst = -1;
    const QStringList parts = s.split(u'/');
    if (parts.size() < 2)
        return {};
    for (const QString& part : parts) {
        const int grade = englishGrade(foldName(part));
        if (grade < 0)
            return {};
        worst = std::max(worst, grade);
    }
    return QString::number(worst);
}

const QHash<QString, QString>& roleWords()
{
    // Folded words of German spreadsheets and English catalogue programs,
    // each to the default role it means.
    static const QHash<QString, QString> words = [] {
        QHash<QString, QString> w;
        const auto add = [&w](const char* role, std::initializer_list<const char*> list) {
            for (const char* word : list)
                w.insert(foldName(QString::fromUtf8(word)), QString::fromUtf8(role));
        };
        add("Autor", {"Autor", "Autorin", "Author"});
        add("Szenarist", {"Szenarist", "Szenaristin", "Szenario", "Texter", "Texterin", "Text", "Writer", "Script",
                          "Scripter", "Story", "Plot", "Scenario"});
        add("Zeichner", {"Zeichner", "Zeichnerin", "Zeichnungen", "Zeichnung", "Artist", "Penciller", "Penciler",
                         "Pencils", "Illustrator", "Illustration",
                         // The collection has no role for the cover alone; its artist drew part of the
                         // volume. "Cover" and "Titelbild" alone are left out: they name the picture.
                         "Cover Artist", "Titelbildzeichner", "Coverzeichner"});
        add("Tuscher", {"Tuscher", "Tuscherin", "Tusche", "Inker", "Inks", "Inking"});
        add("Kolorist", {"Kolorist", "Koloristin", "Kolorierung", "Farben", "Farbe", "Colorist", "Colourist",
                         "Colors", "Colours", "Coloring"});
        add("Letterer", {"Letterer", "Lettering", "Letters"});
        add("Übersetzer", {"Übersetzer", "Uebersetzer", "Übersetzerin", "Übersetzung", "Uebersetzung",
                           "Translator", "Translation"});
        add("Herausgeber", {"Herausgeber", "Herausgeberin", "Editor", "Hrsg"});
        return w;
    }();
    return words;
}

} // namespace

QString roleForWord(const QString& folded)
{
    return roleWords().value(folded);
}

LookupList::LookupList(const QStringList& names, LookupKind kind) : m_names(names), m_kind(kind)
{
    for (const QString& name : names) {
        m_folded << foldName(name);
        QString grade, rest;
        const bool graded = kind == LookupKind::Condition && splitGrade(name.trimmed(), &grade, &rest);
        m_grades << (graded ? grade.toInt() : -1);
        m_foldedRests << (graded ? foldName(rest) : QString());
    }
}

QString LookupList::find(QStringView text) const
{
    const QString folded = foldName(text);
    if (!checked()) {
        const QString role = m_kind == LookupKind::Role ? roleForWord(folded) : QString();
        return role.isEmpty() ? text.toString() : role;
    }
    if (folded.isEmpty())
        return {};
    for (qsizetype i = 0; i < m_names.size(); ++i)
        if (m_folded[i] == folded)
            return m_names[i];
    if (m_kind == LookupKind::Role) {
        const QString role = foldName(roleForWord(folded));
        for (qsizetype i = 0; !role.isEmpty() && i < m_names.size(); ++i)
            if (m_folded[i] == role)
                return m_names[i];
    }
    if (m_kind == LookupKind::Condition) {
        const int english = englishGrade(folded);
        QString grade = gradeBetween(text);
        if (grade.isEmpty())
            grade = english >= 0 ? QString::number(english) : gradeOf(folded);
        for (qsizetype i = 0; i < m_names.size(); ++i)
            if (m_grades[i] >= 0 && (grade.isEmpty() ? m_foldedRests[i] == folded : m_grades[i] == grade.toInt()))
                return m_names[i];
    }
    return {};
}

} // namespace csvimport
