#include "cli/Demo.h"

#include "database/Schema.h"

#include <QList>

#include <cmath>

namespace cli {

namespace {

struct DemoVolume {
    int band; // 0: a single volume outside any series
    const char* title;
    int year;
    double price;   // retail price in the currency of its year
    int copies;     // own copies: 0, 1 or 2 (the second one of a later edition)
    int condition;  // grade of the first copy
    bool missing = false;
    bool toBuy = false;
    const char* remark = nullptr;
    const char* title2 = nullptr;
    int limitedTo = 0; // the first edition is a numbered, signed special edition
};

struct DemoSeries {
    const char* name; // nullptr: the volumes belong to no series
    const char* remark;
    int publisher;
    const char* litType;
    const char* kind;
    const char* execution;
    int pages;
    int isbnCode;
    const char* place;
    QList<std::pair<int, const char*>> team; // author index, role
    QList<DemoVolume> volumes;
};

const char* const kPublishers[] = {"Nordlicht Verlag", "Edition Bärenklau", "Comicwerk Hamburg", "Verlag Grünspan",
                                   "Sturmvogel Bücher"};

const char* const kAuthors[] = {"Käthe Brückner", "Jörg Weißhaupt", "Lena Fröhlich",   "Hannes Grünberg",
                                "Marie Lefèvre",  "Tomás Álvarez",  "Ulrich Sommer",   "Birgit Özdemir",
                                "Sören Maaß",     "Haruka Moriyama"};

QList<DemoSeries> demoSeries()
{
    return {
        {"Kapitän Möwe", "Seefahrerabenteuer an der Nordsee, 1986 bis 1994 erschienen.", 0, "Comic", "Abenteuer",
         "Album", 48, 551, "Regal 1, Fach 2",
         {{1, "Szenarist"}, {0, "Zeichner"}, {2, "Kolorist"}},
         {{1, "Sturm über Helgoland", 1986, 12.80, 2, 2},
          {2, "Der Schatz der Hallig", 1987, 12.80, 1, 1},
          {3, "Nebel im Watt", 1988, 13.80, 0, 0, true},
          {5, "Die Flaschenpost", 1990, 13.80, 1, 1},
          {.band = 6, .title = "Kurs auf Grönland", .year = 1991, .price = 14.80, .copies = 1, .condition = 4,
           .toBuy = true, .remark = "Umschlag eingerissen, Seite 12 fehlt."},
          {8, "Das Geisterschiff", 1994, 16.80, 1, 1}}},
        {"Fuchs & Dachs", "Tierfabeln für Groß und Klein.", 1, "Comic", "Funny", "Hardcover", 56, 732,
         "Regal 2, Fach 1",
         {{3, "Autor"}},
         {{1, "Ärger im Hühnerstall", 2003, 12.95, 1, 0},
          {2, "Der große Kürbis", 2004, 12.95, 1, 1},
          {.band = 3, .title = "Winterschlaf fällt aus", .year = 2005, .price = 13.95, .copies = 1, .condition = 1,
           .missing = true, .remark = "An Ömer verliehen und nie zurückbekommen."},
          {4, "Fuchs & Dachs auf Reisen", 2007, 14.95, 1, 0}}},
        {"Sternenfahrer Orion", "Aus dem Französischen übersetzt.", 2, "Comic", "Science-Fiction", "Album", 64, 864,
         "Regal 1, Fach 4",
         {{4, "Szenarist"}, {5, "Zeichner"}, {8, "Übersetzer"}},
         {{1, "Die Sphäre", 1998, 19.80, 1, 1},
          {2, "Aufbruch ins Dunkel", 1999, 19.80, 2, 2},
          {4, "Die Kolonie", 2001, 21.80, 1, 1},
          {5, "Signal von Kepler-7", 2002, 11.95, 1, 0},
          {6, "Rückkehr zur Erde", 2004, 12.95, 0, 0, true, true}}},
        {"Die Grünwald-Chroniken", nullptr, 3, "Comic", "Fantasy", "Hardcover", 96, 417, "Vitrine",
         {{7, "Szenarist"}, {0, "Zeichner"}, {2, "Kolorist"}},
         {{.band = 1, .title = "Das Erbe der Eiche", .year = 2012, .price = 24.95, .copies = 1, .condition = 0,
           .title2 = "Vorzugsausgabe mit Exlibris", .limitedTo = 999},
          {2, "Der Ruf des Hirsches", 2014, 24.95, 1, 0},
          {3, "Dornenkrone", 2016, 26.00, 0, 0}}},
        {"Kommissar Quast", "Krimihefte aus Hamburg, nach Heft 7 eingestellt.", 1, "Comic", "Krimi", "Heft", 36, 0,
         "Karton 3",
         {{1, "Autor"}, {6, "Zeichner"}},
         {{1, "Tod am Alsterufer", 1978, 2.80, 1, 3},
          {2, "Die Spur führt nach Altona", 1978, 2.80, 1, 3},
          {3, "Mord im Museum", 1979, 2.80, 1, 2},
          {7, "Der letzte Fall", 1980, 3.20, 1, 1}}},
        {"Yuki und der Sternenwind", nullptr, 4, "Manga", "Fantasy", "Taschenbuch", 192, 918, "Regal 3, Fach 1",
         {{9, "Autor"}, {8, "Übersetzer"}},
         {{1, "Aufbruch", 2010, 6.95, 1, 0},
          {2, "Der Wind dreht sich", 2010, 6.95, 1, 0},
          {3, "Das Tal der Stille", 2011, 6.95, 1, 1},
          {4, "Heimkehr", 2011, 6.95, 1, 0}}},
        {nullptr, nullptr, 3, "Graphic Novel", "Historisch", "Hardcover", 176, 420, "Regal 3, Fach 2",
         {{4, "Autor"}, {5, "Zeichner"}},
         {{.band = 0, .title = "Nachtzug nach Triest", .year = 2019, .price = 29.00, .copies = 1, .condition = 0,
           .title2 = "Eine Reise im Jahr 1913"}}},
        {nullptr, nullptr, 2, "Sekundärliteratur", "Sachbuch", "Softcover", 240, 871, "Regal 3, Fach 2",
         {{3, "Autor"}, {0, "Herausgeber"}},
         {{0, "Die Kunst der Sprechblase", 2009, 24.90, 1, 1}}},
    };
}

QString currencyOf(int year)
{
    return year < 2002 ? QStringLiteral("DM") : QStringLiteral("€");
}

} // namespace

CollectionCounts fillDemo(sqlite3* db)
{
    CollectionWriter w(db);
    QList<QString> publishers, authors;
    for (const char* name : kPublishers)
        publishers << w.addPublisher(QString::fromUtf8(name));
    for (const char* name : kAuthors)
        authors << w.addAuthor(QString::fromUtf8(name));

    int isbnTitle = 12000;
    for (const DemoSeries& s : demoSeries()) {
        const QString seriesKey = s.name ? w.addSeries(QString::fromUtf8(s.name), QString::fromUtf8(s.remark)) : QString();
        const QString execution = w.execution(QString::fromUtf8(s.execution));
        for (const DemoVolume& dv : s.volumes) {
            const bool limited = dv.limitedTo > 0;
            Volume v;
            v.title1 = QString::fromUtf8(dv.title);
            v.title2 = QString::fromUtf8(dv.title2);
            v.seriesKey = seriesKey;
            if (dv.band > 0)
                v.band = dv.band;
            v.publisherKey = publishers[s.publisher];
            // Early booklets carried no ISBN. Some ISBNs are kept as the
            // collector typed them: without hyphens, with the prefix, with a small x.
            if (s.isbnCode > 0)
                v.isbn = makeIsbn(dv.year, s.isbnCode, isbnTitle += 37);
            if (s.publisher == 0 && dv.band == 5)
                v.isbn.remove(QLatin1Char('-'));
            if (s.publisher == 0 && dv.band == 8)
                v.isbn.prepend(QStringLiteral("ISBN "));
            if (s.publisher == 1 && dv.band == 1)
                v.isbn = v.isbn.toLower();
            v.pages = s.pages;
            v.litTypeKey = w.litType(QString::fromUtf8(s.litType));
            v.kindKey = w.kind(QString::fromUtf8(s.kind));
            v.missing = dv.missing;
            v.toBuy = dv.toBuy;
            v.remarks = QString::fromUtf8(dv.remark);
            if (limited)
                v.limitedTo = dv.limitedTo;
            if (dv.band == 1)
                v.content = QStringLiteral("Der Auftakt der Reihe „%1“.").arg(QString::fromUtf8(s.name));
            const QString volumeKey = w.addVolume(v);

            for (const auto& [author, role] : s.team)
                w.addAssignment(volumeKey, authors[author], w.role(QString::fromUtf8(role)));

            const QString currency = currencyOf(dv.year);
            Edition first;
            first.designation = QStringLiteral("1. Auflage");
            first.published = QStringLiteral("%1/%2").arg((dv.band * 3) % 12 + 1, 2, 10, QLatin1Char('0')).arg(dv.year);
            first.price = dv.price;
            first.currency = currency;
            first.execution1Key = execution;
            if (dv.year < 1995) {
                // Collector's prices are quoted in euros, also for DM books.
                first.collectorPrice = std::round(dv.price * (2000 - dv.year) / 6.0);
                first.collectorCurrency = QStringLiteral("€");
            }
            if (limited) {
                first.designation = QStringLiteral("Vorzugsausgabe");
                first.execution1Key = w.execution(QStringLiteral("Vorzugsausgabe"));
                first.execution2Key = w.execution(QStringLiteral("Signiert"));
                first.price = 49.00;
            }
            w.addEdition(volumeKey, first);
            Edition second = first;
            const bool reprinted = dv.copies == 2 || limited;
            if (reprinted) {
                const int year = limited ? dv.year : dv.year + 6;
                second = Edition();
                second.designation = limited ? QStringLiteral("1. Auflage") : QStringLiteral("2. Auflage");
                second.published = QString::number(year);
                second.price = dv.price;
                second.currency = currencyOf(year);
                second.execution1Key = execution;
                if (currencyOf(year) != currency)
                    second.price = std::floor(dv.price / 1.95583) + 0.95;
                w.addEdition(volumeKey, second);
            }

            for (int i = 0; i < dv.copies; ++i) {
                const Edition& e = i == 0 ? first : second;
                Copy c;
                c.conditionKey = w.condition(i == 0 ? dv.condition : 0);
                c.edition = e.designation;
                c.execution1Key = e.execution1Key;
                c.execution2Key = e.execution2Key;
                c.place = QString::fromUtf8(s.place);
                const bool booklet = QByteArray(s.execution) == "Heft";
                const int boughtYear = e.published.right(4).toInt() + (booklet ? 18 : 0);
                c.bought = QDate(boughtYear, (dv.band * 5) % 12 + 1, 3 + dv.band * 2);
                c.currency = currencyOf(boughtYear);
                if (booklet) {
                    c.price = 4.00;
                    c.remarks = QStringLiteral("Auf der Comicbörse gekauft.");
                } else {
                    c.price = e.price;
                }
                if (limited) {
                    c.number = 417;
                    c.remarks = QStringLiteral("Mit Widmung des Zeichners.");
                }
                w.addCopy(volumeKey, c);
            }
        }
    }
    w.finish();
    return w.counts();
}

CollectionCounts createDemoDatabase(const QString& dir)
{
    CollectionCounts counts;
    db::schema::createDatabase(dir, [&](sqlite3* db) { counts = fillDemo(db); });
    return counts;
}

} // namespace cli
