#include "Describe.h"
#include "csvimport/CsvReader.h"
#include "csvimport/FormatDetection.h"
#include "csvimport/Mapping.h"
#include "../common/ErrorOf.h"

#include <QBuffer>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace csvimport;

namespace {

QString recordsOf(const QByteArray& bytes, const Format& format, const Limits& limits = {})
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, QStringLiteral("t.csv"), format, limits);
    QStringList out;
    Record r;
    while (reader.next(r))
        out << describeRecord(r);
    return out.join(u'\n');
}

QByteArray encoded(const QString& text, QStringConverter::Encoding encoding, bool bom = false)
{
    QStringEncoder encoder(encoding, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder(text);
}

QByteArray windows1252(const QString& text)
{
    QStringEncoder encoder("Windows-1252");
    return encoder(text);
}

double peakMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

const Format kSemicolon{Encoding::Utf8, u';', false};

} // namespace

class tst_CsvReader : public QObject {
    Q_OBJECT

private slots:
    void spreadsheetFiles_data();
    void spreadsheetFiles();
    void syntax_data();
    void syntax();
    void blockBoundaries();
    void mixedEncodings();
    void detection_data();
    void detection();
    void refusals_data();
    void refusals();
    void longLineInBoundedMemory();
};

void tst_CsvReader::spreadsheetFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("header");
    QTest::newRow("Excel, German, Windows-1252") << "excel-de-1252.csv" << "Windows-1252" << ";" << true;
    QTest::newRow("LibreOffice, UTF-8 with BOM, all quoted") << "libreoffice-utf8-bom.csv" << "UTF-8" << "," << true;
    QTest::newRow("another program's English export") << "english-export.csv" << "UTF-8" << "," << true;
    QTest::newRow("Excel Unicode text, UTF-16 with tabs") << "excel-unicode.txt" << "UTF-16LE" << "\t" << true;
    QTest::newRow("old Mac line ends, no header") << "mac-cr-noheader.csv" << "UTF-8" << ";" << false;
    QTest::newRow("authors in one column") << "authors-one-column.csv" << "UTF-8" << ";" << true;
}

void tst_CsvReader::spreadsheetFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, encoding);
    QFETCH(QString, separator);
    QFETCH(bool, header);
    const QString path = QStringLiteral(DATA_DIR "/") + file;
    const Format format = detectFormat(path);
    QCOMPARE(encodingName(format.encoding), encoding);
    QCOMPARE(QString(format.separator), separator);
    QCOMPARE(format.header, header);

    CsvReader reader(path, format);
    QStringList out{QStringLiteral("header: ") + QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(reader.header()))
                                                                      .toJson(QJsonDocument::Compact))};
    Record r;
    while (reader.next(r))
        out << describeRecord(r);
    QCOMPARE(reader.windows1252Lines(), 0);
    compareGolden(out.join(u'\n') + u'\n', path + QStringLiteral(".records"));
}

void tst_CsvReader::syntax_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("records");
    QTest::newRow("CR LF") << QByteArray("a;b\r\nc;d\r\n") << "1: [\"a\",\"b\"]\n2: [\"c\",\"d\"]";
    QTest::newRow("LF, last line without a break") << QByteArray("a;b\nc;d") << "1: [\"a\",\"b\"]\n2: [\"c\",\"d\"]";
    QTest::newRow("CR alone") << QByteArray("a;b\rc;d\r") << "1: [\"a\",\"b\"]\n2: [\"c\",\"d\"]";
    QTest::newRow("blank lines skipped but counted") << QByteArray("\na;b\r\n\r\n \t\nc;d\n\n")
                                                     << "2: [\"a\",\"b\"]\n5: [\"c\",\"d\"]";
    QTest::newRow("separator and doubled quotes inside quotes")
        << QByteArray("\"a;b\";\"sagt \"\"hallo\"\"\";\"\"\"\"") << "1: [\"a;b\",\"sagt \\\"hallo\\\"\",\"\\\"\"]";
    QTest::newRow("line breaks inside quotes: the record's first line")
        << QByteArray("x;\"eins\r\nzwei\rdrei\n\nvier\"\ny;z\n") << "1: [\"x\",\"eins\\nzwei\\ndrei\\n\\nvier\"]\n6: [\"y\",\"z\"]";
    QTest::newRow("empty fields, also the last") << QByteArray(";;\na;\n") << "1: [\"\",\"\",\"\"]\n2: [\"a\",\"\"]";
    QTest::newRow("blanks around a quoted field") << QByteArray("a; \"b;c\" ;d") << "1: [\"a\",\"b;c\",\"d\"]";
    QTest::newRow("text after the closing quote kept") << QByteArray("\"12\" Zoll;x") << "1: [\"12 Zoll\",\"x\"]";
    QTest::newRow("quote inside an unquoted field") << QByteArray("12\" Figur;x") << "1: [\"12\\\" Figur\",\"x\"]";
    QTest::newRow("quoted empty field and a quoted last field") << QByteArray("\"\";\"b\"\r\n") << "1: [\"\",\"b\"]";
    QTest::newRow("UTF-8 byte order mark skipped") << QByteArray("\xEF\xBB\xBFTitel;Band\n") << "1: [\"Titel\",\"Band\"]";
}

