#include "tools/Import.h"

#include "core/Errors.h"
#include "database/Schema.h"
#include "database/Statement.h"
#include "tools/DataPacket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringEncoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tools {

namespace {

enum class Kind { Text, Integer, Float };

constexpr int kBatchRows = 512;
constexpr qsizetype kBatchText = 256 * 1024;
// Parsed rows waiting to be stored, at most. While the storing thread builds
// the catalogue's indexes the parsing runs ahead through the next files; at
// 100,000 volumes what it gets ahead by fits in this.
constexpr qsizetype kQueuedBytes = 256 * 1024 * 1024;

// One value of a parsed row: a number where the field takes one and the
// text is one, UTF-8 text otherwise (where it lies in its batch's text);
// none for a null. Small, as the rows of whole files may wait in memory.
struct Value {
    union {
        qint64 integer = 0;
        double real;
        qsizetype offset;
    };
    qint32 size = 0; // SQLite takes no longer text anyway
    enum class Kind : char { Null, Integer, Float, Text } kind = Kind::Null;
};
static_assert(sizeof(Value) == 16);

// Rows parsed but not stored yet: columns values per row, row after row.
// The texts of all of them share one buffer: a string of its own for each
// value meant an allocation on the parsing thread and a release on the
// storing one, where the two threads contend for the allocator's locks.
struct RowBatch {
    std::vector<Value> values;
    QByteArray text;
    int rows = 0;
    // The last batch of a file, sent only once the whole file has been read
    // and found sound, so a table gets its indexes only then.
    bool endOfFile = false;

    qsizetype bytes() const { return qsizetype(values.capacity() * sizeof(Value)) + text.capacity(); }
};

// Hands batches from the parsing thread to the storing one, in order.
class BatchQueue {
public:
    // False once the storing side has given up.
    bool push(RowBatch batch)
    {
        const qsizetype bytes = batch.bytes();
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_bytes + bytes <= kQueuedBytes || m_batches.empty() || m_cancelled; });
        if (m_cancelled)
            return false;
        m_bytes += bytes;
        m_batches.push_back(std::move(batch));
        m_ready.notify_one();
        return true;
    }
    // The parsing ended, with the error that ended it, if any.
    void finish(std::exception_ptr error)
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_error = error;
        m_ready.notify_one();
    }
    // False at the end of the rows; throws the parsing's error. The batch
    // given, stored by now, goes back to the parsing side for reuse.
    bool pop(RowBatch& batch)
    {
        std::unique_lock lock(m_mutex);
        if (batch.values.capacity() > 0)
            m_spares.push_back(std::move(batch));
        m_ready.wait(lock, [this] { return !m_batches.empty() || m_done; });
        if (!m_batches.empty()) {
            batch = std::move(m_batches.front());
            m_batches.pop_front();
            m_bytes -= batch.bytes();
            m_space.notify_one();
            return true;
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return false;
    }
    // A batch to fill, stored before where there is one: its memory is
    // already there, so filling it costs no page faults. What the spares
    // hold never exceeds what the queue held at most.
    RowBatch spare()
    {
        std::lock_guard lock(m_mutex);
        if (m_spares.empty())
            return {};
        RowBatch batch = std::move(m_spares.back());
        m_spares.pop_back();
        return batch;
    }
    void cancel()
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_space.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<RowBatch> m_batches;
    std::vector<RowBatch> m_spares;
    qsizetype m_bytes = 0;
    bool m_done = false;
    bool m_cancelled = false;
    std::exception_ptr m_error;
};

// Reads one export file on the parsing thread and hands its rows on.
class PacketReader {
public:
    PacketReader(const QString& path, const QString& table) : m_path(path), m_table(table), m_file(path) {}

