#include "PlanFixture.h"
#include "csvimport/Mapping.h"
#include "../common/ErrorOf.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace csvimport;

class tst_CsvMapping : public QObject {
    Q_OBJECT

private slots:
    void proposals_data();
    void proposals();
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
           "Storage Box→storagePlace, Notes→remarks, Barcode→isbn";
    QTest::newRow("each field once") << "Titel|Title|Band|#" << "Titel→title1, Band→volume";
    QTest::newRow("case, accents, blanks and hyphens ignored")
        << "AUSFUEHRUNG| ausführung 2 |WÄHRUNG|l-nr.|Zu Kaufen|Seitenzahl"
        << "AUSFUEHRUNG→execution1,  ausführung 2 →execution2, WÄHRUNG→currency, l-nr.→copyNumber, "
           "Zu Kaufen→toBuy, Seitenzahl→pages";
    QTest::newRow("unknown names stay unmapped") << "Foo|Cover Price|Owned|" << "";
}

void tst_CsvMapping::proposals()
{
    QFETCH(QString, header);
    QFETCH(QString, expected);
    QCOMPARE(describeMapping(proposeMapping(header.split(u'|'))), expected);
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
