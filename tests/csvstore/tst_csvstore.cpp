#include "database/SearchIndex.h"
#include "csvstore/CsvStore.h"
#include "csvstore/ShownRowsCsv.h"

#include "../common/ErrorOf.h"
#include "../csvimport/Describe.h"
#include "core/Errors.h"
#include "csvimport/FormatDetection.h"
#include "database/ComicData.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using csvstore::ExistingRows;
Q_DECLARE_METATYPE(csvstore::ExistingRows)

// Spreadsheet files stored in a small collection that already holds the
// publisher "Carlsen", the series "Spirou und Fantasio" and its first volume
// without title or pages: what each file creates, compared with its expected
// rows; the trial run against the import; files that must change nothing.
// A new collection of its own, opened, for reading an exported file back.
struct EmptyCollection {
    QTemporaryDir dir;
    ComicData data;
    EmptyCollection()
    {
        db::schema::createDatabase(dir.path());
        data.dbConnection().setDatabasePath(dir.path() + QStringLiteral("/database"));
        data.OpenTables();
    }
};

class TestCsvStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ComicData> m_data;

    db::Connection& connection() { return m_data->dbConnection(); }

    QStringList rows(const QString& sql)
    {
        QStringList result;
        db::Statement read(connection().handle(), sql);
        while (read.step()) {
            QStringList values;
            for (int i = 0; i < read.columnCount(); ++i)
                if (!read.columnIsNull(i))
                    values << read.column(i).toString().replace(u'\n', u"\\n"_s);
            result << values.join(u" | "_s);
        }
        return result;
    }

    // Every row of every table, keys included: what "nothing changed" compares.
    QString everything()
    {
        QString all;
        for (const db::schema::TableDef& table : db::schema::tables())
            all += table.name + u":\n"_s + rows(u"SELECT * FROM %1 ORDER BY rowid"_s.arg(table.name)).join(u'\n') + u'\n';
        return all;
    }

    // The catalogue as names, not keys: each entry with its derived fields,
    // its authors and own copies, then the lists the import adds to.
    QString collection()
    {
        QStringList lines;
        const QStringList comics = rows(u"SELECT SCLCOMICID FROM SERVERSTRIPOTHEK ORDER BY rowid"_s);
        for (const QString& id : comics) {
            lines << rows(u"SELECT SCLTITEL1, SCLTITEL2, SCLTITEL3, 'Serie=' || SRNAME, 'Text=' || SCLSERIENTEXT, "
                          "'Band=' || SCLBAND, 'Verlag=' || VLNAME1, 'Text=' || SCLVERLAGTEXT, 'ISBN=' || SCLISBNNR, "
                          "'intern=' || SCLINTISBNNR, 'Seiten=' || SCLSEITEN, LANAME, UANAME, SCLINHALT, SCLBEMERKUNG, "
                          "'fehlt=' || SCLFEHLT, 'kaufen=' || SCLZUKAUFEN FROM SERVERSTRIPOTHEK "
                          "LEFT JOIN SERIEN ON SRSERIENID = SCLSERIEID LEFT JOIN VERLAGE ON VLVERLAGID = SCLVERLAGID "
                          "LEFT JOIN LITERATURART ON LAARTID = SCLLITARTID LEFT JOIN UNTERART ON UATID = SCLSPARTEID "
                          "WHERE SCLCOMICID = '%1'"_s.arg(id));
            for (const QString& a : rows(u"SELECT ANNAME, ATTYP FROM COMIC2AUTOR LEFT JOIN AUTOREN ON ANAUTORID = "
                                         "C2AAUTORID LEFT JOIN AUTORTYP ON ATID = C2AATID WHERE C2ACOMICID = '%1' "
                                         "ORDER BY COMIC2AUTOR.rowid"_s.arg(id)))
                lines << u"    Autor: "_s + a;
            for (const QString& c : rows(u"SELECT ZWNAME, LCLKPREIS, LCLKPREISWG, LCKKDATUM, LCLLAGERPLATZ, "
                                         "LCLBEMERKUNG FROM LOKALESTRIPOTHEK LEFT JOIN ZUSTANDSARTEN ON ZWID = "
                                         "LCLZUSTANDID WHERE LCLSERVERCOMICID = '%1' ORDER BY LOKALESTRIPOTHEK.rowid"_s
                                             .arg(id)))
                lines << u"    Exemplar: "_s + c;
        }
        lines << u"Verlage: "_s + rows(u"SELECT VLNAME1 FROM VERLAGE ORDER BY rowid"_s).join(u", "_s);
        lines << u"Serien: "_s + rows(u"SELECT SRNAME FROM SERIEN ORDER BY rowid"_s).join(u", "_s);
        lines << u"Autoren: "_s + rows(u"SELECT ANNAME FROM AUTOREN ORDER BY rowid"_s).join(u", "_s);
        // Keys come from the counter and nowhere else, each once.
        const int keys = rows(u"SELECT count(*) FROM (SELECT SCLCOMICID k FROM SERVERSTRIPOTHEK UNION ALL SELECT "
                              "C2AID FROM COMIC2AUTOR UNION ALL SELECT LCLCOMICID FROM LOKALESTRIPOTHEK UNION ALL "
                              "SELECT VLVERLAGID FROM VERLAGE UNION ALL SELECT SRSERIENID FROM SERIEN UNION ALL SELECT "
                              "ANAUTORID FROM AUTOREN) WHERE k LIKE (SELECT KGDBID FROM KEYGEN) || '%' AND "
                              "CAST(substr(k, length((SELECT KGDBID FROM KEYGEN)) + 1) AS INTEGER) <= "
                              "(SELECT KGNEXTID FROM KEYGEN)"_s)
                             .value(0)
                             .toInt();
        const int all = rows(u"SELECT (SELECT count(*) FROM SERVERSTRIPOTHEK) + (SELECT count(*) FROM COMIC2AUTOR) + "
                             "(SELECT count(*) FROM LOKALESTRIPOTHEK) + (SELECT count(*) FROM VERLAGE) + (SELECT "
                             "count(*) FROM SERIEN) + (SELECT count(*) FROM AUTOREN)"_s)
                            .value(0)
                            .toInt();
        if (keys != all - 3) // the three rows the collection started with
            lines << u"Schlüssel nicht vom Zähler: %1 von %2"_s.arg(all - 3 - keys).arg(all - 3);
        return lines.join(u'\n');
    }

    struct Prepared {
        csvimport::Format format;
        csvimport::Mapping mapping;
    };
    // What the wizard does with its defaults: the guessed format and the
    // proposed mapping.
    static Prepared prepare(const QString& path)
    {
        Prepared p;
        p.format = csvimport::detectFormat(path);
        const csvimport::Preview preview = csvimport::readPreview(path, p.format);
        p.mapping = csvimport::proposeMapping(preview.header, preview.records);
        return p;
    }

    static QString dataFile(const QString& name)
    {
        const QString own = QStringLiteral(DATA_DIR "/") + name;
        return QFileInfo::exists(own) ? own : QStringLiteral(PLAN_DATA_DIR "/") + name;
    }

    static csvstore::ImportOptions options(ExistingRows existing = ExistingRows::Skip)
    {
        csvstore::ImportOptions o;
        o.existing = existing;
        o.today = QDate(2026, 6, 15);
        return o;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        db::schema::createDatabase(m_dir->path(), [](sqlite3* db) {
            sqlite3_exec(db,
                         "INSERT INTO VERLAGE (VLVERLAGID, VLNAME1) VALUES ('V1', 'Carlsen');"
                         "INSERT INTO SERIEN (SRSERIENID, SRNAME) VALUES ('S1', 'Spirou und Fantasio');"
                         "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLSERIEID, SCLBAND, SCLSERIENTEXT, SCLFEHLT, "
                         "SCLZUKAUFEN) VALUES ('C1', 'S1', 1, 'Spirou und Fantasio', 0, 0);",
                         nullptr, nullptr, nullptr);
        });
        m_data = std::make_unique<ComicData>();
        connection().setDatabasePath(m_dir->path() + u"/database"_s);
        m_data->OpenTables();
    }
    void cleanup() { m_data.reset(); }

    // The import refreshes the search once at its end instead of row by row:
    // afterwards the index holds what a rebuild would, and the file keeps
    // every trigger that maintains it.
    void searchIndexAsRebuilt()
    {
        QCOMPARE(rows(u"SELECT rowid, SUCHTEXT FROM SUCHINDEX ORDER BY rowid"_s),
                 rows(u"SELECT ID, SUCHTEXT FROM SUCHTEXT ORDER BY ID"_s));
        QVERIFY(!db::search::upgradeSearchIndex(connection().handle()));
    }

    // Offered for prices without a currency: the collection's own, the most
    // used first and written as a cell's currency is stored, then the euro
    // and the mark.
    void offeredCurrenciesMostUsedFirst()
    {
        QCOMPARE(csvstore::offeredCurrencies(connection()), (QStringList{u"€"_s, u"DM"_s}));
        int key = 0;
        for (const QString& currency : {u"CHF"_s, u"CHF"_s, u"CHF"_s, u"DM"_s, u"EUR"_s, u"€"_s, u"Lire"_s, u" "_s})
            db::Statement(connection().handle(), u"INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, "
                                                 "LCLKPREISWG) VALUES ('L%1', 'C1', '%2')"_s.arg(++key).arg(currency))
                .exec();
        QCOMPARE(csvstore::offeredCurrencies(connection()), (QStringList{u"CHF"_s, u"€"_s, u"DM"_s, u"Lire"_s}));
        QCOMPARE(csvstore::offeredCurrencies(connection(), 1), (QStringList{u"CHF"_s, u"€"_s, u"DM"_s}));
    }

    void storesWhatTheFileSays_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<ExistingRows>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Windows-1252, author per role, names as stored") << u"kasse-1252.csv"_s << ExistingRows::Skip
                                                                        << u"kasse-1252.skip.rows"_s;
        QTest::newRow("the same, existing volumes completed")
            << u"kasse-1252.csv"_s << ExistingRows::Complete << u"kasse-1252.complete.rows"_s;
        QTest::newRow("UTF-8 with BOM, roles inside the cell") << u"calc-utf8-bom.csv"_s << ExistingRows::Skip
                                                               << u"calc-utf8-bom.rows"_s;
        QTest::newRow("English headers of another program") << u"english-export.csv"_s << ExistingRows::Skip
                                                            << u"english-export.rows"_s;
        QTest::newRow("UTF-16 from a spreadsheet's Unicode text") << u"excel-unicode.txt"_s << ExistingRows::Skip
                                                                  << u"excel-unicode.rows"_s;
        QTest::newRow("volumes repeated in the file, completed")
            << u"wiederholt.csv"_s << ExistingRows::Complete << u"wiederholt.complete.rows"_s;
    }

    void storesWhatTheFileSays()
    {
        QFETCH(QString, file);
        QFETCH(ExistingRows, existing);
        QFETCH(QString, expected);
        const QString path = dataFile(file);
        const Prepared p = prepare(path);
        const QString before = everything();

        const csvstore::ImportSummary trial = csvstore::dryRun(*m_data, path, p.format, p.mapping, options(existing));
        QCOMPARE(everything(), before);
        const csvstore::ImportSummary stored =
            csvstore::importFile(*m_data, path, p.format, p.mapping, options(existing));
        QCOMPARE(stored.text(), trial.text());
        QVERIFY(stored == trial);

        compareGolden(trial.text() + u'\n' + collection() + u'\n', QStringLiteral(DATA_DIR "/") + expected);
        // The program's own tables see the new rows without being reopened.
        QCOMPARE(m_data->tblStripothek().recordCount(), rows(u"SELECT count(*) FROM SERVERSTRIPOTHEK"_s)[0].toInt());
        searchIndexAsRebuilt();
    }

    // The trial run decides without writing: every file, imported twice so
    // that the second time every volume is there already, must be counted
    // by the trial run as storing then counts it, and refused as storing is.
    void trialRunDecidesAsStoring_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<ExistingRows>("existing");
        for (const QString& dir : {QStringLiteral(DATA_DIR), QStringLiteral(PLAN_DATA_DIR)})
            for (const QFileInfo& file : QDir(dir).entryInfoList({u"*.csv"_s, u"*.txt"_s}, QDir::Files, QDir::Name)) {
                QTest::addRow("%s, skipped", qPrintable(file.fileName())) << file.filePath() << ExistingRows::Skip;
                QTest::addRow("%s, completed", qPrintable(file.fileName())) << file.filePath() << ExistingRows::Complete;
            }
    }

    void trialRunDecidesAsStoring()
    {
        QFETCH(QString, path);
        QFETCH(ExistingRows, existing);
        for (int pass = 1; pass <= 2; ++pass) {
            csvstore::ImportSummary trial, stored;
            const QString refused = errorOf([&] {
                const Prepared p = prepare(path);
                trial = csvstore::dryRun(*m_data, path, p.format, p.mapping, options(existing));
            });
            const QString before = everything();
            const QString failed = errorOf([&] {
                const Prepared p = prepare(path);
                stored = csvstore::importFile(*m_data, path, p.format, p.mapping, options(existing));
            });
            if (!refused.isEmpty() || trial.plan.refusedRows > 0) {
                QVERIFY2(!failed.isEmpty(), qPrintable(trial.text()));
                QCOMPARE(everything(), before);
                return;
            }
            QCOMPARE(failed, QString());
            QCOMPARE(stored.text(), trial.text());
            QVERIFY(stored == trial);
        }
    }

    // An ISBN-10 and the ISBN-13 of the same book find one volume, whichever
    // of them is stored; a number with a wrong check digit finds only itself.
    void isbnTenAndThirteenAreOneBook_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("inFile");
        QTest::addColumn<bool>("same");
        QTest::newRow("ISBN-10 in the file, ISBN-13 stored") << u"978-3-551-71234-9"_s << u"3-551-71234-4"_s << true;
        QTest::newRow("ISBN-13 in the file, ISBN-10 with x stored")
            << u"3-7704-3210-x"_s << u"978-3-7704-3210-3"_s << true;
        QTest::newRow("prefix and blanks") << u"ISBN 978 3 89343 105 2"_s << u"ISBN 3-89343-105-5"_s << true;
        QTest::newRow("ISBN-10 with a wrong check digit") << u"978-3-551-71234-9"_s << u"3-551-71234-5"_s << false;
        QTest::newRow("ISBN-13 with a wrong check digit") << u"3-551-71234-4"_s << u"978-3-551-71234-0"_s << false;
    }

    void isbnTenAndThirteenAreOneBook()
    {
        QFETCH(QString, stored);
        QFETCH(QString, inFile);
        QFETCH(bool, same);
        connection().execute(u"INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLSERIEID, SCLBAND, SCLISBNNR, SCLFEHLT, "
                             "SCLZUKAUFEN) VALUES ('C2', 'S1', 99, ?, 0, 0)"_s,
                             {stored});
        const QString path = m_dir->filePath(u"isbn.csv"_s);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(u"Serie;Band;Titel;ISBN\r\nNeue Reihe;1;Ein Titel;%1\r\n"_s.arg(inFile).toUtf8());
        out.close();
        const Prepared p = prepare(path);
        const csvstore::ImportSummary summary = csvstore::importFile(*m_data, path, p.format, p.mapping, options());
        QCOMPARE(summary.existing, same ? 1 : 0);
        QCOMPARE(summary.volumes, same ? 0 : 1);
    }

    void refusedFileChangesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("a row with bad values")
            << u"excel-de-1252.csv"_s << u"„excel-de-1252.csv“, Zeile 7, Spalte Band: „abc“ ist keine Zahl. Es wurde nichts importiert"_s;
        QTest::newRow("only the header") << u"nur-kopfzeile.csv"_s << u"nur die Kopfzeile"_s;
        QTest::newRow("a workbook, not a CSV file") << u"mappe.csv"_s << u"mappe.csv"_s;
        QTest::newRow("a line past the limit after good rows") << u"long"_s << u"Zeile 3"_s;
        QTest::newRow("the database refuses an own copy") << u"kasse-1252.csv"_s << u"gesperrt"_s;
        QTest::newRow("cancelled after the first rows were stored") << u"kasse-1252.csv"_s << u"abgebrochen"_s;
        QTest::newRow("more rows than a sheet holds") << u"kasse-1252.csv"_s << u"Zeile 6: Die Datei hat mehr als 3 Datenzeilen"_s;
    }

    void refusedFileChangesNothing()
    {
        QFETCH(QString, file);
        QFETCH(QString, refusal);
        QString path = dataFile(file);
        if (file == u"long"_s) {
            path = m_dir->filePath(u"lang.csv"_s);
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("Serie;Band;Titel\nAsterix;1;Asterix der Gallier\nAsterix;2;\"");
            out.write(QByteArray(3 << 20, 'x'));
            out.write("\"\n");
        }
        if (refusal == u"gesperrt"_s)
            connection().execute(u"CREATE TEMP TRIGGER refuse BEFORE INSERT ON LOKALESTRIPOTHEK WHEN "
                                 "(SELECT count(*) FROM LOKALESTRIPOTHEK) = 1 BEGIN SELECT RAISE(ABORT, 'gesperrt'); END"_s);
        csvstore::ImportOptions o = options();
        if (refusal.contains(u"Datenzeilen"_s))
            o.limits.maxRows = 3;
        bool stored = false;
        if (refusal == u"abgebrochen"_s)
            o.progress = [&](qint64 done, qint64) {
                stored = rows(u"SELECT count(*) FROM SERVERSTRIPOTHEK"_s)[0].toInt() > 1;
                return done == 0;
            };
        const QString before = everything();
        const QString message = errorOf([&] {
            const Prepared p = prepare(path);
            csvstore::importFile(*m_data, path, p.format, p.mapping, o);
        });
        QCOMPARE(stored, refusal == u"abgebrochen"_s);
        QVERIFY2(message.contains(refusal), qPrintable(message));
        QCOMPARE(everything(), before);
        QVERIFY(!connection().inTransaction());
        searchIndexAsRebuilt();
    }

    // Titles a spreadsheet would run as a formula or cannot show: the cell
    // written for them, and the title the import makes of it again.
    void awkwardTitlesReadBack_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("readBack");
        const QString link = u"=HYPERLINK(\"http://x.example\";\"klick\")"_s;
        QTest::newRow("a formula with the separator inside")
            << link << u"\"=\"\"=HYPERLINK(\"\"\"\"http://x.example\"\"\"\";\"\"\"\"klick\"\"\"\")\"\"\""_s << link;
        QTest::newRow("plus") << u"+3 Extraseiten"_s << u"=\"+3 Extraseiten\""_s << u"+3 Extraseiten"_s;
        QTest::newRow("minus") << u"-1 Vorschau"_s << u"=\"-1 Vorschau\""_s << u"-1 Vorschau"_s;
        QTest::newRow("at") << u"@Home"_s << u"=\"@Home\""_s << u"@Home"_s;
        QTest::newRow("a formula with a line break") << u"=1+1\nZugabe"_s << u"\"'=1+1\nZugabe\""_s
                                                     << u"=1+1 Zugabe"_s;
        QTest::newRow("control characters") << u"Teil\u000bzwei\u0001drei"_s << u"\"Teil\nzweidrei\""_s
                                            << u"Teil zweidrei"_s;
        QTest::newRow("quotes and the separator") << u"Der \"Boss\"; Teil 2"_s << u"\"Der \"\"Boss\"\"; Teil 2\""_s
                                                  << u"Der \"Boss\"; Teil 2"_s;
    }

    void awkwardTitlesReadBack()
    {
        QFETCH(QString, title);
        QFETCH(QString, cell);
        QFETCH(QString, readBack);
        db::Table& catalogue = m_data->tblStripothek();
        catalogue.append();
        catalogue.fieldByName(u"SCLTITEL1"_s).setAsString(title);
        catalogue.fieldByName(u"SCLSERIEID"_s).setAsString(u"S1"_s);
        catalogue.fieldByName(u"SCLBAND"_s).setAsInteger(2);
        catalogue.post();
        const QString csv = m_dir->filePath(u"titel.csv"_s);
        QCOMPARE(csvstore::writeShownRows(catalogue, {{u"SCLTITEL1"_s, u"Titel 1"_s}, {u"SCLSERIENTEXT"_s, u"Serie"_s},
                                                      {u"SCLBAND"_s, u"Band"_s}},
                                          csv),
                 2);
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(written.readAll());
        QVERIFY2(text.contains(u"\r\n"_s + cell + u";Spirou und Fantasio;2\r\n"_s), qPrintable(text));

        EmptyCollection emptyCollection;
        ComicData& empty = emptyCollection.data;
        const Prepared back = prepare(csv);
        csvstore::importFile(empty, csv, back.format, back.mapping, options());
        db::Statement read(empty.dbConnection().handle(), u"SELECT SCLTITEL1 FROM SERVERSTRIPOTHEK WHERE SCLBAND = 2"_s);
        QVERIFY(read.step());
        QCOMPARE(read.column(0).toString(), readBack);
    }

    // The overview's columns, filter and order written out and read back into
    // an empty collection: the same entries, awkward texts included.
    void overviewCsvReadsBackAsTheSameEntries()
    {
        const QString source = dataFile(u"kasse-1252.csv"_s);
        const Prepared p = prepare(source);
        csvstore::importFile(*m_data, source, p.format, p.mapping, options());
        db::Table& catalogue = m_data->tblStripothek();
        catalogue.append();
        catalogue.fieldByName(u"SCLTITEL1"_s).setAsString(u"Der \"singende\" Draht; Teil 2\nNeuauflage"_s);
        catalogue.fieldByName(u"SCLSERIEID"_s).setAsString(u"S1"_s);
        catalogue.fieldByName(u"SCLISBNNR"_s).setAsString(u"0123456789"_s);
        catalogue.fieldByName(u"SCLFEHLT"_s).setAsInteger(1);
        catalogue.post();
        catalogue.setIndexName(u"NKSCLTITEL1"_s);
        catalogue.setFilter(u"(SCLSERIENTEXT = 'spirou*')"_s);
        catalogue.setFiltered(true);

        const QList<csvstore::CsvColumn> columns{{u"SCLTITEL1"_s, u"Titel 1"_s}, {u"SCLSERIENTEXT"_s, u"Serie"_s},
                                                 {u"SCLBAND"_s, u"Band"_s},        {u"SCLVERLAGTEXT"_s, u"Verlage"_s},
                                                 {u"SCLISBNNR"_s, u"ISBN-Nr."_s},  {u"SCLFEHLT"_s, u"Fehlt"_s}};
        const QString csv = m_dir->filePath(u"uebersicht.csv"_s);
        QCOMPARE(csvstore::writeShownRows(catalogue, columns, csv), 3);
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        compareGolden(QString::fromUtf8(written.readAll()), QStringLiteral(DATA_DIR "/uebersicht.csv.expected"));

        const auto shown = [&columns](const db::Table& table) {
            QStringList lines;
            QStringList fields;
            for (const csvstore::CsvColumn& c : columns)
                fields << c.field;
            table.readShown(fields, [&lines, &fields](const db::Statement& row) {
                QStringList values;
                for (int i = 0; i < fields.size(); ++i)
                    values << row.column(i).toString().replace(u'\n', u' '); // a title is one line
                lines << values.join(u" | "_s);
            });
            return lines;
        };
        EmptyCollection emptyCollection;
        ComicData& empty = emptyCollection.data;
        const Prepared back = prepare(csv);
        const csvstore::ImportSummary summary = csvstore::importFile(empty, csv, back.format, back.mapping, options());
        QCOMPARE(summary.volumes, 3);
        empty.tblStripothek().setIndexName(u"NKSCLTITEL1"_s);
        QCOMPARE(shown(empty.tblStripothek()), shown(catalogue));
    }
};

QTEST_GUILESS_MAIN(TestCsvStore)
#include "tst_csvstore.moc"