void tst_CsvReader::syntax()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, records);
    QCOMPARE(recordsOf(bytes, kSemicolon), records);
}

void tst_CsvReader::blockBoundaries()
{
    const qsizetype block = CsvReader::kBlockSize;
    // CR at the end of one block, LF at the start of the next: one line end.
    QByteArray crlf(block - 1, 'x');
    crlf += "\r\nb\n";
    QCOMPARE(recordsOf(crlf, kSemicolon).section(u'\n', 1), QStringLiteral("2: [\"b\"]"));

    // A character of two bytes split between two blocks stays UTF-8.
    QByteArray split(block - 1, 'x');
    split += "\xC3\xA4;y\n";
    QBuffer buffer(&split);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, QStringLiteral("t.csv"), kSemicolon);
    Record r;
    QVERIFY(reader.next(r));
    QVERIFY(r.fields[0].endsWith(u'ä'));
    QCOMPARE(reader.windows1252Lines(), 0);

    // A surrogate pair of UTF-16 split between two blocks.
    QByteArray wide = encoded(QString(block / 2 - 1, u'x') + QStringLiteral("🎨;y\n"), QStringConverter::Utf16LE);
    QVERIFY(recordsOf(wide, {Encoding::Utf16LE, u';', false}).endsWith(QStringLiteral("x🎨\",\"y\"]")));
}

void tst_CsvReader::mixedEncodings()
{
    // Two exports put together: UTF-8, then a line of Windows-1252, then UTF-8.
    const QByteArray bytes = QStringLiteral("Titel;Band\nZürich;1\n").toUtf8() + windows1252(QStringLiteral("Köln für 5 €;2\n"))
        + QStringLiteral("Straße;3\n").toUtf8();
    const Format format = detectFormat(bytes, true, QStringLiteral("t.csv"));
    QCOMPARE(format.encoding, Encoding::Utf8);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, QStringLiteral("t.csv"), format);
    QStringList titles;
    Record r;
    while (reader.next(r))
        titles << r.fields[0];
    QCOMPARE(titles, (QStringList{QStringLiteral("Zürich"), QStringLiteral("Köln für 5 €"), QStringLiteral("Straße")}));
    QCOMPARE(reader.windows1252Lines(), 1);
    QCOMPARE(reader.firstWindows1252Line(), 3);
}

void tst_CsvReader::detection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("choice"); // encoding|separator|header, empty parts guessed
    QTest::addColumn<QString>("expected"); // encoding|separator|header|records skipped
    QTest::newRow("German: semicolons, decimal commas")
        << QByteArray("Serie;Band;Preis\nAsterix;1;12,95\nAsterix;2;4,50\n") << "||" << "UTF-8|;|1|0";
    QTest::newRow("semicolons inside quotes of a comma file")
        << QByteArray("Title,Artist\n\"A\",\"X; Y\"\n\"B\",\"Z; W\"\n") << "||" << "UTF-8|,|1|0";
    QTest::newRow("unquoted credits with semicolons in a comma file")
        << QByteArray("Series,Issue,Credits\nA,1,Zeichner: X; Texter: Y\nB,2,Zeichner: Z; Texter: W\n") << "||"
        << "UTF-8|,|1|0";
    QTest::newRow("tabs; unknown names above digits are a header") << QByteArray("Reihe\tFoo\nA\t1\nB\t2\n") << "||"
                                                                     << "UTF-8|\t|1|0";
    QTest::newRow("no header: digits in the first row") << QByteArray("Asterix;1;Gallier\nAsterix;2;Sichel\n") << "||"
                                                         << "UTF-8|;|0|0";
    QTest::newRow("one column") << QByteArray("Titel\nAsterix\n") << "||" << "UTF-8|;|1|0";
    QTest::newRow("Windows-1252") << QByteArray("Titel;Preis\nStra\xDF" "e;5 \x80\n") << "||" << "Windows-1252|;|1|0";
    QTest::newRow("UTF-16LE without a byte order mark")
        << encoded(QStringLiteral("Titel;Band\nÖl;1\n"), QStringConverter::Utf16LE) << "||" << "UTF-16LE|;|1|0";
    QTest::newRow("UTF-16BE with a byte order mark")
        << encoded(QStringLiteral("Titel,Band\nÖl,1\n"), QStringConverter::Utf16BE, true) << "||" << "UTF-16BE|,|1|0";
    QTest::newRow("a title row above the header")
        << QByteArray("Meine Comics;;\nStand: 2024;;\nSerie;Band;Titel\nAsterix;1;Gallier\n") << "||" << "UTF-8|;|1|2";
    QTest::newRow("every guess overridden") << QByteArray("Serie;Band\nAsterix;1\n") << "Windows-1252|,|0"
                                            << "Windows-1252|,|0|0";
}