    // False when the storing side gave up before the file was read.
    bool read(BatchQueue& queue)
    {
        if (!m_file.open(QIODevice::ReadOnly))
            throw db::Error(QStringLiteral("Die Importdatei „%1“ lässt sich nicht lesen: %2")
                                .arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
        m_xml.setDevice(&m_file);
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
    [[noreturn]] void refuse(const QString& what) const
    {
        throw db::Error(QStringLiteral("Importdatei „%1“, Zeile %2: %3")
                            .arg(QDir::toNativeSeparators(m_path))
                            .arg(m_xml.lineNumber())
                            .arg(what));
    }

    [[noreturn]] void malformed() const
    {
        refuse(QStringLiteral("Die Datei ist kein wohlgeformtes XML (%1)").arg(m_xml.errorString()));
    }

    // The next start element inside the current one; false at its end.
    bool nextElement()
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
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
                    refuse(QStringLiteral("Unerwarteter Text „%1“").arg(m_xml.text().left(40)));
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
            const QString& type = m_fields[i].fieldType;
            m_kinds.push_back(type == QLatin1String("i4")   ? Kind::Integer
                              : type == QLatin1String("r8") ? Kind::Float
                                                            : Kind::Text);
        }
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
            Value* row = batch.values.data() + size_t(batch.rows) * size_t(columns);
            int expectedAt = 0;
            // Held const: a loop over the returned list itself would copy
            // every attribute first, as it may change them.
            const QXmlStreamAttributes attributes = m_xml.attributes();
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
                        refuse(QStringLiteral("Das Feld „%1“ gehört nicht zur Tabelle %2").arg(a.name(), m_table));
                }
                row[column] = typed(column, a.value(), batch.text);
            }
            endOfEmptyElement();
            if (++batch.rows == kBatchRows) {
                if (!queue.push(std::move(batch)))
                    return std::nullopt;
                batch = newBatch(queue);
            }
        }
        return batch;
    }

    // A value of the field's type where the text is one; text otherwise, as
    // the column's type then keeps it (so what the export found, it gets).
    Value typed(int column, QStringView text, QByteArray& texts)
    {
        Value v;
        bool ok = false;
        switch (m_kinds[size_t(column)]) {
        case Kind::Integer:
            v.integer = text.toLongLong(&ok);
            if (ok) {
                v.kind = Value::Kind::Integer;
                return v;
            }
            break;
        case Kind::Float:
            v.real = text.toDouble(&ok);
            if (ok) {
                v.kind = Value::Kind::Float;
                return v;
            }
            break;
        case Kind::Text:
            break;
        }
        if (text.size() > std::numeric_limits<qint32>::max() / 3)
            refuse(QStringLiteral("Der Wert des Feldes %1 ist zu lang").arg(m_fields[column].name));
        v.kind = Value::Kind::Text;
        v.offset = texts.size();
        texts.resize(v.offset + m_encoder.requiredSpace(text.size()));
        char* end = m_encoder.appendToBuffer(texts.data() + v.offset, text);
        v.size = qint32(end - (texts.constData() + v.offset));
        texts.truncate(v.offset + v.size);
        return v;
    }

    QString m_path;
    QString m_table;
    QFile m_file;
    QXmlStreamReader m_xml;
    QList<packet::FieldDescription> m_fields;
    QHash<QString, int> m_fieldIndex;
    std::vector<Kind> m_kinds;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
};

using Plan = std::vector<std::pair<QString, const db::schema::TableDef*>>; // file, table

// On the parsing thread: every file of the plan, one after the other.
void parseFiles(const Plan& plan, BatchQueue& queue)
{
    std::exception_ptr error;
    try {
        for (const auto& [file, table] : plan)
            if (!PacketReader(file, table->name).read(queue))
                break; // the storing side gave up
    } catch (...) {
        error = std::current_exception();
    }
    queue.finish(error);
}

