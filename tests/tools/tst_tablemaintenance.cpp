#include "cli/Demo.h"
#include "cli/Generator.h"
#include "database/ComicData.h"
#include "database/Isbn.h"
#include "database/Statement.h"
#include "tools/Export.h"
#include "tools/TableMaintenance.h"
#include "../common/ErrorOf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The main window's data on a collection in a temporary directory.
struct Collection {
    QTemporaryDir dir;
    ComicData data;

    explicit Collection(int generatedVolumes = 0)
    {
        if (generatedVolumes > 0)
            cli::createGeneratedDatabase(dir.path(), generatedVolumes);
        else
            cli::createDemoDatabase(dir.path());
        data.dbConnection().setDatabasePath(databaseDir());
        data.OpenTables();
    }
    QString databaseDir() const { return dir.path() + QStringLiteral("/database"); }

    qint64 fileBytes() const
    {
        qint64 bytes = 0;
        for (const char* suffix : {"", "-wal"})
            bytes += QFileInfo(databaseDir() + QStringLiteral("/stripothek.db") + QLatin1String(suffix)).size();
        return bytes;
    }

    QVariant scalar(const QString& sql)
    {
        db::Statement statement(data.dbConnection().handle(), sql);
        return statement.step() ? statement.column(0) : QVariant();
    }

    QString exportAll(const QString& name)
    {
        const QString target = dir.path() + QLatin1Char('/') + name;
        QDir().mkpath(target);
        tools::ExportAllTables(data.dbConnection(), target);
        return target;
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void verifyAllOpen(ComicData& data)
{
    for (db::Table* table : data.tables())
        QVERIFY2(table->active() && !table->exclusive(), qPrintable(table->name()));
}

} // namespace

class TestTableMaintenance : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void packingGivesSpaceBackAndKeepsEveryTable();
    void packingWithoutDeletedRowsChangesNoData();
    void anotherProgramBlocksExclusiveUse();
    void emptyingKeepsLookupsAndKeyCounter();
    void emptyingIsAllOrNothing();
    void isbnCheckRepairsListedEntries_data();
    void isbnCheckRepairsListedEntries();
    void isbnCheckKeepsWhatWasSavedBeforeAFailure();
};

void TestTableMaintenance::packingGivesSpaceBackAndKeepsEveryTable()
{
    Collection c(3000);
    ComicData& data = c.data;
    data.tblStripothek().setIndexName(QStringLiteral("NKSCLTITEL1"));
    data.tblStripothek().setFilter(QStringLiteral("(SCLTITEL1 = 'D*')"));
    data.tblStripothek().setFiltered(true);
    data.tblStripothek().setRecNo(5);
    for (const char* table : {"SERVERSTRIPOTHEK", "COMIC2AUTOR", "AUFLAGEN", "LOKALESTRIPOTHEK"})
        data.dbConnection().execute(QStringLiteral("DELETE FROM %1 WHERE rowid % 2 = 0").arg(QLatin1String(table)));
    data.tblStripothek().refresh();
    const qint64 before = c.fileBytes();

    tools::PackAllTables(data);

    QVERIFY2(c.fileBytes() < before * 3 / 4, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(c.fileBytes())));
    verifyAllOpen(data);
    db::Table& catalogue = data.tblStripothek();
    QCOMPARE(catalogue.indexName(), QStringLiteral("NKSCLTITEL1"));
    QVERIFY(catalogue.filtered());
    QCOMPARE(catalogue.filter(), QStringLiteral("(SCLTITEL1 = 'D*')"));
    QCOMPARE(catalogue.recNo(), 1);
    QVERIFY(catalogue.fieldByName(QStringLiteral("SCLTITEL1")).asString().startsWith(QLatin1Char('D')));
    // The details follow the catalogue and show names, not keys.
    const QString comic = catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    db::Table& authors = data.tblComic2Autor();
    QVERIFY(authors.shownCount() > 0);
    for (authors.first(); !authors.eof(); authors.next()) {
        QCOMPARE(authors.fieldByName(QStringLiteral("C2ACOMICID")).asString(), comic);
        const db::Field& author = authors.fieldByName(QStringLiteral("C2AAUTORID"));
        QCOMPARE(author.displayText(),
                 c.scalar(QStringLiteral("SELECT ANNAME FROM AUTOREN WHERE ANAUTORID = '%1'").arg(author.asString()))
                     .toString());
    }
    catalogue.next();
    QCOMPARE(authors.fieldByName(QStringLiteral("C2ACOMICID")).asString(),
             catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString());
}

