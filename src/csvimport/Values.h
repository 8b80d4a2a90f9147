#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

#include <stdexcept>

// The values of single cells: what a spreadsheet or another catalogue
// program writes, turned into what the catalogue stores. Every parser takes
// text already cleaned by cleanLine and throws ValueError with a message
// that names the value; the caller adds line and column.
namespace csvimport {

class ValueError : public std::runtime_error {
public:
    explicit ValueError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// The text between German quotes for a message, cut after 40 characters: „12a“.
QString quoted(QStringView text);
// A count for a message, its digits grouped the German way: 1.048.576.
QString grouped(qint64 n);

// Text for a field of one line (titles, names, places): line breaks and tabs
// become blanks, runs of blanks one blank, the ends are trimmed. Control
// characters, byte order marks and the non-characters U+FFFE/U+FFFF are
// dropped rather than refused: they are invisible, come from the program
// that wrote the file, and could not be exported as XML later.
QString cleanLine(QStringView text);
// Text for a memo (content, remarks): the same, but line breaks are kept
// (as "\n") and so are tabs. A word processor's line and paragraph breaks
// (U+000B, U+000C, U+0085, U+2028, U+2029) are line breaks, as in the entry boxes.
QString cleanMemo(QStringView text);
// Whether cleanLine would leave nothing, without building the text.
bool isBlankText(QStringView text);

// A whole number between min and max; "1.200" and "1 200" group thousands,
// a decimal part is refused.
int parseCount(QStringView text, int min, int max);
// A page count; "48 S.", "48 Seiten" and "48 pages" are 48.
int parsePages(QStringView text);

// A volume number: "12", "#12", "Bd. 12", "Nr. 12". When the cell says more
// than the number ("12a", "12/13", "12 (Neuauflage)"), number is what it
// begins with and designation keeps the whole volume ("Band 12a"), so that
// nothing the file said is lost.
struct Volume {
    int number = 0;
    QString designation;
};
Volume parseVolume(QStringView text);

// A price with its currency in front or behind: "12,95", "12,95 €",
// "EUR 12.95", "1.234,50", "1,234.50", "12,-". With one kind of separator
// it is a decimal one when one or two digits follow it and groups thousands
// when three do: a price never has three decimal places.
struct Price {
    double amount = 0;
    QString currency; // empty when the cell has none
};
Price parsePrice(QStringView text);

// A currency as the catalogue stores it: the euro as "€" ("EUR", "Euro"),
// the mark as "DM" ("DEM", "D-Mark"), any other short code or sign as
// written ("CHF", "$"); at most five characters.
QString parseCurrency(QStringView text);

// How a date with slashes is read: "3/4/2021" as 3 April or as 4 March.
enum class DateOrder { DayMonth, MonthDay };

// A date: "24.12.2021", "1.2.21", "2021-12-24", "12.2021" and "2021" (the
// first day of that month or year), with or without a time of day behind
// it, which is not kept. A two-digit year is the latest year ending in
// those digits that is not after today's: a purchase lies in the past.
QDate parseDate(QStringView text, const QDate& today, DateOrder slashOrder = DateOrder::DayMonth);

// Yes or no: "ja", "x", "1", "yes", "true" / "nein", "0", "no", empty.
bool parseFlag(QStringView text);

} // namespace csvimport
