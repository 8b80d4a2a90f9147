#include "tools/PacketReader.h"

#include "core/Errors.h"
#include "database/Schema.h"
#include "tools/DataPacket.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStringEncoder>
#include <QXmlStreamReader>

#include <cmath>
#include <optional>

namespace tools::import {

namespace {

using packet::FieldKind;
using packet::Storage;

constexpr int kBatchRows = 512;
constexpr qsizetype kBatchText = 256 * 1024;

// Hands the file to the XML reader and counts what the reader takes since
// it last finished a token: an element longer than any the export writes is
// refused before the reader holds it (it keeps about seven times the bytes
// of the element it reads). Keeps the first bytes of such an element, so
// that the refusal can name the row's key.
class BoundedSource : public QIODevice {
public:
    explicit BoundedSource(QFile& file) : m_file(file) {}

    // The reader has finished a token; the next one begins in the bytes
    // read last.
    void mark() { m_sinceMark = 0; }
    bool exceeded() const { return m_exceeded; }
    // The beginning of the element that grew too long, with some bytes before it.
    const QByteArray& head() const { return m_head; }
    qint64 size() const override { return m_file.size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_sinceMark > packet::kElementBytes) {
            m_exceeded = true;
            return -1;
        }
        const qint64 n = m_file.read(data, maxSize);
        if (n <= 0)
            return n;
        if (m_sinceMark == 0) {
            m_head.resize(0);
            m_head.append(m_last);
        }
        if (m_head.size() < kHeadBytes)
            m_head.append(data, n);
        m_last.resize(0);
        m_last.append(data, n);
        m_sinceMark += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    static constexpr qsizetype kHeadBytes = 32 * 1024;
    QFile& m_file;
    qint64 m_sinceMark = 0;
    bool m_exceeded = false;
    QByteArray m_last;
    QByteArray m_head;
};

// What went wrong in German: Qt's reader speaks English; its German texts
// come with Qt's translations where they are installed.
QString xmlErrorText(const QXmlStreamReader& xml)
{
    if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        return QStringLiteral("Die Datei endet vorzeitig, mitten im XML: Sie ist unvollständig, etwa weil ihr "
                              "Schreiben oder Kopieren abgebrochen wurde. Exportieren oder kopieren Sie sie erneut");
    return QStringLiteral("Die Datei ist kein wohlgeformtes XML (%1). Sie wurde von Hand oder von einem anderen "
                          "Programm geändert oder ist beschädigt; berichtigen Sie die Stelle oder exportieren Sie "
                          "die Tabelle erneut")
        .arg(packet::qtGerman("QXmlStream", xml.errorString()));
}

// A value for a message: short, on one line.
QString quoted(QStringView text)
{
    QString shown = text.left(40).toString();
    for (QChar& c : shown)
        if (c < QLatin1Char(' '))
            c = QLatin1Char(' ');
    return QStringLiteral("„%1%2“").arg(shown, text.size() > 40 ? QStringLiteral("…") : QString());
}

class PacketReader {
public:
    PacketReader(const QString& path, const QString& table)
        : m_path(path), m_table(table), m_file(path), m_source(m_file)
    {
    }

    bool read(BatchQueue& queue)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            throw db::Error(QStringLiteral("Die Importdatei „%1“ lässt sich nicht lesen: %2")
                                .arg(QDir::toNativeSeparators(m_path), packet::fileErrorText(m_file)));
        m_source.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_xml.setDevice(&m_source);
        m_xml.setNamespaceProcessing(false);

