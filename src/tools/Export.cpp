#include "tools/Export.h"

#include "core/AsciiCase.h"
#include "core/Errors.h"
#include "database/Connection.h"
#include "covers/CoverTransfer.h"
#include "database/Statement.h"
#include "tools/DataPacket.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <vector>

namespace tools {

namespace {

QString realText(double value)
{
    // The shortest form that reads back to the same double ("inf" included).
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// Writes the values of one row: a plain attribute wherever it reads back as
// exactly the stored value and fits its field, a VALUE element for the rest
// (see DataPacket.h), so that every value SQLite can hold survives the trip.
class RowWriter {
public:
    RowWriter(QXmlStreamWriter& xml, const QList<packet::FieldDescription>& fields) : m_xml(xml)
    {
        for (const packet::FieldDescription& f : fields)
            m_columns.push_back({f.name, packet::kindOf(f), f.width, f.required});
    }

    void write(sqlite3_stmt* row)
    {
        m_xml.writeStartElement(QStringLiteral("ROW"));
        m_explicit.clear();
        for (int c = 0; c < int(m_columns.size()); ++c)
            if (!writePlain(row, c))
                m_explicit.push_back(c);
        for (const int c : m_explicit)
            writeExplicit(row, c);
        m_xml.writeEndElement(); // an element without children closes as "/>"
    }

private:
    using Kind = packet::FieldKind;
    struct Column {
        QString name;
        Kind kind;
        int width;
        bool required;
    };

    // False when the value needs a VALUE element.
    bool writePlain(sqlite3_stmt* row, int c)
    {
        const Column& column = m_columns[size_t(c)];
        switch (sqlite3_column_type(row, c)) {
        case SQLITE_NULL:
            return !column.required; // a missing key would be refused
        case SQLITE_INTEGER:
            if (column.kind != Kind::Integer && column.kind != Kind::Date)
                return false;
            m_xml.writeAttribute(column.name, QString::number(sqlite3_column_int64(row, c)));
            return true;
        case SQLITE_FLOAT:
            if (column.kind != Kind::Float)
                return false;
            m_xml.writeAttribute(column.name, realText(sqlite3_column_double(row, c)));
            return true;
        case SQLITE_TEXT: {
            if (column.kind != Kind::Text && column.kind != Kind::Memo && column.kind != Kind::Date)
                return false;
            const int bytes = sqlite3_column_bytes(row, c);
            if (bytes > packet::kPieceBytes || !decode(row, c))
                return false;
            if (column.kind == Kind::Text && m_text.size() > column.width
                && packet::characterCount(m_text) > column.width)
                return false;
            m_xml.writeAttribute(column.name, m_text);
            return true;
        }
        default: { // a blob
            const int bytes = sqlite3_column_bytes(row, c);
            if (column.kind != Kind::Blob || 2 * qsizetype(bytes) > packet::kPieceBytes)
                return false;
            const QByteArray data = QByteArray::fromRawData(static_cast<const char*>(sqlite3_column_blob(row, c)), bytes);
            m_xml.writeAttribute(column.name, QString::fromLatin1(data.toHex()));
            return true;
        }
        }
    }

    // The text of a text value, true when it is valid UTF-8 (a leading BOM
    // is a character of it) that XML can hold.
    bool decode(sqlite3_stmt* row, int c)
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, c));
        const int bytes = sqlite3_column_bytes(row, c);
        // QString::fromUtf8 is the quick way, but it drops a leading byte
        // order mark and puts U+FFFD for invalid bytes without a word: only
        // then does the checking decoder have to look again.
        if (bytes < 3 || std::memcmp(text, "\xEF\xBB\xBF", 3) != 0) {
            m_text = QString::fromUtf8(text, bytes);
            if (!m_text.contains(QChar::ReplacementCharacter))
                return packet::isXmlText(m_text);
        }
        m_decoder.resetState();
        m_text = m_decoder.decode(QByteArrayView(text, bytes));
        return !m_decoder.hasError() && packet::isXmlText(m_text);
    }

    void writeValue(const Column& column, packet::Storage storage, const QString& form, const QString& content)
    {
        m_xml.writeEmptyElement(QLatin1String(packet::kValueElement));
        m_xml.writeAttribute(QStringLiteral("attrname"), column.name);
        m_xml.writeAttribute(QStringLiteral("type"), packet::storageName(storage));
        if (!form.isEmpty())
            m_xml.writeAttribute(form, content);
    }

