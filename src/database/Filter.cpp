#include "database/Filter.h"

#include "core/Errors.h"
#include "database/GermanOrder.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace db {

namespace {

// Text typed into the overview goes into the expression verbatim, so a
// pasted text can open thousands of parentheses: the parser recurses once
// per level and must stop long before the stack does. No sensible filter
// comes near either limit.
constexpr int kMaxDepth = 100;
constexpr qsizetype kMaxLength = 10000;

bool isAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

enum class Tok { Ident, String, Number, LParen, RParen, Op, And, Or, Not, Like, Is, Null, End };

struct Token {
    Tok kind;
    QString text;
    int pos;
};

QList<Token> tokenize(const QString& s)
{
    QList<Token> tokens;
    int i = 0;
    const int n = int(s.size());
    auto error = [&](const QString& what, int at) {
        throw Error(QStringLiteral("%1 an Position %2").arg(what).arg(at + 1));
    };
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const int end = int(s.indexOf(c, i + 1));
            if (end < 0)
                error(QStringLiteral("Nicht abgeschlossene Zeichenkette"), i);
            tokens.append({Tok::String, s.mid(i + 1, end - i - 1), i});
            i = end + 1;
        } else if (c == QLatin1Char('(')) {
            tokens.append({Tok::LParen, c, i++});
        } else if (c == QLatin1Char(')')) {
            tokens.append({Tok::RParen, c, i++});
        } else if (c == QLatin1Char('=') || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('!')) {
            QString op(c);
            if (i + 1 < n && (s[i + 1] == QLatin1Char('=') || (c == QLatin1Char('<') && s[i + 1] == QLatin1Char('>'))))
                op += s[i + 1];
            if (op == QLatin1String("!"))
                error(QStringLiteral("Unerwartetes Zeichen „!“"), i);
            tokens.append({Tok::Op, op, i});
            i += int(op.size());
        } else if (c.isDigit() || (c == QLatin1Char('-') && i + 1 < n && s[i + 1].isDigit())) {
            int j = i + 1;
            while (j < n && (s[j].isDigit() || s[j] == QLatin1Char('.')))
                ++j;
            tokens.append({Tok::Number, s.mid(i, j - i), i});
            i = j;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            int j = i + 1;
            while (j < n && (s[j].isLetterOrNumber() || s[j] == QLatin1Char('_')))
                ++j;
            const QString word = s.mid(i, j - i);
            const QString upper = word.toUpper();
            Tok kind = Tok::Ident;
            if (upper == QLatin1String("AND"))
                kind = Tok::And;
            else if (upper == QLatin1String("OR"))
                kind = Tok::Or;
            else if (upper == QLatin1String("NOT"))
                kind = Tok::Not;
            else if (upper == QLatin1String("LIKE"))
                kind = Tok::Like;
            else if (upper == QLatin1String("IS"))
                kind = Tok::Is;
            else if (upper == QLatin1String("NULL"))
                kind = Tok::Null;
            tokens.append({kind, word, i});
            i = j;
        } else {
            error(QStringLiteral("Unerwartetes Zeichen „%1“").arg(c), i);
        }
    }
    tokens.append({Tok::End, QString(), int(n)});
    return tokens;
}

class Compiler {
public:
    Compiler(QList<Token> tokens, const FieldLookup& lookup, const KeyColumnLookup& keyColumn)
        : m_tokens(std::move(tokens)), m_lookup(lookup), m_keyColumn(keyColumn)
    {
        // One literal ending in "*" makes every string "=" a begins-with test.
        for (const Token& t : m_tokens)
            if (t.kind == Tok::String && t.text.size() >= 2 && t.text.endsWith(QLatin1Char('*')))
                m_partial = true;
    }

    CompiledFilter run()
    {
        CompiledFilter result;
        result.sql = orExpr();
        if (peek().kind != Tok::End)
            unexpected();
        result.params = m_params;
        result.fields = m_fields;
        return result;
    }

private:
    const Token& peek() const { return m_tokens[m_pos]; }
    Token take() { return m_tokens[m_pos++]; }

    [[noreturn]] void unexpected() const
    {
        const Token& t = peek();
        if (t.kind == Tok::End)
            throw Error(QStringLiteral("Unerwartetes Ende des Ausdrucks"));
        throw Error(QStringLiteral("Unerwartetes „%1“ an Position %2").arg(t.text).arg(t.pos + 1));
    }

