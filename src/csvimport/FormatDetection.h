#pragma once

#include "csvimport/CsvReader.h"

#include <QList>

#include <optional>

namespace csvimport {

// What the user fixed in the wizard; the rest is guessed.
struct FormatChoice {
    std::optional<Encoding> encoding;
    std::optional<QChar> separator;
    std::optional<bool> header;
    std::optional<int> skipRecords;
};

// Guesses the format from the first 64 KB: the encoding from a byte order
// mark, else UTF-16 from the zero bytes of ASCII text, else UTF-8 when the
// bytes are valid UTF-8, else Windows-1252; the separator (";", tab, ",",
// "|") that splits the first records into the most columns of one count; a
// header when a cell of the first record is a known column name, or when
// the first record holds text only above data with digits; a header further
// down (below a title row) when one of the first ten records has two known
// column names, the records above it skipped.
// Refuses an empty file and one that is no text (a workbook, zero bytes,
// control characters) with ReadError.
Format detectFormat(const QString& path, const FormatChoice& choice = {});
// The same on the beginning of a file already read; complete when it is the
// whole file.
Format detectFormat(const QByteArray& sample, bool complete, const QString& fileName, const FormatChoice& choice = {});

static constexpr qsizetype kSampleSize = 64 * 1024;

// The first records of a file for the wizard's table.
struct Preview {
    Format format;
    QStringList header;
    QList<Record> records;
};
Preview readPreview(const QString& path, const Format& format, int maxRecords = 100, const Limits& limits = {});

} // namespace csvimport
