#include "PlanFixture.h"
#include "csvimport/Mapping.h"
#include "../common/ErrorOf.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace csvimport;

class tst_CsvMapping : public QObject {
    Q_OBJECT

private slots:
    void proposals_data();
    void proposals();
    void proposalsFromValues_data();
    void proposalsFromValues();
    void savedAndLoaded();
    void refusedFiles_data();
    void refusedFiles();
    void resolve_data();
    void resolve();
};

void tst_CsvMapping::proposals_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a German spreadsheet")
        << "Serie|Nr.|Titel|Untertitel|Verlag|Zeichner|Texter|Preis|Gekauft am|Zustand|Lagerort|Bemerkungen"
        << "Serie→series, Nr.→volume, Titel→title1, Untertitel→title2, Verlag→publisher, Zeichner→authors(Zeichner), "
           "Texter→authors(Szenarist), Preis→purchasePrice, Gekauft am→purchaseDate, Zustand→condition, "
           "Lagerort→storagePlace, Bemerkungen→remarks";
    QTest::newRow("an English catalogue program")
        << "Series|Issue #|Title|Subtitle|Publisher|Writer|Penciller|Inker|Colorist|Cover Price|Price Paid|"
           "Date Purchased|Grade|Storage Box|Notes|Barcode"
        << "Series→series, Issue #→volume, Title→title1, Subtitle→title2, Publisher→publisher, "
           "Writer→authors(Szenarist), Penciller→authors(Zeichner), Inker→authors(Tuscher), "
           "Colorist→authors(Kolorist), Price Paid→purchasePrice, Date Purchased→purchaseDate, Grade→condition, "
           "Storage Box→storagePlace, Notes→remarks, Barcode→isbn; month/day";
    QTest::newRow("the issue is the volume, not the series' run")
        << "Title|Series|Volume|Issue|Cover Artist|ISBN"
        << "Title→title1, Series→series, Issue→volume, Cover Artist→authors(Zeichner), ISBN→isbn; month/day";
    QTest::newRow("ISBN and barcode in one column") << "Title|ISBN/Barcode" << "Title→title1, ISBN/Barcode→isbn; month/day";
    QTest::newRow("volume alone is the volume") << "Title|Volume" << "Title→title1, Volume→volume; month/day";
    QTest::newRow("a running number beside the volume") << "Nr.|Serie|Band|Titel"
                                                        << "Serie→series, Band→volume, Titel→title1";
    QTest::newRow("the price paid, not the cover's") << "Titel|Preis|Kaufpreis|Exemplar-Bemerkung"
                                                     << "Titel→title1, Kaufpreis→purchasePrice, "
                                                        "Exemplar-Bemerkung→copyRemarks";
    QTest::newRow("a price column naming its currency") << "Titel|Preis in EUR" << "Titel→title1, Preis in "
                                                                                    "EUR→purchasePrice; bare prices in €";
    QTest::newRow("each field once") << "Titel|Title|Band|#" << "Titel→title1, Band→volume";
    QTest::newRow("case, accents, blanks and hyphens ignored")
        << "AUSFUEHRUNG| ausführung 2 |WÄHRUNG|l-nr.|Zu Kaufen|Seitenzahl"
        << "AUSFUEHRUNG→execution1,  ausführung 2 →execution2, WÄHRUNG→currency, l-nr.→copyNumber, "
           "Zu Kaufen→toBuy, Seitenzahl→pages";
    QTest::newRow("unknown names stay unmapped") << "Foo|Cover Price|Owned|Cover|Titelbild|" << "";
}

void tst_CsvMapping::proposals()
{
    QFETCH(QString, header);
    QFETCH(QString, expected);
    QCOMPARE(describeMapping(proposeMapping(header.split(u'|'))), expected);
}

void tst_CsvMapping::proposalsFromValues_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("sample"); // records by "/", cells by "|"
    QTest::addColumn<QString>("expected");
    QTest::newRow("bought with yes and no is no date")
        << "Titel|Gekauft|Kaufdatum" << "A|ja|1.2.2020/B||/C|nein|" << "Titel→title1, Kaufdatum→purchaseDate";
    QTest::newRow("bought with dates is the date") << "Titel|Gekauft" << "A|03.10.1998/B|ja"
                                                   << "Titel→title1, Gekauft→purchaseDate";
    QTest::newRow("bare prices in the file's one currency")
        << "Titel|Preis" << "A|12,95 €/B|4,95/C|EUR 3" << "Titel→title1, Preis→purchasePrice; bare prices in €";
    QTest::newRow("a currency column counts") << "Title|Price|Currency" << "A|12.95|USD/B|3|"
                                              << "Title→title1, Price→purchasePrice, Currency→currency; month/day; "
                                                 "bare prices in USD";
    QTest::newRow("the column's currency against the cells'")
        << "Titel|Kaufpreis (DM)" << "A|12,95 €/B|4,95" << "Titel→title1, Kaufpreis (DM)→purchasePrice";
    QTest::newRow("two currencies: bare prices stay bare")
        << "Titel|Preis" << "A|12,95 €/B|4,95/C|3,50 DM" << "Titel→title1, Preis→purchasePrice";
    QTest::newRow("slashes in a German file: day first") << "Titel|Kaufdatum" << "A|03/10/1998"
                                                         << "Titel→title1, Kaufdatum→purchaseDate";
    QTest::newRow("a day past twelve decides against the header")
        << "Title|Purchase Date" << "A|03/10/1998/B|25/12/1998" << "Title→title1, Purchase Date→purchaseDate";
}

