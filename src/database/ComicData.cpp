#include "database/ComicData.h"

#include "database/FieldNames.h"
#include "database/RecordKeys.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QDir>

namespace f = db::fields;

namespace {
struct Reference {
    QLatin1String field;
    db::Table& (ComicData::*lookup)();
    QLatin1String keyField;
    QLatin1String nameField;
};

// The one handler serves every reference field; the field's name picks the lookup.
const Reference kReferences[] = {
    {f::SCLSERIEID, &ComicData::tblSerie, f::SRSERIENID, f::SRNAME},
    {f::SCLVERLAGID, &ComicData::tblVerlage, f::VLVERLAGID, f::VLNAME1},
    {f::C2AAUTORID, &ComicData::tblAutoren, f::ANAUTORID, f::ANNAME},
    {f::C2AATID, &ComicData::tblAutortyp, f::ATID, f::ATTYP},
    {f::ALAUSFUEHRUNGID1, &ComicData::tblAusfuehrungen, f::AFAUSFID, f::AFNAME},
    {f::LCLZUSTANDID, &ComicData::tblZustandsarten, f::ZWID, f::ZWNAME},
    {f::LCLAUSFUEHRUNGID1, &ComicData::tblAusfuehrungen, f::AFAUSFID, f::AFNAME},
    {f::LCLAUSFUEHRUNGID2, &ComicData::tblAusfuehrungen, f::AFAUSFID, f::AFNAME},
};
QString shownType(db::FieldType type, int size)
{
    using T = db::schema::FieldDef::Type;
    switch (type) {
    case db::FieldType::Text:
        return db::schema::sqlType({{}, T::Text, size});
    case db::FieldType::Integer:
        return db::schema::sqlType({{}, T::Integer, 0});
    case db::FieldType::Float:
        return db::schema::sqlType({{}, T::Float, 0});
    case db::FieldType::Memo:
        return db::schema::sqlType({{}, T::Memo, 0});
    case db::FieldType::DateTime:
        return db::schema::sqlType({{}, T::DateTime, 0});
    case db::FieldType::Blob:
        break;
    }
    return QStringLiteral("BLOB");
}

db::FieldType fieldTypeOf(db::schema::FieldDef::Type type)
{
    using T = db::schema::FieldDef::Type;
    switch (type) {
    case T::Text:
        return db::FieldType::Text;
    case T::Integer:
        return db::FieldType::Integer;
    case T::Float:
        return db::FieldType::Float;
    case T::Memo:
        return db::FieldType::Memo;
    case T::DateTime:
        return db::FieldType::DateTime;
    }
    return db::FieldType::Blob;
}

// A table whose fields differ from what the program stores would make every
// save fail far from the cause, or cut texts short: refuse it at opening,
// naming the table and the field.
void checkFields(db::Table& table)
{
    const db::schema::TableDef* def = db::schema::table(table.tableName());
    if (!def)
        return;
    QString problem;
    for (const db::schema::FieldDef& expected : def->fields) {
        const db::Field* f = table.findField(expected.name);
        if (!f) {
            problem = QStringLiteral("In der Tabelle „%1“ fehlt das Feld „%2“ (%3)")
                          .arg(def->name, expected.name, db::schema::sqlType(expected));
            break;
        }
        const bool sameType = f->dataType() == fieldTypeOf(expected.type)
                              && (expected.type != db::schema::FieldDef::Type::Text || f->size() == expected.size);
        if (!sameType) {
            problem = QStringLiteral("Das Feld „%1“ der Tabelle „%2“ hat den Typ %3, erwartet ist %4")
                          .arg(expected.name, def->name, shownType(f->dataType(), f->size()),
                               db::schema::sqlType(expected));
            break;
        }
    }
    if (problem.isEmpty())
        return;
    table.close();
    throw db::EngineError(table.name(),
                          problem + QStringLiteral(". Die Datenbank „%1“ passt nicht zu diesem Programm")
                                        .arg(QDir::toNativeSeparators(table.connection().databaseFile())));
}

// Only files made by stripothek-db carry its mark; any other SQLite file (an
// empty one, another program's) is named as what it is, not as a missing table.
void checkApplicationId(db::Connection& connection)
{
    db::Statement id(connection.handle(), QStringLiteral("PRAGMA application_id"), connection.objectName());
    const qint64 found = id.step() ? id.columnInt64(0) : 0;
    if (found == db::schema::kApplicationId)
        return;
    const QString file = QDir::toNativeSeparators(connection.databaseFile());
    connection.disconnect();
    throw db::EngineError(connection.objectName(),
                          QStringLiteral("Die Datei „%1“ ist keine Stripothek-Datenbank: Ihr fehlt die Kennung, die "
                                         "„stripothek-db“ in jede Datenbank schreibt. Verschieben Sie die Datei; "
                                         "danach legt „%2“ dort eine neue, leere Sammlung an")
                              .arg(file, db::createDatabaseCommand(connection.databasePath())));
}

} // namespace

