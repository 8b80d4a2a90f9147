#include "csvimport/ImportPlan.h"
#include "csvimport/Values.h"

#include <QRegularExpression>

namespace csvimport {

namespace {

constexpr qsizetype kNameSize = 50; // ANNAME

QStringList splitOn(const QString& text, const QRegularExpression& separators)
{
    QStringList parts;
    for (const QString& part : text.split(separators))
        if (!part.trimmed().isEmpty())
            parts << part.trimmed();
    return parts;
}

// The same for separators of one character each, without a pattern.
QStringList splitOn(const QString& text, QStringView separators)
{
    QStringList parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !separators.contains(text[i]))
            continue;
        const QStringView part = QStringView(text).mid(from, i - from).trimmed();
        if (!part.isEmpty())
            parts << part.toString();
        from = i + 1;
    }
    return parts;
}

// The roles a text names ("Text & Zeichnungen" → Szenarist, Zeichner), or
// nothing when one piece is no role.
QStringList rolesOf(const QString& text, const LookupList& roles)
{
    static const QRegularExpression between(QStringLiteral("\\s*(?:/|&|\\+|,|\\bund\\b|\\band\\b)\\s*"));
    QStringList found;
    for (const QString& piece : splitOn(text, between)) {
        const QString role = roles.find(cleanLine(piece));
        if (role.isEmpty())
            return {};
        if (!found.contains(role))
            found << role;
    }
    return found;
}

} // namespace

QList<ImportAuthor> parseAuthors(QStringView cell, const QString& columnRole, bool commaSeparates,
                                 const LookupList& roles)
{
    static const QRegularExpression ownRole(QStringLiteral("^(.*\\S)\\s*\\(([^()]+)\\)$"));

    QList<ImportAuthor> authors;
    QStringList current;
    if (!columnRole.isEmpty())
        current << columnRole;
    for (const QString& segment : splitOn(cell.toString(), commaSeparates ? u";,\n\r" : u";\n\r")) {
        QString people = segment;
        const qsizetype colon = segment.indexOf(u':');
        if (colon > 0) {
            const QString written = segment.left(colon).trimmed();
            current = rolesOf(written, roles);
            if (current.isEmpty())
                throw ValueError(QStringLiteral("%1 ist keine bekannte Funktion").arg(quoted(written)));
            people = segment.mid(colon + 1);
        }
        for (const QString& person : splitOn(people, u"/&")) {
            QString name = cleanLine(person);
            // "Text: Goscinny / Zeichnungen: Morris": the role changes within the segment.
            if (const qsizetype inner = name.indexOf(u':'); inner > 0) {
                const QString written = name.left(inner).trimmed();
                current = rolesOf(written, roles);
                if (current.isEmpty())
                    throw ValueError(QStringLiteral("%1 ist keine bekannte Funktion").arg(quoted(written)));
                name = cleanLine(name.mid(inner + 1));
            }
            QStringList personRoles = current;
            const QRegularExpressionMatch m = name.endsWith(u')') ? ownRole.match(name) : QRegularExpressionMatch();
            if (m.hasMatch()) {
                // "Hergé (Georges Remi)" stays a name; "Uderzo (Zeichner)" gets its role.
                const QStringList own = rolesOf(m.captured(2), roles);
                if (!own.isEmpty()) {
                    name = m.captured(1);
                    personRoles = own;
                }
            }
            if (name.isEmpty())
                continue;
            if (name.size() > kNameSize)
                throw ValueError(QStringLiteral("Der Name %1 ist länger als %2 Zeichen").arg(quoted(name)).arg(kNameSize));
            if (personRoles.isEmpty())
                throw ValueError(QStringLiteral("%1 hat keine Funktion (etwa „Zeichner: %2“)").arg(quoted(name), name));
            for (const QString& role : personRoles) {
                const ImportAuthor author{name, role};
                if (!authors.contains(author))
                    authors << author;
            }
        }
    }
    return authors;
}

} // namespace csvimport
