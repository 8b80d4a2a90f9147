#include "csvimport/Mapping.h"

#include "csvimport/Names.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <vector>

namespace csvimport {

namespace {

struct TargetInfo {
    Target target;
    const char* key;
    const char* caption;
    std::vector<const char*> names; // column names that propose it, German and English
};

const std::vector<TargetInfo>& targetTable()
{
    static const std::vector<TargetInfo> table = {
        {Target::None, "none", "(nicht importieren)", {}},
        {Target::Title1, "title1", "Titel 1", {"Titel", "Titel 1", "Title", "Name", "Albumtitel", "Haupttitel", "Book Title"}},
        {Target::Title2, "title2", "Titel 2", {"Titel 2", "Untertitel", "Subtitle", "Sub-Title"}},
        {Target::Title3, "title3", "Titel 3", {"Titel 3"}},
        {Target::Series, "series", "Serie", {"Serie", "Series", "Reihe", "Serientitel", "Serienname", "Series Name", "Series Title"}},
        {Target::Volume, "volume", "Band", {"Band", "Bd", "Bandnummer", "Band-Nr.", "Nr", "Nummer", "No", "Number", "Issue",
                                             "Issue No", "Issue Number", "Issue #", "Heft", "Heftnummer", "Heft-Nr.", "#",
                                             "Volume", "Vol"}},
        {Target::Publisher, "publisher", "Verlag", {"Verlag", "Verlage", "Publisher", "Verlagsname", "Imprint"}},
        {Target::Isbn, "isbn", "ISBN", {"ISBN", "ISBN-Nr.", "ISBN-Nummer", "ISBN 13", "ISBN 10", "EAN", "Barcode",
                                       "ISBN/Barcode", "ISBN/EAN", "EAN/ISBN", "ISBN oder EAN", "UPC", "EAN/UPC"}},
        {Target::Pages, "pages", "Seiten", {"Seiten", "Seitenzahl", "Seitenanzahl", "Umfang", "Pages", "Page Count",
                                             "Number of Pages"}},
        {Target::LiteratureType, "literatureType", "Literaturtyp", {"Literaturtyp", "Typ", "Type", "Medium", "Kategorie",
                                                                       "Category"}},
        {Target::LiteratureKind, "literatureKind", "Literaturart", {"Literaturart", "Genre", "Unterart", "Gattung", "Sparte"}},
        {Target::Content, "content", "Inhalt", {"Inhalt", "Inhaltsangabe", "Beschreibung", "Zusammenfassung", "Handlung",
                                                 "Description", "Summary", "Synopsis", "Plot"}},
        {Target::Remarks, "remarks", "Allgemeine Bemerkungen", {"Bemerkung", "Bemerkungen", "Allgemeine Bemerkungen",
                                                                 "Anmerkung", "Anmerkungen", "Kommentar", "Kommentare",
                                                                 "Notiz", "Notizen", "Notes", "Note", "Comment",
                                                                 "Comments", "Remarks"}},
        {Target::Limitation, "limitation", "Limitierung", {"Limitierung", "Limitiert", "Auflagenhöhe", "Limited",
                                                            "Limitation", "Print Run"}},
        {Target::Missing, "missing", "Fehlt", {"Fehlt", "Fehlend", "Missing"}},
        {Target::ToBuy, "toBuy", "Zu kaufen", {"Zu kaufen", "Kaufen", "Wunschliste", "Gesucht", "Wishlist", "Wanted",
                                                "Want List"}},
        {Target::Authors, "authors", "Autoren", {"Autoren", "Authors", "Creators", "Credits", "Mitwirkende", "Künstler"}},
        {Target::CopyEdition, "copyEdition", "Auflage", {"Auflage", "Druckauflage", "Edition", "Printing"}},
        {Target::Condition, "condition", "Zustand", {"Zustand", "Zustandsnote", "Erhaltung", "Erhaltungsgrad", "Condition",
                                                      "Grade"}},
        {Target::PurchaseDate, "purchaseDate", "Kaufdatum", {"Kaufdatum", "Gekauft", "Gekauft am", "Erworben",
                                                              "Erworben am", "Purchase Date", "Date Purchased",
                                                              "Purchased", "Bought", "Date Bought"}},
        {Target::PurchasePrice, "purchasePrice", "Kaufpreis", {"Kaufpreis", "Preis", "Einkaufspreis", "EK-Preis", "Bezahlt",
                                                                "Price", "Purchase Price", "Price Paid", "Paid"}},
        {Target::Currency, "currency", "Währung", {"Währung", "Waehrung", "WG", "Whg", "Currency"}},
        {Target::StoragePlace, "storagePlace", "Lagerplatz", {"Lagerplatz", "Lagerort", "L-Platz", "Standort", "Ort", "Regal",
                                                              "Kiste", "Karton", "Box", "Location", "Storage",
                                                              "Storage Box", "Storage Location", "Shelf"}},
        {Target::CopyNumber, "copyNumber", "Limitierte Nr.", {"Limitierte Nr.", "Limitierte Nummer", "L-Nr.",
                                                               "Exemplarnummer", "Copy Number", "Numbered"}},
        {Target::Execution1, "execution1", "Ausführung 1", {"Ausführung", "Ausfuehrung", "Ausführung 1", "Ausfuehrung 1",
                                                             "Einband", "Bindung", "Format", "Binding", "Cover Type"}},
        {Target::Execution2, "execution2", "Ausführung 2", {"Ausführung 2", "Ausfuehrung 2"}},
        {Target::CopyRemarks, "copyRemarks", "Eigene Bemerkungen", {"Eigene Bemerkungen", "Eigene Bemerkung",
                                                                    "Meine Notizen", "My Notes", "Personal Notes",
                                                                    "Private Notes", "Exemplarbemerkung",
                                                                    "Exemplarbemerkungen", "Bemerkung zum Exemplar"}},
    };
    return table;
}

const TargetInfo& info(Target target)
{
    for (const TargetInfo& i : targetTable())
        if (i.target == target)
            return i;
    return targetTable().front();
}

const QHash<QString, Target>& columnNames()
{
    static const QHash<QString, Target> names = [] {
        QHash<QString, Target> n;
        for (const TargetInfo& i : targetTable())
            for (const char* name : i.names)
                n.insert(foldName(QString::fromUtf8(name)), i.target);
        return n;
    }();
    return names;
}

const char* copyRuleKey(CopyRule rule)
{
    switch (rule) {
    case CopyRule::IfFilled:
        return "ifFilled";
    case CopyRule::Always:
        return "always";
    case CopyRule::Never:
        return "never";
    }
    return "ifFilled";
}

[[noreturn]] void refuse(const QString& what)
{
    throw db::Error(QStringLiteral("Die Zuordnung ist nicht lesbar: ") + what);
}

} // namespace

QString targetKey(Target target) { return QString::fromLatin1(info(target).key); }
QString targetCaption(Target target) { return QString::fromUtf8(info(target).caption); }

std::optional<Target> targetFromKey(const QString& key)
{
    for (const TargetInfo& i : targetTable())
        if (key == QLatin1String(i.key))
            return i.target;
    return std::nullopt;
}

QList<Target> allTargets()
{
    QList<Target> all;
    for (const TargetInfo& i : targetTable())
        all << i.target;
    return all;
}

bool isCopyTarget(Target target)
{
    return target >= Target::CopyEdition;
}

bool takesSeveralColumns(Target target)
{
    return target == Target::Authors || target == Target::Content || target == Target::Remarks
        || target == Target::CopyRemarks;
}

namespace {

// "Preis (€)", "Kaufpreis in EUR", "Price USD": the currency of the column's prices.
const QRegularExpression& priceCurrency()
{
    static const QRegularExpression currency(
        QStringLiteral("^(.*?\\S)[\\s(\\[]*(?:in\\s+)?(€|EUR|Euro|DM|USD|US\\$|\\$|CHF|£|GBP)[\\s)\\]]*$"),
        QRegularExpression::CaseInsensitiveOption);
    return currency;
}

} // namespace

QString priceColumnName(const QString& columnName, QString* currency)
{
    const QRegularExpressionMatch m = priceCurrency().match(columnName);
    if (!m.hasMatch() || columnNames().value(foldName(m.captured(1))) != Target::PurchasePrice)
        return columnName;
    if (currency)
        *currency = parseCurrency(m.captured(2));
    return m.captured(1);
}

Target proposeTarget(const QString& columnName, QString* role)
{
    const QString folded = foldName(priceColumnName(columnName));
    if (folded.isEmpty())
        return Target::None;
    Target target = columnNames().value(folded, Target::None);
    QString r = target == Target::Authors ? QStringLiteral("Autor") : QString();
    if (target == Target::None) {
        r = roleForWord(folded);
        if (!r.isEmpty())
            target = Target::Authors;
    }
    if (role)
        *role = r;
    return target;
}

namespace {

// Column names of English catalogue programs; with most of a header in
// English, a date like 03/10/1998 is the American 10 March.
bool englishName(const QString& folded)
{
    static const QSet<QString> names = [] {
        QSet<QString> n;
        for (const char* name :
             {"Title", "Book Title", "Subtitle", "Sub-Title", "Series", "Series Name", "Series Title", "No", "Number",
              "Issue", "Issue No", "Issue Number", "Issue #", "Volume", "Vol", "Publisher", "Imprint", "Barcode",
              "Pages", "Page Count", "Number of Pages", "UPC", "ISBN/Barcode", "Type", "Category", "Description", "Summary", "Synopsis",
              "Plot", "Notes", "Note", "Comment", "Comments", "Remarks", "Limited", "Limitation", "Print Run",
              "Missing", "Wishlist", "Wanted", "Want List", "Authors", "Creators", "Credits", "Edition", "Printing",
              "Condition", "Grade", "Purchase Date", "Date Purchased", "Purchased", "Bought", "Date Bought", "Price",
              "Purchase Price", "Price Paid", "Paid", "Currency", "Location", "Storage", "Storage Box",
              "Storage Location", "Shelf", "Copy Number", "Numbered", "Binding", "Cover Type", "My Notes",
              "Personal Notes", "Private Notes", "Author", "Writer", "Script", "Story", "Artist", "Penciller",
              "Penciler", "Pencils", "Illustrator", "Inker", "Inks", "Colorist", "Colourist", "Colors", "Letterer",
              "Letters", "Translator", "Editor", "Cover Artist", "Cover Price", "Owned", "Read", "Value"})
            n.insert(foldName(QString::fromUtf8(name)));
        return n;
    }();
    return names.contains(folded);
}

} // namespace

Mapping proposeMapping(const QStringList& header, const QList<Record>& sample)
{
    // A general name gives way to a precise one for the same field: "Volume"
    // beside "Issue" is the run of the series (Daredevil vol. 1 #227), "Price"
    // beside "Price Paid" the price printed on the cover, "Nr." beside "Band"
    // the row's running number.
    const auto general = [](const QString& name) {
        static const QSet<QString> names{QStringLiteral("volume"), QStringLiteral("vol"),    QStringLiteral("nr"),
                                         QStringLiteral("nummer"), QStringLiteral("no"),     QStringLiteral("number"),
                                         QStringLiteral("#"),      QStringLiteral("preis"),  QStringLiteral("price"),
                                         QStringLiteral("name")};
        return names.contains(foldName(priceColumnName(name)));
    };
    QList<Target> precise;
    for (const QString& name : header)
        if (const Target target = proposeTarget(name); target != Target::None && !general(name))
            precise << target;
    const auto onlyFlags = [&sample](int column) {
        bool any = false;
        for (const Record& r : sample) {
            const QString cell = cleanLine(r.fields.value(column));
            if (cell.isEmpty())
                continue;
            try {
                parseFlag(cell);
            } catch (const ValueError&) {
                return false;
            }
            any = true;
        }
        return any;
    };

    Mapping mapping;
    QList<Target> used;
    int english = 0, german = 0;
    for (int i = 0; i < header.size(); ++i) {
        QString role;
        const Target target = proposeTarget(header[i], &role);
        if (target == Target::None || (!takesSeveralColumns(target) && used.contains(target)))
            continue;
        if (!takesSeveralColumns(target) && general(header[i]) && precise.contains(target))
            continue;
        // "Gekauft" with ja and nein says whether, not when.
        if (target == Target::PurchaseDate && onlyFlags(i))
            continue;
        used << target;
        mapping.columns << ColumnMapping{header[i], i, target, role};
        // ISBN, EAN and "#" are the same in both languages.
        if (const QString folded = foldName(priceColumnName(header[i])); englishName(folded))
            ++english;
        else if (!folded.startsWith(u"isbn") && folded != u"ean" && folded != u"#")
            ++german;
    }

    static const QRegularExpression slashDate(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/\\d{2,4}"));
    int dayFirst = 0, monthFirst = 0;
    QSet<QString> currencies;
    for (const ColumnMapping& c : mapping.columns) {
        QString currency;
        if (c.target == Target::PurchasePrice)
            priceColumnName(c.name, &currency);
        if (!currency.isEmpty())
            currencies << currency;
    }
    for (const ColumnMapping& c : mapping.columns) {
        for (const Record& r : sample) {
            if (c.index >= r.fields.size())
                continue;
            const QString& cell = r.fields[c.index];
            if (c.target == Target::PurchaseDate) {
                const QRegularExpressionMatch m = slashDate.match(cell);
                dayFirst += m.hasMatch() && m.captured(1).toInt() > 12;
                monthFirst += m.hasMatch() && m.captured(2).toInt() > 12;
            }
            try {
                if (c.target == Target::PurchasePrice && !isBlankText(cell))
                    if (const QString currency = parsePrice(cleanLine(cell)).currency; !currency.isEmpty())
                        currencies << currency;
                if (c.target == Target::Currency && !isBlankText(cell))
                    currencies << parseCurrency(cleanLine(cell));
            } catch (const ValueError&) {
                // the trial run names the cell
            }
            // "Goscinny, René; Uderzo, Albert": the commas are inside the names.
            if (c.target == Target::Authors && cell.contains(u';') && cell.contains(u',') && !cell.contains(u':'))
                mapping.commaSeparatesAuthors = false;
        }
    }
    if (monthFirst > dayFirst || (monthFirst == dayFirst && english > german))
        mapping.slashDates = DateOrder::MonthDay;
    // "4,95" beside "12,95 €" is in euros too; with two currencies in the
    // file a bare price stays without one.
    if (currencies.size() == 1)
        mapping.defaultCurrency = *currencies.begin();
    return mapping;
}

QJsonObject Mapping::toJson() const
{
    QJsonArray list;
    for (const ColumnMapping& c : columns) {
        if (c.target == Target::None)
            continue;
        QJsonObject column{{QStringLiteral("index"), c.index}, {QStringLiteral("target"), targetKey(c.target)}};
        if (!c.name.isEmpty())
            column.insert(QStringLiteral("name"), c.name);
        if (c.target == Target::Authors && !c.role.isEmpty())
            column.insert(QStringLiteral("role"), c.role);
        list << column;
    }
    QJsonObject json{{QStringLiteral("format"), QStringLiteral("Stripothek CSV-Zuordnung")},
                     {QStringLiteral("version"), kVersion},
                     {QStringLiteral("columns"), list},
                     {QStringLiteral("copies"), QLatin1String(copyRuleKey(copies))},
                     {QStringLiteral("commaSeparatesAuthors"), commaSeparatesAuthors},
                     {QStringLiteral("defaultCurrency"), defaultCurrency},
                     {QStringLiteral("slashDates"), slashDates == DateOrder::MonthDay ? QStringLiteral("monthDay")
                                                                                       : QStringLiteral("dayMonth")}};
    if (file)
        json.insert(QStringLiteral("file"), QJsonObject{{QStringLiteral("encoding"), encodingName(file->encoding)},
                                                        {QStringLiteral("separator"), QString(file->separator)},
                                                        {QStringLiteral("header"), file->header},
                                                        {QStringLiteral("skipRecords"), file->skipRecords}});
    return json;
}

Mapping Mapping::fromJson(const QJsonObject& json)
{
    const QJsonValue version = json.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toInt() < 1)
        refuse(QStringLiteral("sie hat keine Versionsnummer"));
    if (version.toInt() > kVersion)
        refuse(QStringLiteral("sie stammt aus einer neueren Version von Stripothek (Format %1)").arg(version.toInt()));

    Mapping m;
    for (const QJsonValue& v : json.value(QStringLiteral("columns")).toArray()) {
        const QJsonObject c = v.toObject();
        const QString key = c.value(QStringLiteral("target")).toString();
        const std::optional<Target> target = targetFromKey(key);
        if (!target)
            refuse(QStringLiteral("das Feld „%1“ gibt es nicht").arg(key));
        const int index = c.value(QStringLiteral("index")).toInt(-1);
        const QString name = c.value(QStringLiteral("name")).toString();
        if (index < 0 && name.isEmpty())
            refuse(QStringLiteral("eine Spalte hat weder Namen noch Nummer"));
        m.columns << ColumnMapping{name, index, *target, c.value(QStringLiteral("role")).toString()};
    }
    const QString copies = json.value(QStringLiteral("copies")).toString(QStringLiteral("ifFilled"));
    bool known = false;
    for (const CopyRule rule : {CopyRule::IfFilled, CopyRule::Always, CopyRule::Never})
        if (copies == QLatin1String(copyRuleKey(rule))) {
            m.copies = rule;
            known = true;
        }
    if (!known)
        refuse(QStringLiteral("die Regel für eigene Exemplare „%1“ gibt es nicht").arg(copies));
    m.commaSeparatesAuthors = json.value(QStringLiteral("commaSeparatesAuthors")).toBool(true);
    m.defaultCurrency = json.value(QStringLiteral("defaultCurrency")).toString();
    if (!m.defaultCurrency.isEmpty()) {
        try {
            m.defaultCurrency = parseCurrency(m.defaultCurrency);
        } catch (const ValueError& e) {
            refuse(e.message());
        }
    }
    m.slashDates = json.value(QStringLiteral("slashDates")).toString() == QLatin1String("monthDay") ? DateOrder::MonthDay
                                                                                                   : DateOrder::DayMonth;
    if (json.contains(QStringLiteral("file"))) {
        const QJsonObject f = json.value(QStringLiteral("file")).toObject();
        const std::optional<Encoding> encoding = encodingFromName(f.value(QStringLiteral("encoding")).toString());
        const QString separator = f.value(QStringLiteral("separator")).toString();
        if (!encoding)
            refuse(QStringLiteral("die Kodierung „%1“ gibt es nicht").arg(f.value(QStringLiteral("encoding")).toString()));
        if (separator.size() != 1 || separator == QLatin1String("\"") || separator == QLatin1String("\n"))
            refuse(QStringLiteral("„%1“ ist kein Trennzeichen").arg(separator));
        const int skip = f.value(QStringLiteral("skipRecords")).toInt(0);
        if (skip < 0)
            refuse(QStringLiteral("eine negative Zahl von Zeilen über der Tabelle"));
        m.file = Format{*encoding, separator[0], f.value(QStringLiteral("header")).toBool(true), skip};
    }
    return m;
}

void Mapping::save(const QString& path) const
{
    QSaveFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::WriteOnly))
        throw db::Error(QStringLiteral("„%1“ lässt sich nicht schreiben (%2)").arg(name, file.errorString()));
    file.write(QJsonDocument(toJson()).toJson(QJsonDocument::Indented));
    if (!file.commit())
        throw db::Error(QStringLiteral("„%1“ lässt sich nicht schreiben (%2)").arg(name, file.errorString()));
}