        if (!nextElement() || m_xml.name() != QLatin1String(packet::kRoot))
            refuse(QStringLiteral("Das Wurzelelement ist nicht %1").arg(QLatin1String(packet::kRoot)));
        if (m_xml.attributes().value(QStringLiteral("Version")) != QLatin1String(packet::kVersion))
            refuse(QStringLiteral("Nur Datenpakete der Version %1 lassen sich importieren").arg(QLatin1String(packet::kVersion)));
        expectElement(QStringLiteral("METADATA"));
        expectElement(QStringLiteral("FIELDS"));
        readFields();
        // A change log would be in PARAMS; its marks on the rows are refused there.
        while (nextElement()) {
            if (m_xml.name() != QLatin1String("PARAMS"))
                refuse(QStringLiteral("Unerwartetes Element %1 in METADATA").arg(m_xml.name()));
            skipElement();
        }
        expectElement(QStringLiteral("ROWDATA"));
        std::optional<RowBatch> batch = readRows(queue);
        if (!batch)
            return false;
        if (nextElement())
            refuse(QStringLiteral("Nach ROWDATA steht noch %1").arg(m_xml.name()));
        while (!m_xml.atEnd())
            m_xml.readNext();
        if (m_xml.hasError())
            malformed();
        batch->endOfFile = true;
        return queue.push(std::move(*batch));
    }

private:
    QString where(qint64 line) const
    {
        return QStringLiteral("Importdatei „%1“, Zeile %2").arg(QDir::toNativeSeparators(m_path)).arg(line);
    }

    [[noreturn]] void refuse(const QString& what) const
    {
        throw db::Error(where(m_xml.lineNumber()) + QStringLiteral(": ") + what);
    }

    // About the row being read: its line and, once known, its key.
    [[noreturn]] void refuseRow(const QString& what) const
    {
        QString at = where(m_rowLine);
        if (!m_rowKey.isEmpty())
            at += QStringLiteral(", Datensatz ") + quoted(m_rowKey);
        throw db::Error(at + QStringLiteral(": ") + what);
    }

    [[noreturn]] void malformed()
    {
        if (m_source.exceeded())
            tooLong();
        refuse(xmlErrorText(m_xml));
    }

    [[noreturn]] void tooLong()
    {
        // The row's key stands near the start of its element, unless the
        // element too long is one of the row's VALUE elements.
        const QByteArray& head = m_source.head();
        const qsizetype row = head.lastIndexOf("<ROW");
        const QByteArray attribute = ' ' + m_fields.value(m_keyColumn).name.toUtf8() + "=\"";
        const qsizetype key = row < 0 || m_keyColumn < 0 ? -1 : head.indexOf(attribute, row);
        if (key >= 0 && head.lastIndexOf('<') == row) {
            const qsizetype from = key + attribute.size();
            const qsizetype end = head.indexOf('"', from);
            m_keyText = QString::fromUtf8(head.mid(from, end < 0 ? 60 : end - from));
            m_rowKey = m_keyText;
        }
        m_rowLine = m_markLine;
        refuseRow(QStringLiteral("Der Datensatz ist länger als %1 MB und wird nicht gelesen. So lange Werte "
                                 "schreibt der Export in Stücken; kürzen Sie den zu langen Wert")
                      .arg(packet::kElementBytes / (1024 * 1024)));
    }

