#include "Bench.h"

#include <QtTest>

namespace {

// Reads CSV after RFC 4180 (quoted fields, doubled quotes inside them).
QList<QStringList> parseCsv(const QString& text)
{
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else if (c == u'\n') {
            records << (fields << field);
            fields.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return records;
}

} // namespace

class TestBenchReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void csvKeepsEveryName_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("plain") << QStringLiteral("open all 13 tables");
        QTest::newRow("comma") << QStringLiteral("walk catalogue, 3 details following");
        QTest::newRow("quote") << QStringLiteral("filter: title \"Ast\"");
        QTest::newRow("comma and quote") << QStringLiteral("locate \"C1\", details following (x1000)");
    }
    void csvKeepsEveryName()
    {
        QFETCH(QString, operation);
        bench::Report report;
        report.add(operation, 12.5, 10);
        report.add(QStringLiteral("row count"), 1, 2);
        report.addFigure(QStringLiteral("pages, both lists"), 12);
        report.addMemory(70.25);
        QString text;
        QTextStream out(&text);
        report.print(out, true);
        out.flush();

        const QList<QStringList> records = parseCsv(text);
        QCOMPARE(records.size(), 5);
        for (const QStringList& record : records)
            QCOMPARE(record.size(), 4);
        QCOMPARE(records[1], (QStringList{operation, "12.50", "10.00", "1.25"}));
        QCOMPARE(records[2].first(), QStringLiteral("row count"));
        QCOMPARE(records[3], (QStringList{"pages, both lists", "12.0", "", ""}));
    }
};

QTEST_GUILESS_MAIN(TestBenchReport)
#include "tst_benchreport.moc"
