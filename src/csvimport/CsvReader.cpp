#include "csvimport/CsvReader.h"

#include "csvimport/Values.h"

#include <QFile>
#include <QFileInfo>

namespace csvimport {

namespace {

QString lineTooLong(qsizetype max)
{
    return QStringLiteral("Die Zeile ist länger als %1 Zeichen").arg(grouped(max));
}

bool blankLine(const QString& line)
{
    for (const QChar c : line)
        if (c != u' ' && c != u'\t')
            return false;
    return true;
}

QString readErrorText(const QString& fileName, int line, int column, const QString& what)
{
    QString where = QStringLiteral("„%1“").arg(fileName);
    if (line > 0)
        where += QStringLiteral(", Zeile %1").arg(line);
    if (column > 0)
        where += QStringLiteral(", Spalte %1").arg(column);
    return where + QStringLiteral(": ") + what;
}

} // namespace

QString encodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Utf16LE:
        return QStringLiteral("UTF-16LE");
    case Encoding::Utf16BE:
        return QStringLiteral("UTF-16BE");
    case Encoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return {};
}

std::optional<Encoding> encodingFromName(const QString& name)
{
    for (const Encoding e : {Encoding::Utf8, Encoding::Utf16LE, Encoding::Utf16BE, Encoding::Windows1252})
        if (name.compare(encodingName(e), Qt::CaseInsensitive) == 0)
            return e;
    return std::nullopt;
}

ReadError::ReadError(const QString& fileName, int line, int column, const QString& what)
    : db::Error(readErrorText(fileName, line, column, what)), m_line(line), m_column(column)
{
}

CsvReader::CsvReader(const QString& path, const Format& format, const Limits& limits)
    : m_fileName(QFileInfo(path).fileName()), m_format(format), m_limits(limits)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        fail(0, 0, QStringLiteral("Die Datei lässt sich nicht öffnen (%1)").arg(file->errorString()));
    m_ownDevice = std::move(file);
    m_device = m_ownDevice.get();
    start();
}

CsvReader::CsvReader(QIODevice& device, const QString& fileName, const Format& format, const Limits& limits)
    : m_device(&device), m_fileName(fileName), m_format(format), m_limits(limits)
{
    start();
}

CsvReader::~CsvReader() = default;

void CsvReader::start()
{
    m_wide = m_format.encoding == Encoding::Utf16LE || m_format.encoding == Encoding::Utf16BE;
    m_utf8 = QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    m_ansi = QStringDecoder("Windows-1252");
    if (!m_ansi.isValid())
        fail(0, 0, QStringLiteral("Qt kann hier kein Windows-1252 lesen"));
    m_utf16 = QStringDecoder(m_format.encoding == Encoding::Utf16BE ? QStringConverter::Utf16BE
                                                                    : QStringConverter::Utf16LE);
    Record first;
    for (int i = 0; i < m_format.skipRecords && next(first); ++i) {
    }
    if (m_format.header && next(first))
        m_header = first.fields;
}

qint64 CsvReader::size() const
{
    return m_device->size();
}

void CsvReader::fail(int line, int column, const QString& what) const
{
    throw ReadError(m_fileName, line, column, what);
}

bool CsvReader::fill()
{
    if (m_atEnd)
        return false;
    QByteArray bytes(kBlockSize, Qt::Uninitialized);
    const qint64 n = m_device->read(bytes.data(), kBlockSize);
    if (n < 0)
        fail(m_line + 1, 0, QStringLiteral("Die Datei lässt sich nicht weiterlesen (%1)").arg(m_device->errorString()));
    if (n == 0) {
        m_atEnd = true;
        return false;
    }
    bytes.truncate(n);
    qsizetype skip = 0;
    // A UTF-16 decoder skips its own byte order mark; one of UTF-8 goes here,
    // so that a first line read as Windows-1252 does not begin with "ï»¿".
    if (!m_started && m_format.encoding == Encoding::Utf8 && bytes.startsWith("\xEF\xBB\xBF"))
        skip = 3;
    m_started = true;
    m_consumed += n;
    if (m_wide) {
        m_text = m_utf16(bytes);
        m_textPos = 0;
    } else {
        m_block = std::move(bytes);
        m_blockPos = skip;
    }
    return true;
}

bool CsvReader::readLine(QString& line)
{
    return m_wide ? readWideLine(line) : readNarrowLine(line);
}

