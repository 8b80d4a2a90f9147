// The collection's own columns and a raw copy of it, for the comparison side.
#include "Bench.h"

#include "database/Schema.h"

#include <QStringList>

namespace bench {

QString storedColumns(const QString& table)
{
    QStringList names;
    if (const db::schema::TableDef* t = db::schema::table(table))
        for (const db::schema::FieldDef& f : t->fields)
            names << f.name;
    return names.join(QStringLiteral(", "));
}

void rawCopyCollection(sqlite3* db, const QString& sourceSchema)
{
    rawExec(db, "BEGIN");
    for (const db::schema::TableDef& t : db::schema::tables()) {
        rawExec(db, db::schema::createTableSql(t).toUtf8().constData());
        rawExec(db, QStringLiteral("INSERT INTO main.%1 SELECT %2 FROM %3.%1")
                        .arg(t.name, storedColumns(t.name), sourceSchema)
                        .toUtf8()
                        .constData());
    }
    for (const db::schema::TableDef& t : db::schema::tables())
        for (const QString& sql : db::schema::addKeyColumnsSql(t) + db::schema::createIndexSql(t))
            rawExec(db, sql.toUtf8().constData());
    rawExec(db, "COMMIT");
}

} // namespace bench
