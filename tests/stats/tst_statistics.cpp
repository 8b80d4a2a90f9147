#include "StatsFixture.h"

#include "database/Connection.h"
#include "database/Statement.h"
#include "stats/Statistics.h"
#include "stats/StatsModels.h"
#include "../common/FileRights.h"

#include <QtTest>
#include <cmath>

using namespace stats;

namespace {

// Money compared in cents, as the window shows it.
qint64 cents(double value)
{
    return std::llround(value * 100);
}

// Every figure as text, so that two computations can be compared whole.
QStringList lines(const Figures& f)
{
    const auto number = [](double value) { return QString::number(value, 'g', 17); };
    const Overview& o = f.overview;
    QStringList out{QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                        .arg(o.volumes).arg(o.copies).arg(o.series).arg(o.authors).arg(o.flaggedMissing)
                        .arg(o.toBuy).arg(f.copiesWithoutComic).arg(f.copiesWithoutPrice)};
    for (const SeriesFigures& s : f.series)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7").arg(s.seriesId, s.name, s.publisher).arg(s.catalogued)
                   .arg(s.owned).arg(s.missing).arg(s.complete);
    for (const CurrencyFigures& c : f.currencies)
        out << QStringLiteral("%1|%2|%3|%4|%5").arg(int(c.currency)).arg(c.text).arg(c.copies).arg(c.withoutPrice)
                   .arg(number(c.sum));
    for (const PublisherFigures& p : f.publishers)
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7").arg(p.publisher).arg(p.inCatalogue).arg(p.copies)
                   .arg(p.withoutPrice).arg(number(p.euroSum), number(p.markSum)).arg(p.otherPrices);
    for (const ConditionFigures& c : f.conditions)
        out << QStringLiteral("%1|%2|%3").arg(int(c.kind)).arg(c.name).arg(c.copies);
    for (const YearFigures& y : f.years)
        out << QStringLiteral("%1|%2|%3|%4|%5").arg(y.year.value_or(-1)).arg(y.copies).arg(y.withoutPrice)
                   .arg(number(y.euro)).arg(y.otherPrices);
    return out;
}

// The fixed collection in a directory of its own, open on connection.
void openCollection(const QTemporaryDir& dir, db::Connection& connection)
{
    createStatsCollection(dir.path());
    connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
    connection.connect();
}

const QString kFourthAsterix = QStringLiteral(
    "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLSERIEID, SCLSERIENTEXT, SCLBAND) VALUES ('A4', 'SA', 'Asterix', 4)");

} // namespace

// The figures of the statistics window for the small collection of
// StatsFixture.h, each counted by hand from its rows.
class TestStatistics : public QObject {
    Q_OBJECT

public:
    static void initMain() { test::obeyFileRights(); }

private Q_SLOTS:
    void initTestCase();

    void overview_data();
    void overview();
    void series_data();
    void series();
    void currencies_data();
    void currencies();
    void publishers_data();
    void publishers();
    void conditions_data();
    void conditions();
    void years_data();
    void years();
    void seriesPublisher_data();
    void seriesPublisher();
    void purchaseYear_data();
    void purchaseYear();
    void emptyCollection();
    void parallelMatchesOneConnection();
    void commitBetweenSnapshots();
    void ownWriteNotYetCommitted();
    void failureInOneHalf_data();
    void failureInOneHalf();
    void collectionOnlyReadable_data();
    void collectionOnlyReadable();

private:
    QTemporaryDir m_dir;
    Figures m_figures;     // as the window reads them: two connections at once
    Figures m_oneConnection;
};

void TestStatistics::initTestCase()
{
    QVERIFY(m_dir.isValid());
    createStatsCollection(m_dir.path());
    db::Connection connection;
    connection.setDatabasePath(m_dir.path() + QStringLiteral("/database"));
    connection.connect();
    m_figures = ComputeFiguresInParallel(connection);
    m_oneConnection = ComputeFigures(connection);
}

