#pragma once

#include "csvimport/ImportPlan.h"

#include <QStringList>

// The lists of a new collection, as the data module would pass them.
inline csvimport::PlanOptions collectionOptions()
{
    csvimport::PlanOptions o;
    o.today = QDate(2026, 6, 15);
    const auto list = [](std::initializer_list<const char*> names) {
        QStringList l;
        for (const char* n : names)
            l << QString::fromUtf8(n);
        return l;
    };
    o.lookups.roles = list({"Autor", "Szenarist", "Zeichner", "Tuscher", "Kolorist", "Letterer", "Übersetzer",
                            "Herausgeber"});
    o.lookups.conditions = list({"0 – druckfrisch", "1 – sehr gut", "2 – gut", "3 – mäßig", "4 – schlecht"});
    o.lookups.literatureTypes = list({"Comic", "Manga", "Graphic Novel", "Zeitschrift", "Sekundärliteratur"});
    o.lookups.literatureKinds = list({"Abenteuer", "Funny", "Humor", "Science-Fiction", "Fantasy", "Western", "Krimi",
                                      "Historisch", "Horror", "Superhelden", "Satire", "Biografie", "Sachbuch",
                                      "Kinder und Jugend"});
    o.lookups.executions = list({"Softcover", "Hardcover", "Album", "Heft", "Taschenbuch", "Vorzugsausgabe",
                                 "Sammelband", "Signiert", "Mit Exlibris"});
    return o;
}

inline QString describeMapping(const csvimport::Mapping& m)
{
    QStringList columns;
    for (const csvimport::ColumnMapping& c : m.columns)
        columns << QStringLiteral("%1→%2%3").arg(c.name.isEmpty() ? QString::number(c.index + 1) : c.name,
                                                 csvimport::targetKey(c.target),
                                                 c.role.isEmpty() ? QString() : QStringLiteral("(%1)").arg(c.role));
    QString text = columns.join(QStringLiteral(", "));
    if (!m.commaSeparatesAuthors)
        text += QStringLiteral("; commas inside names");
    if (m.slashDates == csvimport::DateOrder::MonthDay)
        text += QStringLiteral("; month/day");
    if (!m.defaultCurrency.isEmpty())
        text += QStringLiteral("; bare prices in ") + m.defaultCurrency;
    return text;
}
