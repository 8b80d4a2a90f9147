#include "EngineFixture.h"

#include "../common/ErrorOf.h"

#include <QtTest>

// What the engine says when SQLite refuses: German words that name the
// problem, SQLite's English only in parentheses behind them.
class TestEngineMessages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // SQLite's English reaches the user only in parentheses, behind German
    // words that say what went wrong.
    void sqliteFailuresInGerman_data()
    {
        QTest::addColumn<QStringList>("statements"); // the last one fails
        QTest::addColumn<QString>("message");
        const QString refusedChange = "Die Datenbank hat die Änderung abgelehnt: ";
        const QString refused = "Die Datenbank hat die Anweisung abgelehnt";
        QTest::newRow("key twice") << QStringList{"INSERT INTO VERLAGE (VLVERLAGID) VALUES ('V1')",
                                                  "INSERT INTO VERLAGE (VLVERLAGID) VALUES ('V1')"}
                                   << refusedChange + "Den Wert von „VERLAGE.VLVERLAGID“ hat schon ein anderer Eintrag; "
                                                      "er darf nur einmal vorkommen (UNIQUE constraint failed: "
                                                      "VERLAGE.VLVERLAGID)";
        QTest::newRow("value required")
            << QStringList{"CREATE TEMP TABLE PFLICHT (WERT NOT NULL)", "INSERT INTO PFLICHT VALUES (NULL)"}
            << refusedChange + "„PFLICHT.WERT“ darf nicht leer sein (NOT NULL constraint failed: PFLICHT.WERT)";
        QTest::newRow("rule") << QStringList{"CREATE TEMP TABLE REGEL (WERT CONSTRAINT POSITIV CHECK (WERT > 0))",
                                             "INSERT INTO REGEL VALUES (-1)"}
                              << refusedChange + "Der Wert verstößt gegen die Regel „POSITIV“ der Tabelle (CHECK "
                                                 "constraint failed: POSITIV)";
        QTest::newRow("unknown table") << QStringList{"UPDATE NICHTDA SET X = 1"}
                                       << refused + ": Die Tabelle „NICHTDA“ gibt es nicht (no such table: NICHTDA)";
        QTest::newRow("unknown column") << QStringList{"SELECT NICHTDA FROM VERLAGE"}
                                        << refused + ": Die Spalte „NICHTDA“ gibt es nicht (no such column: NICHTDA)";
        QTest::newRow("typing error") << QStringList{"SELEC * FROM VERLAGE"}
                                      << refused + ": Die Anweisung hat einen Syntaxfehler bei „SELEC“ (near "
                                                   "\"SELEC\": syntax error)";
        QTest::newRow("cut off") << QStringList{"SELECT (1"}
                                 << refused + ": Die Anweisung ist unvollständig (incomplete input)";
        QTest::newRow("values and columns") << QStringList{"INSERT INTO VERLAGE (VLVERLAGID) VALUES ('a', 'b')"}
                                            << refused + ": Die Zahl der Werte (2) passt nicht zur Zahl der Spalten "
                                                         "(2 values for 1 columns)";
        QTest::newRow("other mistake")
            << QStringList{"SELECT 1 UNION SELECT 1, 2"}
            << refused + " (SELECTs to the left and right of UNION do not have the same number of result columns)";
        QTest::newRow("too big") << QStringList{"SELECT zeroblob(2000000000)"}
                                 << "Ein Wert oder eine Anweisung ist zu groß für die Datenbank";
    }
    void sqliteFailuresInGerman()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, message);
        EngineFixture fx;
        const QString last = statements.takeLast();
        for (const QString& statement : std::as_const(statements))
            fx.connection->execute(statement);
        QCOMPARE(errorOf([&] { fx.connection->execute(last); }), "dbConnection: " + message);
    }
};

QTEST_GUILESS_MAIN(TestEngineMessages)
#include "tst_enginemessages.moc"
