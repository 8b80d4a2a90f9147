#pragma once

#include <QList>
#include <QString>

namespace db {
class Table;
}

// Writing what a list shows as a German spreadsheet reads it: UTF-8 with a
// byte order mark (so the umlauts arrive), ";" between the values, decimal
// commas, dates as dd.mm.yyyy, lines ending in CR LF.
namespace csvstore {

struct CsvColumn {
    QString field; // the table's field
    QString title; // the column's title in the header line
};

// The value as a spreadsheet cell: in double quotes, inner ones doubled, when
// it holds the separator, a quote or a line break. A text of ten digits or
// more, or one with a leading zero, goes as ="…": a spreadsheet would take it
// for a number and keep an ISBN as 9,78355E+12. So does a text beginning with
// =, +, - or @, which a spreadsheet would run as a formula (=HYPERLINK(…));
// one too long for a formula gets an apostrophe in front instead. Control
// characters are dropped, a word processor's breaks become line breaks.
// The import reads each form back as the text.
QString csvCell(const QString& text);

// Writes the rows the table shows, in its order and under its filter, with
// these columns, through QSaveFile: a failed write leaves any older file as
// it was. Returns the number of rows written; throws db::Error naming the file.
int writeShownRows(const db::Table& table, const QList<CsvColumn>& columns, const QString& path);

} // namespace csvstore