void TestStatistics::overview_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<qint64>("expected");
    const Overview& o = m_figures.overview;
    QTest::newRow("volumes") << o.volumes << qint64(17);
    QTest::newRow("copies") << o.copies << qint64(18);
    QTest::newRow("series") << o.series << qint64(7);
    QTest::newRow("authors") << o.authors << qint64(2);
    QTest::newRow("flagged missing") << o.flaggedMissing << qint64(1);
    QTest::newRow("to buy") << o.toBuy << qint64(1);
    QTest::newRow("copies without comic: GONE, GONE2, t1") << m_figures.copiesWithoutComic << qint64(3);
    QTest::newRow("copies without price: null, 'abc'") << m_figures.copiesWithoutPrice << qint64(7);
}

void TestStatistics::overview()
{
    QFETCH(qint64, value);
    QFETCH(qint64, expected);
    QCOMPARE(value, expected);
}

void TestStatistics::series_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("publisher");
    QTest::addColumn<qint64>("catalogued");
    QTest::addColumn<qint64>("owned");
    QTest::addColumn<qint64>("missing");
    QTest::addColumn<int>("permille");
    QTest::newRow("1, 3 owned: 2 missing") << 0 << "SA" << "Asterix" << "Egmont" << 3ll << 2ll << 1ll << 667;
    QTest::newRow("1, 4 owned: gap 2, 3") << 1 << "SL" << "Lucky Luke" << "Carlsen" << 2ll << 2ll << 2ll << 500;
    QTest::newRow("same name, first: judged on its own") << 2 << "SP1" << "Spirou" << "Carlsen" << 2ll << 2ll << 0ll << 1000;
    QTest::newRow("same name, second") << 3 << "SP2" << "Spirou" << "Carlsen" << 2ll << 2ll << 0ll << 1000;
    QTest::newRow("nothing owned, no publisher") << 4 << "ST" << "Tim" << "" << 2ll << 0ll << 2ll << 0;
    QTest::newRow("owned but flagged") << 5 << "SY" << "Yakari" << "Carlsen" << 3ll << 3ll << 1ll << 667;
    QTest::newRow("volume without number: 1 missing") << 6 << "SZ" << "Zorro" << "Egmont" << 2ll << 2ll << 1ll << 667;
}

void TestStatistics::series()
{
    QFETCH(int, position);
    QCOMPARE(m_figures.series.size(), 7);
    const SeriesFigures& s = m_figures.series.at(position);
    QTEST(s.seriesId, "id");
    QTEST(s.name, "name");
    QTEST(s.publisher, "publisher");
    QTEST(s.catalogued, "catalogued");
    QTEST(s.owned, "owned");
    QTEST(s.missing, "missing");
    QTEST(int(std::lround(s.completeness() * 10)), "permille");
}

void TestStatistics::currencies_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<Currency>("currency");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("copies");
    QTest::addColumn<qint64>("withoutPrice");
    QTest::addColumn<qint64>("sumCents");
    QTest::addColumn<qint64>("euroCents"); // -1: no rate
    QTest::newRow("€ and EUR") << 0 << Currency::Euro << "€" << 8ll << 2ll << 3950ll << 3950ll;
    QTest::newRow("DM and ' dm '") << 1 << Currency::Mark << "DM" << 4ll << 1ll << 4750ll << 2429ll;
    QTest::newRow("$ kept as typed") << 2 << Currency::Other << "$" << 1ll << 0ll << 500ll << -1ll;
    QTest::newRow("none: null and ''") << 3 << Currency::None << "" << 5ll << 4ll << 300ll << -1ll;
}

void TestStatistics::currencies()
{
    QFETCH(int, position);
    QCOMPARE(m_figures.currencies.size(), 4);
    const CurrencyFigures& c = m_figures.currencies.at(position);
    QTEST(c.currency, "currency");
    QTEST(c.text, "text");
    QTEST(c.copies, "copies");
    QTEST(c.withoutPrice, "withoutPrice");
    QTEST(cents(c.sum), "sumCents");
    QTEST(c.euro() ? cents(*c.euro()) : -1, "euroCents");
}

