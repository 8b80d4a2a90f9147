#include "csvstore/VolumeIndex.h"

#include "database/Isbn.h"

namespace csvstore::detail {

namespace {

// The first value for a key stays.
template <class Hash, class Key>
void keepFirst(Hash& hash, const Key& key, qint64 id)
{
    if (!hash.contains(key))
        hash.insert(key, id);
}

} // namespace

std::optional<quint64> VolumeIndex::numericIsbn(const QString& key)
{
    // The length goes into the number's top bits: "0123" is not "123".
    constexpr int kDigits = 17; // 10^17 < 2^57
    if (key.isEmpty() || key.size() > kDigits)
        return std::nullopt;
    quint64 n = 0;
    for (const QChar c : key) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = n * 10 + (c.unicode() - u'0');
    }
    return n | (quint64(key.size()) << 57);
}

std::optional<quint64> VolumeIndex::seriesVolume(const QString& seriesId, std::optional<int> volume) const
{
    if (seriesId.isEmpty() || !volume)
        return std::nullopt;
    const auto found = m_series.constFind(seriesId.toUpper());
    if (found == m_series.constEnd())
        return std::nullopt;
    return (quint64(*found) << 32) | quint32(*volume);
}

qint64 VolumeIndex::compact(const QString& comicId)
{
    if (comicId.size() > m_prefix.size() && comicId.startsWith(m_prefix)) {
        bool ok = false;
        const qint64 n = QStringView(comicId).mid(m_prefix.size()).toLongLong(&ok);
        if (ok && n >= 0 && m_prefix + QString::number(n) == comicId)
            return n;
    }
    if (const auto found = m_otherIdNumbers.constFind(comicId); found != m_otherIdNumbers.constEnd())
        return *found;
    m_otherIds << comicId;
    return *m_otherIdNumbers.insert(comicId, -m_otherIds.size());
}

QString VolumeIndex::comicId(qint64 compact) const
{
    return compact >= 0 ? m_prefix + QString::number(compact) : m_otherIds.value(-compact - 1);
}

void VolumeIndex::add(const QString& comicId, const QString& isbn, const QString& seriesId, std::optional<int> volume)
{
    const QString isbnKey = db::comparableIsbn(isbn);
    if (isbnKey.isEmpty() && (seriesId.isEmpty() || !volume))
        return;
    const qint64 id = compact(comicId);
    if (const std::optional<quint64> number = numericIsbn(isbnKey))
        keepFirst(m_byNumericIsbn, *number, id);
    else if (!isbnKey.isEmpty())
        keepFirst(m_byIsbn, isbnKey, id);
    if (!seriesId.isEmpty() && volume) {
        const QString series = seriesId.toUpper();
        if (!m_series.contains(series))
            m_series.insert(series, quint32(m_series.size()));
        keepFirst(m_bySeriesVolume, *seriesVolume(series, volume), id);
    }
}

QString VolumeIndex::find(const QString& isbn, const QString& seriesId, std::optional<int> volume) const
{
    if (const QString isbnKey = db::comparableIsbn(isbn); !isbnKey.isEmpty()) {
        if (const std::optional<quint64> number = numericIsbn(isbnKey)) {
            if (const auto found = m_byNumericIsbn.constFind(*number); found != m_byNumericIsbn.constEnd())
                return comicId(*found);
        } else if (const auto found = m_byIsbn.constFind(isbnKey); found != m_byIsbn.constEnd()) {
            return comicId(*found);
        }
    }
    if (const std::optional<quint64> key = seriesVolume(seriesId, volume))
        if (const auto found = m_bySeriesVolume.constFind(*key); found != m_bySeriesVolume.constEnd())
            return comicId(*found);
    return {};
}

} // namespace csvstore::detail
