#include "tools/Export.h"

#include "database/Connection.h"
#include "core/Errors.h"
#include "database/Statement.h"
#include "tools/DataPacket.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <algorithm>

namespace tools {

namespace {

QString lowerAscii(QString text)
{
    for (QChar& c : text)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return text;
}

// The stored value as attribute text: numbers in C notation, floats in the
// shortest form that reads back to the same double, text as it is.
QString attributeText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex());
    default:
        return value.toString();
    }
}

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

} // namespace

QString ExportTargetPath(const QString& directory, const QString& tableName)
{
    QString path = QDir::fromNativeSeparators(directory);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QDir::toNativeSeparators(path + lowerAscii(tableName) + QStringLiteral(".xml"));
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
    if (!file.open(QIODevice::WriteOnly))
        throw db::Error(QStringLiteral("Die Exportdatei „%1“ lässt sich nicht anlegen: %2")
                            .arg(QDir::toNativeSeparators(targetPath), file.errorString()));
    ChunkedSink sink(file);
    QXmlStreamWriter xml(&sink);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeStartElement(QLatin1String(packet::kRoot));
    xml.writeAttribute(QStringLiteral("Version"), QLatin1String(packet::kVersion));
    writeMetadata(xml, fields);

    xml.writeStartElement(QStringLiteral("ROWDATA"));
    const int columns = int(fields.size());
    for (qint64 row = 1; rows.step(); ++row) {
        xml.writeEmptyElement(QStringLiteral("ROW"));
        for (int c = 0; c < columns; ++c) {
            const QVariant value = rows.column(c);
            if (value.isNull())
                continue;
            const QString text = attributeText(value);
            int bad = 0;
            if (!packet::isXmlText(text, &bad))
                throw db::Error(QStringLiteral("Tabelle %1, Datensatz %2, Feld %3: Das Zeichen U+%4 lässt sich "
                                               "in XML nicht speichern; die Tabelle wurde nicht exportiert")
                                    .arg(tableName)
                                    .arg(row)
                                    .arg(fields[c].name)
                                    .arg(uint(text[bad].unicode()), 4, 16, QLatin1Char('0')));
            xml.writeAttribute(fields[c].name, text);
        }
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
                            .arg(QDir::toNativeSeparators(targetPath), file.errorString()));
}

QStringList ExportAllTables(db::Connection& connection, const QString& directory, const ExportProgress& progress)
{
    connection.connect();
    QStringList written;
    for (const QString& name : connection.listTables(QStringLiteral("*"))) {
        const QString target = ExportTargetPath(directory, name);
        ExportTable(connection, target, name, progress);
        written << target;
    }
    return written;
}

} // namespace tools