void TestStatistics::publishers_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("publisher");
    QTest::addColumn<bool>("inCatalogue");
    QTest::addColumn<qint64>("copies");
    QTest::addColumn<qint64>("withoutPrice");
    QTest::addColumn<qint64>("euroCents");
    QTest::addColumn<qint64>("markCents");
    QTest::addColumn<qint64>("otherPrices");
    QTest::newRow("none: the single volume") << 0 << "" << true << 1ll << 0ll << 0ll << 2000ll << 0ll;
    QTest::newRow("Carlsen: $ and no currency") << 1 << "Carlsen" << true << 9ll << 5ll << 750ll << 1200ll << 2ll;
    QTest::newRow("Egmont") << 2 << "Egmont" << true << 5ll << 1ll << 1800ll << 1550ll << 0ll;
    QTest::newRow("comic gone") << 3 << "" << false << 3ll << 1ll << 1400ll << 0ll << 0ll;
}

void TestStatistics::publishers()
{
    QFETCH(int, position);
    QCOMPARE(m_figures.publishers.size(), 4);
    const PublisherFigures& p = m_figures.publishers.at(position);
    QTEST(p.publisher, "publisher");
    QTEST(p.inCatalogue, "inCatalogue");
    QTEST(p.copies, "copies");
    QTEST(p.withoutPrice, "withoutPrice");
    QTEST(cents(p.euroSum), "euroCents");
    QTEST(cents(p.markSum), "markCents");
    QTEST(p.otherPrices, "otherPrices");
}

void TestStatistics::conditions_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::addColumn<qint64>("copies");
    QTest::newRow("no copy") << 0 << "0 – druckfrisch" << 0ll;
    QTest::newRow("most") << 1 << "1 – sehr gut" << 11ll;
    QTest::newRow("some") << 2 << "2 – gut" << 5ll;
    QTest::newRow("none either") << 3 << "3 – mäßig" << 0ll;
    QTest::newRow("last of the list") << 4 << "4 – schlecht" << 0ll;
    QTest::newRow("without condition") << 5 << "ohne Angabe" << 1ll;
    QTest::newRow("not in the list") << 6 << "unbekannter Zustand" << 1ll;
}

void TestStatistics::conditions()
{
    QFETCH(int, position);
    QCOMPARE(m_figures.conditions.size(), 7);
    const ConditionFigures& c = m_figures.conditions.at(position);
    QTEST(conditionLabel(c), "label");
    QTEST(c.copies, "copies");
}

void TestStatistics::years_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::addColumn<qint64>("copies");
    QTest::addColumn<qint64>("withoutPrice");
    QTest::addColumn<qint64>("euroCents");
    QTest::addColumn<qint64>("otherPrices");
    QTest::newRow("marks only") << 0 << "1998" << 3ll << 0ll << 2429ll << 0ll;
    QTest::newRow("euros and dollars") << 1 << "2001" << 4ll << 0ll << 2550ll << 1ll;
    QTest::newRow("without prices and currency") << 2 << "2005" << 8ll << 4ll << 1400ll << 1ll;
    QTest::newRow("no date, or none readable") << 3 << "ohne Datum" << 3ll << 3ll << 0ll << 0ll;
}

void TestStatistics::years()
{
    QFETCH(int, position);
    QCOMPARE(m_figures.years.size(), 4);
    const YearFigures& y = m_figures.years.at(position);
    QTEST(yearLabel(y), "label");
    QTEST(y.copies, "copies");
    QTEST(y.withoutPrice, "withoutPrice");
    QTEST(cents(y.euro), "euroCents");
    QTEST(y.otherPrices, "otherPrices");
}

// A collection of one series, each entry's publisher given, all owned.
Figures seriesOf(const QString& publishers)
{
    QTemporaryDir dir;
    const QString sql = QStringLiteral(
        "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLSERIEID, SCLSERIENTEXT, SCLBAND, SCLVERLAGTEXT) "
        "SELECT 'k' || key, 'S', 'Serie', key + 1, value FROM json_each('[%1]');"
        "INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID) SELECT 'c' || SCLCOMICID, SCLCOMICID "
        "FROM SERVERSTRIPOTHEK;").arg(publishers);
    createStatsCollection(dir.path(), sql.toUtf8().constData());
    db::Connection connection;
    connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
    connection.connect();
    return ComputeFigures(connection);
}

