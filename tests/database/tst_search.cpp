#include "EngineFixture.h"

#include "database/GermanOrder.h"
#include "database/SearchIndex.h"
#include "tools/Export.h"
#include "tools/Import.h"

#include <QProcess>
#include <QStandardPaths>
#include <sqlite3.h>

namespace {

// Four volumes with every kind of text the search reads; K3 has an author
// with an apostrophe, K1 a copy with a storage place and a note.
void populate(sqlite3* db)
{
    using db::schema::RowWriter;
    RowWriter comics(db, QStringLiteral("SERVERSTRIPOTHEK"),
                     {QStringLiteral("SCLCOMICID"), QStringLiteral("SCLTITEL1"), QStringLiteral("SCLTITEL2"),
                      QStringLiteral("SCLSERIENTEXT"), QStringLiteral("SCLVERLAGTEXT"), QStringLiteral("SCLISBNNR"),
                      QStringLiteral("SCLBEMERKUNG"), QStringLiteral("SCLINHALT"), QStringLiteral("SCLFEHLT")});
    comics.insert({"K0", "Asterix der Gallier", nullptr, "Asterix", "Egmont Ehapa", "3-7704-0001-1",
                   "Erstausgabe mit Poster", nullptr, 0});
    comics.insert({"K1", "Ärger im Paradies", nullptr, "Clever & Smart", "Condor", "3-88106-105-6", nullptr, nullptr, 1});
    comics.insert({"K2", "Le Voyage", "L'Île mystérieuse", "Les Aventures", "Dupuis", "2-8001-0001-X", nullptr,
                   "Sterne * und ^ Monde", 0});
    comics.insert({"K3", "Die Stadt", nullptr, "Blueberry", "Carlsen", nullptr, "Signiert von \"Moebius\"",
                   "Ein Western in\nArizona", 1});
    RowWriter authors(db, QStringLiteral("AUTOREN"), {QStringLiteral("ANAUTORID"), QStringLiteral("ANNAME")});
    authors.insert({"A1", "René Goscinny"});
    authors.insert({"A2", "Tim O'Neill"});
    RowWriter assignments(db, QStringLiteral("COMIC2AUTOR"),
                          {QStringLiteral("C2AID"), QStringLiteral("C2AAUTORID"), QStringLiteral("C2ACOMICID")});
    assignments.insert({"C1", "A1", "K0"});
    assignments.insert({"C2", "A2", "K3"});
    RowWriter copies(db, QStringLiteral("LOKALESTRIPOTHEK"),
                     {QStringLiteral("LCLCOMICID"), QStringLiteral("LCLSERVERCOMICID"), QStringLiteral("LCLLAGERPLATZ"),
                      QStringLiteral("LCLBEMERKUNG")});
    copies.insert({"L1", "K1", "Regal 7, Fach 3", "Leihgabe an Paul"});
}

struct Collection {
    QTemporaryDir dir;
    QString file;
    std::unique_ptr<db::Connection> connection;
    std::unique_ptr<db::Table> catalogue;
    QList<int> progress; // of building the index while opening

