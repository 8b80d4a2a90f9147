#pragma once

#include "core/Errors.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <memory>
#include <optional>

class QIODevice;

// Reading a spreadsheet's CSV file record by record, in bounded memory.
namespace csvimport {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Windows1252 };

// "UTF-8", "UTF-16LE", "UTF-16BE", "Windows-1252"; and back, case-blind.
QString encodingName(Encoding encoding);
std::optional<Encoding> encodingFromName(const QString& name);

// How a file is written: what detectFormat guesses and the user may change.
struct Format {
    Encoding encoding = Encoding::Utf8;
    QChar separator = u';';
    bool header = true; // the first record names the columns
    // Records above the header or the data, skipped: the title row a
    // spreadsheet's user put above the table ("Meine Sammlung").
    int skipRecords = 0;
};

// Bounds that keep a broken file from eating the memory: a stray quote
// would otherwise make the rest of a 1 GB file one field.
struct Limits {
    qsizetype maxRecordLength = 1 << 20; // characters, line breaks inside quotes included
    int maxColumns = 1000;
    // Data rows: a spreadsheet holds no more (1,048,576 rows with its header
    // row); beyond that a file is no sheet saved as CSV, and the volumes
    // a pass remembers would grow without bound.
    qsizetype maxRows = 1'048'576;
};

struct Record {
    int line = 0; // the file's line on which the record begins, from 1
    QStringList fields;
};

// A file that cannot be read as CSV at all. The message names the file and,
// where there is one, the line and the column (both from 1; 0 for none).
class ReadError : public db::Error {
public:
    ReadError(const QString& fileName, int line, int column, const QString& what);
    int line() const { return m_line; }
    int column() const { return m_column; }

private:
    int m_line;
    int m_column;
};

// Records after RFC 4180, as spreadsheets write them: fields in double quotes
// may hold separators, line breaks (kept as "\n") and doubled quotes; lines
// end in CR LF, LF or CR, the last one perhaps in nothing; blank lines are
// skipped. Blanks around a quoted field are dropped, text after its closing
// quote is kept. A byte order mark of the chosen encoding is skipped.
//
// UTF-8 lines that are not valid UTF-8 are read as Windows-1252, one line at
// a time: a file put together from two exports, or detected as UTF-8 from a
// sample that held only ASCII, still reads right. The lines so read are
// counted for the user.
class CsvReader {
public:
    CsvReader(const QString& path, const Format& format, const Limits& limits = {});
    // Reads from an open device; fileName is only for messages.
    CsvReader(QIODevice& device, const QString& fileName, const Format& format, const Limits& limits = {});
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The first record after the skipped ones when the format has a header;
    // empty for an empty file.
    const QStringList& header() const { return m_header; }
    // The next record; false at the end of the file. Throws ReadError.
    bool next(Record& record);

    QString fileName() const { return m_fileName; }
    int windows1252Lines() const { return m_fallbackLines; }
    int firstWindows1252Line() const { return m_firstFallbackLine; }
    qint64 bytesRead() const { return m_consumed; } // for a progress bar
    qint64 size() const;

    static constexpr qsizetype kBlockSize = 256 * 1024;

private:
    void start();
    bool fill();
    bool readLine(QString& line);
    bool readNarrowLine(QString& line);
    bool readWideLine(QString& line);
    void checkWide(const QString& line);
    [[noreturn]] void fail(int line, int column, const QString& what) const;

    std::unique_ptr<QIODevice> m_ownDevice;
    QIODevice* m_device = nullptr;
    QString m_fileName;
    Format m_format;
    Limits m_limits;
    bool m_wide = false;
    bool m_started = false;
    bool m_atEnd = false;
    bool m_skipLf = false;

    QByteArray m_block;   // undecoded bytes of an 8-bit file
    qsizetype m_blockPos = 0;
    QByteArray m_lineBytes;
    QString m_text;       // decoded text of a UTF-16 file
    qsizetype m_textPos = 0;
    QString m_wideLine;

    QStringDecoder m_utf8;
    QStringDecoder m_ansi;
    QStringDecoder m_utf16;

    QStringList m_header;
    int m_line = 0; // physical lines read so far
    qint64 m_consumed = 0;
    int m_fallbackLines = 0;
    int m_firstFallbackLine = 0;
};

} // namespace csvimport
