#include "EngineFixture.h"

#include "database/GermanOrder.h"

#include <QtTest>
#include <algorithm>

namespace {

const QString kNull = QStringLiteral("<null>");

QVariant valueOf(const QString& text)
{
    return text == kNull ? QVariant() : QVariant(text);
}

} // namespace

// Names sort as German users look them up (DIN 5007, variant 1): case
// ignored, ä/ö/ü as a/o/u, ß as ss, accented letters as their base letters,
// digits before letters, null and empty first, equal names as entered.
class TestGermanOrder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void indexOrder_data();
    void indexOrder();
    void inMemory_data() { indexOrder_data(); }
    void inMemory();
};

void TestGermanOrder::indexOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("key");   // the key field, filled with k1, k2, ...
    QTest::addColumn<QString>("field"); // the name field
    QTest::addColumn<QStringList>("entered");
    QTest::addColumn<QStringList>("sorted");

    QTest::newRow("titles") << "SERVERSTRIPOTHEK" << "NKSCLTITEL1" << "SCLCOMICID" << "SCLTITEL1"
                            << QStringList{"Zorro", "Ärger im Hühnerstall", "ärgerlich", "Argonauten", "Öl", "Ofen",
                                           "Straße", "Strasse", "Strand", "Éclair", "Ecke", "eclipse", "1984", "007",
                                           "20 Jahre", "", kNull, "asterix", "Asterix", "ASTERIX", "Ñandú",
                                           "Nacht", "Mueller", "Müller", "Muller", "François", "Francis"}
                            << QStringList{kNull, "", "007", "1984", "20 Jahre", "Ärger im Hühnerstall", "ärgerlich",
                                           "Argonauten", "asterix", "Asterix", "ASTERIX", "Ecke", "Éclair",
                                           "eclipse", "Francis", "François", "Mueller", "Müller", "Muller", "Nacht",
                                           "Ñandú", "Ofen", "Öl", "Strand", "Straße", "Strasse", "Zorro"};
    // Equal names keep their volumes in order; the volume is the place entered here.
    QTest::newRow("series") << "SERVERSTRIPOTHEK" << "NKSCLSERIENTEXT" << "SCLCOMICID" << "SCLSERIENTEXT"
                            << QStringList{"Yakari", "Ägypten-Saga", "Aachen", "yakari", "Œuvres", "Ode"}
                            << QStringList{"Aachen", "Ägypten-Saga", "Ode", "Œuvres", "Yakari", "yakari"};
    QTest::newRow("publishers") << "SERVERSTRIPOTHEK" << "NKSCLVERLAGTEXT" << "SCLCOMICID" << "SCLVERLAGTEXT"
                                << QStringList{"Ullstein", "Ölbaum", "Egmont", "Éditions Dupuis", "carlsen", "Carlsen"}
                                << QStringList{"carlsen", "Carlsen", "Éditions Dupuis", "Egmont", "Ölbaum", "Ullstein"};
    QTest::newRow("publisher list") << "VERLAGE" << "NKVLNAME1" << "VLVERLAGID" << "VLNAME1"
                                    << QStringList{"Zack", "Ölbaum", "Äquator", "Abrams"}
                                    << QStringList{"Abrams", "Äquator", "Ölbaum", "Zack"};
    QTest::newRow("author list") << "AUTOREN" << "NKANNAME" << "ANAUTORID" << "ANNAME"
                                 << QStringList{"Uderzo", "Moebius", "Möbius", "Ibáñez", "Hergé", "Herge",
                                                "Rosiński", "Roba", "Øyvind"}
                                 << QStringList{"Hergé", "Herge", "Ibáñez", "Möbius", "Moebius", "Øyvind", "Roba",
                                                "Rosiński", "Uderzo"};
    QTest::newRow("authors of many languages, one typed with a combining accent")
        << "AUTOREN" << "NKANNAME" << "ANAUTORID" << "ANNAME"
        << QStringList{"Zola", "Émile", "Ñandú", "Lúcia", "Bellò", "Brønd", "Łukasz", "Čapek", "Citroën", "Nocq",
                       "Ève", "Ålborg", "Œil", "Ca\u0301ceres"}
        << QStringList{"Ålborg", "Bellò", "Brønd", "Ca\u0301ceres", "Čapek", "Citroën", "Émile", "Ève", "Lúcia",
                       "Łukasz", "Ñandú", "Nocq", "Œil", "Zola"};
    QTest::newRow("series list") << "SERIEN" << "NKSRNAME" << "SRSERIENID" << "SRNAME"
                                 << QStringList{"Über den Wolken", "Ufo", "Ulysses"}
                                 << QStringList{"Über den Wolken", "Ufo", "Ulysses"};
}

// Through the engine: the table ordered by its index.
void TestGermanOrder::indexOrder()
{
    QFETCH(QString, table);
    QFETCH(QString, index);
    QFETCH(QString, key);
    QFETCH(QString, field);
    QFETCH(QStringList, entered);
    EngineFixture fx;
    const bool catalogue = table == QLatin1String("SERVERSTRIPOTHEK");
    for (int i = 0; i < entered.size(); ++i)
        fx.connection->execute(catalogue ? QStringLiteral("INSERT INTO %1 (%2, %3, SCLBAND) VALUES (?, ?, ?)").arg(table, key, field)
                                         : QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)").arg(table, key, field),
                               catalogue ? QVariantList{QStringLiteral("k%1").arg(i), valueOf(entered[i]), i}
                                         : QVariantList{QStringLiteral("k%1").arg(i), valueOf(entered[i])});
    auto t = fx.table(QStringLiteral("tbl"), table);
    t->setIndexName(index);
    QStringList shown;
    const int column = t->fieldByName(field).index();
    for (int row = 0; row < t->shownCount(); ++row) {
        const QVariant value = t->valueAt(row, column);
        shown << (value.isNull() ? kNull : value.toString());
    }
    QTEST(shown, "sorted");
}

// The same order for rows already in memory (the statistics' tables).
void TestGermanOrder::inMemory()
{
    QFETCH(QStringList, entered);
    QFETCH(QStringList, sorted);
    std::stable_sort(entered.begin(), entered.end(), [](const QString& a, const QString& b) {
        return db::germanCompare(a == kNull ? QString() : a, b == kNull ? QString() : b) < 0;
    });
    // Null and empty are one in memory; both come first.
    const auto blank = [](const QString& s) { return s.isEmpty() || s == kNull; };
    const auto blanks = std::count_if(sorted.begin(), sorted.end(), blank);
    QVERIFY(std::all_of(entered.begin(), entered.begin() + blanks, blank));
    entered.removeIf(blank);
    sorted.removeIf(blank);
    QCOMPARE(entered, sorted);
}

QTEST_GUILESS_MAIN(TestGermanOrder)
#include "tst_germanorder.moc"
