#pragma once

#include "database/Schema.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

struct sqlite3;

namespace cli {

// One catalogue entry as a collector would type it; the writer adds the key
// and the fields that every save derives (internal ISBN, series and publisher
// names, flags never null).
struct Volume {
    QString title1, title2, title3;
    QString seriesKey; // empty: the volume belongs to no series
    std::optional<int> band;
    QString publisherKey;
    QString isbn;
    std::optional<int> pages;
    QString content;
    QString litTypeKey, kindKey;
    bool missing = false;
    bool toBuy = false;
    QString remarks;
    std::optional<int> limitedTo;
};

struct Edition {
    QString designation;
    QString published; // free text, as printed in the book
    std::optional<double> price;
    QString currency;
    std::optional<double> collectorPrice;
    QString collectorCurrency;
    QString execution1Key, execution2Key;
};

struct Copy {
    QString conditionKey;
    QString edition;
    std::optional<double> price;
    QString currency;
    QDate bought;
    QString place;
    std::optional<int> number;
    QString remarks;
    QString execution1Key, execution2Key;
};

// A valid ISBN as printed on a German book of that year: ISBN-10 ("3-551-71234-X")
// before 2007, ISBN-13 ("978-3-551-71234-5") from then on. publisherCode has
// three digits, titleNumber five.
QString makeIsbn(int year, int publisherCode, int titleNumber);

struct CollectionCounts {
    qint64 volumes = 0, series = 0, publishers = 0, authors = 0, assignments = 0, editions = 0, copies = 0;
};

// Writes a collection into a database being created (see db::schema::createDatabase),
// drawing every key from the KEYGEN counter. finish() stores the counter.
class CollectionWriter {
public:
    explicit CollectionWriter(sqlite3* db);
    ~CollectionWriter();

    // Keys of the default lookup rows, by name; condition grades by number 0-4.
    QString role(const QString& name) const;
    QString execution(const QString& name) const;
    QString condition(int grade) const;
    QString litType(const QString& name) const;
    QString kind(const QString& name) const;

    QString addPublisher(const QString& name);
    QString addSeries(const QString& name, const QString& remark = {});
    QString addAuthor(const QString& name);
    QString addVolume(const Volume& volume);
    void addAssignment(const QString& volumeKey, const QString& authorKey, const QString& roleKey);
    void addEdition(const QString& volumeKey, const Edition& edition);
    void addCopy(const QString& volumeKey, const Copy& copy);

    void finish();
    const CollectionCounts& counts() const { return m_counts; }

private:
    QString lookupKey(const QString& table, const QString& name) const;

    sqlite3* m_db;
    db::schema::KeyCounter m_keys;
    QHash<QString, QHash<QString, QString>> m_lookups; // table -> name -> key
    QHash<QString, QString> m_seriesNames, m_publisherNames;
    struct Writers;
    std::unique_ptr<Writers> m_writers;
    CollectionCounts m_counts;
};

} // namespace cli