    // A chain of ANDs or ORs becomes one flat list in SQL, so that its
    // length does not nest: SQLite refuses expressions nested too deeply.
    QString orExpr()
    {
        QStringList terms{andExpr()};
        while (peek().kind == Tok::Or) {
            take();
            terms << andExpr();
        }
        return terms.size() == 1 ? terms.first() : QLatin1Char('(') + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }

    QString andExpr()
    {
        QStringList terms{unary()};
        while (peek().kind == Tok::And) {
            take();
            terms << unary();
        }
        return terms.size() == 1 ? terms.first() : QLatin1Char('(') + terms.join(QStringLiteral(" AND ")) + QLatin1Char(')');
    }

    QString unary()
    {
        if (peek().kind == Tok::Not || peek().kind == Tok::LParen) {
            if (++m_depth > kMaxDepth)
                throw Error(QStringLiteral("Der Ausdruck ist tiefer als %1 Ebenen verschachtelt").arg(kMaxDepth));
        }
        QString sql;
        if (peek().kind == Tok::Not) {
            take();
            sql = QStringLiteral("(NOT %1)").arg(unary());
        } else if (peek().kind == Tok::LParen) {
            take();
            sql = orExpr();
            if (peek().kind != Tok::RParen)
                unexpected();
            take();
        } else {
            return comparison();
        }
        --m_depth;
        return sql;
    }

    struct Operand {
        const Field* field = nullptr;
        Token token;
    };

    Operand operand()
    {
        const Token t = peek();
        if (t.kind == Tok::Ident) {
            take();
            const Field* f = m_lookup(t.text);
            if (!f)
                throw Error(QStringLiteral("Feld '%1' nicht gefunden").arg(t.text));
            if (!m_fields.contains(f->fieldName()))
                m_fields << f->fieldName();
            return {f, t};
        }
        if (t.kind == Tok::String || t.kind == Tok::Number) {
            take();
            return {nullptr, t};
        }
        unexpected();
    }

    static QString column(const Field* f) { return QLatin1Char('"') + f->fieldName() + QLatin1Char('"'); }
    static bool isText(const Field* f)
    {
        return f->dataType() == FieldType::Text || f->dataType() == FieldType::Memo ||
               f->dataType() == FieldType::DateTime;
    }

    QString param(const QVariant& v)
    {
        m_params << v;
        return QStringLiteral("?");
    }

    QVariant numberOf(const Token& t, const Field* f)
    {
        bool ok = false;
        const double d = t.text.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw Error(QStringLiteral("'%1' ist kein gültiger Wert für Feld '%2'").arg(t.text, f->fieldName()));
        // Only a whole number inside the 64-bit range converts; anything
        // beyond it is compared as the double it is.
        constexpr double kLimit = 9223372036854775808.0; // 2^63
        if (f->dataType() == FieldType::Integer && d >= -kLimit && d < kLimit && d == std::trunc(d))
            return qint64(d);
        return d;
    }

    QString comparison()
    {
        Operand left = operand();
        if (peek().kind == Tok::Is) {
            take();
            bool negate = false;
            if (peek().kind == Tok::Not) {
                take();
                negate = true;
            }
            if (peek().kind != Tok::Null || !left.field)
                unexpected();
            take();
            QString sql = isText(left.field) ? QStringLiteral("(%1 IS NULL OR %1 = '')").arg(column(left.field))
                                             : QStringLiteral("%1 IS NULL").arg(column(left.field));
            return negate ? QStringLiteral("(NOT %1)").arg(sql) : sql;
        }
        QString op;
        bool negateLike = false;
        if (peek().kind == Tok::Not) {
            take();
            negateLike = true;
            if (peek().kind != Tok::Like)
                unexpected();
        }
        if (peek().kind == Tok::Like) {
            take();
            op = QStringLiteral("LIKE");
        } else if (peek().kind == Tok::Op) {
            op = take().text;
            if (op == QLatin1String("!="))
                op = QStringLiteral("<>");
        } else {
            unexpected();
        }
        Operand right = operand();
        if (!left.field && right.field) {
            std::swap(left, right);
            if (op == QLatin1String("<"))
                op = QStringLiteral(">");
            else if (op == QLatin1String(">"))
                op = QStringLiteral("<");
            else if (op == QLatin1String("<="))
                op = QStringLiteral(">=");
            else if (op == QLatin1String(">="))
                op = QStringLiteral("<=");
        }
        if (!left.field)
            throw Error(QStringLiteral("Ein Vergleich braucht ein Feld (Position %1)").arg(left.token.pos + 1));
        const QString sql = right.field ? QStringLiteral("%1 %2 %3").arg(column(left.field), op, column(right.field))
                                        : fieldAgainstLiteral(left.field, op, right.token);
        return negateLike ? QStringLiteral("(NOT %1)").arg(sql) : sql;
    }

