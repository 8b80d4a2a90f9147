#include "csvimport/Names.h"
#include "csvimport/Values.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace csvimport;

namespace {

const QDate kToday(2026, 6, 15);

// The value as the row would hold it, or "error: " and the message.
QString valueOf(const QString& kind, const QString& text)
{
    try {
        if (kind == u"price") {
            const Price p = parsePrice(text);
            return QString::number(p.amount, 'f', 2) + (p.currency.isEmpty() ? QString() : u' ' + p.currency);
        }
        if (kind == u"date")
            return parseDate(text, kToday).toString(Qt::ISODate);
        if (kind == u"date m/d")
            return parseDate(text, kToday, DateOrder::MonthDay).toString(Qt::ISODate);
        if (kind == u"volume") {
            const Volume v = parseVolume(text);
            return QString::number(v.number) + (v.designation.isEmpty() ? QString() : QStringLiteral(" | ") + v.designation);
        }
        if (kind == u"pages")
            return QString::number(parsePages(text));
        if (kind == u"count")
            return QString::number(parseCount(text, 0, 100000));
        if (kind == u"flag")
            return parseFlag(text) ? QStringLiteral("ja") : QStringLiteral("nein");
        if (kind == u"currency")
            return parseCurrency(text);
        const QString clean = kind == u"line" ? cleanLine(text) : cleanMemo(text);
        return QString::fromUtf8(QJsonDocument(QJsonArray{clean}).toJson(QJsonDocument::Compact));
    } catch (const ValueError& e) {
        return QStringLiteral("error: ") + e.message();
    }
}

} // namespace

class tst_CsvValues : public QObject {
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void lookups_data();
    void lookups();
};

