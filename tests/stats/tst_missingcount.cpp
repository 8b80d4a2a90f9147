#include "StatsFixture.h"

#include "cli/Generator.h"
#include "database/ComicData.h"
#include "reports/rptComicMissing.h"
#include "stats/Statistics.h"

#include <QMap>
#include <QtTest>

namespace {

using Counts = QMap<QString, qint64>; // series id -> missing volumes

// The catalogue entries (id, series id, series name, volume, flagged) and the
// comics the user owns a copy of; rows are stored in the order given.
QString collection(const QString& entries, const QString& owned)
{
    QString sql = QStringLiteral("INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLSERIEID, SCLSERIENTEXT, SCLBAND, "
                                 "SCLFEHLT) VALUES %1;")
                      .arg(entries);
    if (!owned.isEmpty())
        sql += QStringLiteral("INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID) "
                              "SELECT 'c' || value, value FROM json_each('[%1]');")
                   .arg(owned);
    return sql;
}

// The lines of the missing-volumes report, counted per series.
Counts reported(const QString& dir)
{
    ComicData data;
    data.dbConnection().setDatabasePath(dir + QStringLiteral("/database"));
    data.OpenTables();
    TRPTMissingComic form;
    Counts counts;
    if (!form.gather(data))
        QTest::qFail("Der Report fand keine eigenen Comics", __FILE__, __LINE__);
    for (int row = 0; row < form.tblReport.rowCount(); ++row)
        ++counts[form.fldSerienID.text(row)];
    return counts;
}

// The statistics' count, leaving out series that miss nothing.
Counts counted(const QString& dir)
{
    db::Connection connection;
    connection.setDatabasePath(dir + QStringLiteral("/database"));
    connection.connect();
    Counts counts;
    for (const stats::SeriesFigures& s : stats::ComputeFiguresInParallel(connection).series)
        if (s.missing > 0)
            counts[s.seriesId] += s.missing;
    return counts;
}

} // namespace

// The statistics count the missing volumes with the report's rule, on
// connections of their own; the report prints them. Both must agree on every
// series, and the rule must list what is missing.
class TestMissingCount : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsTheReport_data();
    void sameAsTheReport();
    void generatedCollection();
};

void TestMissingCount::sameAsTheReport_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<Counts>("expected");
    QTest::newRow("1, 2, 3, own 1 and 3")
        << collection("('a','S','A',1,0),('b','S','A',2,0),('c','S','A',3,0)", "\"a\",\"c\"") << Counts{{"S", 1}};
    QTest::newRow("1 and 4 owned: the gap")
        << collection("('a','S','A',1,0),('d','S','A',4,0)", "\"a\",\"d\"") << Counts{{"S", 2}};
    QTest::newRow("1 and 3, own 1")
        << collection("('a','S','A',1,0),('c','S','A',3,0)", "\"a\"") << Counts{{"S", 1}};
    QTest::newRow("all owned, 2 flagged")
        << collection("('a','S','A',1,0),('b','S','A',2,1),('c','S','A',3,0)", "\"a\",\"b\",\"c\"")
        << Counts{{"S", 1}};
    QTest::newRow("nothing of the series owned")
        << collection("('a','S','A',1,0),('b','S','A',2,0),('c','S','A',3,0),('t','T','T',1,0)", "\"t\"")
        << Counts{{"S", 3}};
    QTest::newRow("all owned") << collection("('a','S','A',1,0),('b','S','A',2,0)", "\"a\",\"b\"") << Counts{};
    QTest::newRow("two series of one name, met alternately")
        << collection("('a1','S','A',1,0),('b1','T','A',1,0),('a2','S','A',2,0),('b2','T','A',2,0)",
                      "\"a1\",\"b1\",\"a2\",\"b2\"")
        << Counts{};
    QTest::newRow("two series of one name, each with its own gap")
        << collection("('a1','S','A',1,0),('b2','T','A',2,0),('a3','S','A',3,0)", "\"a1\",\"b2\",\"a3\"")
        << Counts{{"S", 1}, {"T", 1}};
    QTest::newRow("volume 0 and none stand for no number")
        << collection("('z','S','A',0,0),('n','S','A',NULL,0),('b','S','A',3,0)", "\"z\",\"n\",\"b\"")
        << Counts{{"S", 2}};
    QTest::newRow("an entry without series between")
        << collection("('a','S','A',1,0),('x',NULL,'A',2,0),('c','S','A',4,0)", "\"a\",\"x\",\"c\"")
        << Counts{{"S", 2}};
    QTest::newRow("an entry with an empty series id between")
        << collection("('a','S','A',1,0),('x','','A',2,0),('c','S','A',3,0)", "\"a\",\"c\"") << Counts{{"S", 1}};
    QTest::newRow("one number twice hides no gap")
        << collection("('a','S','A',1,0),('b','S','A',1,0),('c','S','A',3,0)", "\"a\",\"b\",\"c\"")
        << Counts{{"S", 1}};
    QTest::newRow("a gap of the largest size, line by line")
        << collection("('a','S','A',1,0),('b','S','A',100002,0),('t','T','T',1,0)", "\"a\",\"b\"")
        << Counts{{"S", 100000}, {"T", 1}};
    QTest::newRow("one more is one line, the next series as usual")
        << collection("('a','S','A',1,0),('b','S','A',100003,0),('t','T','T',1,0)", "\"a\",\"b\"")
        << Counts{{"S", 1}, {"T", 1}};
    QTest::newRow("one series under two names, another between")
        << collection("('a','S','A',1,0),('m','T','M',1,0),('z','S','Z',5,0)", "\"a\",\"m\",\"z\"")
        << Counts{{"S", 3}};
    QTest::newRow("a copy of another case owns nothing")
        << collection("('a','S','A',1,0),('b','S','A',2,0)", "\"A\",\"b\"") << Counts{{"S", 1}};
    QTest::newRow("case of the name does not part a series")
        << collection("('a','S','asterix',1,0),('b','S','Asterix',3,0)", "\"a\",\"b\"") << Counts{{"S", 1}};
    QTest::newRow("flag as a float, volume as a float")
        << collection("('a','S','A',1.4,0),('b','S','A',2,1.0),('c','S','A',3.6,0)", "\"a\",\"b\",\"c\"")
        << Counts{{"S", 2}};
}

void TestMissingCount::sameAsTheReport()
{
    QFETCH(QString, sql);
    QTemporaryDir dir;
    createStatsCollection(dir.path(), sql.toUtf8().constData());
    const Counts report = reported(dir.path());
    QCOMPARE(counted(dir.path()), report);
    QFETCH(Counts, expected);
    QCOMPARE(report, expected);
}

// Thousands of series as a collector has them: gaps, volumes never
// catalogued, copies and flags of all kinds.
void TestMissingCount::generatedCollection()
{
    QTemporaryDir dir;
    cli::createGeneratedDatabase(dir.path(), 3000, 14);
    const Counts report = reported(dir.path());
    QVERIFY(report.size() > 20);
    QCOMPARE(counted(dir.path()), report);
}

QTEST_MAIN(TestMissingCount)
#include "tst_missingcount.moc"