void TestStatistics::seriesPublisher_data()
{
    QTest::addColumn<QString>("publishers"); // of volumes 1, 2, 3 ...
    QTest::addColumn<QString>("expected");
    QTest::newRow("most volumes, not the first") << R"("Ehapa","Carlsen","Carlsen")" << "Carlsen";
    QTest::newRow("equally many: the first met") << R"("Ehapa","Carlsen","Carlsen","Ehapa")" << "Ehapa";
    QTest::newRow("most have none") << R"("Ehapa",null,null)" << "";
}

// The window names the publisher of most of a series' volumes.
void TestStatistics::seriesPublisher()
{
    QFETCH(QString, publishers);
    const Figures f = seriesOf(publishers);
    QCOMPARE(f.series.size(), 1);
    QTEST(f.series.first().publisher, "expected");
}

void TestStatistics::purchaseYear_data()
{
    QTest::addColumn<QString>("stored"); // SQL for LCKKDATUM
    QTest::addColumn<QString>("label");
    QTest::newRow("as the program stores it") << "'2003-05-12T00:00:00'" << "2003";
    QTest::newRow("the date alone") << "'2003-05-12'" << "2003";
    QTest::newRow("a number: no date, though a Julian day") << "2452772" << "ohne Datum";
    QTest::newRow("a float") << "2452772.5" << "ohne Datum";
    QTest::newRow("a year as text") << "'2003'" << "ohne Datum";
    QTest::newRow("30 February") << "'2003-02-30'" << "ohne Datum";
    QTest::newRow("29 February, stored as the program does") << "'2003-02-29T00:00:00'" << "ohne Datum";
    QTest::newRow("29 February of a leap year") << "'2004-02-29T00:00:00'" << "2004";
    QTest::newRow("year 0") << "'0000-05-12T00:00:00'" << "ohne Datum";
    QTest::newRow("midnight at the end of the year") << "'2003-12-31T24:00:00'" << "2004";
}

// The purchase year is the year of the date the own-copy dialog shows.
void TestStatistics::purchaseYear()
{
    QFETCH(QString, stored);
    QTemporaryDir dir;
    const QString sql = QStringLiteral("INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCKKDATUM) VALUES ('c', %1)")
                            .arg(stored);
    createStatsCollection(dir.path(), sql.toUtf8().constData());
    db::Connection connection;
    connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
    connection.connect();
    const Figures f = ComputeFiguresInParallel(connection);
    QVERIFY(f.readInParallel);
    QCOMPARE(f.years.size(), 1);
    QTEST(yearLabel(f.years.first()), "label");
}

void TestStatistics::emptyCollection()
{
    QTemporaryDir dir;
    db::schema::createDatabase(dir.path());
    db::Connection connection;
    connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
    connection.connect();
    const Figures f = ComputeFigures(connection);
    QCOMPARE(f.overview.volumes + f.overview.copies + f.overview.series + f.overview.authors, 0ll);
    QVERIFY(f.series.isEmpty());
    QVERIFY(f.currencies.isEmpty());
    QVERIFY(f.publishers.isEmpty());
    QVERIFY(f.years.isEmpty());
    QCOMPARE(f.conditions.size(), 5); // the list's own, each with no copy
    for (const ConditionFigures& c : f.conditions)
        QCOMPARE(c.copies, 0ll);
}

void TestStatistics::parallelMatchesOneConnection()
{
    QVERIFY(m_figures.readInParallel);
    QVERIFY(!m_oneConnection.readInParallel);
    QCOMPARE(lines(m_figures), lines(m_oneConnection));
}

// Another program commits after the first snapshot and before the second:
// every figure then comes from the first state, none from the later one.
void TestStatistics::commitBetweenSnapshots()
{
    QTemporaryDir dir;
    db::Connection connection;
    openCollection(dir, connection);
    db::Connection other(QStringLiteral("other"));
    other.setDatabasePath(connection.databasePath());
    other.connect();
    const Figures f = ComputeFiguresInParallel(connection, [&] { other.execute(kFourthAsterix); });
    QVERIFY(!f.readInParallel);
    QCOMPARE(lines(f), lines(m_oneConnection));
    const Figures after = ComputeFiguresInParallel(connection);
    QVERIFY(after.readInParallel);
    QCOMPARE(after.overview.volumes, 18ll);
    QCOMPARE(after.series.first().catalogued, 4ll);
}

