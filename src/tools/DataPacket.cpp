#include "tools/DataPacket.h"

#include "core/Errors.h"
#include "database/Field.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QFileDevice>
#include <QLibraryInfo>
#include <QLocale>
#include <QSet>
#include <QTranslator>

#include <utility>

namespace tools::packet {

QString FieldDescription::describe() const
{
    QString text = name + QStringLiteral(" (") + fieldType;
    if (textMemo)
        text += QStringLiteral(" Text");
    if (width > 0)
        text += QStringLiteral(", %1").arg(width);
    if (required)
        text += QStringLiteral(", Pflichtfeld");
    return text + QLatin1Char(')');
}

QList<FieldDescription> describeTable(sqlite3* handle, const QString& tableName,
                                      const QString& component)
{
    const QString quoted = QLatin1Char('"') + QString(tableName).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                           QLatin1Char('"');
    // Key fields: those of a unique index named PK..., as the schema names
    // them, and any declared primary key or NOT NULL column.
    QSet<QString> keys;
    {
        db::Statement indexes(handle, QStringLiteral("PRAGMA index_list(%1)").arg(quoted), component);
        QStringList unique;
        while (indexes.step())
            if (indexes.column(2).toInt() == 1 && indexes.column(1).toString().startsWith(QLatin1String("PK"), Qt::CaseInsensitive))
                unique << indexes.column(1).toString();
        for (const QString& index : unique) {
            db::Statement columns(handle,
                                  QStringLiteral("PRAGMA index_info(\"%1\")").arg(index), component);
            while (columns.step())
                keys.insert(columns.column(2).toString().toUpper());
        }
    }
    QList<FieldDescription> fields;
    db::Statement info(handle, QStringLiteral("PRAGMA table_info(%1)").arg(quoted), component);
    while (info.step()) {
        FieldDescription f;
        f.name = info.column(1).toString();
        const QString declared = info.column(2).toString().trimmed().toUpper();
        int size = 0;
        switch (db::fieldTypeFromDecl(declared, &size)) {
        case db::FieldType::Text:
            f.fieldType = QStringLiteral("string");
            f.width = size;
            break;
        case db::FieldType::Integer:
            f.fieldType = QStringLiteral("i4");
            break;
        case db::FieldType::Float:
            f.fieldType = QStringLiteral("r8");
            break;
        case db::FieldType::DateTime:
            f.fieldType = declared == QLatin1String("DATE") ? QStringLiteral("date") : QStringLiteral("dateTime");
            break;
        case db::FieldType::Memo:
            f.fieldType = QStringLiteral("bin.hex");
            f.textMemo = true;
            break;
        case db::FieldType::Blob:
            f.fieldType = QStringLiteral("bin.hex");
            break;
        }
        f.required = info.column(3).toInt() != 0 || info.column(5).toInt() != 0 || keys.contains(f.name.toUpper());
        fields << f;
    }
    if (fields.isEmpty())
        throw db::EngineError(component, QStringLiteral("Die Tabelle „%1“ fehlt in der Datenbank").arg(tableName));
    return fields;
}

QList<FieldDescription> describeSchemaTable(const QString& tableName)
{
    using Type = db::schema::FieldDef::Type;
    const db::schema::TableDef* table = db::schema::table(tableName);
    if (!table)
        throw db::Error(QStringLiteral("Die Tabelle %1 gehört nicht zur Stripothek").arg(tableName));
    QSet<QString> keys;
    for (const db::schema::IndexDef& index : table->indexes)
        if (index.unique)
            for (const QString& field : index.fields)
                keys.insert(field.toUpper());
    QList<FieldDescription> fields;
    for (const db::schema::FieldDef& def : table->fields) {
        FieldDescription f;
        f.name = def.name;
        switch (def.type) {
        case Type::Text:
            f.fieldType = QStringLiteral("string");
            f.width = def.size;
            break;
        case Type::Integer:
            f.fieldType = QStringLiteral("i4");
            break;
        case Type::Float:
            f.fieldType = QStringLiteral("r8");
            break;
        case Type::Memo:
            f.fieldType = QStringLiteral("bin.hex");
            f.textMemo = true;
            break;
        case Type::DateTime:
            f.fieldType = QStringLiteral("dateTime");
            break;
        }
        f.required = keys.contains(def.name.toUpper());
        fields << f;
    }
    return fields;
}

FieldKind kindOf(const FieldDescription& field)
{
    if (field.fieldType == QLatin1String("string"))
        return FieldKind::Text;
    if (field.fieldType == QLatin1String("i4"))
        return FieldKind::Integer;
    if (field.fieldType == QLatin1String("r8"))
        return FieldKind::Float;
    if (field.fieldType == QLatin1String("bin.hex"))
        return field.textMemo ? FieldKind::Memo : FieldKind::Blob;
    return FieldKind::Date;
}

namespace {
constexpr std::pair<Storage, const char*> kStorageNames[] = {
    {Storage::Null, "null"}, {Storage::Integer, "integer"}, {Storage::Real, "real"},
    {Storage::Text, "text"}, {Storage::Blob, "blob"}};
}

QString storageName(Storage storage)
{
    for (const auto& [s, name] : kStorageNames)
        if (s == storage)
            return QLatin1String(name);
    return {};
}

bool storageFromName(QStringView name, Storage* storage)
{
    for (const auto& [s, text] : kStorageNames)
        if (name == QLatin1String(text)) {
            *storage = s;
            return true;
        }
    return false;
}

qsizetype characterCount(QStringView text)
{
    qsizetype count = text.size();
    for (const QChar c : text)
        if (c.isLowSurrogate())
            --count;
    return count;
}

QString qtGerman(const char* context, const QString& text)
{
    static const QTranslator* const qtTexts = [] {
        static QTranslator translator;
        if (!translator.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                             QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            return static_cast<QTranslator*>(nullptr);
        return &translator;
    }();
    const QString german = qtTexts ? qtTexts->translate(context, text.toUtf8().constData()) : QString();
    return german.isEmpty() ? text : german;
}

QString fileErrorText(const QFileDevice& file)
{
    QString why;
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        why = QStringLiteral("keine Berechtigung");
        break;
    case QFileDevice::ResourceError:
        why = QStringLiteral("kein Platz mehr auf dem Datenträger oder zu wenig Speicher");
        break;
    case QFileDevice::ReadError:
        why = QStringLiteral("Lesefehler");
        break;
    case QFileDevice::WriteError:
        why = QStringLiteral("Schreibfehler; ist der Datenträger voll?");
        break;
    case QFileDevice::NoError:
        return QStringLiteral("unbekannter Fehler");
    default:
        why = QStringLiteral("Fehler des Dateisystems");
        break;
    }
    return why + QStringLiteral(" (") + file.errorString() + QLatin1Char(')');
}

bool isXmlText(const QString& text, int* badAt)
{
    const QChar* data = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i].unicode();
        if ((c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D) || c == 0xFFFE || c == 0xFFFF) {
            if (badAt)
                *badAt = int(i);
            return false;
        }
    }
    return true;
}

bool isXmlName(const QString& name)
{
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == QLatin1Char('_')))
        return false;
    for (const QChar c : name)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('.')))
            return false;
    return true;
}

} // namespace tools::packet
