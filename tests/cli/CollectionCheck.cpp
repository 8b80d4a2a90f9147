#include "CollectionCheck.h"

#include "database/Isbn.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>

#include <sqlite3.h>

CollectionReader::CollectionReader(const QString& file)
{
    if (sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

CollectionReader::~CollectionReader()
{
    sqlite3_close(m_db);
}

QList<QVariantList> CollectionReader::rows(const QString& sql) const
{
    QList<QVariantList> result;
    sqlite3_stmt* stmt = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        result << QVariantList{QStringLiteral("SQL error: %1").arg(m_db ? sqlite3_errmsg(m_db) : "not open")};
        return result;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER: row << QVariant(qint64(sqlite3_column_int64(stmt, i))); break;
            case SQLITE_FLOAT: row << QVariant(sqlite3_column_double(stmt, i)); break;
            case SQLITE_NULL: row << QVariant(); break;
            default: row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
            }
        }
        result << row;
    }
    sqlite3_finalize(stmt);
    return result;
}

QVariant CollectionReader::value(const QString& sql) const
{
    const auto r = rows(sql);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

namespace {

struct Reference {
    const char *table, *field, *target, *key;
};

const Reference kReferences[] = {
    {"SERVERSTRIPOTHEK", "SCLSERIEID", "SERIEN", "SRSERIENID"},
    {"SERVERSTRIPOTHEK", "SCLVERLAGID", "VERLAGE", "VLVERLAGID"},
    {"SERVERSTRIPOTHEK", "SCLLITARTID", "LITERATURART", "LAARTID"},
    {"SERVERSTRIPOTHEK", "SCLSPARTEID", "UNTERART", "UATID"},
    {"COMIC2AUTOR", "C2ACOMICID", "SERVERSTRIPOTHEK", "SCLCOMICID"},
    {"COMIC2AUTOR", "C2AAUTORID", "AUTOREN", "ANAUTORID"},
    {"COMIC2AUTOR", "C2AATID", "AUTORTYP", "ATID"},
    {"AUFLAGEN", "ALCOMICID", "SERVERSTRIPOTHEK", "SCLCOMICID"},
    {"AUFLAGEN", "ALAUSFUEHRUNGID1", "AUSFUEHRUNGEN", "AFAUSFID"},
    {"AUFLAGEN", "ALAUSFUEHRUNGID2", "AUSFUEHRUNGEN", "AFAUSFID"},
    {"LOKALESTRIPOTHEK", "LCLSERVERCOMICID", "SERVERSTRIPOTHEK", "SCLCOMICID"},
    {"LOKALESTRIPOTHEK", "LCLZUSTANDID", "ZUSTANDSARTEN", "ZWID"},
    {"LOKALESTRIPOTHEK", "LCLAUSFUEHRUNGID1", "AUSFUEHRUNGEN", "AFAUSFID"},
    {"LOKALESTRIPOTHEK", "LCLAUSFUEHRUNGID2", "AUSFUEHRUNGEN", "AFAUSFID"},
};

const std::pair<const char*, const char*> kKeys[] = {
    {"SERVERSTRIPOTHEK", "SCLCOMICID"}, {"COMIC2AUTOR", "C2AID"},   {"AUFLAGEN", "ALAUFLAGEID"},
    {"LOKALESTRIPOTHEK", "LCLCOMICID"}, {"VERLAGE", "VLVERLAGID"},  {"SERIEN", "SRSERIENID"},
    {"AUTOREN", "ANAUTORID"},           {"AUTORTYP", "ATID"},       {"AUSFUEHRUNGEN", "AFAUSFID"},
    {"ZUSTANDSARTEN", "ZWID"},          {"LITERATURART", "LAARTID"}, {"UNTERART", "UATID"},
};

void checkReferences(const CollectionReader& r, QStringList& problems)
{
    for (const Reference& ref : kReferences) {
        const qint64 dangling = r.count(
            QStringLiteral("SELECT count(*) FROM %1 WHERE %2 <> '' AND %2 NOT IN (SELECT %4 FROM %3)")
                .arg(ref.table, ref.field, ref.target, ref.key));
        if (dangling)
            problems << QStringLiteral("%1 rows of %2.%3 point nowhere").arg(dangling).arg(ref.table, ref.field);
    }
}

void checkKeys(const CollectionReader& r, QStringList& problems)
{
    const auto keygen = r.rows(QStringLiteral("SELECT KGDBID, KGNEXTID FROM KEYGEN"));
    if (keygen.size() != 1 || keygen.first().size() != 2) {
        problems << QStringLiteral("KEYGEN holds %1 rows").arg(keygen.size());
        return;
    }
    const QString prefix = keygen.first().at(0).toString();
    const qint64 last = keygen.first().at(1).toLongLong();
    const QRegularExpression form(QStringLiteral("^") + QRegularExpression::escape(prefix) + QStringLiteral("([1-9][0-9]*)$"));
    QSet<QString> seen;
    for (const auto& [table, field] : kKeys) {
        for (const QVariantList& row : r.rows(QStringLiteral("SELECT %1 FROM %2").arg(field, table))) {
            const QString key = row.value(0).toString();
            const auto m = form.match(key);
            if (!m.hasMatch())
                problems << QStringLiteral("%1.%2: key '%3' is not prefix '%4' plus a number").arg(table, field, key, prefix);
            else if (m.captured(1).toLongLong() > last)
                problems << QStringLiteral("%1.%2: key '%3' lies beyond the counter %4").arg(table, field, key).arg(last);
            if (seen.contains(key.toUpper()))
                problems << QStringLiteral("%1.%2: key '%3' is used twice").arg(table, field, key);
            seen.insert(key.toUpper());
        }
    }
}

void checkDerivedFields(const CollectionReader& r, QStringList& problems)
{
    for (const QVariantList& row : r.rows(QStringLiteral("SELECT SCLCOMICID, SCLISBNNR, SCLINTISBNNR FROM SERVERSTRIPOTHEK"))) {
        if (row.value(2).toString() != db::ReduceIsbn(row.value(1).toString()))
            problems << QStringLiteral("%1: internal ISBN '%2' for '%3'")
                            .arg(row.value(0).toString(), row.value(2).toString(), row.value(1).toString());
    }
    const qint64 series = r.count(QStringLiteral(
        "SELECT count(*) FROM SERVERSTRIPOTHEK LEFT JOIN SERIEN ON SRSERIENID = SCLSERIEID "
        "WHERE SCLSERIENTEXT IS NOT coalesce(SRNAME, '')"));
    const qint64 publishers = r.count(QStringLiteral(
        "SELECT count(*) FROM SERVERSTRIPOTHEK LEFT JOIN VERLAGE ON VLVERLAGID = SCLVERLAGID "
        "WHERE SCLVERLAGTEXT IS NOT coalesce(VLNAME1, '')"));
    const qint64 flags = r.count(QStringLiteral(
        "SELECT count(*) FROM SERVERSTRIPOTHEK WHERE typeof(SCLFEHLT) <> 'integer' OR typeof(SCLZUKAUFEN) <> 'integer' "
        "OR SCLFEHLT NOT IN (0, 1) OR SCLZUKAUFEN NOT IN (0, 1)"));
    if (series)
        problems << QStringLiteral("%1 entries with a wrong series name").arg(series);
    if (publishers)
        problems << QStringLiteral("%1 entries with a wrong publisher name").arg(publishers);
    if (flags)
        problems << QStringLiteral("%1 entries with a missing or to-buy flag other than 0 or 1").arg(flags);
}

// Widths and storage types follow the declared types, so this check needs no
// knowledge of the individual tables.
void checkColumns(const CollectionReader& r, QStringList& problems)
{
    const QRegularExpression varchar(QStringLiteral("^VARCHAR\\((\\d+)\\)$"));
    for (const QVariantList& t : r.rows(QStringLiteral("SELECT name FROM pragma_table_list WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"))) {
        const QString table = t.value(0).toString();
        for (const QVariantList& column : r.rows(QStringLiteral("PRAGMA table_info(%1)").arg(table))) {
            const QString name = column.value(1).toString();
            const QString type = column.value(2).toString();
            const auto m = varchar.match(type);
            QString allowed = QStringLiteral("'text'");
            if (type == QLatin1String("INTEGER"))
                allowed = QStringLiteral("'integer'");
            else if (type == QLatin1String("DOUBLE"))
                allowed = QStringLiteral("'real', 'integer'");
            const qint64 wrongType = r.count(QStringLiteral("SELECT count(*) FROM %1 WHERE typeof(%2) NOT IN ('null', %3)")
                                                 .arg(table, name, allowed));
            if (wrongType)
                problems << QStringLiteral("%1.%2: %3 values are not of type %4").arg(table, name).arg(wrongType).arg(type);
            if (m.hasMatch()) {
                const qint64 tooLong = r.count(QStringLiteral("SELECT count(*) FROM %1 WHERE length(%2) > %3")
                                                   .arg(table, name, m.captured(1)));
                if (tooLong)
                    problems << QStringLiteral("%1.%2: %3 texts wider than %4").arg(table, name).arg(tooLong).arg(type);
            }
            if (type == QLatin1String("DATETIME")) {
                for (const QVariantList& v : r.rows(QStringLiteral("SELECT %1 FROM %2 WHERE %1 IS NOT NULL").arg(name, table))) {
                    const QString text = v.value(0).toString();
                    if (text.size() != 19 || !QDateTime::fromString(text, Qt::ISODate).isValid())
                        problems << QStringLiteral("%1.%2: '%3' is no ISO date-time").arg(table, name, text);
                }
            }
        }
    }
}

} // namespace

QStringList consistencyProblems(const QString& file)
{
    CollectionReader r(file);
    if (!r.isOpen())
        return {QStringLiteral("cannot open %1").arg(file)};
    QStringList problems;
    checkReferences(r, problems);
    checkKeys(r, problems);
    checkDerivedFields(r, problems);
    checkColumns(r, problems);
    // A handful is enough to see what went wrong.
    if (problems.size() > 20)
        problems = problems.mid(0, 20) << QStringLiteral("...");
    return problems;
}
