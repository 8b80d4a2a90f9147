#include "tools/Export.h"

#include "database/Connection.h"
#include "database/Errors.h"
#include "database/Table.h"
#include "tools/DataPacket.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>
#include <QXmlStreamWriter>

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

    db::Table table(connection, tableName, tableName);
    table.open();
    const QList<packet::FieldDescription> fields = packet::describeTable(connection.handle(), tableName, tableName);
    if (fields.size() != table.fieldCount())
        throw db::EngineError(tableName, QStringLiteral("Die Felder der Tabelle haben sich beim Öffnen geändert"));
    for (const packet::FieldDescription& f : fields)
        if (!packet::isXmlName(f.name))
            throw db::Error(QStringLiteral("Tabelle %1: Der Feldname „%2“ lässt sich nicht als XML-Attribut schreiben")
                                .arg(tableName, f.name));

    QSaveFile file(targetPath);
    if (!file.open(QIODevice::WriteOnly))
        throw db::Error(QStringLiteral("Die Exportdatei „%1“ lässt sich nicht anlegen: %2")
                            .arg(QDir::toNativeSeparators(targetPath), file.errorString()));
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeStartElement(QLatin1String(packet::kRoot));
    xml.writeAttribute(QStringLiteral("Version"), QLatin1String(packet::kVersion));
    writeMetadata(xml, fields);

    xml.writeStartElement(QStringLiteral("ROWDATA"));
    const int count = table.recordCount();
    const int columns = table.fieldCount();
    for (table.first(); !table.eof();) {
        xml.writeEmptyElement(QStringLiteral("ROW"));
        for (int c = 0; c < columns; ++c) {
            const QVariant value = table.field(c).value();
            if (value.isNull())
                continue;
            const QString text = attributeText(value);
            int bad = 0;
            if (!packet::isXmlText(text, &bad))
                throw db::Error(QStringLiteral("Tabelle %1, Datensatz %2, Feld %3: Das Zeichen U+%4 lässt sich "
                                               "in XML nicht speichern; die Tabelle wurde nicht exportiert")
                                    .arg(tableName)
                                    .arg(table.recNo())
                                    .arg(fields[c].name)
                                    .arg(uint(text[bad].unicode()), 4, 16, QLatin1Char('0')));
            xml.writeAttribute(fields[c].name, text);
        }
        table.next();
        if (progress.percent && count > 0)
            progress.percent(int(qint64(table.recNo()) * 100 / count));
        if (progress.afterRow)
            progress.afterRow();
    }
    xml.writeEndElement(); // ROWDATA
    xml.writeEndElement(); // DATAPACKET
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
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