// Only the program's own connection sees what it has not yet committed.
void TestStatistics::ownWriteNotYetCommitted()
{
    QTemporaryDir dir;
    db::Connection connection;
    openCollection(dir, connection);
    db::Transaction transaction(connection);
    connection.execute(kFourthAsterix);
    const Figures f = ComputeFiguresInParallel(connection);
    QCOMPARE(f.overview.volumes, 18ll);
    QCOMPARE(f.series.first().catalogued, 4ll);
}

const QString kNoAuthorList = QStringLiteral("DROP TABLE AUTOREN");
const QString kNoPurchaseDate = QStringLiteral("ALTER TABLE LOKALESTRIPOTHEK RENAME COLUMN LCKKDATUM TO GONE");

void TestStatistics::failureInOneHalf_data()
{
    QTest::addColumn<QStringList>("breaking");
    QTest::addColumn<QStringList>("named"); // the message names one of these
    // The overview, the series and the conditions run on the second thread,
    // the grouping of the copies on the calling one.
    QTest::newRow("second thread: no author list") << QStringList{kNoAuthorList} << QStringList{"AUTOREN"};
    QTest::newRow("calling thread: no purchase date") << QStringList{kNoPurchaseDate} << QStringList{"LCKKDATUM"};
    // Renaming checks every view: after the table the search's views read is gone, it would fail.
    QTest::newRow("both") << QStringList{kNoPurchaseDate, kNoAuthorList} << QStringList{"AUTOREN", "LCKKDATUM"};
}

// A failure on either thread reaches the caller as the engine's own error,
// and both extra connections are closed: the file can be had exclusively.
void TestStatistics::failureInOneHalf()
{
    QFETCH(QStringList, breaking);
    QFETCH(QStringList, named);
    QTemporaryDir dir;
    db::Connection connection;
    openCollection(dir, connection);
    for (const QString& sql : breaking)
        connection.execute(sql);
    QString message;
    try {
        ComputeFiguresInParallel(connection);
    } catch (const db::EngineError& e) {
        message = e.message();
    }
    QVERIFY(!message.isEmpty());
    QVERIFY2(std::any_of(named.begin(), named.end(), [&](const QString& t) { return message.contains(t); }),
             qPrintable(message));
    connection.lockExclusive(QStringLiteral("test"));
    connection.unlockExclusive();
}

void TestStatistics::collectionOnlyReadable_data()
{
    QTest::addColumn<bool>("fileReadOnly");
    QTest::newRow("folder") << false;
    QTest::newRow("folder and file") << true;
}

void TestStatistics::collectionOnlyReadable()
{
    QFETCH(bool, fileReadOnly);
    QTemporaryDir dir;
    createStatsCollection(dir.path());
    const QString folder = dir.path() + QStringLiteral("/database");
    const QString file = folder + QStringLiteral("/stripothek.db");
    using P = QFileDevice;
    const auto readable = P::ReadOwner | P::ReadGroup | P::ReadOther;
    const auto searchable = readable | P::ExeOwner | P::ExeGroup | P::ExeOther;
    QVERIFY(QFile::setPermissions(folder, searchable));
    const auto restore = qScopeGuard([&] { QFile::setPermissions(folder, searchable | P::WriteOwner); });
    QVERIFY(QFile::setPermissions(file, fileReadOnly ? readable : readable | P::WriteOwner));
    if (QFile(folder + QStringLiteral("/probe")).open(QIODevice::WriteOnly))
        QSKIP("The rights of files and folders do not bind this user.");

    db::Connection connection;
    connection.setDatabasePath(folder);
    connection.connect();
    const Figures f = ComputeFiguresInParallel(connection);
    QVERIFY(f.readInParallel);
    QCOMPARE(lines(f), lines(m_figures));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("stripothek.db")});
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"