void tst_CsvValues::values_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const char* kind, const QString& text, const char* expected) {
        QTest::newRow(name) << QString::fromUtf8(kind) << text << QString::fromUtf8(expected);
    };
    row("price: decimal comma", "price", "12,95", "12.95");
    row("price: euro sign behind", "price", "12,95 €", "12.95 €");
    row("price: EUR in front, decimal point", "price", "EUR 12.95", "12.95 €");
    row("price: German thousands", "price", "1.234,50", "1234.50");
    row("price: English thousands", "price", "1,234.50", "1234.50");
    row("price: three digits after one separator group", "price", "1.234", "1234.00");
    row("price: one decimal, marks", "price", "1,5 DM", "1.50 DM");
    row("price: German whole euros", "price", "12,- €", "12.00 €");
    row("price: no-break space groups", "price", QStringLiteral("1\u00a0234,50 €"), "1234.50 €");
    row("price: other currency as written", "price", "CHF 20", "20.00 CHF");
    row("price: dollar sign", "price", "$3.99", "3.99 $");
    row("price: letters behind", "price", "12,5x", "error: „12,5x“ ist kein Preis");
    row("price: negative", "price", "-3,00", "error: „-3,00“ ist negativ");
    row("price: three decimals", "price", "0,125", "error: „0,125“ ist kein Preis");
    row("price: a word in front", "price", "ca. 12 €", "error: „ca. 12 €“ ist kein Preis");
    row("price: groups of two", "price", "12.34,5", "error: „12.34,5“ ist kein Preis");
    row("price: no number", "price", "gratis", "error: „gratis“ ist kein Preis");
    row("date: German", "date", "24.12.2021", "2021-12-24");
    row("date: short, this century", "date", "1.2.21", "2021-02-01");
    row("date: short, this year", "date", "1.2.26", "2026-02-01");
    row("date: short, next year is last century", "date", "1.2.27", "1927-02-01");
    row("date: ISO", "date", "2019-03-14", "2019-03-14");
    row("date: with a time", "date", "24.12.2021 14:30:00", "2021-12-24");
    row("date: ISO with time and zone", "date", "2019-03-14T10:30:00Z", "2019-03-14");
    row("date: slashes, day first", "date", "03/04/2019", "2019-04-03");
    row("date: slashes, month first", "date m/d", "03/14/2019", "2019-03-14");
    row("date: month and year", "date", "12.2021", "2021-12-01");
    row("date: year alone", "date", "2021", "2021-01-01");
    row("date: no such day", "date", "31.02.2020", "error: „31.02.2020“ ist kein gültiges Datum");
    row("date: no year", "date", "24.12.", "error: „24.12.“ ist kein gültiges Datum");
    row("date: a word", "date", "gestern", "error: „gestern“ ist kein gültiges Datum");
    row("date: month first read as day first", "date", "03/14/2019", "error: „03/14/2019“ ist kein gültiges Datum");
    row("date: a time that is none", "date", "24.12.2021 14h", "error: „24.12.2021 14h“ ist kein gültiges Datum");
    row("volume: number", "volume", "12", "12");
    row("volume: issue sign", "volume", "#5", "5");
    row("volume: Bd.", "volume", "Bd. 3", "3");
    row("volume: letter behind kept in a title", "volume", "12a", "12 | Band 12a");
    row("volume: double issue", "volume", "12/13", "12 | Band 12/13");
    row("volume: thousands", "volume", "1.234", "1234");
    row("volume: a spreadsheet's decimals", "volume", "12,0", "12");
    row("volume: a word", "volume", "abc", "error: „abc“ ist keine Zahl");
    row("volume: negative", "volume", "-1", "error: „-1“ ist keine Zahl");
    row("pages: number", "pages", "48", "48");
    row("pages: with S.", "pages", "48 S.", "48");
    row("pages: with Seiten", "pages", "364 Seiten", "364");
    row("pages: none", "pages", "0", "error: „0“ ist keine Seitenzahl");
    row("count: thousands", "count", "1.200", "1200");
    row("count: decimal", "count", "12,5", "error: „12,5“ ist keine Zahl");
    row("count: too large", "count", "100.001", "error: „100.001“ ist zu groß (höchstens 100000)");
    row("flag: ja", "flag", "ja", "ja");
    row("flag: cross", "flag", "X", "ja");
    row("flag: tick", "flag", QStringLiteral("✓"), "ja");
    row("flag: no", "flag", "No", "nein");
    row("flag: neither", "flag", "vielleicht", "error: „vielleicht“ ist weder ja noch nein");
    row("currency: EUR", "currency", "EUR", "€");
    row("currency: Euro", "currency", "Euro", "€");
    row("currency: D-Mark", "currency", "D-Mark", "DM");
    row("currency: pound sign", "currency", QStringLiteral("£"), "£");
    row("currency: a word", "currency", "Taler", "error: „Taler“ ist keine Währung");
    row("line: breaks, tabs and blanks", "line", "  Der\tGallier\r\n (1)  ", "[\"Der Gallier (1)\"]");
    row("line: control characters dropped", "line", QStringLiteral("A\u0001B\u007fC\u0090D\u001bE"), "[\"ABCDE\"]");
    row("line: byte order mark and non-characters dropped", "line", QStringLiteral("\ufeffTi\ufffetel\uffff"),
        "[\"Titel\"]");
    row("line: no-break space is a blank", "line", QStringLiteral("Band\u00a0\u00a012"), "[\"Band 12\"]");
    row("line: emoji kept", "line", QStringLiteral("Held 🦸‍♀️"), "[\"Held 🦸‍♀️\"]");
    row("line: half a surrogate pair dropped", "line", QStringLiteral("A") + QChar(0xd800) + QStringLiteral("B"), "[\"AB\"]");
    row("memo: line breaks kept as LF", "memo", QStringLiteral("\n Zeile 1\r\nZeile 2\rZeile 3\tTab\u000b\n"),
        "[\"Zeile 1\\nZeile 2\\nZeile 3\\tTab\"]");
    row("memo: a word processor's breaks as LF", "memo", QStringLiteral("Zeile\u000bUmbruch\u2029Absatz\u0085Ende"),
        "[\"Zeile\\nUmbruch\\nAbsatz\\nEnde\"]");
    row("line: a word processor's breaks as blanks", "line", QStringLiteral("Zeile\u000bUmbruch\u2028Ende"),
        "[\"Zeile Umbruch Ende\"]");
}

void tst_CsvValues::values()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(valueOf(kind, text), expected);
}

