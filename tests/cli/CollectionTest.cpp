#include "CollectionCheck.h"

#include "cli/Demo.h"
#include "cli/Generator.h"
#include "database/Schema.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The demo and the generated collection, built through the library.
class CollectionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_demoDir;
    QString m_demo;

    // All rows of the collection in their natural order; keys appear without
    // their prefix, the one thing that differs between two databases.
    static QStringList content(const QString& dir)
    {
        CollectionReader db(db::schema::databaseFile(dir));
        const QRegularExpression key(
            QRegularExpression::escape(db.value(QStringLiteral("SELECT KGDBID FROM KEYGEN")).toString())
            + QStringLiteral("(?=[1-9])"));
        QStringList lines;
        for (const char* table : {"SERVERSTRIPOTHEK", "COMIC2AUTOR", "AUFLAGEN", "LOKALESTRIPOTHEK", "SERIEN", "AUTOREN",
                                  "VERLAGE"}) {
            for (const QVariantList& row : db.rows(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(QLatin1String(table)))) {
                QStringList fields;
                for (const QVariant& v : row)
                    fields << v.toString().replace(key, QStringLiteral("#"));
                lines << fields.join(QLatin1Char('|'));
            }
        }
        lines << db.value(QStringLiteral("SELECT KGNEXTID FROM KEYGEN")).toString();
        return lines;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_demoDir.isValid());
        const cli::CollectionCounts counts = cli::createDemoDatabase(m_demoDir.path());
        m_demo = db::schema::databaseFile(m_demoDir.path());
        CollectionReader db(m_demo);
        QCOMPARE(counts.volumes, db.count(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK")));
        QCOMPARE(counts.copies, db.count(QStringLiteral("SELECT count(*) FROM LOKALESTRIPOTHEK")));
    }

    void demoIsConsistent()
    {
        VERIFY_CONSISTENT(m_demo);
    }

    // Every window and report needs something to show.
    void demoShows_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("atLeast");
        QTest::newRow("a few series") << "SELECT count(*) FROM SERIEN" << 4;
        QTest::newRow("series with gaps") << "SELECT count(*) FROM (SELECT SCLSERIEID FROM SERVERSTRIPOTHEK "
                                             "WHERE SCLSERIEID IS NOT NULL GROUP BY SCLSERIEID HAVING max(SCLBAND) > count(*))"
                                          << 3;
        QTest::newRow("a complete series") << "SELECT count(*) FROM (SELECT SCLSERIEID FROM SERVERSTRIPOTHEK "
                                              "WHERE SCLSERIEID IS NOT NULL GROUP BY SCLSERIEID HAVING max(SCLBAND) = count(*))"
                                           << 1;
        QTest::newRow("volumes without series") << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLSERIEID IS NULL" << 1;
        QTest::newRow("flagged missing") << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLFEHLT = 1" << 2;
        QTest::newRow("to be bought") << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLZUKAUFEN = 1" << 2;
        QTest::newRow("owned but flagged missing")
            << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLFEHLT = 1 AND SCLCOMICID IN "
               "(SELECT LCLSERVERCOMICID FROM LOKALESTRIPOTHEK)"
            << 1;
        QTest::newRow("not owned") << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLCOMICID NOT IN "
                                      "(SELECT LCLSERVERCOMICID FROM LOKALESTRIPOTHEK)"
                                   << 2;
        QTest::newRow("several authors") << "SELECT count(*) FROM AUTOREN" << 6;
        QTest::newRow("several roles in use") << "SELECT count(DISTINCT C2AATID) FROM COMIC2AUTOR" << 4;
        QTest::newRow("one author in two series")
            << "SELECT count(*) FROM (SELECT C2AAUTORID FROM COMIC2AUTOR JOIN SERVERSTRIPOTHEK ON SCLCOMICID = C2ACOMICID "
               "GROUP BY C2AAUTORID HAVING count(DISTINCT SCLSERIEID) > 1)"
            << 1;
        QTest::newRow("prices in DM") << "SELECT count(*) FROM AUFLAGEN WHERE ALWG = 'DM' AND ALVKPREIS > 0" << 1;
        QTest::newRow("prices in €") << "SELECT count(*) FROM AUFLAGEN WHERE ALWG = '€' AND ALVKPREIS > 0" << 1;
        QTest::newRow("collector's prices") << "SELECT count(*) FROM AUFLAGEN WHERE ALSPREIS > 0" << 1;
        QTest::newRow("later editions") << "SELECT count(*) FROM (SELECT ALCOMICID FROM AUFLAGEN GROUP BY ALCOMICID "
                                           "HAVING count(*) > 1)"
                                        << 1;
        QTest::newRow("copies with condition, date, place")
            << "SELECT count(*) FROM LOKALESTRIPOTHEK WHERE LCLZUSTANDID <> '' AND LCKKDATUM <> '' AND LCLLAGERPLATZ <> ''"
            << 10;
        QTest::newRow("two copies of one volume") << "SELECT count(*) FROM (SELECT LCLSERVERCOMICID FROM LOKALESTRIPOTHEK "
                                                     "GROUP BY LCLSERVERCOMICID HAVING count(*) > 1)"
                                                  << 1;
        QTest::newRow("numbered limited copy") << "SELECT count(*) FROM LOKALESTRIPOTHEK WHERE LCLNUMMER > 0" << 1;
        QTest::newRow("umlauts in names") << "SELECT (SELECT count(*) FROM AUTOREN WHERE ANNAME GLOB '*[äöüÄÖÜß]*') "
                                             "+ (SELECT count(*) FROM SERIEN WHERE SRNAME GLOB '*[äöüÄÖÜß]*')"
                                          << 2;
        QTest::newRow("ISBN typed with letters") << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE SCLISBNNR GLOB '*[a-zA-Z]*'"
                                                 << 2;
        QTest::newRow("no ISBN") << "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE coalesce(SCLISBNNR, '') = ''" << 1;
    }

    void demoShows()
    {
        QFETCH(QString, sql);
        QFETCH(int, atLeast);
        CollectionReader db(m_demo);
        const QVariant found = db.value(sql);
        QVERIFY2(found.typeId() == QMetaType::LongLong, qPrintable(found.toString()));
        QVERIFY2(found.toLongLong() >= atLeast, qPrintable(QStringLiteral("%1 < %2").arg(found.toLongLong()).arg(atLeast)));
    }

    void generatorDependsOnlyOnItsSeed()
    {
        QTemporaryDir a, b, c;
        cli::createGeneratedDatabase(a.path(), 300, 7);
        cli::createGeneratedDatabase(b.path(), 300, 7);
        cli::createGeneratedDatabase(c.path(), 300, 8);
        const QStringList first = content(a.path());
        QVERIFY(first.size() > 300 * 6);
        QCOMPARE(content(b.path()), first);
        QVERIFY(content(c.path()) != first);
    }

    // A large collection is as consistent as a small one; how long it takes
    // is measured by the benchmark, beside raw SQLite writing the same rows.
    void largeCollectionIsConsistent()
    {
        QTemporaryDir dir;
        const cli::CollectionCounts counts = cli::createGeneratedDatabase(dir.path(), 20000);
        QCOMPARE(counts.volumes, qint64(20000));
        VERIFY_CONSISTENT(db::schema::databaseFile(dir.path()));
    }
};

QTEST_GUILESS_MAIN(CollectionTest)
#include "CollectionTest.moc"
