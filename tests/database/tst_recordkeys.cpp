#include "EngineFixture.h"

#include "core/Errors.h"
#include "database/RecordKeys.h"

#include <QProcess>
#include <QSet>
#include <limits>

class TestRecordKeys : public QObject {
    Q_OBJECT

    static void setCounter(db::Connection& c, const QVariant& prefix, const QVariant& last)
    {
        c.execute("DELETE FROM KEYGEN");
        c.execute("INSERT INTO KEYGEN (KGDBID, KGNEXTID) VALUES (?, ?)", {prefix, last});
    }

private Q_SLOTS:
    void keys_data()
    {
        QTest::addColumn<bool>("emptyTable");
        QTest::addColumn<QVariant>("prefix");
        QTest::addColumn<QVariant>("last");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("empty counter table starts a row") << true << QVariant() << QVariant() << QStringList{"1", "2"};
        QTest::newRow("prefix and last key") << false << QVariant("AB") << QVariant(41.0) << QStringList{"AB42", "AB43"};
        QTest::newRow("null counter reads as 0") << false << QVariant("X") << QVariant() << QStringList{"X1", "X2"};
        QTest::newRow("no leading zeros, sorts as text") << false << QVariant("K") << QVariant(9.0) << QStringList{"K10", "K11"};
    }
    void keys()
    {
        QFETCH(bool, emptyTable);
        QFETCH(QVariant, prefix);
        QFETCH(QVariant, last);
        QFETCH(QStringList, keys);
        EngineFixture fx;
        if (emptyTable)
            fx.connection->execute("DELETE FROM KEYGEN");
        else
            setCounter(*fx.connection, prefix, last);
        auto keyGen = fx.table("tblKeyGen", "KEYGEN");
        QStringList drawn;
        for (int i = 0; i < keys.size(); ++i)
            drawn << db::drawRecordKey(*keyGen);
        QCOMPARE(drawn, keys);
        // The counter holds the last key handed out, not the next one.
        QCOMPARE(keyGen->fieldByName("KGNEXTID").asInteger(), drawn.last().remove(prefix.toString()).toInt());
        QCOMPARE(keyGen->recordCount(), 1);
    }

    void closedTableFails()
    {
        EngineFixture fx;
        db::Table keyGen(*fx.connection, "tblKeyGen", "KEYGEN");
        try {
            db::drawRecordKey(keyGen);
            QFAIL("no error");
        } catch (const db::EngineError& e) {
            QCOMPARE(e.message(), QString("tblKeyGen: Operation bei geschlossener Datenmenge nicht ausführbar"));
        }
    }

    void counterNeverWraps()
    {
        EngineFixture fx;
        setCounter(*fx.connection, "AB", double(std::numeric_limits<qint32>::max()));
        auto keyGen = fx.table("tblKeyGen", "KEYGEN");
        QVERIFY_THROWS_EXCEPTION(db::EngineError, db::drawRecordKey(*keyGen));
        QCOMPARE(keyGen->fieldByName("KGNEXTID").asFloat(), double(std::numeric_limits<qint32>::max()));
        setCounter(*fx.connection, "AB", double(std::numeric_limits<qint32>::max() - 1));
        keyGen->refresh();
        QCOMPARE(db::drawRecordKey(*keyGen), QString("AB2147483647"));
    }

    void keyUsedUpEvenWhenRowIsDropped()
    {
        EngineFixture fx;
        setCounter(*fx.connection, "Z", 5.0);
        auto keyGen = fx.table("tblKeyGen", "KEYGEN");
        {
            db::Transaction t(*fx.connection); // the caller's row may be rolled back...
            QCOMPARE(db::drawRecordKey(*keyGen), QString("Z6"));
            t.commit();
        }
        QCOMPARE(db::drawRecordKey(*keyGen), QString("Z7"));
    }

    void twoProcessesNeverShareAKey()
    {
        EngineFixture fx;
        setCounter(*fx.connection, "P", 0.0);
        const int perProcess = 150;
        QProcess a, b;
        for (QProcess* p : {&a, &b})
            p->start(QStringLiteral(KEYDRAWER), {fx.dir.path() + "/database", QString::number(perProcess)});
        for (QProcess* p : {&a, &b}) {
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitCode(), 0);
        }
        QStringList keys = QString::fromUtf8(a.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        keys += QString::fromUtf8(b.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(keys.size(), 2 * perProcess);
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), 2 * perProcess);
        auto keyGen = fx.table("tblKeyGen", "KEYGEN");
        QCOMPARE(keyGen->fieldByName("KGNEXTID").asInteger(), 2 * perProcess);
    }
};

QTEST_GUILESS_MAIN(TestRecordKeys)
#include "tst_recordkeys.moc"