void tst_CsvReader::detection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, choice);
    QFETCH(QString, expected);
    const QStringList c = choice.split(u'|');
    FormatChoice fc;
    if (!c[0].isEmpty())
        fc.encoding = encodingFromName(c[0]);
    if (!c[1].isEmpty())
        fc.separator = c[1][0];
    if (!c[2].isEmpty())
        fc.header = c[2] == u"1";
    const Format f = detectFormat(bytes, true, QStringLiteral("t.csv"), fc);
    QCOMPARE(QStringLiteral("%1|%2|%3|%4").arg(encodingName(f.encoding), QString(f.separator)).arg(int(f.header)).arg(f.skipRecords),
             expected);
    // The header the reader then takes is the one with the column names.
    if (f.header) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        const CsvReader reader(buffer, QStringLiteral("t.csv"), f);
        QVERIFY(!proposeMapping(reader.header()).columns.isEmpty());
    }
}

void tst_CsvReader::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("encoding"); // empty: the format is detected first
    QTest::addColumn<int>("maxRecordLength");
    QTest::addColumn<QString>("message");
    const int big = Limits().maxRecordLength;
    QTest::newRow("empty file") << QByteArray() << "" << big << "„t.csv“: Die Datei ist leer";
    QTest::newRow("workbook saved as xlsx") << QByteArray("PK\x03\x04\x14\0\x06\0", 8) << "" << big
                                            << "„t.csv“: Das ist eine Arbeitsmappe einer Tabellenkalkulation";
    QTest::newRow("binary: zero bytes") << QByteArray("abc;def\nghi\0\x01\x02jkl;x\n", 21) << "" << big
                                        << "„t.csv“, Zeile 2: Die Datei enthält Nullbytes";
    QTest::newRow("binary: control characters") << QByteArray(64, '\x03') << "" << big
                                                << "„t.csv“: Die Datei enthält Steuerzeichen";
    QTest::newRow("zero byte after the sample") << QByteArray("a;b\nc;d\ne\0f;g\n", 14) << "UTF-8" << big
                                                << "„t.csv“, Zeile 3: Die Zeile enthält ein Nullbyte";
    QTest::newRow("quote never closed") << QByteArray("a;b\nc;\"d\ne;f\n") << "UTF-8" << big
                                        << "„t.csv“, Zeile 2, Spalte 2: Das Anführungszeichen am Anfang des Feldes "
                                           "wird bis zum Dateiende nicht geschlossen";
    QTest::newRow("stray quote stops at the limit")
        << QByteArray("a;b\nc;\"d\n") + QByteArray("xxxxxxxxx;y\n").repeated(500) << "UTF-8" << 1000
        << "„t.csv“, Zeile 2, Spalte 2: Das Feld in Anführungszeichen wird nach 1000 Zeichen noch nicht geschlossen";
    QTest::newRow("10,000 columns") << QByteArray(9999, ';') + '\n' << "UTF-8" << big
                                    << "„t.csv“, Zeile 1: Der Datensatz hat mehr als 1000 Spalten";
    QTest::newRow("UTF-16 with half a surrogate pair")
        << QByteArray("a\0;\0\x00\xD8" "b\0\n\0", 10) << "UTF-16LE" << big << "„t.csv“, Zeile 1: Die Zeile ist kein gültiges UTF-16";
}

void tst_CsvReader::refusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, encoding);
    QFETCH(int, maxRecordLength);
    QFETCH(QString, message);
    const QString error = errorOf([&] {
        Format format = kSemicolon;
        if (encoding.isEmpty())
            format = detectFormat(bytes, true, QStringLiteral("t.csv"));
        else
            format.encoding = *encodingFromName(encoding);
        recordsOf(bytes, format, Limits{maxRecordLength, 1000});
    });
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

void tst_CsvReader::longLineInBoundedMemory()
{
    // A line of 64 MB, written a megabyte at a time: the reader must refuse it
    // at its limit instead of holding it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lang.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Titel;Band\n");
        const QByteArray chunk(1 << 20, 'x');
        for (int i = 0; i < 64; ++i)
            file.write(chunk);
        file.write(";1\n");
    }
    const double before = peakMb();
    const QString error = errorOf([&] {
        CsvReader reader(path, kSemicolon);
        Record r;
        while (reader.next(r)) {
        }
    });
    QCOMPARE(error, QStringLiteral("„lang.csv“, Zeile 2: Die Zeile ist länger als 1.048.576 Zeichen"));
    QVERIFY2(peakMb() - before < 24, qPrintable(QString::number(peakMb() - before)));
}

QTEST_GUILESS_MAIN(tst_CsvReader)
#include "tst_csvreader.moc"
