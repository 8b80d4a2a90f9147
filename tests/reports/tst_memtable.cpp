#include "core/Errors.h"
#include "reports/MemTable.h"
#include "reports/rptComicList.h"

#include <QDate>
#include <QtTest>

using rpt::ColumnType;

// What a report relies on when it fills its table: values handed over as
// text or as they come from the database, read back unchanged and in order.
class TestMemTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void conversions_data();
    void conversions();
    void missingFlag_data();
    void missingFlag();
    void rowsInAppendOrder();
};

void TestMemTable::conversions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<bool>("isNull");
    QTest::addColumn<QString>("stored"); // or the start of the refusal

    const auto t = [](ColumnType c) { return int(c); };
    QTest::newRow("text shorter") << t(ColumnType::Text) << 10 << QVariant("Asterix") << false << "Asterix";
    QTest::newRow("text cut to its first characters")
        << t(ColumnType::Text) << 25 << QVariant("123456789012345678901234567890") << false
        << "1234567890123456789012345";
    QTest::newRow("150 characters into 100") << t(ColumnType::Text) << 100 << QVariant(QString(150, QChar(u'ä')))
                                             << false << QString(100, QChar(u'ä'));
    QTest::newRow("empty text is null") << t(ColumnType::Text) << 10 << QVariant("") << true << "";
    QTest::newRow("integer into text") << t(ColumnType::Text) << 10 << QVariant(qint64(1)) << false << "1";
    QTest::newRow("integer from text") << t(ColumnType::Integer) << 0 << QVariant("42") << false << "42";
    QTest::newRow("integer empty text is null") << t(ColumnType::Integer) << 0 << QVariant("") << true << "";
    QTest::newRow("integer from the database") << t(ColumnType::Integer) << 0 << QVariant(qint64(-7)) << false << "-7";
    QTest::newRow("integer beyond 32 bits") << t(ColumnType::Integer) << 0 << QVariant(qint64(1) << 31) << false
                                            << "'2147483648' ist kein gültiger Integerwert für Feld 'C'";
    QTest::newRow("integer not a number") << t(ColumnType::Integer) << 0 << QVariant("zwölf") << false
                                          << "'zwölf' ist kein gültiger Integerwert für Feld 'C'";
    QTest::newRow("date German") << t(ColumnType::Date) << 0 << QVariant("1.2.2003") << false << "01.02.2003";
    QTest::newRow("date as stored") << t(ColumnType::Date) << 0 << QVariant("2003-02-01T00:00:00") << false
                                    << "01.02.2003";
    QTest::newRow("date not a date") << t(ColumnType::Date) << 0 << QVariant("gestern") << false
                                     << "'gestern' ist kein gültiges Datum für Feld 'C'";
    QTest::newRow("currency German") << t(ColumnType::Currency) << 0 << QVariant("29,5") << false << "29,50";
    QTest::newRow("currency from the database") << t(ColumnType::Currency) << 0 << QVariant(12.345) << false
                                                << "12,35";
}

void TestMemTable::conversions()
{
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(QVariant, input);
    QFETCH(bool, isNull);
    QFETCH(QString, stored);

    rpt::MemTable table(QStringLiteral("tblReport"));
    rpt::MemColumn& column = table.addColumn(QStringLiteral("C"), ColumnType(type), size);
    table.open();
    table.append();
    try {
        column.setValue(input);
    } catch (const db::Error& e) {
        QCOMPARE(e.message(), QStringLiteral("tblReport: ") + stored);
        return;
    }
    table.post();
    QCOMPARE(table.rowCount(), 1);
    QCOMPARE(column.isNull(0), isNull);
    QCOMPARE(column.text(0), stored);
}

void TestMemTable::missingFlag_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("1") << QVariant(qint64(1)) << "X";
    QTest::newRow("0") << QVariant(qint64(0)) << "";
    QTest::newRow("2") << QVariant("2") << "";
    QTest::newRow("null") << QVariant() << "";
    QTest::newRow("1 with a blank") << QVariant("1 ") << "";
}

void TestMemTable::missingFlag()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    TRPTListComic form;
    form.tblReport.open();
    form.tblReport.append();
    form.fldFehlt.setValue(stored);
    form.tblReport.post();
    QCOMPARE(form.fldFehlt.displayText(0), shown);
    QCOMPARE(form.fldFehlt.text(0), stored.toString());
}

void TestMemTable::rowsInAppendOrder()
{
    rpt::MemTable table(QStringLiteral("tblReport"));
    rpt::MemColumn& name = table.addColumn(QStringLiteral("SRNAME"), ColumnType::Text, 100);
    for (int run = 0; run < 2; ++run) {
        // Each run starts empty: a second report does not show the first one's rows.
        table.close();
        table.open();
        for (const char* n : {"Zack", "Asterix", "Zack"}) {
            table.append();
            table.fieldByName(QStringLiteral("srname")).setAsString(QLatin1String(n));
            table.post();
        }
        table.append(); // dropped, never posted
        table.cancel();
        QCOMPARE(table.rowCount(), 3);
        QCOMPARE((QStringList{name.text(0), name.text(1), name.text(2)}), (QStringList{"Zack", "Asterix", "Zack"}));
    }
    QVERIFY_THROWS_EXCEPTION(db::EngineError, table.fieldByName(QStringLiteral("SRNAM")));
}

QTEST_MAIN(TestMemTable)
#include "tst_memtable.moc"
