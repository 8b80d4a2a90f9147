#include "EngineFixture.h"

#include "core/Errors.h"

// Hostile filter expressions: text typed into the overview goes into the
// expression verbatim. This test builds the parser with the sanitizer for
// float-to-integer conversions, so that undefined behaviour ends it.
class TestFilter : public QObject {
    Q_OBJECT

    // Three comics with the volume numbers 1, 2, 3; the filter applied.
    static QString apply(const QString& expression, QStringList* ids)
    {
        EngineFixture fx;
        auto t = fx.table("tblStripothek", "SERVERSTRIPOTHEK");
        for (int band = 1; band <= 3; ++band)
            EngineFixture::addComic(*t, QStringLiteral("K%1").arg(band), QStringLiteral("Titel"), QString(), band);
        t->setFilter(QStringLiteral("(SCLBAND > 1)"));
        t->setFiltered(true);
        try {
            t->setFilter(expression);
        } catch (const db::Error& e) {
            *ids = EngineFixture::column(*t, "SCLCOMICID");
            return e.message();
        }
        *ids = EngineFixture::column(*t, "SCLCOMICID");
        return {};
    }

private Q_SLOTS:
    void deepOrLongExpressionsAreRefused_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("reason");
        QTest::newRow("3,000 parentheses") << QString(3000, u'(') + "SCLBAND = 1" + QString(3000, u')')
                                           << "tiefer als 100 Ebenen verschachtelt";
        QTest::newRow("2,000 NOTs") << QStringLiteral("NOT ").repeated(2000) + "SCLBAND = 1"
                                    << "tiefer als 100 Ebenen verschachtelt";
        QTest::newRow("pasted text, 200,000 parentheses") << QString(200000, u'(') << "länger als 10000 Zeichen";
    }
    void deepOrLongExpressionsAreRefused()
    {
        QFETCH(QString, expression);
        QFETCH(QString, reason);
        QStringList ids;
        const QString message = apply(expression, &ids);
        QVERIFY2(message.startsWith(QStringLiteral("tblStripothek: Ungültiger Filterausdruck „")), qPrintable(message));
        QVERIFY2(message.endsWith(reason), qPrintable(message));
        QVERIFY2(message.size() < 400, qPrintable(message)); // the expression is shown shortened
        QCOMPARE(ids, (QStringList{"K2", "K3"}));             // the previous filter stays
    }

    // Numbers beyond the 64-bit range compare as the numbers they are.
    void numbersBeyondTheIntegerRange_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<bool>("refused");
        QTest::newRow("twenty digits") << "(SCLBAND = 99999999999999999999)" << QStringList{} << false;
        QTest::newRow("2^63") << "(SCLBAND < 9223372036854775808)" << QStringList{"K1", "K2", "K3"} << false;
        QTest::newRow("largest 64-bit number") << "(SCLBAND < 9223372036854775807)" << QStringList{"K1", "K2", "K3"}
                                               << false;
        QTest::newRow("far below") << "(SCLBAND > -99999999999999999999)" << QStringList{"K1", "K2", "K3"} << false;
        QTest::newRow("in range") << "(SCLBAND >= 2)" << QStringList{"K2", "K3"} << false;
        QTest::newRow("more digits than a double holds") << "(SCLBAND > " + QString(400, u'9') + ")" << QStringList{"K2", "K3"}
                                                         << true;
    }
    void numbersBeyondTheIntegerRange()
    {
        QFETCH(QString, expression);
        QFETCH(QStringList, ids);
        QFETCH(bool, refused);
        QStringList shown;
        const QString message = apply(expression, &shown);
        QCOMPARE(!message.isEmpty(), refused);
        QCOMPARE(shown, ids);
    }
};

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"
