#include "ReportFixture.h"

#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "core/Errors.h"
#include "database/Statement.h"
#include "reports/ReportCommands.h"
#include "reports/Layout.h"
#include "reports/rptComicList.h"
#include "reports/rptComicMissing.h"

#include <QTemporaryDir>

// The two list reports from small collections to laid-out pages, compared
// with the pages stored under golden/.
class TestReportLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reports_data();
    void reports();
};

namespace {
const QDate kToday(2024, 3, 1);

// A title as long as the catalogue allows, 150 characters.
const QString kLongTitle = QStringLiteral(
    "Die unglaublich lange und ausführliche Geschichte vom kleinen Gallier, der auszog, um die ganze Welt "
    "zu sehen, und am Ende doch lieber daheim blieb.");

const QStringList kMissingCases{
    // Volumes 1-3, own copies of 1 and 3.
    "series | G | Gaps | Egmont", "vol | G | 1 | Gaps eins | own", "vol | G | 2 | Gaps zwei |",
    "vol | G | 3 | Gaps drei | own",
    // Volumes 1 and 4, both owned.
    "series | J | Jumps | Egmont", "vol | J | 1 | Jumps eins | own", "vol | J | 4 | Jumps vier | own",
    // Volumes 1 and 3, only 1 owned.
    "series | L | Lücke | Egmont", "vol | L | 1 | Lücke eins | own", "vol | L | 3 | Lücke drei |",
    // All owned, volume 2 flagged missing.
    "series | F | Flagged | Egmont", "vol | F | 1 | Flag eins | own", "vol | F | 2 | Flag zwei | own fehlt",
    "vol | F | 3 | Flag drei | own",
    // None owned.
    "series | N | Nichts davon | Egmont", "vol | N | 1..3 | Nichts %1 |",
    // All owned, none flagged.
    "series | C | Complete | Egmont", "vol | C | 1..3 | Komplett %1 | own",
    // Two series with one name, met alternately: each with its own gap.
    "series | T1 | Twin | Egmont", "series | T2 | Twin | Egmont", "vol | T1 | 1 | Twin eins a | own",
    "vol | T2 | 2 | Twin zwei b | own", "vol | T1 | 3 | Twin drei a | own",
    // An owned volume 0, and one without a number, at the start.
    "series | Z | Zero | Egmont", "vol | Z | 0 | Null | own", "vol | Z | 3 | Drei | own",
    "series | U | Unnumbered | Egmont", "vol | U | - | Ohne Nummer | own", "vol | U | 3 | Drei | own",
    // Entries without a series never appear.
    "vol | - | - | Einzelband ohne Serie |", "vol | - | 5 | Noch einer ohne Serie |",
    // A title cut to 100 characters, wrapped onto two lines.
    "series | W | Wrap | Egmont", QStringLiteral("vol | W | 1 | %1 |").arg(kLongTitle.toUpper()),
    "vol | W | 2 | Kurz |",
    // Each title beside its own number: 34 and 38 flagged, 35-37 never catalogued.
    "series | H | Schattenwald | Egmont", "vol | H | 1..33 | Band %1 | own", "vol | H | 34 | Die Rückkehr | own fehlt",
    "vol | H | 38 | Das Geheimnis von Schattenwald | fehlt", "vol | H | 39 | Neununddreißig | own",
    // Six digits and the extremes of the column, none owned: no gaps.
    "series | X | Extreme | Egmont", "vol | X | -2147483648 | Ganz unten |", "vol | X | 100000..100002 | Band %1 |",
    "vol | X | 2147483646 | Ganz oben |",
    // A mistyped number: its gap is one line, the series around it as usual.
    "series | M | Tippfehler | Egmont", "vol | M | 1 | Eins | own", "vol | M | 200001 | Zwei | own"};

const QStringList kListCases{
    // Two copies of one comic; a flagged one with a 30-character ISBN; one
    // without copies; one without a number and a copy with nothing recorded.
    "series | A | Asterix | Egmont",
    "vol | A | 1 | Asterix der Gallier | own own=2._Auflage,1999-01-02,29,DM isbn=3-7704-0001-X",
    "vol | A | 2 | Die goldene Sichel | own fehlt isbn=123456789012345678901234567890",
    "vol | A | 3 | Asterix und die Goten |", "vol | A | - | Ohne Nummer | own=,,,",
    QStringLiteral("vol | A | 5 | %1 | own=Vorzugsausgabe_mit_Exlibris,2010-10-10,120,€").arg(kLongTitle),
    // Same publisher, same name, another id: alternates by volume. An ISBN
    // typed with its prefix is a little too wide for its column.
    "series | B | Asterix | Egmont", "vol | B | 1 | Asterix eins B | own isbn=ISBN_3-551-12222-9",
    "vol | B | 2 | Asterix zwei B | own",
    // One series under two publishers.
    "series | S | Split | Carlsen", "vol | S | 1 | Split eins | own", "vol | S | 2 | Split zwei | own verlag=Ehapa",
    // Without a series: one group per publisher.
    "vol | - | - | Ohne Serie eins | own verlag=Zack", "vol | - | 7 | Ohne Serie zwei | own verlag=Zack",
    "vol | - | 1 | Einzelalbum von Atlantis | own verlag=Atlantis_Verlag",
    "vol | - | 2 | Einzelalbum von Bastei | own verlag=Bastei",
    // Six digits and the extremes of the column.
    "series | E | Extreme | Egmont", "vol | E | -2147483648 | Ganz unten | own", "vol | E | 100000 | Sechsstellig | own",
    "vol | E | 2147483646 | Ganz oben | own",
    // A copy whose comic was deleted.
    "orphan"};
} // namespace

