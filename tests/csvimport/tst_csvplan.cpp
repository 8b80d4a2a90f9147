#include "Describe.h"
#include "PlanFixture.h"
#include "csvimport/FormatDetection.h"
#include "csvimport/ImportPlan.h"
#include "../common/ErrorOf.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

using namespace csvimport;

namespace {

QString summaryLine(const PlanSummary& s)
{
    return QStringLiteral("summary: records=%1 empty=%2 rows=%3 copies=%4 authors=%5 refused=%6")
        .arg(s.records)
        .arg(s.emptyRecords)
        .arg(s.rows)
        .arg(s.copies)
        .arg(s.authorLinks)
        .arg(s.refusedRows);
}

// What the wizard would show for a file: the proposed mapping, the rows, the problems.
QString planOfFile(const QString& path, const std::optional<Mapping>& given = std::nullopt)
{
    const Format format = detectFormat(path);
    const Preview preview = readPreview(path, format);
    const Mapping mapping = given ? *given : proposeMapping(preview.header, preview.records);
    QStringList out{QStringLiteral("mapping: ") + describeMapping(mapping)};
    const PlanSummary s = planFile(path, format, mapping, collectionOptions(),
                                   [&out](const ImportRow& row) { out << describeRow(row); });
    out << summaryLine(s) << s.problems();
    return out.join(u'\n') + u'\n';
}

// The same for a few lines of UTF-8 with ";" and a header.
QString planOfText(const QByteArray& csv, const std::function<void(Mapping&)>& adjust = {})
{
    QBuffer buffer;
    buffer.setData(csv);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer, QStringLiteral("t.csv"), Format{Encoding::Utf8, u';', true});
    Mapping mapping = proposeMapping(reader.header());
    if (adjust)
        adjust(mapping);
    Planner planner(reader.header(), mapping, collectionOptions());
    QStringList out;
    Record r;
    while (reader.next(r))
        if (const std::optional<ImportRow> row = planner.plan(r))
            out << describeRow(*row);
    out << summaryLine(planner.summary()) << planner.summary().problems();
    return out.join(u'\n');
}

} // namespace

class tst_CsvPlan : public QObject {
    Q_OBJECT

private slots:
    void files_data();
    void files();
    void rowRules_data();
    void rowRules();
    void authors_data();
    void authors();
    void refusedMappings_data();
    void refusedMappings();
    void onlyHeader();
};

void tst_CsvPlan::files_data()
{
    QTest::addColumn<QString>("file");
    for (const char* file : {"excel-de-1252.csv", "libreoffice-utf8-bom.csv", "english-export.csv", "excel-unicode.txt",
                             "authors-one-column.csv", "sammlung-excel-1252.csv", "other-program-en.csv"})
        QTest::newRow(file) << QString::fromLatin1(file);
}

void tst_CsvPlan::files()
{
    QFETCH(QString, file);
    const QString path = QStringLiteral(DATA_DIR "/") + file;
    compareGolden(planOfFile(path), path + QStringLiteral(".plan"));
}

