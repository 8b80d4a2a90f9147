#include "csvimport/FormatDetection.h"

#include "csvimport/Mapping.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace csvimport {

namespace {

// The records of the sample, as many as parse; a record cut off at the end
// of an incomplete sample is left out.
QList<Record> sampleRecords(const QByteArray& sample, bool complete, const Format& format, int max)
{
    QByteArray bytes = sample;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QList<Record> records;
    try {
        CsvReader reader(buffer, QString(), Format{format.encoding, format.separator, false});
        Record r;
        while (records.size() < max && reader.next(r))
            records << r;
    } catch (const ReadError&) {
        return records;
    }
    if (!complete && records.size() > 1 && records.size() < max)
        records.removeLast();
    return records;
}

Encoding guessEncoding(const QByteArray& sample, bool complete, const QString& fileName)
{
    if (sample.startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8;
    if (sample.startsWith("\xFF\xFE"))
        return Encoding::Utf16LE;
    if (sample.startsWith("\xFE\xFF"))
        return Encoding::Utf16BE;

    // Text of ASCII letters in UTF-16 has a zero in every second byte.
    qsizetype evenZeros = 0, oddZeros = 0;
    const qsizetype pairs = sample.size() / 2;
    for (qsizetype i = 0; i + 1 < sample.size(); i += 2) {
        evenZeros += sample[i] == 0;
        oddZeros += sample[i + 1] == 0;
    }
    if (pairs >= 2 && oddZeros * 10 >= pairs * 4 && evenZeros * 20 < pairs)
        return Encoding::Utf16LE;
    if (pairs >= 2 && evenZeros * 10 >= pairs * 4 && oddZeros * 20 < pairs)
        return Encoding::Utf16BE;

    const qsizetype zero = sample.indexOf('\0');
    if (zero >= 0)
        throw ReadError(fileName, int(sample.left(zero).count('\n')) + 1, 0,
                        QStringLiteral("Die Datei enthält Nullbytes: das ist keine Textdatei"));
    qsizetype controls = 0;
    for (const char c : sample) {
        const auto b = static_cast<unsigned char>(c);
        controls += b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f';
    }
    if (controls > 8 && controls * 100 > sample.size())
        throw ReadError(fileName, 0, 0, QStringLiteral("Die Datei enthält Steuerzeichen: das ist keine Textdatei"));

    // UTF-8 as soon as one line holds more than ASCII and is valid UTF-8: the
    // reader takes the lines that are not as Windows-1252 (a file put together
    // from two exports). Windows-1252 only when no line is UTF-8 beyond ASCII.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    bool invalid = false;
    QList<QByteArray> lines = sample.split('\n');
    if (!complete && lines.size() > 1)
        lines.removeLast(); // may end inside a character
    for (const QByteArray& line : lines) {
        if (std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            continue;
        const QString decoded = utf8(line);
        if (!utf8.hasError())
            return Encoding::Utf8;
        utf8.resetState();
        invalid = true;
    }
    return invalid ? Encoding::Windows1252 : Encoding::Utf8;
}

QChar guessSeparator(const QByteArray& sample, bool complete, Encoding encoding)
{
    struct Score {
        QChar separator;
        bool consistent = false;
        int columns = 0;
        double share = 0;
    };
    std::optional<Score> best;
    for (const QChar candidate : {QChar(u';'), QChar(u'\t'), QChar(u','), QChar(u'|')}) {
        const QList<Record> records = sampleRecords(sample, complete, Format{encoding, candidate, false}, 50);
        QHash<int, int> counts;
        for (const Record& r : records)
            ++counts[int(r.fields.size())];
        Score s{candidate};
        int most = 0;
        for (auto it = counts.begin(); it != counts.end(); ++it)
            if (it.value() > most || (it.value() == most && it.key() > s.columns)) {
                most = it.value();
                s.columns = it.key();
            }
        if (s.columns < 2)
            continue;
        s.share = double(most) / double(records.size());
        s.consistent = s.share >= 0.8;
        // Consistent splits first, then more columns: ";" in "Zeichner: A; Texter: B"
        // splits a comma-separated file into fewer columns than its commas do.
        if (!best || std::tie(s.consistent, s.columns, s.share) > std::tie(best->consistent, best->columns, best->share))
            best = s;
    }
    return best ? best->separator : QChar(u';');
}

bool hasDigit(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

int knownNames(const QStringList& cells)
{
    return int(std::count_if(cells.begin(), cells.end(),
                             [](const QString& cell) { return proposeTarget(cell) != Target::None; }));
}

// Whether the records have a header, and how many records stand above it.
std::pair<bool, int> guessHeader(const QList<Record>& records)
{
    if (records.isEmpty())
        return {false, 0};
    for (int i = 1; i < records.size(); ++i)
        if (knownNames(records[i].fields) >= 2 && knownNames(records.first().fields) == 0)
            return {true, i};
    const QStringList& first = records.first().fields;
    if (knownNames(first) > 0)
        return {true, 0};
    if (first.size() < 2 || records.size() < 2)
        return {false, 0};
    for (const QString& cell : first)
        if (cell.trimmed().isEmpty() || hasDigit(cell) || first.count(cell) > 1)
            return {false, 0};
    const QStringList& second = records[1].fields;
    return {std::any_of(second.begin(), second.end(), hasDigit), 0};
}

} // namespace

Format detectFormat(const QByteArray& sample, bool complete, const QString& fileName, const FormatChoice& choice)
{
    if (sample.isEmpty())
        throw ReadError(fileName, 0, 0, QStringLiteral("Die Datei ist leer"));
    if (sample.startsWith("PK\x03\x04") || sample.startsWith("\xD0\xCF\x11\xE0"))
        throw ReadError(fileName, 0, 0,
                        QStringLiteral("Das ist eine Arbeitsmappe einer Tabellenkalkulation, keine CSV-Datei: bitte "
                                       "dort mit „Speichern unter …“ als CSV speichern"));
    Format format;
    format.encoding = choice.encoding ? *choice.encoding : guessEncoding(sample, complete, fileName);
    format.separator = choice.separator ? *choice.separator : guessSeparator(sample, complete, format.encoding);
    const auto [header, skip] = guessHeader(sampleRecords(sample, complete, format, 10));
    format.header = choice.header ? *choice.header : header;
    format.skipRecords = choice.skipRecords ? *choice.skipRecords : skip;
    return format;
}

Format detectFormat(const QString& path, const FormatChoice& choice)
{
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly))
        throw ReadError(name, 0, 0, QStringLiteral("Die Datei lässt sich nicht öffnen (%1)").arg(file.errorString()));
    const QByteArray sample = file.read(kSampleSize);
    return detectFormat(sample, file.atEnd(), name, choice);
}

Preview readPreview(const QString& path, const Format& format, int maxRecords, const Limits& limits)
{
    CsvReader reader(path, format, limits);
    Preview preview{format, reader.header(), {}};
    Record r;
    while (preview.records.size() < maxRecords && reader.next(r))
        preview.records << r;
    return preview;
}

} // namespace csvimport