void tst_CsvValues::lookups_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // empty: not found
    const QStringList conditions{QStringLiteral("0 – druckfrisch"), QStringLiteral("1 – sehr gut"),
                                 QStringLiteral("2 – gut"), QStringLiteral("3 – mäßig"), QStringLiteral("4 – schlecht")};
    const QStringList roles{QStringLiteral("Autor"), QStringLiteral("Szenarist"), QStringLiteral("Zeichner"),
                            QStringLiteral("Kolorist"), QStringLiteral("Übersetzer")};
    const QStringList types{QStringLiteral("Comic"), QStringLiteral("Manga"), QStringLiteral("Graphic Novel")};
    const int condition = int(LookupKind::Condition), role = int(LookupKind::Role), plain = int(LookupKind::Plain);
    QTest::newRow("condition: whole name") << condition << conditions << "2 – gut" << "2 – gut";
    QTest::newRow("condition: grade") << condition << conditions << "1" << "1 – sehr gut";
    QTest::newRow("condition: Z3") << condition << conditions << "Z3" << "3 – mäßig";
    QTest::newRow("condition: Zustand 2") << condition << conditions << "Zustand 2" << "2 – gut";
    QTest::newRow("condition: name after the grade") << condition << conditions << "sehr gut" << "1 – sehr gut";
    QTest::newRow("condition: capitals, ss for ß") << condition << conditions << "MÄSSIG" << "3 – mäßig";
    QTest::newRow("condition: Near Mint") << condition << conditions << "Near Mint" << "1 – sehr gut";
    QTest::newRow("condition: VF") << condition << conditions << "VF" << "1 – sehr gut";
    QTest::newRow("condition: poor") << condition << conditions << "poor" << "4 – schlecht";
    QTest::newRow("condition: German half grade, the worse") << condition << conditions << "1-2" << "2 – gut";
    QTest::newRow("condition: half grade with Z and a dash") << condition << conditions << "Z 0–1" << "1 – sehr gut";
    QTest::newRow("condition: between two English grades") << condition << conditions << "FN/VF" << "2 – gut";
    QTest::newRow("condition: ten-point scale") << condition << conditions << "9.4" << "1 – sehr gut";
    QTest::newRow("condition: ten-point scale, fair") << condition << conditions << "1.5" << "3 – mäßig";
    QTest::newRow("condition: ten-point scale with its words") << condition << conditions << "VF/NM 9.0"
                                                               << "1 – sehr gut";
    QTest::newRow("condition: grader and ten points") << condition << conditions << "CGC 9.8" << "1 – sehr gut";
    QTest::newRow("condition: ten points, then words") << condition << conditions << "5.0 VG/FN" << "2 – gut";
    QTest::newRow("condition: words and a number out of scale") << condition << conditions << "NM 12.0" << "";
    QTest::newRow("condition: a German grade with a point") << condition << conditions << "Z 1.5" << "";
    QTest::newRow("condition: a school mark") << condition << conditions << "befriedigend" << "3 – mäßig";
    QTest::newRow("condition: unknown word") << condition << conditions << "prima" << "";
    QTest::newRow("condition: unknown grade") << condition << conditions << "5" << "";
    QTest::newRow("role: English") << role << roles << "Artist" << "Zeichner";
    QTest::newRow("role: Texter") << role << roles << "texter" << "Szenarist";
    QTest::newRow("role: feminine form") << role << roles << "Übersetzerin" << "Übersetzer";
    QTest::newRow("role: not in the collection") << role << roles << "Inker" << "";
    QTest::newRow("role: unknown") << role << roles << "Bäcker" << "";
    QTest::newRow("role: unchecked keeps the text") << role << QStringList() << "Bäcker" << "Bäcker";
    QTest::newRow("role: unchecked, English") << role << QStringList() << "Penciller" << "Zeichner";
    QTest::newRow("type: hyphen and case") << plain << types << "graphic-novel" << "Graphic Novel";
    QTest::newRow("type: plural is another word") << plain << types << "Comics" << "";
}

void tst_CsvValues::lookups()
{
    QFETCH(int, kind);
    QFETCH(QStringList, names);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(LookupList(names, LookupKind(kind)).find(text), expected);
}

QTEST_GUILESS_MAIN(tst_CsvValues)
#include "tst_csvvalues.moc"