    void writeExplicit(sqlite3_stmt* row, int c)
    {
        const Column& column = m_columns[size_t(c)];
        const QString value = QStringLiteral("value");
        switch (sqlite3_column_type(row, c)) {
        case SQLITE_NULL:
            writeValue(column, packet::Storage::Null, {}, {});
            return;
        case SQLITE_INTEGER:
            writeValue(column, packet::Storage::Integer, value, QString::number(sqlite3_column_int64(row, c)));
            return;
        case SQLITE_FLOAT:
            writeValue(column, packet::Storage::Real, value, realText(sqlite3_column_double(row, c)));
            return;
        case SQLITE_TEXT:
            if (decode(row, c)) {
                // Readable pieces, none ending between the halves of a surrogate pair.
                constexpr qsizetype piece = packet::kPieceBytes / 4;
                qsizetype at = 0;
                do {
                    qsizetype length = std::min(piece, m_text.size() - at);
                    if (at + length < m_text.size() && m_text[at + length].isLowSurrogate())
                        --length;
                    writeValue(column, packet::Storage::Text, value, m_text.mid(at, length));
                    at += length;
                } while (at < m_text.size());
                return;
            }
            writeBytes(column, packet::Storage::Text,
                       QByteArrayView(sqlite3_column_text(row, c), sqlite3_column_bytes(row, c)));
            return;
        default:
            writeBytes(column, packet::Storage::Blob,
                       QByteArrayView(static_cast<const char*>(sqlite3_column_blob(row, c)),
                                      sqlite3_column_bytes(row, c)));
            return;
        }
    }

    void writeBytes(const Column& column, packet::Storage storage, QByteArrayView bytes)
    {
        constexpr qsizetype piece = packet::kPieceBytes / 4 * 3; // base64 of it fits a piece
        qsizetype at = 0;
        do {
            const QByteArray part = QByteArray::fromRawData(bytes.data() + at, std::min(piece, bytes.size() - at));
            writeValue(column, storage, QStringLiteral("base64"), QString::fromLatin1(part.toBase64()));
            at += part.size();
        } while (at < bytes.size());
    }

