#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace csvstore::detail {

// Where a pass finds a volume again: by its ISBN (an ISBN-10 and its ISBN-13
// being one) and by its series and number, for the collection's volumes and
// those the file makes. A file may bring a million of them, so keys and
// record keys are kept as numbers wherever they are numbers (ISBNs, the
// collection's own record keys), as text only where not.
class VolumeIndex {
public:
    // Record keys that are prefix and a number take no text of their own.
    explicit VolumeIndex(const QString& keyPrefix) : m_prefix(keyPrefix) {}

    // A volume's keys; the first volume with a key keeps it.
    void add(const QString& comicId, const QString& isbn, const QString& seriesId, std::optional<int> volume);
    // The record key of the volume with the same ISBN, else of the one with
    // the same series and number; empty for none.
    QString find(const QString& isbn, const QString& seriesId, std::optional<int> volume) const;

    // A record key as a number, the same for the same key.
    qint64 compact(const QString& comicId);

private:
    static std::optional<quint64> numericIsbn(const QString& key);
    std::optional<quint64> seriesVolume(const QString& seriesId, std::optional<int> volume) const;
    QString comicId(qint64 compact) const;

    QString m_prefix;
    QStringList m_otherIds;                  // record keys not of the prefix; -1 is the first
    QHash<QString, qint64> m_otherIdNumbers; // those keys → their number
    QHash<quint64, qint64> m_byNumericIsbn;
    QHash<QString, qint64> m_byIsbn; // ISBNs with letters or very long
    QHash<QString, quint32> m_series; // series key (upper case) → number
    QHash<quint64, qint64> m_bySeriesVolume;
};

} // namespace csvstore::detail