void tst_CsvMapping::proposalsFromValues()
{
    QFETCH(QString, header);
    QFETCH(QString, sample);
    QFETCH(QString, expected);
    QList<Record> records;
    // "/" inside dates: records are split on "/" followed by a letter.
    for (const QString& line : sample.split(QRegularExpression(QStringLiteral("/(?=[A-Z])"))))
        records << Record{int(records.size()) + 2, line.split(u'|')};
    QCOMPARE(describeMapping(proposeMapping(header.split(u'|'), records)), expected);
}

void tst_CsvMapping::savedAndLoaded()
{
    Mapping m;
    m.columns = {{QStringLiteral("Band"), 1, Target::Volume, {}},
                 {QStringLiteral("Titel"), 0, Target::Title1, {}},
                 {QStringLiteral("Farben"), 4, Target::Authors, QStringLiteral("Kolorist")},
                 {{}, 7, Target::PurchasePrice, {}}};
    m.copies = CopyRule::Never;
    m.commaSeparatesAuthors = false;
    m.defaultCurrency = QStringLiteral("€");
    m.slashDates = DateOrder::MonthDay;
    m.file = Format{Encoding::Windows1252, u'\t', false, 2};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zuordnung.json"));
    m.save(path);
    const Mapping back = Mapping::load(path);
    QCOMPARE(back.columns, m.columns);
    QCOMPARE(back.toJson(), m.toJson());
    QCOMPARE(back.file->encoding, Encoding::Windows1252);
    QCOMPARE(back.file->separator, QChar(u'\t'));
    QVERIFY(!back.file->header);
    QCOMPARE(back.file->skipRecords, 2);
}

void tst_CsvMapping::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");
    QTest::newRow("not JSON") << QByteArray("Titel;Band") << "„z.json“ ist keine Zuordnung: ";
    QTest::newRow("no version") << QByteArray("{\"columns\": []}")
                                << "„z.json“: Die Zuordnung ist nicht lesbar: sie hat keine Versionsnummer";
    QTest::newRow("a newer version") << QByteArray("{\"version\": 2, \"columns\": []}")
                                     << "„z.json“: Die Zuordnung ist nicht lesbar: sie stammt aus einer neueren "
                                        "Version von Stripothek (Format 2)";
    QTest::newRow("an unknown field") << QByteArray("{\"version\": 1, \"columns\": [{\"index\": 0, \"target\": \"x\"}]}")
                                      << "„z.json“: Die Zuordnung ist nicht lesbar: das Feld „x“ gibt es nicht";
    QTest::newRow("a column without name or number")
        << QByteArray("{\"version\": 1, \"columns\": [{\"target\": \"title1\"}]}")
        << "„z.json“: Die Zuordnung ist nicht lesbar: eine Spalte hat weder Namen noch Nummer";
    QTest::newRow("a separator of two characters")
        << QByteArray("{\"version\": 1, \"file\": {\"encoding\": \"UTF-8\", \"separator\": \";;\"}}")
        << "„z.json“: Die Zuordnung ist nicht lesbar: „;;“ ist kein Trennzeichen";
    QTest::newRow("an unknown copy rule") << QByteArray("{\"version\": 1, \"copies\": \"manchmal\"}")
                                          << "„z.json“: Die Zuordnung ist nicht lesbar: die Regel für eigene "
                                             "Exemplare „manchmal“ gibt es nicht";
}

void tst_CsvMapping::refusedFiles()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("z.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(json);
    file.close();
    const QString error = errorOf([&] { Mapping::load(path); });
    QVERIFY2(error.startsWith(message), qPrintable(error));
}

void tst_CsvMapping::resolve_data()
{
    // A mapping saved from the header "Titel|Band|Zeichner" (or by position).
    QTest::addColumn<bool>("byName");
    QTest::addColumn<QString>("header"); // empty: a file without one
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same header") << true << "Titel|Band|Zeichner" << 3 << "title1|volume|authors";
    QTest::newRow("columns moved and one added") << true << "Preis|zeichner|Titel|Band" << 4 << "-|authors|title1|volume";
    QTest::newRow("a named column missing")
        << true << "Titel|Zeichner" << 2 << "error: Die Zuordnung nennt die Spalte „Band“; die Datei hat keine solche Spalte";
    QTest::newRow("no header: by position") << true << "" << 4 << "title1|volume|authors|-";
    QTest::newRow("by position beyond the file")
        << false << "" << 2 << "error: Die Zuordnung nennt die Spalte 3; die Datei hat nur 2 Spalten";
}

void tst_CsvMapping::resolve()
{
    QFETCH(bool, byName);
    QFETCH(QString, header);
    QFETCH(int, columns);
    QFETCH(QString, expected);
    Mapping m;
    const QStringList saved{QStringLiteral("Titel"), QStringLiteral("Band"), QStringLiteral("Zeichner")};
    const Target targets[] = {Target::Title1, Target::Volume, Target::Authors};
    for (int i = 0; i < 3; ++i)
        m.columns << ColumnMapping{byName ? saved[i] : QString(), i, targets[i], {}};
    QString got;
    try {
        QStringList keys;
        for (const ColumnMapping& c : m.resolve(header.isEmpty() ? QStringList() : header.split(u'|'), columns))
            keys << (c.target == Target::None ? QStringLiteral("-") : targetKey(c.target));
        got = keys.join(u'|');
    } catch (const db::Error& e) {
        got = QStringLiteral("error: ") + e.message();
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(tst_CsvMapping)
#include "tst_csvmapping.moc"