void tst_CsvPlan::rowRules_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("adjust");
    QTest::addColumn<QString>("expected");
    QTest::newRow("more fields than the header")
        << QByteArray("Titel;Band\nA;1;x\n") << ""
        << "summary: records=1 empty=0 rows=0 copies=0 authors=0 refused=1\nZeile 2: Die Zeile hat 3 Felder, die "
           "Kopfzeile nur 2 – ein Trennzeichen zu viel oder ein fehlendes Anführungszeichen?";
    QTest::newRow("missing fields are empty, empty extra ones ignored")
        << QByteArray("Titel;Band;Preis\nA;1\nB;2;;;\n") << ""
        << "2: title1=\"A\" volume=1\n3: title1=\"B\" volume=2\nsummary: records=2 empty=0 rows=2 copies=0 authors=0 "
           "refused=0";
    QTest::newRow("empty records and blank ones skipped")
        << QByteArray("Titel;Band\n;\n ; \nA;1\n") << ""
        << "4: title1=\"A\" volume=1\nsummary: records=3 empty=2 rows=1 copies=0 authors=0 refused=0";
    QTest::newRow("currency column against the price's")
        << QByteArray("Titel;Preis;Währung\nA;12 €;USD\nB;3;USD\n") << ""
        << "3: title1=\"B\"\n    copy: price=3.00 currency=\"USD\"\nsummary: records=2 empty=0 rows=1 copies=1 "
           "authors=0 refused=1\nZeile 2, Spalte Währung: „USD“ widerspricht der Währung beim Preis („€“)";
    QTest::newRow("default currency for bare prices only")
        << QByteArray("Titel;Preis\nA;12\nB;3 DM\n") << "euro"
        << "2: title1=\"A\"\n    copy: price=12.00 currency=\"€\"\n3: title1=\"B\"\n    copy: price=3.00 "
           "currency=\"DM\"\nsummary: records=2 empty=0 rows=2 copies=2 authors=0 refused=0\n1 Preis ohne eigene "
           "Währung erhält „€“, die Währung für Preise ohne Angabe (Zeile 2)";
    QTest::newRow("columns of no field named")
        << QByteArray("Titel;Wert; Gelesen ;\nA;5 €;ja;\n") << ""
        << "2: title1=\"A\"\nsummary: records=1 empty=0 rows=1 copies=0 authors=0 refused=0\nNicht importiert, da "
           "keinem Feld zugeordnet: „Wert“, „Gelesen“";
    QTest::newRow("slashed dates that could be either way")
        << QByteArray("Titel;Kaufdatum\nA;03/10/1998\nB;25/12/1998\nC;04/11/98\nD;5/5/2000\n") << ""
        << "2: title1=\"A\"\n    copy: date=1998-10-03\n3: title1=\"B\"\n    copy: date=1998-12-25\n4: title1=\"C\"\n"
           "    copy: date=1998-11-04\n5: title1=\"D\"\n    copy: date=2000-05-05\nsummary: records=4 empty=0 rows=4 "
           "copies=4 authors=0 refused=0\n2 Kaufdaten mit Schrägstrichen lassen offen, was Tag und was Monat ist; sie "
           "wurden als Tag/Monat/Jahr gelesen, etwa „03/10/1998“ (Zeile 2) als 3. Oktober 1998";
    QTest::newRow("a currency alone makes no copy")
        << QByteArray("Titel;Währung\nA;EUR\n") << ""
        << "2: title1=\"A\"\nsummary: records=1 empty=0 rows=1 copies=0 authors=0 refused=0";
    QTest::newRow("copies always") << QByteArray("Titel\nA\n") << "always"
                                   << "2: title1=\"A\"\n    copy: \nsummary: records=1 empty=0 rows=1 copies=1 "
                                      "authors=0 refused=0";
    QTest::newRow("copies never") << QByteArray("Titel;Zustand\nA;1\n") << "never"
                                  << "2: title1=\"A\"\nsummary: records=1 empty=0 rows=1 copies=0 authors=0 refused=0";
    QTest::newRow("volume 12a with the third title taken")
        << QByteArray("Titel;Titel 3;Band\nA;x;12a\n") << ""
        << "summary: records=1 empty=0 rows=0 copies=0 authors=0 refused=1\nZeile 2, Spalte Band: „12a“ ist mehr "
           "als eine Zahl, und Titel 3, der den Rest aufnähme, ist schon belegt";
    QTest::newRow("title longer than its field")
        << QByteArray("Titel\n") + QByteArray(151, 'x') + '\n' << ""
        << "summary: records=1 empty=0 rows=0 copies=0 authors=0 refused=1\nZeile 2, Spalte Titel: "
           "„xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx…“ ist länger als 150 Zeichen";
    QTest::newRow("neither title nor series nor ISBN")
        << QByteArray("Titel;Verlag\n;Carlsen\n") << ""
        << "summary: records=1 empty=0 rows=0 copies=0 authors=0 refused=1\nZeile 2: Die Zeile hat weder Titel "
           "noch Serie noch ISBN";
    QTest::newRow("two remark columns joined")
        << QByteArray("Titel;Bemerkung;Notizen\nA;eins;\"zwei\ndrei\"\n") << ""
        << "2: title1=\"A\" remarks=\"eins\\nzwei\\ndrei\"\nsummary: records=1 empty=0 rows=1 copies=0 authors=0 "
           "refused=0";
    QTest::newRow("flags, limitation and the copy's number")
        << QByteArray("Titel;Fehlt;Zu kaufen;Limitierung;L-Nr.\nA;x;nein;1.000;17\n") << ""
        << "2: title1=\"A\" limitation=1000 missing\n    copy: number=17\nsummary: records=1 empty=0 rows=1 copies=1 "
           "authors=0 refused=0";
    QTest::newRow("names of the collection's lists")
        << QByteArray("Titel;Ausführung;Ausführung 2;Literaturtyp;Literaturart;Zustand\n"
                      "A;hardcover;SIGNIERT;manga;science fiction;Z0\n")
        << ""
        << "2: title1=\"A\" literatureType=\"Manga\" literatureKind=\"Science-Fiction\"\n    copy: condition=\"0 – "
           "druckfrisch\" execution1=\"Hardcover\" execution2=\"Signiert\"\nsummary: records=1 empty=0 rows=1 copies=1 "
           "authors=0 refused=0";
    QTest::newRow("every bad cell of a row named")
        << QByteArray("Titel;Ausführung;Seiten;Kaufdatum\nA;Pappe;viele;morgen\n") << ""
        << "summary: records=1 empty=0 rows=0 copies=0 authors=0 refused=1\nZeile 2, Spalte Ausführung: „Pappe“ ist "
           "keine bekannte Ausführung\nZeile 2, Spalte Seiten: „viele“ ist keine Seitenzahl\nZeile 2, Spalte "
           "Kaufdatum: „morgen“ ist kein gültiges Datum";
    QTest::newRow("authors of several role columns")
        << QByteArray("Titel;Zeichner;Farben;Autoren\nA;X / Y;Z;Texter: W\n") << ""
        << "2: title1=\"A\" authors=[X (Zeichner), Y (Zeichner), Z (Kolorist), W (Szenarist)]\nsummary: records=1 "
           "empty=0 rows=1 copies=0 authors=4 refused=0";
    QTest::newRow("one comma between two words, read as two names")
        << QByteArray("Titel;Zeichner;Texter\nA;Uderzo, Albert;René Goscinny, Albert Uderzo\nB;Franquin;\n") << ""
        << "2: title1=\"A\" authors=[Uderzo (Zeichner), Albert (Zeichner), René Goscinny (Szenarist), Albert Uderzo "
           "(Szenarist)]\n3: title1=\"B\" authors=[Franquin (Zeichner)]\nsummary: records=2 empty=0 rows=2 copies=0 "
           "authors=5 refused=0\n1 Autorenzelle wie „Uderzo, Albert“ (Zeile 2) wurde als zwei Namen gelesen; steht "
           "dort „Nachname, Vorname“, schalten Sie „Komma trennt Autoren“ aus oder trennen Sie die Namen in der Datei mit „;“";
    QTest::newRow("an ISBN a spreadsheet made a number")
        << QByteArray("Titel;ISBN\nA;9,78355E+12\nB;978-3-551-74782-0\n") << ""
        << "3: title1=\"B\" isbn=\"978-3-551-74782-0\"\nsummary: records=2 empty=0 rows=1 copies=0 authors=0 "
           "refused=1\nZeile 2, Spalte ISBN: „9,78355E+12“ ist keine ISBN mehr: die Tabellenkalkulation hat sie als "
           "Zahl gekürzt";
    QTest::newRow("a text a program kept from being a number")
        << QByteArray("Titel;ISBN\nA;=\"0306406152\"\n") << ""
        << "2: title1=\"A\" isbn=\"0306406152\"\nsummary: records=1 empty=0 rows=1 copies=0 authors=0 refused=0";
    QTest::newRow("an apostrophe that kept a text from being a formula")
        << QByteArray("Titel;Serie\n'=1+1;'-x\n'Tis;x'\n") << ""
        << "2: title1=\"=1+1\" series=\"-x\"\n3: title1=\"'Tis\" series=\"x'\"\nsummary: records=2 empty=0 rows=2 "
           "copies=0 authors=0 refused=0";
}