bool CsvReader::readNarrowLine(QString& line)
{
    m_lineBytes.clear();
    bool any = false;
    for (;;) {
        if (m_blockPos == m_block.size() && !fill())
            break;
        if (m_skipLf) {
            m_skipLf = false;
            if (m_block[m_blockPos] == '\n') {
                ++m_blockPos;
                continue;
            }
        }
        any = true;
        const char* begin = m_block.constData() + m_blockPos;
        const char* end = m_block.constData() + m_block.size();
        const char* p = begin;
        while (p != end && *p != '\n' && *p != '\r' && *p != 0)
            ++p;
        if (p != end && *p == 0)
            fail(m_line + 1, 0,
                 QStringLiteral("Die Zeile enthält ein Nullbyte: das ist keine Textdatei, oder eine UTF-16-Datei, "
                                "deren Kodierung nicht erkannt wurde"));
        const qsizetype n = p - begin;
        if (m_lineBytes.size() + n > m_limits.maxRecordLength)
            fail(m_line + 1, 0, lineTooLong(m_limits.maxRecordLength));
        m_lineBytes.append(begin, n);
        m_blockPos += n;
        if (p != end) {
            m_skipLf = *p == '\r';
            ++m_blockPos;
            break;
        }
    }
    if (!any)
        return false;
    ++m_line;
    if (m_format.encoding == Encoding::Utf8) {
        line = m_utf8(m_lineBytes);
        if (!m_utf8.hasError())
            return true;
        m_utf8.resetState();
        ++m_fallbackLines;
        if (m_firstFallbackLine == 0)
            m_firstFallbackLine = m_line;
    }
    line = m_ansi(m_lineBytes);
    return true;
}

bool CsvReader::readWideLine(QString& line)
{
    m_wideLine.clear();
    bool any = false;
    for (;;) {
        if (m_textPos == m_text.size()) {
            if (!fill())
                break;
            continue; // a block may end inside a character and decode to nothing
        }
        if (m_skipLf) {
            m_skipLf = false;
            if (m_text[m_textPos] == u'\n') {
                ++m_textPos;
                continue;
            }
        }
        any = true;
        const QChar* begin = m_text.constData() + m_textPos;
        const QChar* end = m_text.constData() + m_text.size();
        const QChar* p = begin;
        while (p != end && *p != u'\n' && *p != u'\r')
            ++p;
        const qsizetype n = p - begin;
        if (m_wideLine.size() + n > m_limits.maxRecordLength)
            fail(m_line + 1, 0, lineTooLong(m_limits.maxRecordLength));
        m_wideLine.append(begin, n);
        m_textPos += n;
        if (p != end) {
            m_skipLf = *p == u'\r';
            ++m_textPos;
            break;
        }
    }
    if (!any)
        return false;
    ++m_line;
    checkWide(m_wideLine);
    line = m_wideLine;
    return true;
}

void CsvReader::checkWide(const QString& line)
{
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = line[i];
        if (c.isNull())
            fail(m_line, 0, QStringLiteral("Die Zeile enthält ein Nullzeichen: das ist keine Textdatei"));
        if (c.isHighSurrogate() && i + 1 < n && line[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            fail(m_line, 0, QStringLiteral("Die Zeile ist kein gültiges UTF-16 (ein halbes Zeichenpaar)"));
    }
}

bool CsvReader::next(Record& record)
{
    QString line;
    do {
        if (!readLine(line))
            return false;
    } while (blankLine(line));

    record.line = m_line;
    record.fields.clear();
    const QChar sep = m_format.separator;
    qsizetype total = line.size();
    qsizetype i = 0;
    for (;;) {
        const int column = int(record.fields.size()) + 1;
        if (column > m_limits.maxColumns)
            fail(record.line, 0, QStringLiteral("Der Datensatz hat mehr als %1 Spalten").arg(m_limits.maxColumns));
        qsizetype s = -1;
        qsizetype open = i;
        while (open < line.size() && line[open] == u' ')
            ++open;
        if (open < line.size() && line[open] == u'"') {
            const int quoteLine = m_line;
            QString field;
            i = open + 1;
            for (;;) {
                const qsizetype q = line.indexOf(u'"', i);
                if (q < 0) {
                    field += QStringView(line).mid(i);
                    field += u'\n';
                    if (!readLine(line))
                        fail(quoteLine, column,
                             QStringLiteral("Das Anführungszeichen am Anfang des Feldes wird bis zum Dateiende nicht "
                                            "geschlossen"));
                    total += line.size() + 1;
                    if (total > m_limits.maxRecordLength)
                        fail(quoteLine, column,
                             QStringLiteral("Das Feld in Anführungszeichen wird nach %1 Zeichen noch nicht geschlossen "
                                            "– fehlt ein Anführungszeichen?")
                                 .arg(m_limits.maxRecordLength));
                    i = 0;
                    continue;
                }
                field += QStringView(line).mid(i, q - i);
                if (q + 1 < line.size() && line[q + 1] == u'"') {
                    field += u'"';
                    i = q + 2;
                    continue;
                }
                i = q + 1;
                break;
            }
            s = line.indexOf(sep, i);
            const QStringView rest = QStringView(line).mid(i, s < 0 ? line.size() - i : s - i);
            if (!rest.trimmed().isEmpty())
                field += rest;
            record.fields.append(field);
        } else {
            s = line.indexOf(sep, i);
            record.fields.append(line.mid(i, s < 0 ? -1 : s - i));
        }
        if (s < 0)
            break;
        i = s + 1;
    }
    return true;
}

} // namespace csvimport
