#pragma once

#include "database/Field.h"

#include <QString>
#include <QVariantList>
#include <functional>

namespace db {

// A filter expression translated into an SQL condition with bound values.
struct CompiledFilter {
    QString sql;           // condition text with ? placeholders
    QVariantList params;   // values in placeholder order
    QStringList fields;    // fields the condition reads
};

using FieldLookup = std::function<const Field*(const QString& name)>;
// The column that holds a field's German key, empty when there is none.
using KeyColumnLookup = std::function<QString(const QString& fieldName)>;

// Parses the filter language (comparisons, LIKE, AND, OR, NOT, parentheses,
// '...' and "..." literals, numbers) and translates it. Texts compare as
// names sort: without case and accents, umlauts as their base letters (see
// searchKey). A literal ending in "*" turns every "=" between strings into
// "begins with". A name with a key column is compared through it, so that
// its index finds the matches. Throws db::Error on a malformed expression,
// e.g. a quote inside a typed text.
CompiledFilter compileFilter(const QString& expression, const FieldLookup& lookup,
                             const KeyColumnLookup& keyColumn = {});

// The expression as an error message shows it: a pasted text of any length
// must not turn the message box into a wall of text.
QString abbreviatedExpression(const QString& expression);

// Escapes a text for a LIKE pattern with '\' as the escape character.
QString escapeLike(const QString& text);

} // namespace db