void tst_CsvPlan::rowRules()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, adjust);
    QFETCH(QString, expected);
    QCOMPARE(planOfText(csv,
                        [&adjust](Mapping& m) {
                            if (adjust == u"euro")
                                m.defaultCurrency = QStringLiteral("€");
                            if (adjust == u"always")
                                m.copies = CopyRule::Always;
                            if (adjust == u"never")
                                m.copies = CopyRule::Never;
                        }),
             expected);
}

void tst_CsvPlan::authors_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("columnRole");
    QTest::addColumn<bool>("commas");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one role per column") << "Albert Uderzo" << "Zeichner" << true << "Albert Uderzo (Zeichner)";
    QTest::newRow("A, B for one role") << "A, B" << "Zeichner" << true << "A (Zeichner), B (Zeichner)";
    QTest::newRow("roles written before the names") << "Zeichner: A; Texter: B" << "" << true
                                                    << "A (Zeichner), B (Szenarist)";
    QTest::newRow("a role holds for the names after it") << "Zeichner: A, B, Writer: C" << "Autor" << true
                                                         << "A (Zeichner), B (Zeichner), C (Szenarist)";
    QTest::newRow("roles behind the names") << "A (Zeichner), B (Writer), C" << "Autor" << true
                                            << "A (Zeichner), B (Szenarist), C (Autor)";
    QTest::newRow("brackets that name no role") << "Hergé (Georges Remi)" << "Autor" << true
                                                << "Hergé (Georges Remi) (Autor)";
    QTest::newRow("two roles for one name") << "Text & Zeichnungen: Franquin" << "" << true
                                            << "Franquin (Szenarist), Franquin (Zeichner)";
    QTest::newRow("last name first") << "Goscinny, René; Uderzo, Albert" << "Autor" << false
                                     << "Goscinny, René (Autor), Uderzo, Albert (Autor)";
    QTest::newRow("line breaks, slashes, ampersands") << "A\nB / C & D" << "Tuscher" << true
                                                      << "A (Tuscher), B (Tuscher), C (Tuscher), D (Tuscher)";
    QTest::newRow("roles changing after a slash") << "Text: A / Zeichnungen: B & C" << "" << true
                                                  << "A (Szenarist), B (Zeichner), C (Zeichner)";
    QTest::newRow("a name twice once") << "A; A; Zeichner: A" << "Zeichner" << true << "A (Zeichner)";
    QTest::newRow("unknown role") << "Bäcker: X" << "Autor" << true << "error: „Bäcker“ ist keine bekannte Funktion";
    QTest::newRow("a name without any role") << "X" << "" << true
                                             << "error: „X“ hat keine Funktion (etwa „Zeichner: X“)";
    QTest::newRow("name longer than its field") << QString(51, u'n') << "Autor" << true
                                                << "error: Der Name „nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn…“ ist "
                                                   "länger als 50 Zeichen";
}

