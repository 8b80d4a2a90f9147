#include "EngineFixture.h"

#include "database/GermanOrder.h"
#include "database/Statement.h"

#include <QtTest>
#include <algorithm>

namespace {

const QString kNull = QStringLiteral("<null>");

QVariant valueOf(const QString& text)
{
    return text == kNull ? QVariant() : QVariant(text);
}

// Names of many European languages as a German reader looks them up: capital
// accented letters first in a word, letters of two languages in one name, a
// letter typed with a combining accent, a typographic dash.
const QStringList kManyLanguages = {
    "1984", "À bout de souffle", "Aachen", "Ærø", "Ålesund", "Ångström", "Ärger im Paradies", "Argonauten",
    "Ávila", "Brønd", "Ça ira", "Cafe\u0301 Noir", "Čapek", "Ćevapčići", "Citroën", "Ĉu vi", "Doğan",
    "Đoković", "Ðóra", "Dvořák", "Éclair", "Ėglė", "Éire – Ísland", "Ēriks", "Gdańsk", "Ģirts", "Ĝis revido",
    "Ħal Qormi", "Ĥoro", "Iğdır", "Île de France", "Ísafjörður", "İstanbul", "José Martí", "Ķekava", "Kraków",
    "Łódź", "Ľubica", "Łukasz Świątek", "Märchen – „Schöne“ Welt", "Nærøy", "Ñandú", "Ñoño y Łódź", "Ödön von Horváth",
    "Œuvres complètes", "Øresund", "Őrség", "Ōtautahi", "Řeka", "Ŝako", "Şanlıurfa", "Șerban", "Šibenik",
    "Strasse", "Straße der Stadt", "Świnoujście", "Ţara", "Þingvellir", "Țuică", "Tŷ Newydd",
    "Über den Wolken", "Ūdrija", "Úrsula", "Ýmir", "Žilina", "Zola", "Źródło", "Żubr", "Zürich", "Zwölf"};

// The same names in an order that has nothing to do with either.
QStringList scrambled(const QStringList& names)
{
    QStringList out;
    for (qsizetype i = 0; i < names.size(); ++i)
        out << names[(i * 37 + 11) % names.size()];
    return out;
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
    void everyLetterUnderItsBase();
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
    // All distinct keys: the order is not left to the entry order.
    QVERIFY(kManyLanguages.size() == 70 && QSet<QString>(kManyLanguages.begin(), kManyLanguages.end()).size() == 70);
    QTest::newRow("titles of many languages") << "SERVERSTRIPOTHEK" << "NKSCLTITEL1" << "SCLCOMICID" << "SCLTITEL1"
                                              << scrambled(kManyLanguages) << kManyLanguages;
    QTest::newRow("publishers of many languages") << "SERVERSTRIPOTHEK" << "NKSCLVERLAGTEXT" << "SCLCOMICID"
                                                  << "SCLVERLAGTEXT" << scrambled(kManyLanguages) << kManyLanguages;
    QTest::newRow("authors of many languages") << "AUTOREN" << "NKANNAME" << "ANAUTORID" << "ANNAME"
                                               << scrambled(kManyLanguages) << kManyLanguages;
    QTest::newRow("series list of many languages") << "SERIEN" << "NKSRNAME" << "SRSERIENID" << "SRNAME"
                                                   << scrambled(kManyLanguages) << kManyLanguages;
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

    // The reports and the statistics read the index's own keys, as SQLite computed them.
    QStringList keyColumns;
    for (const QString& f : db::schema::index(*db::schema::table(table), index)->fields)
        keyColumns << (db::schema::table(table)->field(f)->type == db::schema::FieldDef::Type::Text ? db::germanKeyColumn(f) : f);
    db::Statement walk(fx.connection->handle(), QStringLiteral("SELECT %1 FROM %2 INDEXED BY %3 ORDER BY %4, rowid")
                                                     .arg(field, table, index, keyColumns.join(QLatin1Char(','))));
    QStringList walked;
    while (walk.step())
        walked << (walk.column(0).isNull() ? kNull : walk.column(0).toString());
    QTEST(walked, "sorted");
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

// Each letter of Latin-1 and Latin Extended-A, and the others the order
// knows, sorts under the letters Unicode decomposes it into; the letters
// Unicode leaves whole are named here. SQLite computes the same key as the
// program, one letter at a time and all of them in one name.
void TestGermanOrder::everyLetterUnderItsBase()
{
    const QHash<QChar, QString> whole = {
        {u'Ø', "O"}, {u'ø', "O"}, {u'Ł', "L"}, {u'ł', "L"}, {u'Đ', "D"}, {u'đ', "D"}, {u'Ð', "D"}, {u'ð', "D"},
        {u'Ħ', "H"}, {u'ħ', "H"}, {u'Ŧ', "T"}, {u'ŧ', "T"}, {u'ı', "I"}, {u'Æ', "AE"}, {u'æ', "AE"},
        {u'Œ', "OE"}, {u'œ', "OE"}, {u'ß', "SS"}, {u'ẞ', "SS"}, {u'Þ', "TH"}, {u'þ', "TH"}, {u'Ŋ', "N"},
        {u'ŋ', "N"}, {u'ĸ', "K"}};
    QString letters;
    for (char16_t u = 0xC0; u <= 0x17F; ++u)
        if (u != 0xD7 && u != 0xF7) // × and ÷
            letters += QChar(u);
    letters += QStringLiteral("ȘșȚțẞẀẁẂẃẄẅỲỳ");

    EngineFixture fx;
    for (qsizetype i = 0; i < letters.size(); ++i) {
        const QChar letter = letters[i];
        QString base = whole.value(letter);
        if (base.isEmpty())
            for (const QChar c : QString(letter).normalized(QString::NormalizationForm_KD))
                if (c.unicode() < 0x80 && c.isLetter())
                    base += c.toUpper();
        QVERIFY2(!base.isEmpty(), qPrintable(QString(letter)));
        QCOMPARE(db::germanKey(QStringLiteral("x") + letter + QStringLiteral("y")), QStringLiteral("X") + base + QStringLiteral("Y"));
        fx.connection->execute(QStringLiteral("INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES (?, ?)"),
                               {QStringLiteral("k%1").arg(i), QString(QStringLiteral("x") + letter + QStringLiteral("y"))});
    }
    // Each way through the key: every letter at once, umlauts alone, umlauts with typographic signs.
    const QStringList mixed = {letters, QStringLiteral("Äöü ßẞ"),
                               QStringLiteral("„Ärger“ – ‚Öl‘ … «Über» ‹ß› —\u00A0ẞ")};
    for (qsizetype i = 0; i < mixed.size(); ++i)
        fx.connection->execute(QStringLiteral("INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES (?, ?)"),
                               {QStringLiteral("m%1").arg(i), mixed[i]});
    db::Statement keys(fx.connection->handle(),
                       QStringLiteral("SELECT ANNAME, ANNAME_SORT FROM AUTOREN WHERE ANAUTORID GLOB '[km][0-9]*'"));
    int rows = 0;
    while (keys.step()) {
        ++rows;
        QCOMPARE(keys.column(1).toString(), db::germanKey(keys.column(0).toString()));
    }
    QCOMPARE(rows, letters.size() + mixed.size());
}

QTEST_GUILESS_MAIN(TestGermanOrder)
#include "tst_germanorder.moc"
