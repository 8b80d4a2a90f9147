#include "cli/Generator.h"

#include "cli/Random.h"
#include "database/Schema.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

QStringList words(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* w : list)
        result << QString::fromUtf8(w);
    return result;
}

const QStringList kFirstNames = words(
    {"Anna", "Bernd", "Carla", "Dieter", "Elke", "Frank", "Gisela", "Hans", "Ingrid", "Jürgen", "Karin", "Lutz",
     "Monika", "Norbert", "Olaf", "Petra", "Rüdiger", "Sabine", "Thomas", "Ute", "Volker", "Wiebke", "Yvonne",
     "Zoë", "Jérôme", "François", "Hélène", "Luc", "Amélie", "Giulia", "Marco", "Lorenzo", "Chiara", "Pablo",
     "Lucía", "Søren", "Åsa", "Björn", "Malin", "Jan", "Katarzyna", "Piotr", "Hiroshi", "Keiko", "Takumi",
     "Yui", "Emre", "Ayşe", "Mehmet", "Leyla", "Jonas", "Lea", "Finn", "Mia", "Paul", "Emma", "Ole", "Greta",
     "Mathis", "Frieda"});

const QStringList kSurnames = words(
    {"Müller", "Schäfer", "Weißhaupt", "Brückner", "Köhler", "Bäcker", "Jürgensen", "Hoffmann", "Krüger", "Wagner",
     "Becker", "Schulz", "Fröhlich", "Größer", "Lößl", "Dörfler", "Hübner", "Vogel", "Zimmermann", "Lehmann",
     "Lefèvre", "Dubois", "Moreau", "Girard", "Mercier", "Rossi", "Bianchi", "Romano", "Colombo", "García",
     "Álvarez", "Núñez", "Sørensen", "Lindqvist", "Nyström", "Kowalski", "Nowak", "Wiśniewski", "Tanaka",
     "Yamamoto", "Moriyama", "Öztürk", "Yılmaz", "Kaya", "van Dijk", "de Vries", "Janssen", "Peeters", "Maes",
     "O'Neill", "Berger", "Huber", "Gruber", "Pichler", "Steiner", "Brandt", "Sommer", "Winter", "Frühling",
     "Falk", "Habicht", "Sperling", "Adler", "Kranich", "Löwe", "Wolf", "Fuchs", "Dachs", "Biber", "Otter"});

const QStringList kPublisherNames = words(
    {"Nordlicht", "Bärenklau", "Sturmvogel", "Blauwal", "Kiebitz", "Mondschein", "Rabenstein", "Löwenzahn",
     "Feder & Tusche", "Grünspan", "Kupferstich", "Sonnenblume", "Leuchtturm", "Wellenbrecher", "Eulenspiegel",
     "Hafenkante", "Morgenrot", "Sternschnuppe", "Tintenfass", "Rotkehlchen", "Bergkristall", "Papiertiger",
     "Weitblick", "Schwalbe", "Zwielicht", "Ahornblatt", "Fischgrät", "Klecks", "Donnerhall", "Silberfisch",
     "Gänseblümchen", "Seestern", "Wetterhahn", "Pinselstrich", "Fernweh", "Sprechblase", "Kobold", "Brausepulver",
     "Lindwurm", "Ölfleck"});
const QStringList kPublisherForms = words({"%1 Verlag", "Edition %1", "%1 Comics", "Verlag %1", "%1 Bücher"});

const QStringList kHeroes = words(
    {"Kapitän Hinnerk", "Rotfuchs", "Professor Quendel", "Mia Sturm", "Kalle Kolibri", "Ritter Bodo",
     "Lotte Löwenherz", "Agent Zacharias", "Jonas Jäger", "Fräulein Fink", "Orion", "Tarek", "Nuri",
     "Elsa Eisenhart", "Pitt Pinguin", "Gustav Grün", "Sheriff Wolle", "Zora Zander", "Bruno Bärlauch",
     "Oskar Otter", "Hanne Habicht", "Emil Eule", "Frieda Falk", "Max Mörtel", "Sir Reginald", "Luna", "Hiro",
     "Kenta", "Tiko", "Wanja", "Ida Igel", "Fritz Funke", "Kommandant Kork", "Die Zwillinge", "Jule Jansen",
     "Der kleine Wal"});