// Stores the rows of one file as the parsing thread hands them on, then
// builds the table's indexes while the parsing goes on with the next file.
void storeRows(sqlite3* db, const QString& file, const db::schema::TableDef& table, BatchQueue& queue)
{
    db::Statement(db, QStringLiteral("DELETE FROM %1").arg(table.name)).exec();
    QStringList names;
    QStringList marks;
    for (const db::schema::FieldDef& f : table.fields) {
        names << f.name;
        marks << QStringLiteral("?");
    }
    db::Statement insert(db,
                         QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(table.name, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                         table.name);
    const int columns = int(table.fields.size());
    RowBatch batch;
    while (queue.pop(batch)) {
        for (int row = 0; row < batch.rows; ++row) {
            for (int c = 0; c < columns; ++c) {
                const Value& v = batch.values[size_t(row) * size_t(columns) + size_t(c)];
                switch (v.kind) {
                case Value::Kind::Null:
                    break; // exec() left every parameter null
                case Value::Kind::Integer:
                    insert.bindInt64(c + 1, v.integer);
                    break;
                case Value::Kind::Float:
                    insert.bindDouble(c + 1, v.real);
                    break;
                case Value::Kind::Text:
                    insert.bindUtf8(c + 1, QByteArray::fromRawData(batch.text.constData() + v.offset, v.size));
                    break;
                }
            }
            insert.exec();
        }
        if (batch.endOfFile) {
            try {
                db::schema::createIndexes(db, table);
            } catch (const db::Error& e) {
                // A key the file holds twice shows only here.
                throw db::Error(QStringLiteral("Importdatei „%1“: %2").arg(QDir::toNativeSeparators(file), e.message()));
            }
            return;
        }
    }
    throw db::Error(QStringLiteral("Die Importdatei „%1“ wurde nicht bis zum Ende gelesen")
                        .arg(QDir::toNativeSeparators(file)));
}

} // namespace

void ImportDatabase(const QString& dir, const QStringList& files)
{
    if (files.isEmpty())
        throw db::Error(QStringLiteral("Es fehlen die Importdateien"));
    // Refuse what can be told from the names before a database exists.
    Plan plan;
    QSet<QString> tables;
    for (const QString& file : files) {
        const QFileInfo info(file);
        const db::schema::TableDef* table = db::schema::table(info.completeBaseName());
        if (!table || info.suffix().compare(QLatin1String("xml"), Qt::CaseInsensitive) != 0)
            throw db::Error(QStringLiteral("Die Importdatei „%1“ gehört zu keiner Tabelle der Stripothek "
                                           "(erwartet wird ein Tabellenname mit .xml, etwa serverstripothek.xml)")
                                .arg(QDir::toNativeSeparators(file)));
        if (tables.contains(table->name))
            throw db::Error(QStringLiteral("Die Tabelle %1 kommt in mehr als einer Importdatei vor").arg(table->name));
        if (!info.isFile())
            throw db::Error(QStringLiteral("Die Importdatei „%1“ existiert nicht").arg(QDir::toNativeSeparators(file)));
        tables.insert(table->name);
        plan.emplace_back(file, table);
    }
    // In the schema's order, catalogue first: its indexes over names take
    // longest to build, and they are built while the other files are parsed.
    const auto rank = [](const db::schema::TableDef* table) { return table - db::schema::tables().constData(); };
    std::sort(plan.begin(), plan.end(), [&](const auto& a, const auto& b) { return rank(a.second) < rank(b.second); });
    db::schema::createDatabase(dir, [&](sqlite3* db) {
        // The whole collection goes in within one transaction: pages kept in
        // memory are not written twice.
        db::Statement(db, QStringLiteral("PRAGMA cache_size = -262144")).exec();
        BatchQueue queue;
        std::thread parser([&] { parseFiles(plan, queue); });
        struct Join {
            std::thread& thread;
            BatchQueue& queue;
            ~Join()
            {
                queue.cancel();
                thread.join();
            }
        } join{parser, queue};
        for (const auto& [file, table] : plan)
            storeRows(db, file, *table, queue);
    });
}

} // namespace tools