Mapping Mapping::load(const QString& path)
{
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly))
        throw db::Error(QStringLiteral("„%1“ lässt sich nicht öffnen (%2)").arg(name, file.errorString()));
    // A mapping is a few kilobytes; anything far larger is not one.
    if (file.size() > 1 << 20)
        throw db::Error(QStringLiteral("„%1“ ist keine Zuordnung: die Datei ist zu groß").arg(name));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        throw db::Error(QStringLiteral("„%1“ ist keine Zuordnung: %2 (Zeichen %3)")
                            .arg(name, error.errorString())
                            .arg(error.offset));
    try {
        return fromJson(doc.object());
    } catch (const db::Error& e) {
        throw db::Error(QStringLiteral("„%1“: %2").arg(name, e.message()));
    }
}

QList<ColumnMapping> Mapping::resolve(const QStringList& header, int columnCount) const
{
    QList<ColumnMapping> resolved;
    for (int i = 0; i < columnCount; ++i)
        resolved << ColumnMapping{i < header.size() ? header[i] : QString(), i, Target::None, {}};
    for (const ColumnMapping& c : columns) {
        if (c.target == Target::None)
            continue;
        int at = -1;
        if (!header.isEmpty() && !c.name.isEmpty()) {
            // The saved position decides between two columns of one name.
            for (int pass = 0; pass < 2 && at < 0; ++pass)
                for (int i = 0; i < header.size() && at < 0; ++i)
                    if ((pass == 0 ? header[i].trimmed() == c.name.trimmed() : foldName(header[i]) == foldName(c.name))
                        && (i == c.index || !header.mid(i + 1).contains(header[i])))
                        at = i;
            if (at < 0)
                throw db::Error(QStringLiteral("Die Zuordnung nennt die Spalte „%1“; die Datei hat keine solche Spalte")
                                    .arg(c.name));
        } else {
            if (c.index >= columnCount)
                throw db::Error(QStringLiteral("Die Zuordnung nennt die Spalte %1; die Datei hat nur %2 Spalten")
                                    .arg(c.index + 1)
                                    .arg(columnCount));
            at = c.index;
        }
        if (resolved[at].target != Target::None)
            throw db::Error(QStringLiteral("Die Spalte „%1“ ist zweimal zugeordnet")
                                .arg(resolved[at].name.isEmpty() ? QString::number(at + 1) : resolved[at].name));
        resolved[at].target = c.target;
        resolved[at].role = c.role;
    }
    return resolved;
}

} // namespace csvimport