const QStringList kPlaces = words(
    {"Rabenfels", "Möwenhaven", "Dunkelstein", "Kupferberg", "Eisenau", "Nebelmoor", "Sonnenthal", "Wolfsgrund",
     "Lindenhof", "Sturmhöhe", "Goldbach", "Weidenau", "Grauburg", "Silberstrand", "Falkenried", "Tannhaus",
     "Schattenwald", "Bärental", "Kirschbrunn", "Ödland", "Übersee", "Klippenhain", "Dornbusch", "Eulenried",
     "Mühlenbeck", "Salzwiesen", "Rosenau", "Frostgrat", "Krähenwinkel", "Sandhafen"});

// Nominative with article, so they fit both alone and after "X und".
const QStringList kPhrases = words(
    {"der verlorene Schatz", "die gläserne Stadt", "das Auge des Sturms", "der Fluch der Mumie",
     "die Insel der Möwen", "der schwarze Reiter", "das Rätsel der Pyramide", "die Nacht der Wölfe",
     "der letzte Zug", "die Rückkehr des Drachen", "das Geisterschiff", "der Schatz der Azteken",
     "die Stimme aus dem Nebel", "der Meister der Uhren", "die vergessene Festung", "das Gold der Sierra",
     "der Zauberer von Ödland", "die Jagd nach dem Rubin", "das grüne Feuer", "der Bär aus dem Norden",
     "die Brücke über den Fluss", "das Orakel", "der Komet", "die Maske des Löwen", "der tanzende Affe",
     "die Kinder der Sterne", "das verbotene Tal", "der eiserne Wald", "die Spur im Schnee", "der falsche Prinz",
     "die Stadt unter dem Eis", "das Erbe des Grafen", "der gestohlene Mond", "die Flaschenpost",
     "das Rennen um die Welt", "der Kuss der Kobra", "die sieben Siegel", "der König der Diebe",
     "das Lied der Wale", "die schwarze Orchidee", "der Turm der Winde", "das Haus am See", "die Prüfung",
     "der Wächter", "die Überfahrt", "das Labyrinth", "die Heimkehr", "das Duell", "der Verrat",
     "die Höhle des Bären", "der Mann ohne Gesicht", "die Karawane", "das Vermächtnis", "der Schmuggler",
     "die Schatzkarte", "das Ungeheuer vom Moor", "der Silberpfeil", "die Wüstenprinzessin", "der weiße Hai",
     "die Mühle am Bach", "das Tor zur Unterwelt", "die Zeitmaschine", "der Uhrmacher", "die Fährte des Luchses",
     "das Schweigen der Glocken", "die Reise zum Mittelpunkt", "der Gärtner von Übersee"});
const QStringList kJourneys = words({"Abenteuer in %1", "Rückkehr nach %1", "Flucht aus %1", "Gefahr über %1",
                                     "Nebel über %1", "Ärger in %1", "Das Geheimnis von %1", "Die Türme von %1"});

const QStringList kSubtitles = words({"Gesamtausgabe", "Sonderband", "Neuausgabe in Farbe", "Erster Teil",
                                      "Zweiter Teil", "Jubiläumsausgabe", "Sammelband"});
const QStringList kContents = words({"%1 gerät in %2 in ein gefährliches Abenteuer.",
                                     "In %2 verschwindet ein wertvolles Erbstück, und %1 nimmt die Spur auf.",
                                     "%1 bricht nach %2 auf, um ein altes Rätsel zu lösen.",
                                     "Ein Fremder bringt Unruhe nach %2; %1 ahnt Böses.",
                                     "Ein Brief aus %2 stellt das Leben von %1 auf den Kopf."});
