#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace csvimport {

// A name as the import compares it: case and accents ignored (ä as a, ß as
// ss), blanks, hyphens and punctuation dropped, so "Ausführung 1",
// "ausfuhrung-1" and "AUSFÜHRUNG1" meet. "#" stays: it is a column name of
// its own ("#" for the volume number).
QString foldName(QStringView name);

// What a list of the database's names is about; conditions and roles have
// ways of their own to be named in a file.
enum class LookupKind { Plain, Condition, Role };

// The names of one read-only list of the collection (author roles,
// conditions, literature types and kinds, executions), as the data module
// read them. A value from the file is matched to one of them, so that a row
// carries the exact stored name and storing needs no second guess.
class LookupList {
public:
    LookupList() = default; // no names: values are taken as written
    LookupList(const QStringList& names, LookupKind kind);

    // False when no names were given; then find() returns the text itself
    // (a role word as its default role).
    bool checked() const { return !m_names.isEmpty(); }
    // The stored name the text stands for, or a null string.
    // Conditions also match by their grade ("1", "Z1", "Zustand 1" for
    // "1 – sehr gut"), by the name after the grade ("sehr gut") and by the
    // English grades ("Near Mint", "VF", "Good" on the scale 0 to 4); roles also
    // by their English and German synonyms ("Artist", "Texter").
    QString find(QStringView text) const;

private:
    QStringList m_names;
    QStringList m_folded;
    QList<int> m_grades;       // of conditions: the leading number, -1 for none
    QStringList m_foldedRests; // of conditions: the name after the number
    LookupKind m_kind = LookupKind::Plain;
};

// The default role a word for a role stands for ("writer" → "Szenarist"),
// from the folded word; a null string when the word names no role.
QString roleForWord(const QString& folded);

} // namespace csvimport