ComicData::ComicData(QObject* parent) : QObject(parent)
{
    m_tblStripothek.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    m_tblComic2Autor.setIndexName(QStringLiteral("NKC2ACOMICID"));
    m_tblComic2Autor.setMasterSource(&m_srcStripothek, f::SCLCOMICID);
    m_tblAuflagen.setIndexName(QStringLiteral("NKALCOMICID"));
    m_tblAuflagen.setMasterSource(&m_srcStripothek, f::SCLCOMICID);
    m_tblComicLocal.setIndexFieldNames(f::LCLSERVERCOMICID);
    m_tblComicLocal.setMasterSource(&m_srcStripothek, f::SCLCOMICID);
    m_tblVerlage.setIndexName(QStringLiteral("NKVLNAME1"));
    m_tblAutoren.setIndexName(QStringLiteral("NKANNAME"));
}

ComicData::~ComicData()
{
    // Closing reads nothing; a destructor must not throw all the same.
    try {
        CloseTables();
    } catch (...) {
    }
}

std::vector<db::Table*> ComicData::tables()
{
    return {&m_tblStripothek, &m_tblComic2Autor, &m_tblAuflagen, &m_tblComicLocal, &m_tblVerlage,
            &m_tblSerie, &m_tblAutoren, &m_tblAutortyp, &m_tblAusfuehrungen, &m_tblZustandsarten,
            &m_tblLitart, &m_tblUnterart, &m_tblKeyGen};
}

db::Table* ComicData::tableByName(const QString& componentName)
{
    for (db::Table* t : tables())
        if (t->name() == componentName)
            return t;
    return nullptr;
}

void ComicData::InstallNameDisplay(db::Table& table, const QString& fieldName)
{
    table.fieldByName(fieldName).setOnGetText(
        [this](const db::Field& sender, const QVariant& value) { return ShowReferenceName(sender, value); });
}

void ComicData::InstallNameDisplays(db::Table& table)
{
    // Lookup tables have no reference fields; for them nothing is installed.
    for (const Reference& ref : kReferences)
        if (table.findField(ref.field))
            InstallNameDisplay(table, ref.field);
}

QString ComicData::ShowReferenceName(const db::Field& sender, const QVariant& value)
{
    const QString id = value.toString();
    if (id.isEmpty())
        return {};
    for (const Reference& ref : kReferences) {
        if (sender.fieldName().compare(ref.field, Qt::CaseInsensitive) != 0)
            continue;
        const db::Table& lookup = (this->*ref.lookup)();
        if (!m_rememberedNames)
            return lookup.lookup(ref.keyField, id, ref.nameField).toString();
        const QString key = ref.field + QChar(0x1f) + id;
        if (const auto found = m_rememberedNames->constFind(key); found != m_rememberedNames->constEnd())
            return *found;
        const QString name = lookup.lookup(ref.keyField, id, ref.nameField).toString();
        if (!name.isEmpty()) // a row made later under that id is found then
            m_rememberedNames->insert(key, name);
        return name;
    }
    return {};
}

void ComicData::OpenTables()
{
    const bool connecting = !m_dbConnection.connected();
    m_dbConnection.connect();
    if (connecting)
        checkApplicationId(m_dbConnection);
    const auto open = [](db::Table& table) {
        table.open();
        checkFields(table);
    };
    for (db::Table* t : {&m_tblAutortyp, &m_tblAutoren, &m_tblVerlage, &m_tblSerie, &m_tblZustandsarten,
                         &m_tblLitart, &m_tblUnterart, &m_tblAusfuehrungen})
        open(*t);

    open(m_tblStripothek);
    InstallNameDisplay(m_tblStripothek, f::SCLSERIEID);
    InstallNameDisplay(m_tblStripothek, f::SCLVERLAGID);
    m_tblStripothek.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    m_tblStripothek.first();

    open(m_tblComic2Autor);
    InstallNameDisplay(m_tblComic2Autor, f::C2AAUTORID);
    InstallNameDisplay(m_tblComic2Autor, f::C2AATID);

    open(m_tblAuflagen);
    InstallNameDisplay(m_tblAuflagen, f::ALAUSFUEHRUNGID1);

    open(m_tblComicLocal);
    InstallNameDisplay(m_tblComicLocal, f::LCLZUSTANDID);
    InstallNameDisplay(m_tblComicLocal, f::LCLAUSFUEHRUNGID1);
    InstallNameDisplay(m_tblComicLocal, f::LCLAUSFUEHRUNGID2);

    open(m_tblKeyGen);
    Q_EMIT tablesOpened();
}

void ComicData::CloseTables()
{
    // Closing drops a pending row without reading or writing anything; the
    // details follow the closing catalogue the same way, so an edited edition,
    // own copy or assignment is dropped too, not stored on the way out.
    for (db::Table* t : {&m_tblKeyGen, &m_tblStripothek, &m_tblComic2Autor, &m_tblAuflagen, &m_tblVerlage,
                         &m_tblSerie, &m_tblZustandsarten, &m_tblLitart, &m_tblUnterart, &m_tblAutoren,
                         &m_tblAusfuehrungen, &m_tblAutortyp, &m_tblComicLocal})
        t->close();
}

QString ComicData::NewRecordKey()
{
    return db::drawRecordKey(m_tblKeyGen);
}