void TestReportLayout::reports_data()
{
    QTest::addColumn<QString>("report"); // missing or list
    QTest::addColumn<QStringList>("collection");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("sql"); // run on the written collection: what only other tools store
    QTest::addColumn<QString>("golden"); // empty: nothing to report
    QTest::addColumn<QString>("error");

    const QString tooLarge = QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLBAND = 4294967296 WHERE SCLTITEL1 = 'Zwei'");
    const QString unprintable = QStringLiteral("Der Report kann nur Bandnummern von -2.147.483.648 bis "
                                               "2.147.483.647 drucken. Bitte korrigieren Sie die Bandnummer dieser "
                                               "Comics:\n");
    const QString tooLargeNamed = unprintable + QStringLiteral("„Zwei“, Serie „Tippfehler“, Band 4.294.967.296 (Schlüssel ");
    const QStringList mistyped{"series | M | Tippfehler | Egmont", "vol | M | 1 | Eins | own", "vol | M | 2 | Zwei | own",
                               "vol | M | 3 | Drei | own"};

    QTest::newRow("missing: cases") << "missing" << kMissingCases << "" << "" << "missing-cases.txt" << "";
    // Judged on the shown volume alone: 1 and 2 lack before the owned 3.
    QTest::newRow("missing: filter") << "missing" << kMissingCases << "(SCLTITEL1 = 'Gaps d*')" << ""
                                     << "missing-filter.txt" << "";
    QTest::newRow("missing: nothing missing")
        << "missing" << QStringList{"series | C | Complete | Egmont", "vol | C | 1..3 | Komplett %1 | own"} << "" << ""
        << "missing-empty.txt" << "";
    QTest::newRow("missing: group continues on a new page")
        << "missing"
        << QStringList{"series | P | Lange Reihe | Egmont", "vol | P | 1..80 | Band %1 |", "series | Q | Danach | Egmont",
                       "vol | Q | 1 | Erster | own", "vol | Q | 2 | Zweiter |"}
        << "" << "" << "missing-pagebreak.txt" << "";
    QTest::newRow("missing: no own copies")
        << "missing" << QStringList{"series | N | Nichts | Egmont", "vol | N | 1..3 | Nichts %1 |"} << "" << "" << ""
        << "";
    // The extremes the column holds, 2147483647 included, and what the
    // program reads of a float: the nearest number.
    QTest::newRow("missing: a float and the largest number")
        << "missing" << mistyped << ""
        << "UPDATE SERVERSTRIPOTHEK SET SCLBAND = 2147483647, SCLFEHLT = 1 WHERE SCLTITEL1 = 'Zwei';"
           "UPDATE SERVERSTRIPOTHEK SET SCLBAND = 4.6, SCLFEHLT = 1.0 WHERE SCLTITEL1 = 'Eins'"
        << "missing-odd-numbers.txt" << "";
    QTest::newRow("missing: a volume number beyond 32 bits")
        << "missing" << mistyped << "" << "UPDATE SERVERSTRIPOTHEK SET SCLBAND = 4294967296, SCLFEHLT = 1 WHERE SCLTITEL1 = 'Zwei'" << "" << tooLargeNamed;
    // The gap below 4294967296 is one line; the two numbers above it are named
    // by the volume that makes them gaps.
    QTest::newRow("missing: a gap beyond 32 bits")
        << "missing" << mistyped << ""
        << tooLarge + "; UPDATE SERVERSTRIPOTHEK SET SCLBAND = 4294967299 WHERE SCLTITEL1 = 'Drei'" << ""
        << unprintable + "„Drei“, Serie „Tippfehler“, Band 4.294.967.299 (Schlüssel ";

    QTest::newRow("list: cases") << "list" << kListCases << "" << "" << "list-cases.txt" << "";
    QTest::newRow("list: group continues on a new page")
        << "list" << QStringList{"series | L | Lange Reihe | Egmont", "vol | L | 1..70 | Band %1 | own"} << "" << ""
        << "list-pagebreak.txt" << "";
    // A line with a cover grows to the thumbnail's height, one without keeps
    // its own; the grown lines still break onto the next page.
    QTest::newRow("list: with covers")
        << "list covers"
        << QStringList{"series | A | Asterix | Egmont", "vol | A | 1..13 | Mit Bild %1 | own",
                       "vol | A | 14 | Ohne | own", "vol | A | 15 | Mit Bild 15 | own"}
        << "" << "" << "list-covers.txt" << "";
    QTest::newRow("list: copies without catalogue entries")
        << "list" << QStringList{"vol | - | 1 | Ohne Exemplar |", "orphan"} << "" << "" << "" << "";
    QTest::newRow("list: a volume number beyond 32 bits")
        << "list" << mistyped << "" << tooLarge << "" << tooLargeNamed;
}