void tst_CsvPlan::authors()
{
    QFETCH(QString, cell);
    QFETCH(QString, columnRole);
    QFETCH(bool, commas);
    QFETCH(QString, expected);
    QString got;
    try {
        QStringList names;
        for (const ImportAuthor& a :
             parseAuthors(cell, columnRole, commas, LookupList(collectionOptions().lookups.roles, LookupKind::Role)))
            names << a.name + QStringLiteral(" (") + a.role + u')';
        got = names.join(QStringLiteral(", "));
    } catch (const ValueError& e) {
        got = QStringLiteral("error: ") + e.message();
    }
    QCOMPARE(got, expected);
}

void tst_CsvPlan::refusedMappings_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("columns"); // target(role) per column, "-" for none
    QTest::addColumn<QString>("message");
    QTest::newRow("a field in two columns") << "Band|Nr|Titel" << "volume|volume|title1"
                                            << "Das Feld „Band“ ist mehreren Spalten zugeordnet";
    QTest::newRow("nothing that names a volume") << "Verlag|Band" << "publisher|volume"
                                                 << "Weder Titel 1 noch Serie noch ISBN ist einer Spalte zugeordnet: so "
                                                    "lässt sich kein Band erkennen";
    QTest::newRow("a role the collection lacks") << "Titel|Bäcker" << "title1|authors(Bäcker)"
                                                 << "Die Funktion „Bäcker“ der Spalte „Bäcker“ gibt es nicht";
}

void tst_CsvPlan::refusedMappings()
{
    QFETCH(QString, header);
    QFETCH(QString, columns);
    QFETCH(QString, message);
    const QStringList names = header.split(u'|');
    const QStringList targets = columns.split(u'|');
    Mapping mapping;
    for (int i = 0; i < names.size(); ++i) {
        const QString key = targets[i].section(u'(', 0, 0);
        mapping.columns << ColumnMapping{names[i], i, *targetFromKey(key), targets[i].section(u'(', 1).chopped(
                                                                                 targets[i].contains(u'(') ? 1 : 0)};
    }
    QCOMPARE(errorOf([&] { Planner(names, mapping, collectionOptions()); }), message);
}

void tst_CsvPlan::onlyHeader()
{
    // A header and what a spreadsheet leaves of deleted rows: nothing to import.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kopf.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Titel;Band\r\n;\r\n;\r\n");
    file.close();
    const Format format = detectFormat(path);
    QVERIFY(format.header);
    QCOMPARE(errorOf([&] { planFile(path, format, proposeMapping({QStringLiteral("Titel"), QStringLiteral("Band")}), {}); }),
             QStringLiteral("„kopf.csv“: Die Datei enthält nur die Kopfzeile, keine Daten"));
}

QTEST_GUILESS_MAIN(tst_CsvPlan)
#include "tst_csvplan.moc"
