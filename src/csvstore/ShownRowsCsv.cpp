#include "csvstore/ShownRowsCsv.h"

#include "core/Errors.h"
#include "database/Field.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QSaveFile>

namespace csvstore {

namespace {

// The longest text a spreadsheet keeps inside a formula's quotes.
constexpr qsizetype kMaxFormulaText = 255;

bool looksLikeNumber(const QString& text)
{
    if (text.size() < 2)
        return false;
    for (const QChar c : text)
        if (!c.isDigit() || c.unicode() > 127)
            return false;
    return text.size() >= 10 || text.startsWith(u'0');
}

QString cellOf(const QVariant& value, db::FieldType type, const QLocale& german)
{
    if (value.isNull())
        return {};
    switch (type) {
    case db::FieldType::Integer:
        return QString::number(value.toLongLong());
    case db::FieldType::Float:
        return german.toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    case db::FieldType::DateTime: {
        const QDateTime stamp = QDateTime::fromString(value.toString(), Qt::ISODate);
        if (!stamp.isValid())
            return csvCell(value.toString());
        QString text = stamp.date().toString(QStringLiteral("dd.MM.yyyy"));
        if (stamp.time() != QTime(0, 0))
            text += stamp.time().toString(QStringLiteral(" HH:mm"));
        return text;
    }
    default:
        return csvCell(value.toString());
    }
}

} // namespace

QString csvCell(const QString& value)
{
    // What a spreadsheet cannot show, or shows as a formula, is written so
    // that it shows the text and the import reads the same text back.
    QString text;
    text.reserve(value.size());
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u == 0x0b || u == 0x0c || u == 0x2028 || u == 0x2029 || u == 0x85)
            text += u'\n'; // a word processor's breaks, as the import reads them
        else if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7f && u <= 0x9f))
            continue;
        else
            text += c;
    }
    const bool formula = !text.isEmpty() && QStringView(u"=+-@").contains(text[0]);
    QString cell = text;
    if (looksLikeNumber(text) || (formula && text.size() <= kMaxFormulaText && !text.contains(u'\n')
                                  && !text.contains(u'\r'))) {
        // ="…" is a formula that yields the text itself: the spreadsheet shows
        // =HYPERLINK(…) or an ISBN's leading zero as written, and runs nothing.
        cell.replace(u'"', QLatin1String("\"\""));
        cell = QStringLiteral("=\"%1\"").arg(cell);
    } else if (formula) {
        cell.prepend(u'\''); // too long or broken for a formula's text: shown with the apostrophe
    }
    // ="…" stays bare, as spreadsheets write it, unless the separator is inside.
    static const QString special = QStringLiteral(";\"\n\r");
    const bool literal = cell.startsWith(QLatin1String("=\""));
    bool quote = false;
    for (const QChar c : cell)
        quote |= literal ? c == u';' : special.contains(c);
    if (!quote)
        return cell;
    cell.replace(u'"', QLatin1String("\"\""));
    return u'"' + cell + u'"';
}

int writeShownRows(const db::Table& table, const QList<CsvColumn>& columns, const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw db::Error(QStringLiteral("Die Datei „%1“ lässt sich nicht anlegen: %2").arg(shown, file.errorString()));

    QLocale german(QLocale::German, QLocale::Germany);
    german.setNumberOptions(QLocale::OmitGroupSeparator);
    QStringList fields, titles;
    QList<db::FieldType> types;
    for (const CsvColumn& c : columns) {
        const db::Field& field = table.fieldByName(c.field);
        fields << field.fieldName();
        types << field.dataType();
        titles << csvCell(c.title);
    }

    QByteArray out("\xEF\xBB\xBF");
    out += titles.join(u';').toUtf8() + "\r\n";
    int rows = 0;
    bool failed = false;
    table.readShown(fields, [&](const db::Statement& row) {
        QStringList cells;
        for (int i = 0; i < fields.size(); ++i)
            cells << cellOf(row.column(i), types[i], german);
        out += cells.join(u';').toUtf8() + "\r\n";
        ++rows;
        if (out.size() > (1 << 20)) {
            failed |= file.write(out) != out.size();
            out.clear();
        }
    });
    failed |= file.write(out) != out.size();
    if (failed || !file.commit())
        throw db::Error(QStringLiteral("Die Datei „%1“ ließ sich nicht schreiben: %2").arg(shown, file.errorString()));
    return rows;
}

} // namespace csvstore