    QString fieldAgainstLiteral(const Field* f, const QString& op, const Token& lit)
    {
        const QString col = column(f);
        if (!isText(f)) {
            if (op == QLatin1String("LIKE"))
                throw Error(QStringLiteral("LIKE ist nur für Textfelder möglich (Feld '%1')").arg(f->fieldName()));
            return QStringLiteral("%1 %2 %3").arg(col, op, param(numberOf(lit, f)));
        }
        QString text = lit.text;
        // In "=" the final star only marks the partial comparison; in LIKE it
        // is a wildcard like any other.
        if (op != QLatin1String("LIKE") && text.size() >= 2 && text.endsWith(QLatin1Char('*')))
            text.chop(1);
        // Texts compare as they sort: without case and accents, "Ile*" finds
        // "Île de France", "Ärger" finds "Arger", "Strasse" finds "Straße".
        const QString lhs = QStringLiteral("stfold(%1)").arg(col);
        const QString folded = searchKey(text);
        // A name's key column holds the same for a text of Latin letters,
        // and its index finds a beginning, a whole name or a range.
        const QString key = m_keyColumn && op != QLatin1String("LIKE") && !text.isEmpty() && isAscii(folded)
                                ? m_keyColumn(f->fieldName())
                                : QString();
        if (!key.isEmpty()) {
            QString sql;
            if (m_partial) {
                // One placeholder after the other: the order of arguments is unspecified.
                const QString from = param(folded);
                const QString to = param(folded + QString::fromUcs4(U"\U0010FFFF", 1));
                sql = QStringLiteral("(%1 >= %2 AND %1 < %3)").arg(key, from, to);
            } else
                sql = QStringLiteral("%1 %2 %3").arg(key, op == QLatin1String("<>") ? QStringLiteral("=") : op,
                                                      param(folded));
            return op == QLatin1String("<>") ? QStringLiteral("(NOT IFNULL(%1, 0))").arg(sql) : sql;
        }
        if (op == QLatin1String("LIKE")) {
            QStringList parts = folded.split(QLatin1Char('*'));
            for (QString& part : parts)
                part = escapeLike(part);
            const QString pattern = parts.join(QLatin1Char('%'));
            return QStringLiteral("%1 LIKE %2 ESCAPE '\\'").arg(lhs, param(pattern));
        }
        if (op == QLatin1String("=") || op == QLatin1String("<>")) {
            QString sql;
            if (text.isEmpty())
                sql = m_partial ? QStringLiteral("1") : QStringLiteral("IFNULL(%1, '') = ''").arg(col);
            else if (m_partial)
                sql = QStringLiteral("%1 LIKE %2 ESCAPE '\\'").arg(lhs, param(escapeLike(folded) + QLatin1Char('%')));
            else
                sql = QStringLiteral("%1 = %2").arg(lhs, param(folded));
            if (op == QLatin1String("<>"))
                sql = QStringLiteral("(NOT IFNULL(%1, 0))").arg(sql);
            return sql;
        }
        return QStringLiteral("%1 %2 %3").arg(lhs, op, param(folded));
    }

    QList<Token> m_tokens;
    const FieldLookup& m_lookup;
    const KeyColumnLookup& m_keyColumn;
    int m_pos = 0;
    int m_depth = 0;
    bool m_partial = false;
    QVariantList m_params;
    QStringList m_fields;
};

} // namespace

QString abbreviatedExpression(const QString& expression)
{
    constexpr qsizetype kShown = 200;
    if (expression.size() <= kShown)
        return expression;
    return expression.left(kShown) + QStringLiteral("… (%1 Zeichen)").arg(expression.size());
}

QString escapeLike(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

CompiledFilter compileFilter(const QString& expression, const FieldLookup& lookup, const KeyColumnLookup& keyColumn)
{
    if (expression.trimmed().isEmpty())
        return {};
    if (expression.size() > kMaxLength)
        throw Error(QStringLiteral("Der Ausdruck ist länger als %1 Zeichen").arg(kMaxLength));
    return Compiler(tokenize(expression), lookup, keyColumn).run();
}

} // namespace db