const QStringList kVolumeRemarks = words({"Mit Poster.", "Druckfehler auf Seite 12.", "Beilage fehlt.",
                                          "Erstausgabe mit anderem Titelbild.", "Titelbild in Silberdruck.",
                                          "Enthält eine Kurzgeschichte als Bonus."});
const QStringList kCopyRemarks = words({"Mit Widmung.", "Vom Flohmarkt.", "Doppelt, zum Tausch.",
                                        "Leichter Wasserschaden.", "Aus einer Sammlungsauflösung.", "Im Schuber.",
                                        "Geschenk von Oma Ilse.", "Rücken ausgeblichen."});
const QStringList kSeriesRemarks = words({"Abgeschlossen.", "Wird fortgesetzt.", "Eingestellt.",
                                          "Aus dem Französischen übersetzt.", "Aus dem Italienischen übersetzt.",
                                          "Aus dem Japanischen übersetzt.", "Neuauflage in Farbe."});
const QStringList kPlacesShelf = words({"Vitrine", "Schrank im Flur", "Keller, Kiste 3", "Dachboden", "Büro"});

QString capitalised(const QString& s)
{
    return s.left(1).toUpper() + s.mid(1);
}

// A kind of book: its execution, its page counts, and its price in euros around 2010.
struct Format {
    const char* execution;
    QList<int> pages;
    double price;
    int volumesPerYear;
};

const Format kAlbum{"Album", {48, 48, 56, 64}, 12.95, 1};
const Format kHeft{"Heft", {36, 36, 52, 68}, 2.50, 12};
const Format kHardcover{"Hardcover", {64, 96, 128, 176, 240}, 19.95, 1};
const Format kSoftcover{"Softcover", {96, 128, 160, 240, 320}, 16.95, 1};
const Format kPocket{"Taschenbuch", {128, 192, 208, 224}, 6.95, 4};

struct Genre {
    const char* litType;
    double weight;
    QList<const Format*> formats;
    QStringList kinds;
    int minVolumes, maxVolumes;
};

const QList<Genre> kGenres = {
    {"Comic", 0.75, {&kAlbum, &kAlbum, &kAlbum, &kHeft, &kHardcover, &kPocket},
     words({"Abenteuer", "Funny", "Humor", "Science-Fiction", "Fantasy", "Western", "Krimi", "Historisch", "Horror",
            "Superhelden", "Satire", "Kinder und Jugend"}), 0, 0},
    {"Manga", 0.12, {&kPocket}, words({"Fantasy", "Science-Fiction", "Abenteuer", "Humor", "Horror"}), 3, 40},
    {"Graphic Novel", 0.07, {&kHardcover, &kSoftcover}, words({"Historisch", "Biografie", "Krimi", "Satire"}), 1, 3},
    {"Zeitschrift", 0.03, {&kHeft}, words({"Humor", "Kinder und Jugend", "Superhelden"}), 10, 120},
    {"Sekundärliteratur", 0.03, {&kSoftcover, &kHardcover}, words({"Sachbuch", "Biografie"}), 1, 4},
};

constexpr int kLastYear = 2024;

struct Series {
    QString key, name, hero;
    int publisher = 0;
    const Genre* genre = nullptr;
    const Format* format = nullptr;
    QString kind;
    QList<std::pair<QString, QString>> team; // author key, role key
    int nextBand = 1;
    int remaining = 1;
    int year = 2000;
};

struct Publisher {
    QString key;
    int isbnCode = 0;
    int nextTitle = 0;
};

struct PlannedEdition {
    Edition edition;
    int year = 0;
    double euro = 0; // retail price in euros, for what copies cost later
};

class Generator {
public:
    Generator(sqlite3* db, quint64 seed) : m_rng(seed), m_w(db) {}

    CollectionCounts run(int volumes);

private:
    void makePublishers(int count);
    void makeAuthors(int count);
    Series makeSeries(bool single);
    QString uniqueSeriesName(const QString& hero);
    void makeVolume(Series& s);
    QList<PlannedEdition> planEditions(const Series& s, int year, bool limited);
    QString price(double euro, int year, double* value);
    QString isbnFor(Publisher& p, int year, bool booklet);

