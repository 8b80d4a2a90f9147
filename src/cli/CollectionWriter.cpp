#include "cli/CollectionWriter.h"

#include "core/Errors.h"
#include "database/FieldNames.h"
#include "database/Isbn.h"
#include "database/Statement.h"

namespace cli {

using db::schema::RowWriter;
using db::schema::Value;

namespace f = db::fields;

namespace {

template <class T>
Value orNull(const std::optional<T>& v)
{
    return v ? Value(*v) : Value();
}

Value orNull(const QString& text)
{
    return text.isEmpty() ? Value() : Value(text);
}

QStringList names(std::initializer_list<QLatin1String> fields)
{
    QStringList list;
    for (QLatin1String field : fields)
        list << field;
    return list;
}

} // namespace

QString makeIsbn(int year, int publisherCode, int titleNumber)
{
    const QString publisher = QStringLiteral("%1").arg(publisherCode % 1000, 3, 10, QLatin1Char('0'));
    const QString title = QStringLiteral("%1").arg(titleNumber % 100000, 5, 10, QLatin1Char('0'));
    const QString body = QStringLiteral("3") + publisher + title;
    if (year < 2007) {
        int sum = 0;
        for (int i = 0; i < 9; ++i)
            sum += (i + 1) * body[i].digitValue();
        const int check = sum % 11;
        return QStringLiteral("3-%1-%2-%3").arg(publisher, title, check == 10 ? QStringLiteral("X") : QString::number(check));
    }
    const QString digits = QStringLiteral("978") + body;
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += digits[i].digitValue() * (i % 2 ? 3 : 1);
    return QStringLiteral("978-3-%1-%2-%3").arg(publisher, title).arg((10 - sum % 10) % 10);
}

struct CollectionWriter::Writers {
    explicit Writers(sqlite3* db)
        : publishers(db, QStringLiteral("VERLAGE"), names({f::VLVERLAGID, f::VLNAME1})),
          series(db, QStringLiteral("SERIEN"), names({f::SRSERIENID, f::SRNAME, f::SRBEMERUNG})),
          authors(db, QStringLiteral("AUTOREN"), names({f::ANAUTORID, f::ANNAME})),
          volumes(db, QStringLiteral("SERVERSTRIPOTHEK"),
                  names({f::SCLCOMICID, f::SCLTITEL1, f::SCLTITEL2, f::SCLTITEL3, f::SCLSERIEID, f::SCLBAND,
                         f::SCLVERLAGID, f::SCLISBNNR, f::SCLSEITEN, f::SCLINHALT, f::SCLLITARTID, f::SCLSPARTEID,
                         f::SCLFEHLT, f::SCLBEMERKUNG, f::SCLMAXLIMANZAHL, f::SCLZUKAUFEN, f::SCLINTISBNNR,
                         f::SCLVERLAGTEXT, f::SCLSERIENTEXT})),
          assignments(db, QStringLiteral("COMIC2AUTOR"), names({f::C2AID, f::C2AAUTORID, f::C2ACOMICID, f::C2AATID})),
          editions(db, QStringLiteral("AUFLAGEN"),
                   names({f::ALAUFLAGEID, f::ALCOMICID, f::ALAUFLAGE, f::ALERSCHEINUNGSDATUM, f::ALVKPREIS, f::ALWG,
                          f::ALSPREIS, f::ALSPWG, f::ALAUSFUEHRUNGID1, f::ALAUSFUEHRUNGID2})),
          copies(db, QStringLiteral("LOKALESTRIPOTHEK"),
                 names({f::LCLCOMICID, f::LCLSERVERCOMICID, f::LCLZUSTANDID, f::LCLAUFLAGE, f::LCLKPREIS,
                        f::LCLKPREISWG, f::LCKKDATUM, f::LCLLAGERPLATZ, f::LCLNUMMER, f::LCLBEMERKUNG,
                        f::LCLAUSFUEHRUNGID1, f::LCLAUSFUEHRUNGID2}))
    {
    }
    RowWriter publishers, series, authors, volumes, assignments, editions, copies;
};

CollectionWriter::CollectionWriter(sqlite3* db) : m_db(db), m_keys(db), m_writers(std::make_unique<Writers>(db))
{
    const struct {
        const char* table;
        QLatin1String key;
        QLatin1String name;
    } lookups[] = {{"AUTORTYP", f::ATID, f::ATTYP},
                   {"AUSFUEHRUNGEN", f::AFAUSFID, f::AFNAME},
                   {"ZUSTANDSARTEN", f::ZWID, f::ZWNAME},
                   {"LITERATURART", f::LAARTID, f::LANAME},
                   {"UNTERART", f::UATID, f::UANAME}};
    for (const auto& l : lookups) {
        const QString table = QString::fromLatin1(l.table);
        db::Statement read(db, QStringLiteral("SELECT %1, %2 FROM %3").arg(l.key, l.name, table), table);
        auto& map = m_lookups[table];
        while (read.step())
            map.insert(read.column(1).toString(), read.column(0).toString());
    }
}

CollectionWriter::~CollectionWriter() = default;

QString CollectionWriter::lookupKey(const QString& table, const QString& name) const
{
    const QString key = m_lookups.value(table).value(name);
    if (key.isEmpty())
        throw db::Error(QStringLiteral("In der Tabelle %1 fehlt der Eintrag „%2“.").arg(table, name));
    return key;
}

QString CollectionWriter::role(const QString& name) const { return lookupKey(QStringLiteral("AUTORTYP"), name); }
QString CollectionWriter::execution(const QString& name) const { return lookupKey(QStringLiteral("AUSFUEHRUNGEN"), name); }
QString CollectionWriter::litType(const QString& name) const { return lookupKey(QStringLiteral("LITERATURART"), name); }
QString CollectionWriter::kind(const QString& name) const { return lookupKey(QStringLiteral("UNTERART"), name); }

QString CollectionWriter::condition(int grade) const
{
    // Grade names begin with their number ("2 – gut").
    const auto& grades = m_lookups.value(QStringLiteral("ZUSTANDSARTEN"));
    for (auto it = grades.cbegin(); it != grades.cend(); ++it)
        if (it.key().startsWith(QString::number(grade)))
            return it.value();
    throw db::Error(QStringLiteral("In der Tabelle ZUSTANDSARTEN fehlt der Zustand %1.").arg(grade));
}

QString CollectionWriter::addPublisher(const QString& name)
{
    const QString key = m_keys.next();
    m_writers->publishers.insert({key, name});
    m_publisherNames.insert(key, name);
    ++m_counts.publishers;
    return key;
}

QString CollectionWriter::addSeries(const QString& name, const QString& remark)
{
    const QString key = m_keys.next();
    m_writers->series.insert({key, name, orNull(remark)});
    m_seriesNames.insert(key, name);
    ++m_counts.series;
    return key;
}

QString CollectionWriter::addAuthor(const QString& name)
{
    const QString key = m_keys.next();
    m_writers->authors.insert({key, name});
    ++m_counts.authors;
    return key;
}

QString CollectionWriter::addVolume(const Volume& v)
{
    const QString key = m_keys.next();
    m_writers->volumes.insert({key, v.title1, orNull(v.title2), orNull(v.title3), orNull(v.seriesKey),
                               orNull(v.band), orNull(v.publisherKey), orNull(v.isbn), orNull(v.pages),
                               orNull(v.content), orNull(v.litTypeKey), orNull(v.kindKey), v.missing ? 1 : 0,
                               orNull(v.remarks), orNull(v.limitedTo), v.toBuy ? 1 : 0, db::ReduceIsbn(v.isbn),
                               m_publisherNames.value(v.publisherKey), m_seriesNames.value(v.seriesKey)});
    ++m_counts.volumes;
    return key;
}

void CollectionWriter::addAssignment(const QString& volumeKey, const QString& authorKey, const QString& roleKey)
{
    m_writers->assignments.insert({m_keys.next(), authorKey, volumeKey, roleKey});
    ++m_counts.assignments;
}

void CollectionWriter::addEdition(const QString& volumeKey, const Edition& e)
{
    m_writers->editions.insert({m_keys.next(), volumeKey, orNull(e.designation), orNull(e.published),
                                orNull(e.price), orNull(e.currency), orNull(e.collectorPrice),
                                orNull(e.collectorCurrency), orNull(e.execution1Key), orNull(e.execution2Key)});
    ++m_counts.editions;
}

void CollectionWriter::addCopy(const QString& volumeKey, const Copy& c)
{
    const Value bought = c.bought.isValid() ? Value(c.bought.toString(Qt::ISODate) + QStringLiteral("T00:00:00"))
                                            : Value();
    m_writers->copies.insert({m_keys.next(), volumeKey, orNull(c.conditionKey), orNull(c.edition), orNull(c.price),
                              orNull(c.currency), bought, orNull(c.place), orNull(c.number), orNull(c.remarks),
                              orNull(c.execution1Key), orNull(c.execution2Key)});
    ++m_counts.copies;
}

void CollectionWriter::finish()
{
    m_keys.save();
}

} // namespace cli