void TestReportLayout::reports()
{
    QFETCH(QString, report);
    QFETCH(QStringList, collection);
    QFETCH(QString, filter);
    QFETCH(QString, sql);
    QFETCH(QString, golden);
    QFETCH(QString, error);

    QTemporaryDir dir;
    writeCollection(dir.path(), collection);
    ComicData data;
    data.dbConnection().setDatabasePath(dir.filePath(QStringLiteral("database")));
    data.dbConnection().connect();
    for (const QString& statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        data.dbConnection().execute(statement);
    data.OpenTables();
    if (!filter.isEmpty()) {
        data.tblStripothek().setFilter(filter);
        data.tblStripothek().setFiltered(true);
    }

    TRPTMissingComic missing;
    TRPTListComic list;
    covers::CoverStore covers(data.dbConnection().databasePath());
    if (report == QLatin1String("list covers")) {
        db::Statement keys(data.dbConnection().handle(),
                           QStringLiteral("SELECT SCLCOMICID FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 LIKE 'Mit Bild%'"));
        QImage picture(20, 30, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        while (keys.step())
            covers.storeImage(keys.column(0).toString(), picture);
        list.showCovers(rpt::coverImages(covers));
    }
    rpt::ReportForm& form = report == QLatin1String("missing") ? static_cast<rpt::ReportForm&>(missing) : list;
    bool gathered = false;
    try {
        gathered = &form == &missing ? missing.gather(data) : list.gather(data.dbConnection());
    } catch (const db::Error& e) {
        QVERIFY2(!error.isEmpty() && e.message().startsWith(error), qPrintable(e.message()));
        return;
    }
    QVERIFY2(error.isEmpty(), "no error");
    QCOMPARE(gathered, !golden.isEmpty());
    if (!gathered)
        return;
    COMPARE_GOLDEN(rpt::describeLayout(form.layout(kToday)), golden);
}

QTEST_MAIN(TestReportLayout)
#include "tst_reportlayout.moc"