void TestTableMaintenance::packingWithoutDeletedRowsChangesNoData()
{
    Collection c;
    const QString before = c.exportAll(QStringLiteral("vorher"));
    tools::PackAllTables(c.data);
    verifyAllOpen(c.data);
    const QString after = c.exportAll(QStringLiteral("nachher"));
    const QStringList files = QDir(before).entryList(QDir::Files);
    QCOMPARE(files.size(), 13);
    for (const QString& file : files)
        QVERIFY2(fileBytes(before + QLatin1Char('/') + file) == fileBytes(after + QLatin1Char('/') + file),
                 qPrintable(file));
}

void TestTableMaintenance::anotherProgramBlocksExclusiveUse()
{
    Collection c;
    const int comics = c.data.tblStripothek().recordCount();
    QProcess other;
    other.start(QStringLiteral(DBHOLDER), {c.databaseDir()});
    QVERIFY(other.waitForStarted());
    while (!other.canReadLine())
        QVERIFY2(other.waitForReadyRead(60000), qPrintable(QString::fromLocal8Bit(other.readAllStandardError())));
    QCOMPARE(other.readLine().trimmed(), QByteArray("offen"));

    const QString packing = errorOf([&] { tools::PackAllTables(c.data); });
    QVERIFY2(packing.startsWith(QStringLiteral("tblComicLocal: ")) && packing.contains(QStringLiteral("anderen Programm")),
             qPrintable(packing));
    verifyAllOpen(c.data);
    const QString emptying = errorOf([&] { tools::EmptyCatalogue(c.data); });
    QVERIFY2(emptying.contains(QStringLiteral("anderen Programm")), qPrintable(emptying));
    QCOMPARE(c.data.tblStripothek().recordCount(), comics);

    other.closeWriteChannel();
    QVERIFY(other.waitForFinished());
    QCOMPARE(other.exitCode(), 0);
    tools::PackAllTables(c.data);
    verifyAllOpen(c.data);
    // Given back: another connection can read again.
    db::Connection second;
    second.setDatabasePath(c.databaseDir());
    second.connect();
    db::Statement count(second.handle(), QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"));
    QVERIFY(count.step());
    QCOMPARE(count.columnInt64(0), comics);
}

void TestTableMaintenance::emptyingKeepsLookupsAndKeyCounter()
{
    Collection c;
    const QString kept = QStringLiteral("SELECT (SELECT count(*) FROM AUTOREN) || '/' || (SELECT count(*) FROM SERIEN) "
                                        "|| '/' || (SELECT group_concat(KGDBID || KGNEXTID) FROM KEYGEN)");
    const QString before = c.scalar(kept).toString();

    tools::EmptyCatalogue(c.data);

    QCOMPARE(c.scalar(kept).toString(), before);
    for (db::Table* table : {&c.data.tblStripothek(), &c.data.tblComicLocal(), &c.data.tblAuflagen(), &c.data.tblComic2Autor()})
        QCOMPARE(c.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table->tableName())).toInt(), 0);
    verifyAllOpen(c.data);
    QVERIFY(c.data.tblStripothek().isEmpty());
}

void TestTableMaintenance::emptyingIsAllOrNothing()
{
    Collection c;
    const QString counts = QStringLiteral("SELECT (SELECT count(*) FROM LOKALESTRIPOTHEK) || '/' || "
                                          "(SELECT count(*) FROM AUFLAGEN) || '/' || (SELECT count(*) FROM COMIC2AUTOR) "
                                          "|| '/' || (SELECT count(*) FROM SERVERSTRIPOTHEK)");
    const QString before = c.scalar(counts).toString();
    // The third of the four deletions fails.
    c.data.dbConnection().execute(QStringLiteral("CREATE TRIGGER keep BEFORE DELETE ON COMIC2AUTOR "
                                               "BEGIN SELECT RAISE(ABORT, 'gesperrt'); END"));

    const QString error = errorOf([&] { tools::EmptyCatalogue(c.data); });

    QVERIFY2(error.contains(QStringLiteral("gesperrt")), qPrintable(error));
    QCOMPARE(c.scalar(counts).toString(), before);
    verifyAllOpen(c.data);
    QVERIFY(!c.data.dbConnection().inTransaction());
}