    // The next start element inside the current one; false at its end.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            m_source.mark();
            m_markLine = m_xml.lineNumber();
            switch (token) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::DTD:
                refuse(QStringLiteral("Die Datei enthält eine Dokumenttypdeklaration (DTD); "
                                      "Importdateien dürfen keine enthalten"));
            case QXmlStreamReader::EntityReference:
                refuse(QStringLiteral("Die Datei verwendet die unbekannte Entität „&%1;“").arg(m_xml.name()));
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace())
                    refuse(QStringLiteral("Unerwarteter Text %1").arg(quoted(m_xml.text())));
                break;
            case QXmlStreamReader::Invalid:
                malformed();
            default:
                break;
            }
        }
        if (m_xml.hasError())
            malformed();
        return false;
    }

    void expectElement(const QString& name)
    {
        if (!nextElement() || m_xml.name() != name)
            refuse(QStringLiteral("Das Element %1 fehlt").arg(name));
    }

    void skipElement()
    {
        m_xml.skipCurrentElement();
        if (m_xml.hasError())
            malformed();
    }

    // After the attributes of an element that must stay empty.
    void endOfEmptyElement()
    {
        const QString element = m_xml.name().toString();
        if (nextElement())
            refuse(QStringLiteral("Das Element %1 darf keine weiteren Elemente enthalten").arg(element));
        if (m_xml.tokenType() != QXmlStreamReader::EndElement)
            malformed();
    }

    void readFields()
    {
        QList<packet::FieldDescription> inFile;
        while (nextElement()) {
            if (m_xml.name() != QLatin1String("FIELD"))
                refuse(QStringLiteral("Statt FIELD steht hier %1").arg(m_xml.name()));
            const QXmlStreamAttributes a = m_xml.attributes();
            packet::FieldDescription f;
            f.name = a.value(QStringLiteral("attrname")).toString();
            f.fieldType = a.value(QStringLiteral("fieldtype")).toString();
            f.textMemo = a.value(QStringLiteral("SUBTYPE")) == QLatin1String("Text");
            f.required = a.value(QStringLiteral("required")) == QLatin1String("true");
            f.width = a.value(QStringLiteral("WIDTH")).toInt();
            inFile << f;
            endOfEmptyElement();
        }
        const QList<packet::FieldDescription> expected = packet::describeSchemaTable(m_table);
        for (qsizetype i = 0; i < std::max(inFile.size(), expected.size()); ++i) {
            if (i < inFile.size() && i < expected.size() && inFile[i] == expected[i])
                continue;
            const QString got = i < inFile.size() ? inFile[i].describe() : QStringLiteral("nichts");
            const QString want = i < expected.size() ? expected[i].describe() : QStringLiteral("kein Feld mehr");
            refuse(QStringLiteral("Die Felder passen nicht zur Tabelle %1: Feld %2 ist %3, erwartet wird %4")
                       .arg(m_table)
                       .arg(i + 1)
                       .arg(got, want));
        }
        m_fields = expected;
        for (qsizetype i = 0; i < m_fields.size(); ++i) {
            m_fieldIndex.insert(m_fields[i].name, int(i));
            m_kinds.push_back(packet::kindOf(m_fields[i]));
            if (m_fields[i].required && m_keyColumn < 0)
                m_keyColumn = int(i);
        }
        m_given.assign(m_fields.size(), false);
    }

    RowBatch newBatch(BatchQueue& queue) const
    {
        RowBatch batch = queue.spare();
        batch.values.assign(size_t(kBatchRows) * size_t(m_fields.size()), Value());
        batch.text.truncate(0);
        batch.text.reserve(kBatchText);
        batch.rows = 0;
        batch.endOfFile = false;
        return batch;
    }

    // The ROW elements until ROWDATA ends, in batches; the rows after the
    // last full batch are returned, nothing when the storing side gave up.
    std::optional<RowBatch> readRows(BatchQueue& queue)
    {
        const int columns = int(m_fields.size());
        RowBatch batch = newBatch(queue);
        while (nextElement()) {
            if (m_xml.name() != QLatin1String("ROW"))
                refuse(QStringLiteral("Statt ROW steht hier %1").arg(m_xml.name()));
            m_rowLine = m_xml.lineNumber();
            Value* row = batch.values.data() + size_t(batch.rows) * size_t(columns);
            std::fill(m_given.begin(), m_given.end(), false);
            // Held const: a loop over the returned list itself would copy
            // every attribute first, as it may change them.
            const QXmlStreamAttributes attributes = m_xml.attributes();
            m_rowKey = m_keyColumn < 0 ? QStringView() : attributes.value(m_fields[m_keyColumn].name);
            int expectedAt = 0;
            for (const QXmlStreamAttribute& a : attributes) {
                // Attributes come in field order; the hash is for anything else.
                int column = -1;
                while (expectedAt < columns && m_fields[expectedAt].name != a.name())
                    ++expectedAt;
                if (expectedAt < columns) {
                    column = expectedAt++;
                } else {
                    column = m_fieldIndex.value(a.name().toString(), -1);
                    if (column < 0)
                        refuseRow(QStringLiteral("Das Feld „%1“ gehört nicht zur Tabelle %2").arg(a.name(), m_table));
                }
                m_given[size_t(column)] = true;
                row[column] = plain(column, a.value(), batch.text);
            }
            readValues(row, batch.text);
            for (int c = 0; c < columns; ++c)
                if (m_fields[c].required && !m_given[size_t(c)])
                    refuseRow(QStringLiteral("Dem Datensatz fehlt sein Schlüssel %1").arg(m_fields[c].name));
            if (++batch.rows == kBatchRows) {
                if (!queue.push(std::move(batch)))
                    return std::nullopt;
                batch = newBatch(queue);
            }
        }
        return batch;
    }

    // A plain attribute: a number where the field takes one, text otherwise,
    // each only where it fits its field.
    Value plain(int column, QStringView text, QByteArray& texts)
    {
        const packet::FieldDescription& field = m_fields[column];
        Value v;
        bool ok = false;
        switch (m_kinds[size_t(column)]) {
        case FieldKind::Integer:
            v.integer = text.toLongLong(&ok);
            if (!ok)
                refuseRow(QStringLiteral("Im Feld %1 steht %2, keine ganze Zahl").arg(field.name, quoted(text)));
            v.kind = Value::Kind::Integer;
            return v;
        case FieldKind::Float:
            v.real = text.toDouble(&ok);
            if (!ok || std::isnan(v.real))
                refuseRow(QStringLiteral("Im Feld %1 steht %2, keine Zahl").arg(field.name, quoted(text)));
            v.kind = Value::Kind::Float;
            return v;
        case FieldKind::Text:
            if (text.size() > field.width && packet::characterCount(text) > field.width)
                refuseRow(QStringLiteral("Der Text im Feld %1 ist mit %2 Zeichen länger als die %3 Zeichen des Feldes")
                              .arg(field.name, QLocale(QLocale::German).toString(packet::characterCount(text)))
                              .arg(field.width));
            break;
        case FieldKind::Blob: {
            const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
            if (bytes.size() * 2 != text.size())
                refuseRow(QStringLiteral("Im Feld %1 stehen keine Hexadezimalziffern").arg(field.name));
            appendBytes(v, Value::Kind::Blob, bytes, texts);
            return v;
        }
        case FieldKind::Memo:
        case FieldKind::Date:
            break;
        }
        appendText(v, text, texts);
        return v;
    }

    void appendText(Value& v, QStringView text, QByteArray& texts)
    {
        startValue(v, Value::Kind::Text, texts);
        const qsizetype at = texts.size();
        texts.resize(at + m_encoder.requiredSpace(text.size()));
        char* end = m_encoder.appendToBuffer(texts.data() + at, text);
        texts.truncate(end - texts.constData());
        grow(v, texts.size() - at);
    }

    void appendBytes(Value& v, Value::Kind kind, const QByteArray& bytes, QByteArray& texts)
    {
        startValue(v, kind, texts);
        texts.append(bytes);
        grow(v, bytes.size());
    }

    // A value's pieces lie one after the other at the end of texts.
    static void startValue(Value& v, Value::Kind kind, const QByteArray& texts)
    {
        if (v.kind == kind)
            return;
        v.kind = kind;
        v.offset = texts.size();
        v.size = 0;
    }

    void grow(Value& v, qsizetype bytes)
    {
        if (v.size + bytes > packet::kValueBytes)
            refuseRow(QStringLiteral("Ein Wert ist länger als die %1 Bytes, die SQLite speichert")
                          .arg(QLocale(QLocale::German).toString(packet::kValueBytes)));
        v.size = qint32(v.size + bytes);
    }

    // The VALUE elements of a row: values a plain attribute cannot carry
    // exactly, as the export writes them (see DataPacket.h). Taken as they
    // state them, unchecked against the field: they are what the database
    // held. Pieces of one value follow each other.
    void readValues(Value* row, QByteArray& texts)
    {
        int previous = -1;
        Storage previousStorage = Storage::Null;
        while (nextElement()) {
            if (m_xml.name() != QLatin1String(packet::kValueElement))
                refuseRow(QStringLiteral("Im Element ROW steht %1; erlaubt sind dort nur %2-Elemente")
                              .arg(m_xml.name(), QLatin1String(packet::kValueElement)));
            const QXmlStreamAttributes a = m_xml.attributes();
            const QStringView name = a.value(QStringLiteral("attrname"));
            const int column = m_fieldIndex.value(name.toString(), -1);
            if (column < 0)
                refuseRow(QStringLiteral("Das Feld „%1“ gehört nicht zur Tabelle %2").arg(name, m_table));
            Storage storage = Storage::Null;
            if (!packet::storageFromName(a.value(QStringLiteral("type")), &storage))
                refuseRow(QStringLiteral("Der Wert des Feldes %1 hat den unbekannten Typ %2")
                              .arg(name, quoted(a.value(QStringLiteral("type")))));
            const bool piece = column == previous && storage == previousStorage
                               && (storage == Storage::Text || storage == Storage::Blob);
            if (m_given[size_t(column)] && !piece)
                refuseRow(QStringLiteral("Das Feld %1 hat mehr als einen Wert").arg(name));
            m_given[size_t(column)] = true;
            explicitValue(row[column], storage, a, texts);
            if (column == m_keyColumn && m_rowKey.isEmpty()) {
                m_keyText = a.value(QStringLiteral("value")).toString();
                m_rowKey = m_keyText;
            }
            previous = column;
            previousStorage = storage;
            endOfEmptyElement();
        }
    }

    void explicitValue(Value& v, Storage storage, const QXmlStreamAttributes& a, QByteArray& texts)
    {
        const QString name = a.value(QStringLiteral("attrname")).toString();
        const bool hasValue = a.hasAttribute(QStringLiteral("value"));
        const QStringView value = a.value(QStringLiteral("value"));
        bool ok = false;
        switch (storage) {
        case Storage::Null:
            v = Value();
            return;
        case Storage::Integer:
            v.integer = value.toLongLong(&ok);
            if (!ok)
                refuseRow(QStringLiteral("Im Feld %1 steht %2, keine ganze Zahl").arg(name, quoted(value)));
            v.kind = Value::Kind::Integer;
            return;
        case Storage::Real:
            v.real = value.toDouble(&ok);
            if (!ok || std::isnan(v.real))
                refuseRow(QStringLiteral("Im Feld %1 steht %2, keine Zahl").arg(name, quoted(value)));
            v.kind = Value::Kind::Float;
            return;
        case Storage::Text:
        case Storage::Blob:
            break;
        }
        const Value::Kind kind = storage == Storage::Text ? Value::Kind::Text : Value::Kind::Blob;
        if (storage == Storage::Text && hasValue) {
            appendText(v, value, texts);
            return;
        }
        const auto decoded = QByteArray::fromBase64Encoding(a.value(QStringLiteral("base64")).toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || !a.hasAttribute(QStringLiteral("base64")))
            refuseRow(QStringLiteral("Der Wert des Feldes %1 ist kein gültiges Base64").arg(name));
        appendBytes(v, kind, *decoded, texts);
    }

    QString m_path;
    QString m_table;
    QFile m_file;
    BoundedSource m_source;
    QXmlStreamReader m_xml;
    QList<packet::FieldDescription> m_fields;
    QHash<QString, int> m_fieldIndex;
    std::vector<FieldKind> m_kinds;
    int m_keyColumn = -1;
    std::vector<bool> m_given;
    qint64 m_rowLine = 0;
    qint64 m_markLine = 0;
    // The key of the row being read, for messages: in its attributes while
    // they are read, else in m_keyText.
    QStringView m_rowKey;
    QString m_keyText;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
};

} // namespace

bool readPacket(const QString& path, const QString& table, BatchQueue& queue)
{
    return PacketReader(path, table).read(queue);
}

qint64 lineOfRow(const QString& path, qint64 ordinal)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QXmlStreamReader xml(&file);
    qint64 rows = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("ROW") && ++rows == ordinal)
            return xml.lineNumber();
    return 0;
}

} // namespace tools::import