    Random m_rng;
    CollectionWriter m_w;
    QList<Publisher> m_publishers;
    QStringList m_authors;
    QSet<QString> m_seriesNames;
};

CollectionCounts Generator::run(int volumes)
{
    makePublishers(std::clamp(volumes / 800, 10, int(kPublisherNames.size() * kPublisherForms.size())));
    // The name lists give about 110,000 distinct names; a cap well below keeps
    // drawing unused ones quick.
    makeAuthors(std::clamp(volumes / 20, 30, 50000));
    // Collectors enter several series side by side, so a few are open at a time
    // and the catalogue's natural order interleaves them.
    QList<Series> open;
    for (int i = 0; i < volumes; ++i) {
        if (m_rng.chance(0.04)) {
            Series single = makeSeries(true);
            makeVolume(single);
            continue;
        }
        while (open.size() < 8)
            open << makeSeries(false);
        const int j = m_rng.below(int(open.size()));
        makeVolume(open[j]);
        if (open[j].remaining <= 0)
            open.removeAt(j);
    }
    m_w.finish();
    return m_w.counts();
}

void Generator::makePublishers(int count)
{
    QSet<QString> used;
    while (m_publishers.size() < count) {
        const QString name = m_rng.pick(kPublisherForms).arg(m_rng.pick(kPublisherNames));
        if (used.contains(name))
            continue;
        used.insert(name);
        const int i = int(m_publishers.size());
        // 337 is prime to 900, so every publisher gets its own three-digit code.
        m_publishers << Publisher{m_w.addPublisher(name), 100 + (i * 337) % 900, m_rng.between(10000, 60000)};
    }
}

void Generator::makeAuthors(int count)
{
    QSet<QString> used;
    while (m_authors.size() < count) {
        QString name = m_rng.pick(kFirstNames) + QLatin1Char(' ') + m_rng.pick(kSurnames);
        if (used.contains(name))
            name = m_rng.pick(kFirstNames) + QLatin1Char(' ') + QChar(u'A' + m_rng.below(26)) + QStringLiteral(". ")
                   + m_rng.pick(kSurnames);
        if (used.contains(name))
            continue;
        used.insert(name);
        m_authors << m_w.addAuthor(name);
    }
}

QString Generator::uniqueSeriesName(const QString& hero)
{
    const auto partner = [&] {
        QString other;
        do
            other = m_rng.pick(kHeroes);
        while (other == hero);
        return other;
    };
    for (int attempt = 0;; ++attempt) {
        QString name;
        switch (m_rng.below(10)) {
        case 0: name = QStringLiteral("Die Abenteuer von %1").arg(hero); break;
        case 1: name = hero; break;
        case 2: name = QStringLiteral("%1 und %2").arg(hero, partner()); break;
        case 3: name = QStringLiteral("Die %1-Chroniken").arg(m_rng.pick(kPlaces)); break;
        case 4: name = QStringLiteral("%1 in %2").arg(hero, m_rng.pick(kPlaces)); break;
        case 5: name = QStringLiteral("%1 – %2").arg(hero, capitalised(m_rng.pick(kPhrases))); break;
        case 6: name = m_rng.pick(kJourneys).arg(m_rng.pick(kPlaces)); break;
        case 7: name = QStringLiteral("%1 und %2 in %3").arg(hero, partner(), m_rng.pick(kPlaces)); break;
        case 8: name = QStringLiteral("Die Abenteuer von %1 in %2").arg(hero, m_rng.pick(kPlaces)); break;
        default:
            name = QStringLiteral("%1 %2")
                       .arg(m_rng.pick(words({"Kommissar", "Inspektor", "Detektei", "Doktor"})), m_rng.pick(kSurnames));
        }
        // After a few tries the names are used up often enough; a number makes
        // the name unique, as a later series of the same title would be called.
        if (attempt >= 4) {
            for (int n = 2;; ++n) {
                const QString numbered = name + QStringLiteral(" %1").arg(n);
                if (!m_seriesNames.contains(numbered)) {
                    name = numbered;
                    break;
                }
            }
        }
        if (name.size() <= 50 && !m_seriesNames.contains(name)) {
            m_seriesNames.insert(name);
            return name;
        }
    }
}