    QXmlStreamWriter& m_xml;
    std::vector<Column> m_columns;
    std::vector<int> m_explicit;
    QStringDecoder m_decoder{QStringDecoder::Utf8,
                             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    QString m_text;
};

// Collects the writer's many small pieces and hands them to the file in
// large ones: QXmlStreamWriter writes every name, quote and value on its own.
class ChunkedSink : public QIODevice {
public:
    explicit ChunkedSink(QIODevice& target) : m_target(target)
    {
        m_buffer.reserve(kChunk + kChunk / 4);
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool flushAll()
    {
        const bool ok = m_buffer.isEmpty() || m_target.write(m_buffer) == m_buffer.size();
        m_buffer.resize(0);
        return ok && !m_failed;
    }

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        m_buffer.append(data, length);
        if (m_buffer.size() >= kChunk && !flushAll())
            m_failed = true;
        return length;
    }
    qint64 readData(char*, qint64) override { return -1; }

private:
    static constexpr qsizetype kChunk = 1 << 20;
    QIODevice& m_target;
    QByteArray m_buffer;
    bool m_failed = false;
};

void writeMetadata(QXmlStreamWriter& xml, const QList<packet::FieldDescription>& fields)
{
    xml.writeStartElement(QStringLiteral("METADATA"));
    xml.writeStartElement(QStringLiteral("FIELDS"));
    for (const packet::FieldDescription& f : fields) {
        xml.writeEmptyElement(QStringLiteral("FIELD"));
        xml.writeAttribute(QStringLiteral("attrname"), f.name);
        xml.writeAttribute(QStringLiteral("fieldtype"), f.fieldType);
        if (f.textMemo)
            xml.writeAttribute(QStringLiteral("SUBTYPE"), QStringLiteral("Text"));
        if (f.required)
            xml.writeAttribute(QStringLiteral("required"), QStringLiteral("true"));
        if (f.width > 0)
            xml.writeAttribute(QStringLiteral("WIDTH"), QString::number(f.width));
    }
    xml.writeEndElement(); // FIELDS
    xml.writeEmptyElement(QStringLiteral("PARAMS"));
    xml.writeEndElement(); // METADATA
}

// QSaveFile writes into an unnamed file where the file system has them;
// elsewhere it writes "name.xml.AbC123" beside the file, which a killed run
// leaves behind.
void removeLeftovers(const QString& target)
{
    const QFileInfo info(target);
    const QDir dir = info.dir();
    for (const QString& name : dir.entryList({info.fileName() + QStringLiteral(".??????")},
                                             QDir::Files | QDir::Hidden | QDir::System)) {
        const QStringView suffix = QStringView(name).right(6);
        if (std::all_of(suffix.begin(), suffix.end(), [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }))
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

QString ExportTargetPath(const QString& directory, const QString& tableName)
{
    QString path = QDir::fromNativeSeparators(directory);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QDir::toNativeSeparators(path + ascii::lower(tableName) + QStringLiteral(".xml"));
}

void ExportTable(db::Connection& connection, const QString& targetPath, const QString& tableName,
                 const ExportProgress& progress)
{
    if (progress.tableStarted)
        progress.tableStarted(tableName);

    connection.connect();
    const QList<packet::FieldDescription> fields = packet::describeTable(connection.handle(), tableName, tableName);
    for (const packet::FieldDescription& f : fields)
        if (!packet::isXmlName(f.name))
            throw db::Error(QStringLiteral("Tabelle %1: Der Feldname „%2“ lässt sich nicht als XML-Attribut schreiben")
                                .arg(tableName, f.name));
    const QString quoted = QLatin1Char('"') + QString(tableName).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                           QLatin1Char('"');
    // One read transaction: the count and the rows see the same table.
    connection.endRead();
    connection.beginRead();
    qint64 count = 0;
    {
        db::Statement counting(connection.handle(), QStringLiteral("SELECT count(*) FROM %1").arg(quoted), tableName);
        if (counting.step())
            count = counting.columnInt64(0);
    }
    // The stored columns by name: "*" would also compute the generated
    // columns of the German order, which are no data of the table.
    QStringList names;
    for (const packet::FieldDescription& f : fields)
        names << QLatin1Char('"') + QString(f.name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    const QString select = QStringLiteral("SELECT %1 FROM %2").arg(names.join(QLatin1Char(',')), quoted);
    // Natural order: the order in which the rows were stored. A table made
    // WITHOUT ROWID through the SQL page has only its key order.
    db::Statement rows;
    try {
        rows = db::Statement(connection.handle(), select + QStringLiteral(" ORDER BY rowid"), tableName);
    } catch (const db::EngineError&) {
        rows = db::Statement(connection.handle(), select, tableName);
    }

    QSaveFile file(targetPath);
    if (QFileInfo(targetPath).isDir())
        throw db::Error(QStringLiteral("Die Exportdatei „%1“ lässt sich nicht anlegen: Dort steht ein Verzeichnis "
                                       "dieses Namens")
                            .arg(QDir::toNativeSeparators(targetPath)));
    if (!file.open(QIODevice::WriteOnly))
        throw db::Error(QStringLiteral("Die Exportdatei „%1“ lässt sich nicht anlegen: %2")
                            .arg(QDir::toNativeSeparators(targetPath), packet::fileErrorText(file)));
    ChunkedSink sink(file);
    QXmlStreamWriter xml(&sink);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeStartElement(QLatin1String(packet::kRoot));
    xml.writeAttribute(QStringLiteral("Version"), QLatin1String(packet::kVersion));
    writeMetadata(xml, fields);

    xml.writeStartElement(QStringLiteral("ROWDATA"));
    RowWriter writer(xml, fields);
    for (qint64 row = 1; rows.step(); ++row) {
        writer.write(rows.raw());
        // Where the table would stand now: on the next row, or still on the last.
        if (progress.percent && count > 0)
            progress.percent(int(std::min(row + 1, count) * 100 / count));
        if (progress.afterRow)
            progress.afterRow();
    }
    xml.writeEndElement(); // ROWDATA
    xml.writeEndElement(); // DATAPACKET
    xml.writeEndDocument();
    if (xml.hasError() || !sink.flushAll() || !file.commit())
        throw db::Error(QStringLiteral("Die Exportdatei „%1“ lässt sich nicht schreiben: %2")
                            .arg(QDir::toNativeSeparators(targetPath), packet::fileErrorText(file)));
}

QStringList ExportAllTables(db::Connection& connection, const QString& directory, const ExportProgress& progress)
{
    connection.connect();
    QStringList written;
    for (const QString& name : connection.listTables(QStringLiteral("*"))) {
        const QString target = ExportTargetPath(directory, name);
        removeLeftovers(target);
        ExportTable(connection, target, name, progress);
        written << target;
    }
    const int covers = covers::exportCovers(connection.databasePath(), connection, directory, progress.afterRow);
    if (progress.coversWritten)
        progress.coversWritten(covers);
    return written;
}

} // namespace tools