void TestTableMaintenance::isbnCheckRepairsListedEntries_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("filter");
    QTest::newRow("whole catalogue") << QStringLiteral("NKSCLSERIENTEXT") << QString();
    QTest::newRow("filtered by series") << QStringLiteral("NKSCLSERIENTEXT") << QStringLiteral("(SCLSERIENTEXT = 'K*')");
    // Every save moves its entry in this order; none may be skipped.
    QTest::newRow("ordered by the internal form") << QStringLiteral("NKSCLINTISBNNR") << QString();
}

void TestTableMaintenance::isbnCheckRepairsListedEntries()
{
    QFETCH(QString, index);
    QFETCH(QString, filter);
    Collection c;
    db::Table& catalogue = c.data.tblStripothek();
    c.data.dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = 'ALT'"));
    c.data.dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLISBNNR = 'isbn 3-551 Ä-7x' "
                                               "WHERE SCLCOMICID = (SELECT min(SCLCOMICID) FROM SERVERSTRIPOTHEK)"));
    catalogue.setIndexName(index);
    catalogue.setFilter(filter);
    catalogue.setFiltered(!filter.isEmpty());
    const int listed = catalogue.shownCount();

    tools::CheckISBNNumbers(c.data);

    QCOMPARE(catalogue.recNo(), listed);
    QVERIFY(catalogue.eof());
    QCOMPARE(catalogue.indexName(), index);
    QCOMPARE(catalogue.filtered(), !filter.isEmpty());
    db::Statement rows(c.data.dbConnection().handle(),
                       QStringLiteral("SELECT SCLISBNNR, SCLINTISBNNR, SCLSERIENTEXT FROM SERVERSTRIPOTHEK"));
    int repaired = 0;
    while (rows.step()) {
        const QString isbn = rows.column(0).toString();
        const bool inFilter = filter.isEmpty() || rows.column(2).toString().startsWith(QLatin1Char('K'));
        QCOMPARE(rows.column(1).toString(), inFilter ? db::ReduceIsbn(isbn) : QStringLiteral("ALT"));
        if (isbn.startsWith(QLatin1String("isbn")) && inFilter)
            QCOMPARE(rows.column(1).toString(), QStringLiteral("ISBN35517X"));
        repaired += inFilter;
    }
    QCOMPARE(repaired, listed);
}

void TestTableMaintenance::isbnCheckKeepsWhatWasSavedBeforeAFailure()
{
    Collection c;
    db::Table& catalogue = c.data.tblStripothek();
    c.data.dbConnection().execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLINTISBNNR = 'ALT'"));
    catalogue.first();
    catalogue.next();
    catalogue.next();
    const QString third = catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    c.data.dbConnection().execute(QStringLiteral("CREATE TRIGGER keep BEFORE UPDATE ON SERVERSTRIPOTHEK "
                                               "WHEN old.SCLCOMICID = '%1' BEGIN SELECT RAISE(ABORT, 'gesperrt'); END")
                                    .arg(third));

    const QString error = errorOf([&] { tools::CheckISBNNumbers(c.data); });

    QVERIFY2(error.contains(QStringLiteral("gesperrt")), qPrintable(error));
    QCOMPARE(catalogue.state(), db::DataSetState::Edit);
    QCOMPARE(catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString(), third);
    QVERIFY(!c.data.dbConnection().inTransaction());
    // Committed: another connection sees the two repaired entries.
    db::Connection second;
    second.setDatabasePath(c.databaseDir());
    second.connect();
    db::Statement stale(second.handle(), QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLINTISBNNR = 'ALT'"));
    QVERIFY(stale.step());
    QCOMPARE(stale.columnInt64(0), qint64(catalogue.recordCount() - 2));
    catalogue.cancel();
}

QTEST_GUILESS_MAIN(TestTableMaintenance)
#include "tst_tablemaintenance.moc"