Series Generator::makeSeries(bool single)
{
    Series s;
    QList<double> weights;
    for (const Genre& g : kGenres)
        weights << g.weight;
    s.genre = &kGenres[m_rng.weighted(weights)];
    s.format = m_rng.pick(s.genre->formats);
    s.kind = m_w.kind(m_rng.pick(s.genre->kinds));
    // Few publishers and authors do most of the work.
    s.publisher = int(m_publishers.size() * std::pow(m_rng.unit(), 2.0));
    s.hero = m_rng.pick(kHeroes);
    s.year = 1960 + int((kLastYear - 1962) * std::sqrt(m_rng.unit()));

    if (single) {
        s.remaining = 1;
    } else if (s.genre->maxVolumes > 0) {
        s.remaining = m_rng.between(s.genre->minVolumes, s.genre->maxVolumes);
    } else {
        switch (m_rng.weighted({0.5, 0.3, 0.15, 0.05})) {
        case 0: s.remaining = m_rng.between(1, 6); break;
        case 1: s.remaining = m_rng.between(7, 20); break;
        case 2: s.remaining = m_rng.between(21, 50); break;
        default: s.remaining = m_rng.between(51, 120);
        }
    }
    if (!single) {
        s.name = uniqueSeriesName(s.hero);
        s.key = m_w.addSeries(s.name, m_rng.chance(0.3) ? m_rng.pick(kSeriesRemarks) : QString());
    }

    QStringList roles;
    switch (m_rng.weighted({0.15, 0.35, 0.35, 0.15})) {
    case 0: roles = words({"Autor"}); break;
    case 1: roles = words({"Szenarist", "Zeichner"}); break;
    case 2: roles = words({"Szenarist", "Zeichner", "Kolorist"}); break;
    default:
        roles = words({"Szenarist", "Zeichner", "Kolorist"});
        roles << (qstrcmp(s.genre->litType, "Manga") == 0 ? QStringLiteral("Übersetzer")
                                                               : m_rng.pick(words({"Tuscher", "Letterer", "Übersetzer"})));
    }
    QSet<int> chosen;
    for (const QString& role : roles) {
        int a;
        do
            a = int(m_authors.size() * std::pow(m_rng.unit(), 1.5));
        while (chosen.contains(a));
        chosen.insert(a);
        s.team << std::pair{m_authors[a], m_w.role(role)};
    }
    return s;
}

QString Generator::price(double euro, int year, double* value)
{
    static const double dmEndings[] = {0.80, 0.80, 0.90, 0.00};
    static const double euroEndings[] = {0.95, 0.99, 0.00, 0.50};
    const double level = euro * (0.45 + 0.55 * (year - 1960) / 50.0);
    if (year < 2002) {
        *value = std::floor(level * 1.95583) + dmEndings[m_rng.below(4)];
        return QStringLiteral("DM");
    }
    *value = std::floor(level) + euroEndings[m_rng.below(4)];
    return QStringLiteral("€");
}

QString Generator::isbnFor(Publisher& p, int year, bool booklet)
{
    if ((booklet && m_rng.chance(0.8)) || (year < 1975 && m_rng.chance(0.7)) || m_rng.chance(0.03))
        return {};
    p.nextTitle = (p.nextTitle + m_rng.between(1, 7)) % 100000;
    const QString isbn = makeIsbn(year, p.isbnCode, p.nextTitle);
    // Typed by hand: usually as printed, sometimes without hyphens, with the
    // prefix, or with a small x.
    switch (m_rng.weighted({0.75, 0.12, 0.08, 0.05})) {
    case 1: return QString(isbn).remove(QLatin1Char('-'));
    case 2: return QStringLiteral("ISBN ") + isbn;
    case 3: return isbn.toLower();
    default: return isbn;
    }
}