    // make creates the database in the directory it is given.
    explicit Collection(const std::function<void(const QString&)>& make =
                            [](const QString& d) { db::schema::createDatabase(d, populate); })
    {
        make(dir.path());
        file = db::schema::databaseFile(dir.path());
        open();
    }
    void open()
    {
        connection = std::make_unique<db::Connection>();
        connection->setDatabasePath(QFileInfo(file).path());
        connection->setUpgradeProgress([this](int percent) { progress << percent; });
        catalogue = std::make_unique<db::Table>(*connection, QStringLiteral("tblStripothek"),
                                                QStringLiteral("SERVERSTRIPOTHEK"));
        catalogue->setIndexName(QStringLiteral("NKSCLTITEL1"));
        catalogue->open();
    }
    void close()
    {
        catalogue.reset();
        connection.reset();
    }
    QStringList found(const QString& text)
    {
        // As when the event loop turns between two actions of the user: the
        // next read sees what other programs wrote meanwhile.
        connection->endRead();
        catalogue->setSearch(text);
        return EngineFixture::column(*catalogue, QStringLiteral("SCLTITEL1"));
    }
};

// What a program without Stripothek's functions does: the sqlite3 shell, a
// script. Returns SQLite's message, empty when all went well.
QString plainExec(const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    const QString text = rc == SQLITE_OK ? QString() : QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    sqlite3_close(db);
    return text;
}

// Every volume noted as changed, none changed: the search must then read
// each from its folded text and find what the index finds.
const QString kNoteAll = QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = SCLTITEL1");

// Index rows that differ from the volumes' texts as the views compute them
// now, either way: empty when the triggers kept the index current.
QString indexDrift(const QString& file)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT count(*) FROM (SELECT rowid, SUCHTEXT FROM SUCHINDEX EXCEPT SELECT ID, SUCHTEXT FROM "
                       "SUCHTEXT) UNION ALL SELECT count(*) FROM (SELECT ID, SUCHTEXT FROM SUCHTEXT EXCEPT SELECT "
                       "rowid, SUCHTEXT FROM SUCHINDEX)",
                       -1, &stmt, nullptr);
    QStringList counts;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        counts << QString::number(sqlite3_column_int(stmt, 0));
    const QString result = counts == QStringList{QStringLiteral("0"), QStringLiteral("0")}
                               ? QString()
                               : QStringLiteral("stale/missing: %1; %2").arg(counts.join(QLatin1Char('/')),
                                                                               QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

} // namespace

class TestSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void finds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected"); // in title order
        QTest::newRow("word inside a title") << "gallie" << QStringList{"Asterix der Gallier"};
        QTest::newRow("second title") << "mysterieuse" << QStringList{"Le Voyage"};
        QTest::newRow("series") << "blueberr" << QStringList{"Die Stadt"};
        QTest::newRow("publisher") << "ehapa" << QStringList{"Asterix der Gallier"};
        QTest::newRow("author") << "goscinny" << QStringList{"Asterix der Gallier"};
        QTest::newRow("author without accent") << "rene gos" << QStringList{"Asterix der Gallier"};
        QTest::newRow("apostrophe") << "O'Neill" << QStringList{"Die Stadt"};
        QTest::newRow("typographic apostrophe") << "o’neill" << QStringList{"Die Stadt"};
        QTest::newRow("remark") << "poster" << QStringList{"Asterix der Gallier"};
        QTest::newRow("contents across a line break") << "in arizona" << QStringList{"Die Stadt"};
        QTest::newRow("storage place") << "fach 3" << QStringList{"Ärger im Paradies"};
        QTest::newRow("copy's note") << "leihgabe" << QStringList{"Ärger im Paradies"};
        QTest::newRow("ISBN with blanks") << "3 7704 0001 1" << QStringList{"Asterix der Gallier"};
        QTest::newRow("ISBN with dots and x") << "2.8001.0001.x" << QStringList{"Le Voyage"};
        QTest::newRow("ISBN digits only") << "881061056" << QStringList{"Ärger im Paradies"};
        QTest::newRow("umlaut typed") << "ärger" << QStringList{"Ärger im Paradies"};
        QTest::newRow("umlaut as base letter") << "ARGER" << QStringList{"Ärger im Paradies"};
        QTest::newRow("accent left out") << "ile" << QStringList{"Le Voyage"};
        QTest::newRow("blanks around") << "  poster\t" << QStringList{"Asterix der Gallier"};
        QTest::newRow("two letters") << "ga" << QStringList{"Ärger im Paradies", "Asterix der Gallier"};
        QTest::newRow("one letter") << "Y" << QStringList{"Asterix der Gallier", "Die Stadt", "Le Voyage"};
        QTest::newRow("nothing matches") << "xylophon" << QStringList{};
        QTest::newRow("quoted umlaut") << "\"ärger\"" << QStringList{};
        QTest::newRow("not across two texts") << "gallierasterix" << QStringList{};
    }
    void finds()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Collection c;
        QCOMPARE(c.found(text), expected);
        QCOMPARE(plainExec(c.file, kNoteAll), QString());
        QCOMPARE(c.found(text), expected);
    }

    // Whatever is typed is plain text: no error, no operator of the index's language.
    void badInputIsPlainText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"Ärger im Paradies", "Asterix der Gallier", "Die Stadt", "Le Voyage"};
        QTest::newRow("10,000 characters") << QString(10000, QLatin1Char('a')) << QStringList{};
        QTest::newRow("only blanks") << "   " << all;
        QTest::newRow("only punctuation") << "!?;" << QStringList{};
        QTest::newRow("a quote") << "\"" << QStringList{"Die Stadt"};
        QTest::newRow("quoted word") << "\"moebius\"" << QStringList{"Die Stadt"};
        QTest::newRow("star") << "*" << QStringList{"Le Voyage"};
        QTest::newRow("star between words") << "sterne * und" << QStringList{"Le Voyage"};
        QTest::newRow("caret") << "^" << QStringList{"Le Voyage"};
        QTest::newRow("NEAR(") << "NEAR(" << QStringList{};
        QTest::newRow("AND OR NOT") << "AND OR NOT" << QStringList{};
        QTest::newRow("column filter") << "SUCHTEXT:stadt" << QStringList{};
        QTest::newRow("col:x") << "col:x" << QStringList{};
        QTest::newRow("LIKE wildcards") << "%_" << QStringList{};
        QTest::newRow("backslash") << "\\" << QStringList{};
        QTest::newRow("control characters") << "\x01\x1f" << all;
    }
    void badInputIsPlainText() { finds(); }

    // Through the program and through a connection without its functions:
    // found at once, before the index has caught up, and the same after;
    // then the index is what a rebuild would make. The program catches up
    // when its event loop runs again, with other programs' edits when it
    // opens the file.
    void editsAreFoundAtOnce_data()
    {
        QTest::addColumn<QString>("sql"); // empty: the program edits
        QTest::addColumn<bool>("shell");  // through the sqlite3 binary
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("program") << QString() << false << "geheimnis" << QStringList{"Das Geheimnis"};
        QTest::newRow("remark") << "UPDATE SERVERSTRIPOTHEK SET SCLBEMERKUNG = 'Mit Widmung' WHERE SCLCOMICID = 'K1'"
                                << false << "widmung" << QStringList{"Ärger im Paradies"};
        QTest::newRow("letters the program folds") << "UPDATE SERVERSTRIPOTHEK SET SCLTITEL3 = 'Œuvres complètes "
                                                      "d’Ørsted' WHERE SCLCOMICID = 'K2'"
                                                   << false << "oeuvres completes d'orsted" << QStringList{"Le Voyage"};
        QTest::newRow("letters no fold reaches, any case")
            << "UPDATE SERVERSTRIPOTHEK SET SCLINHALT = 'Ωmega' WHERE SCLCOMICID = 'K2'" << false << "ωMEGA"
            << QStringList{"Le Voyage"};
        QTest::newRow("sqlite3 shell") << "UPDATE SERVERSTRIPOTHEK SET SCLTITEL2 = 'Große Übersicht' WHERE "
                                          "SCLCOMICID = 'K3'"
                                       << true << "grosse uber" << QStringList{"Die Stadt"};
        QTest::newRow("volume added") << "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('K9', 'Neu')"
                                      << false << "neu" << QStringList{"Neu"};
        QTest::newRow("volume deleted") << "DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = 'K0'" << false << "gallier"
                                        << QStringList{};
        QTest::newRow("key changed") << "UPDATE SERVERSTRIPOTHEK SET SCLCOMICID = 'K7' WHERE SCLCOMICID = 'K1'" << false
                                     << "leihgabe" << QStringList{};
        QTest::newRow("author assigned") << "INSERT INTO COMIC2AUTOR (C2AID, C2AAUTORID, C2ACOMICID) VALUES ('C9', "
                                            "'A2', 'K2')"
                                         << false << "neill" << QStringList{"Die Stadt", "Le Voyage"};
        QTest::newRow("assignment moved") << "UPDATE COMIC2AUTOR SET C2ACOMICID = 'K2' WHERE C2AID = 'C2'" << false
                                          << "neill" << QStringList{"Le Voyage"};
        QTest::newRow("assignment removed") << "DELETE FROM COMIC2AUTOR WHERE C2AID = 'C2'" << false << "neill"
                                            << QStringList{};
        QTest::newRow("author renamed") << "UPDATE AUTOREN SET ANNAME = 'Moebius Giraud' WHERE ANAUTORID = 'A2'" << false
                                        << "giraud" << QStringList{"Die Stadt"};
        QTest::newRow("old name gone") << "UPDATE AUTOREN SET ANNAME = 'Moebius Giraud' WHERE ANAUTORID = 'A2'" << false
                                       << "neill" << QStringList{};
        QTest::newRow("author deleted") << "DELETE FROM AUTOREN WHERE ANAUTORID = 'A1'" << false << "goscinny"
                                        << QStringList{};
        QTest::newRow("copy added") << "INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, LCLLAGERPLATZ) "
                                       "VALUES ('L9', 'K3', 'Keller')"
                                    << false << "keller" << QStringList{"Die Stadt"};
        QTest::newRow("copy moved") << "UPDATE LOKALESTRIPOTHEK SET LCLLAGERPLATZ = 'Dachboden' WHERE LCLCOMICID = 'L1'"
                                    << false << "dachboden" << QStringList{"Ärger im Paradies"};
        QTest::newRow("copy removed") << "DELETE FROM LOKALESTRIPOTHEK" << false << "leihgabe" << QStringList{};
        QTest::newRow("many in one transaction")
            << "BEGIN; INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('K8', 'Neu 8'); INSERT INTO "
               "SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('K9', 'Neu 9'); UPDATE SERVERSTRIPOTHEK SET "
               "SCLTITEL1 = 'Neu 2' WHERE SCLCOMICID = 'K2'; DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = 'K9'; "
               "COMMIT"
            << true << "neu" << QStringList{"Neu 2", "Neu 8"};
        // Each statement's conflict clause would also rule a conflict of the notes.
        QTest::newRow("noted twice, both found")
            << "UPDATE OR ROLLBACK SERVERSTRIPOTHEK SET SCLTITEL2 = 'Zweimal' WHERE SCLCOMICID = 'K3'; INSERT OR "
               "FAIL INTO COMIC2AUTOR (C2AID, C2AAUTORID, C2ACOMICID) VALUES ('C9', 'A1', 'K3')"
            << false << "goscinny" << QStringList{"Asterix der Gallier", "Die Stadt"};
        // The next volume gets the rowid of the last one, whose index row is still there.
        const QString reused = QStringLiteral("DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = 'K3'; INSERT INTO "
                                              "SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('K9', 'Neu')");
        QTest::newRow("rowid reused, new text") << reused << false << "neu" << QStringList{"Neu"};
        QTest::newRow("rowid reused, old text") << reused << false << "blueberr" << QStringList{};
        QTest::newRow("short text, volume deleted") << "DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = 'K2'" << false
                                                    << "Y" << QStringList{"Asterix der Gallier", "Die Stadt"};
    }
    void editsAreFoundAtOnce()
    {
        QFETCH(QString, sql);
        QFETCH(bool, shell);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Collection c;
        if (sql.isEmpty()) {
            c.catalogue->locate(QStringLiteral("SCLCOMICID"), QStringLiteral("K0"));
            c.catalogue->edit();
            c.catalogue->fieldByName(QStringLiteral("SCLTITEL1")).setAsString(QStringLiteral("Das Geheimnis"));
            c.catalogue->post();
        } else if (shell) {
            const QString sqlite3 = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
            if (sqlite3.isEmpty())
                QSKIP("no sqlite3 shell on this machine");
            QProcess process;
            process.start(sqlite3, {c.file, sql});
            QVERIFY(process.waitForFinished());
            QCOMPARE(process.readAllStandardError(), QByteArray());
        } else {
            QCOMPARE(plainExec(c.file, sql), QString());
        }
        QCOMPARE(c.found(text), expected);
        if (sql.isEmpty()) {
            QTRY_COMPARE(indexDrift(c.file), QString());
        } else {
            QVERIFY(!indexDrift(c.file).isEmpty());
            c.close();
            c.open();
            QCOMPARE(indexDrift(c.file), QString());
        }
        QCOMPARE(c.found(text), expected);
    }

    // The program writes the index through its own key function, the shell
    // reads the views: both must fold every text alike, letter by letter.
    void foldsAsTheProgram_data()
    {
        QTest::addColumn<QString>("title");
        QString letters;
        for (const auto& f : db::germanFoldsCommon() + db::germanFoldsOther())
            letters += f.character;
        QTest::newRow("every folded letter") << QStringLiteral("Abc ") + letters + QStringLiteral(" xyz 12");
        QTest::newRow("letters the order keeps") << QStringLiteral("Ωμέγα Ж 漢字 😀 ǅ ǉ");
        QTest::newRow("accents typed decomposed") << QStringLiteral("Cafe\u0301 Mu\u0308ller A\u030A");
        QTest::newRow("signs, tabs and line breaks") << QStringLiteral("„Zitat“ – ‚x‘ … a\u00A0b\tc\r\nd\re");
        QTest::newRow("sharp s, dotless and dotted i, long s") << QStringLiteral("STRAẞE straße ı İ ſ");
    }

    void foldsAsTheProgram()
    {
        QFETCH(QString, title);
        Collection c;
        c.close();
        QCOMPARE(plainExec(c.file, QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = '%1' WHERE SCLCOMICID = 'K0'")
                                       .arg(title)),
                 QString());
        c.open();
        QCOMPARE(indexDrift(c.file), QString());
        if (title.startsWith(QStringLiteral("Abc ")))
            QCOMPARE(c.found(title.right(6)), QStringList{title});
    }

    // More matches than are sorted at once: what the index counts is what shows.
    void countsEveryMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("a phrase") << "sternstunde";
        QTest::newRow("two letters") << "rn";
        QTest::newRow("an ISBN's digits") << "3-123";
    }
    void countsEveryMatch()
    {
        QFETCH(QString, text);
        db::RowSet::setWindows({2, 3});
        const auto restore = qScopeGuard([] { db::RowSet::setWindows({}); });
        Collection c([](const QString& d) {
            db::schema::createDatabase(d, [](sqlite3* db) {
                populate(db);
                db::schema::RowWriter comics(db, QStringLiteral("SERVERSTRIPOTHEK"),
                                             {QStringLiteral("SCLCOMICID"), QStringLiteral("SCLTITEL1"),
                                              QStringLiteral("SCLISBNNR")});
                for (int i = 0; i < 6; ++i)
                    comics.insert({QStringLiteral("S%1").arg(i), QStringLiteral("Sternstunde %1").arg(i),
                                   QStringLiteral("3-123-0000%1-0").arg(i)});
            });
        });
        // Counted in the index, among waiting volumes, and in both at once.
        for (const QString& notes : {QString(), QStringLiteral("INSERT INTO SUCHE_OFFEN (ID) SELECT rowid FROM SERVERSTRIPOTHEK "
                                                 "WHERE rowid % 2"), kNoteAll}) {
            if (!notes.isEmpty())
                QCOMPARE(plainExec(c.file, notes), QString());
            c.found(QString());
            const QStringList found = c.found(text);
            QCOMPARE(found.filter(QStringLiteral("Sternstunde")).size(), 6);
            QVERIFY(!found.contains(QString()));
        }
    }

    void combinesWithFilterAndKeepsOrderAndRow()
    {
        Collection c;
        c.catalogue->setFilter(QStringLiteral("(SCLFEHLT = 1)"));
        c.catalogue->setFiltered(true);
        QVERIFY(c.catalogue->locate(QStringLiteral("SCLCOMICID"), QStringLiteral("K3")));
        // "e" is in every volume; the filter leaves two, in title order, and the row stays.
        QCOMPARE(c.found(QStringLiteral("e")), (QStringList{"Ärger im Paradies", "Die Stadt"}));
        QCOMPARE(c.catalogue->fieldByName(QStringLiteral("SCLCOMICID")).asString(), QStringLiteral("K3"));
        // A search that loses the current row goes to the first it finds.
        QCOMPARE(c.found(QStringLiteral("leihgabe")), QStringList{"Ärger im Paradies"});
        QCOMPARE(c.catalogue->fieldByName(QStringLiteral("SCLCOMICID")).asString(), QStringLiteral("K1"));
        c.catalogue->setFiltered(false);
        QCOMPARE(EngineFixture::column(*c.catalogue, QStringLiteral("SCLTITEL1")), QStringList{"Ärger im Paradies"});
        QCOMPARE(c.found(QString()).size(), 4);
    }

    // Packing rewrites the file; export and import, and the opening of a file
    // made by an earlier version, build the index anew.
    void indexSurvives_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("packing after a deletion") << "pack";
        QTest::newRow("export and import") << "import";
        QTest::newRow("file without the index") << "older";
        QTest::newRow("a trigger dropped by hand") << "trigger";
        QTest::newRow("the notes dropped by hand") << "notes";
    }
    void indexSurvives()
    {
        QFETCH(QString, way);
        auto c = std::make_unique<Collection>();
        // A gap in the row ids, which packing must not close under the index.
        QCOMPARE(plainExec(c->file, QStringLiteral("DELETE FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = 'K1'")), QString());
        if (way == QLatin1String("pack")) {
            c->connection->compact();
        } else if (way == QLatin1String("import")) {
            QTemporaryDir exported;
            const QStringList files = tools::ExportAllTables(*c->connection, exported.path());
            QVERIFY(!files.join(QLatin1Char(' ')).contains(QLatin1String("such"), Qt::CaseInsensitive));
            c = std::make_unique<Collection>([&](const QString& d) { tools::ImportDatabase(d, files); });
        } else {
            c->close();
            const QString drop = way == QLatin1String("older")
                                     ? QStringLiteral("DROP TABLE SUCHINDEX; DROP VIEW SUCHTEXT;")
                                 : way == QLatin1String("trigger") ? QStringLiteral("DROP TRIGGER SUCHE_KATALOG_GEAENDERT;")
                                                                   : QStringLiteral("DROP TABLE SUCHE_OFFEN;");
            QCOMPARE(plainExec(c->file, drop), QString());
            c->open();
        }
        QCOMPARE(c->found(QStringLiteral("neill")), QStringList{"Die Stadt"});
        QCOMPARE(c->found(QStringLiteral("ärger")), QStringList{});
        // Built anew only where it was lost, and then with its progress shown.
        const bool rebuilt = way != QLatin1String("pack") && way != QLatin1String("import");
        QCOMPARE(c->progress.isEmpty() ? -1 : c->progress.last(), rebuilt ? 100 : -1);
        c->close();
        QCOMPARE(plainExec(c->file, QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLINHALT = 'Prärie'")), QString());
        c->open();
        QCOMPARE(indexDrift(c->file), QString());
        QCOMPARE(c->found(QStringLiteral("prarie")).size(), 3);
    }

    // Nothing can be caught up in a file that is only read; the search reads
    // what waits all the same. An earlier version's triggers kept its index
    // current themselves.
    void readOnlyFileSearches_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("edits waiting") << "UPDATE AUTOREN SET ANNAME = 'Moebius Giraud' WHERE ANAUTORID = 'A2'"
                                       << "giraud" << QStringList{"Die Stadt"};
        QTest::newRow("earlier version's index") << "DROP TABLE SUCHE_OFFEN" << "neill" << QStringList{"Die Stadt"};
    }
    void readOnlyFileSearches()
    {
        QFETCH(QString, sql);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        Collection c;
        c.close();
        QCOMPARE(plainExec(c.file, sql), QString());
        c.connection = std::make_unique<db::Connection>();
        c.connection->setReadOnly(true);
        c.connection->setDatabasePath(QFileInfo(c.file).path());
        c.catalogue = std::make_unique<db::Table>(*c.connection, QStringLiteral("tblStripothek"),
                                                  QStringLiteral("SERVERSTRIPOTHEK"));
        c.catalogue->open();
        QCOMPARE(c.found(text), expected);
        QCOMPARE(c.found(QStringLiteral("asterix")), QStringList{"Asterix der Gallier"});
    }

    // Many waiting volumes, some of them noted as changed, written slice by
    // slice with a pause between: the index holds what one statement writes.
    void catchesUpInSlices()
    {
        Collection c;
        c.close();
        QCOMPARE(plainExec(c.file, QStringLiteral(
                                       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000) "
                                       "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1, SCLFEHLT) "
                                       "SELECT 'N' || i, 'Band ' || i || ' über Köln', 0 FROM n; "
                                       "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'Ärger im Paradies, neu' "
                                       "WHERE SCLCOMICID = 'K1'")),
                 QString());
        sqlite3* db = nullptr;
        sqlite3_open_v2(c.file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        db::addGermanOrderFunctions(db);
        int pauses = 0;
        QVERIFY(db::search::catchUp(db, [&pauses] { ++pauses; }));
        sqlite3_close(db);
        QCOMPARE(pauses, 3);
        QCOMPARE(indexDrift(c.file), QString());
        c.open();
        QCOMPARE(c.found(QStringLiteral("59999 uber koln")), QStringList{"Band 59999 über Köln"});
        QCOMPARE(c.found(QStringLiteral("paradies, neu")), QStringList{"Ärger im Paradies, neu"});
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