QList<PlannedEdition> Generator::planEditions(const Series& s, int year, bool limited)
{
    const int count = 1 + m_rng.weighted({0.82, 0.16, 0.02});
    QList<PlannedEdition> editions;
    int editionYear = year;
    for (int k = 0; k < count; ++k) {
        PlannedEdition p;
        p.year = editionYear;
        p.euro = s.format->price;
        Edition& e = p.edition;
        const bool special = limited && k == 0;
        e.designation = special ? QStringLiteral("Vorzugsausgabe") : QStringLiteral("%1. Auflage").arg(limited ? k : k + 1);
        switch (m_rng.weighted({0.5, 0.3, 0.2})) {
        case 0: e.published = QStringLiteral("%1/%2").arg(m_rng.between(1, 12), 2, 10, QLatin1Char('0')).arg(p.year); break;
        case 1: e.published = QString::number(p.year); break;
        default: e.published = QDate(p.year, m_rng.between(1, 12), m_rng.between(1, 28)).toString(QStringLiteral("dd.MM.yyyy"));
        }
        if (special)
            p.euro *= 2.5;
        double value = 0;
        e.currency = price(p.euro, p.year, &value);
        e.price = value;
        if (p.year < 2015 && m_rng.chance(0.35)) {
            e.collectorPrice = std::round(p.euro * (1 + (kLastYear - p.year) / 10.0 * (0.5 + 2.5 * m_rng.unit())));
            e.collectorCurrency = QStringLiteral("€");
        }
        QString execution = QString::fromUtf8(s.format->execution);
        if (execution == QLatin1String("Album") && m_rng.chance(0.25))
            execution = m_rng.chance(0.5) ? QStringLiteral("Hardcover") : QStringLiteral("Softcover");
        e.execution1Key = m_w.execution(special ? QStringLiteral("Vorzugsausgabe") : execution);
        if (special && m_rng.chance(0.5))
            e.execution2Key = m_w.execution(QStringLiteral("Signiert"));
        else if (m_rng.chance(0.03))
            e.execution2Key = m_w.execution(QStringLiteral("Mit Exlibris"));
        editions << p;
        editionYear = std::min(kLastYear, editionYear + (special ? 0 : m_rng.between(1, 8)));
    }
    return editions;
}

void Generator::makeVolume(Series& s)
{
    const bool booklet = s.format == &kHeft;
    const int year = std::min(s.year, kLastYear);
    if (m_rng.chance(1.0 / s.format->volumesPerYear))
        ++s.year;
    Publisher& publisher = m_publishers[m_rng.chance(0.03) ? m_rng.below(int(m_publishers.size())) : s.publisher];

    Volume v;
    const QString phrase = m_rng.pick(kPhrases);
    switch (m_rng.weighted({0.45, 0.3, 0.25})) {
    case 0: v.title1 = capitalised(phrase); break;
    case 1: v.title1 = QStringLiteral("%1 und %2").arg(s.hero, phrase); break;
    default: v.title1 = m_rng.pick(kJourneys).arg(m_rng.pick(kPlaces));
    }
    if (m_rng.chance(0.08))
        v.title2 = m_rng.pick(kSubtitles);
    if (m_rng.chance(0.02))
        v.title3 = QStringLiteral("Originalausgabe %1").arg(year - m_rng.between(1, 5));
    v.seriesKey = s.key;
    if (!s.key.isEmpty()) {
        if (s.nextBand > 1 && m_rng.chance(0.07))
            s.nextBand += m_rng.between(1, 3); // volumes that never made it into the catalogue
        v.band = s.nextBand++;
    }
    --s.remaining;
    v.publisherKey = publisher.key;
    v.isbn = isbnFor(publisher, year, booklet);
    v.pages = m_rng.pick(s.format->pages);
    if (m_rng.chance(0.25))
        v.content = m_rng.pick(kContents).arg(s.hero, m_rng.pick(kPlaces));
    v.litTypeKey = m_w.litType(QString::fromUtf8(s.genre->litType));
    v.kindKey = s.kind;
    if (m_rng.chance(0.06))
        v.remarks = m_rng.pick(kVolumeRemarks);
    const bool limited = !booklet && m_rng.chance(0.03);
    if (limited)
        v.limitedTo = m_rng.pick(QList<int>{99, 111, 199, 222, 333, 499, 500, 777, 999, 1500});

    const QList<PlannedEdition> editions = planEditions(s, year, limited);

    QList<Copy> copies;
    int worst = 0;
    const int copyCount = m_rng.weighted({0.10, 0.40, 0.40, 0.10});
    for (int i = 0; i < copyCount; ++i) {
        const PlannedEdition& p = editions[(i + m_rng.below(2)) % editions.size()];
        Copy c;
        const int grade = m_rng.weighted({0.15, 0.40, 0.30, 0.10, 0.05});
        worst = std::max(worst, grade);
        c.conditionKey = m_w.condition(grade);
        c.edition = p.edition.designation;
        c.execution1Key = p.edition.execution1Key;
        c.execution2Key = m_rng.chance(0.05) ? m_w.execution(QStringLiteral("Signiert")) : p.edition.execution2Key;
        const int boughtYear = m_rng.chance(0.5) ? p.year : m_rng.between(p.year, kLastYear);
        c.bought = QDate(boughtYear, m_rng.between(1, 12), m_rng.between(1, 28));
        double value = 0;
        c.currency = price(p.euro, boughtYear, &value);
        switch (m_rng.weighted({0.60, 0.25, 0.10, 0.05})) {
        case 0: c.price = value; break;
        case 1: c.price = std::round(value * (0.2 + 0.6 * m_rng.unit()) * 2) / 2; break; // flea market
        case 2: c.price = std::round(value * (1.5 + 2.5 * m_rng.unit())); break;         // from a dealer
        default: break;                                                                 // forgotten
        }
        switch (m_rng.weighted({0.60, 0.25, 0.10, 0.05})) {
        case 0: c.place = QStringLiteral("Regal %1, Fach %2").arg(m_rng.between(1, 12)).arg(m_rng.between(1, 8)); break;
        case 1: c.place = QStringLiteral("Karton %1").arg(m_rng.between(1, 60)); break;
        case 2: c.place = m_rng.pick(kPlacesShelf); break;
        default: break;
        }
        if (limited && c.edition == QLatin1String("Vorzugsausgabe"))
            c.number = m_rng.between(1, *v.limitedTo);
        if (m_rng.chance(0.04))
            c.remarks = m_rng.pick(kCopyRemarks);
        copies << c;
    }
    // Entries the collector does not own are mostly flagged missing, and a
    // copy in poor condition is often marked to be bought again.
    if (copies.isEmpty()) {
        v.missing = m_rng.chance(0.85);
        v.toBuy = m_rng.chance(0.25);
    } else {
        v.missing = m_rng.chance(0.01);
        v.toBuy = m_rng.chance(worst >= 3 ? 0.4 : 0.01);
    }

    const QString volumeKey = m_w.addVolume(v);
    for (const auto& [author, role] : s.team) {
        // Now and then a guest artist draws a volume.
        const bool guest = m_rng.chance(0.05);
        m_w.addAssignment(volumeKey, guest ? m_rng.pick(m_authors) : author, role);
    }
    for (const PlannedEdition& p : editions)
        m_w.addEdition(volumeKey, p.edition);
    for (const Copy& c : copies)
        m_w.addCopy(volumeKey, c);
}

} // namespace

CollectionCounts generateCollection(sqlite3* db, int volumes, quint64 seed)
{
    return Generator(db, seed).run(volumes);
}

CollectionCounts createGeneratedDatabase(const QString& dir, int volumes, quint64 seed)
{
    CollectionCounts counts;
    db::schema::createDatabase(dir, [&](sqlite3* db) { counts = generateCollection(db, volumes, seed); });
    return counts;
}

} // namespace cli
