#include "database/ComicData.h"

#include "database/RecordKeys.h"

namespace {
struct Reference {
    const char* field;
    db::Table ComicData::*lookup;
    const char* keyField;
    const char* nameField;
};

// The one handler serves every reference field; the field's name picks the lookup.
const Reference kReferences[] = {
    {"SCLSERIEID", &ComicData::tblSerie, "SRSERIENID", "SRNAME"},
    {"SCLVERLAGID", &ComicData::tblVerlage, "VLVERLAGID", "VLNAME1"},
    {"C2AAUTORID", &ComicData::tblAutoren, "ANAUTORID", "ANNAME"},
    {"C2AATID", &ComicData::tblAutortyp, "ATID", "ATTYP"},
    {"ALAUSFUEHRUNGID1", &ComicData::tblAusfuehrungen, "AFAUSFID", "AFNAME"},
    {"LCLZUSTANDID", &ComicData::tblZustandsarten, "ZWID", "ZWNAME"},
    {"LCLAUSFUEHRUNGID1", &ComicData::tblAusfuehrungen, "AFAUSFID", "AFNAME"},
    {"LCLAUSFUEHRUNGID2", &ComicData::tblAusfuehrungen, "AFAUSFID", "AFNAME"},
};
} // namespace

ComicData::ComicData(QObject* parent) : QObject(parent)
{
    tblStripothek.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    tblComic2Autor.setIndexName(QStringLiteral("NKC2ACOMICID"));
    tblComic2Autor.setMasterSource(&srcStripothek, QStringLiteral("SCLCOMICID"));
    tblAuflagen.setIndexName(QStringLiteral("NKALCOMICID"));
    tblAuflagen.setMasterSource(&srcStripothek, QStringLiteral("SCLCOMICID"));
    tblComicLocal.setIndexFieldNames(QStringLiteral("LCLSERVERCOMICID"));
    tblComicLocal.setMasterSource(&srcStripothek, QStringLiteral("SCLCOMICID"));
    tblVerlage.setIndexName(QStringLiteral("NKVLNAME1"));
    tblAutoren.setIndexName(QStringLiteral("NKANNAME"));
}

ComicData::~ComicData()
{
    CloseTables();
    PendingAuthors.clear();
}

std::vector<db::Table*> ComicData::tables()
{
    return {&tblStripothek, &tblComic2Autor, &tblAuflagen, &tblComicLocal, &tblVerlage,
            &tblSerie, &tblAutoren, &tblAutortyp, &tblAusfuehrungen, &tblZustandsarten,
            &tblLitart, &tblUnterart, &tblKeyGen};
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

QString ComicData::ShowReferenceName(const db::Field& sender, const QVariant& value) const
{
    const QString id = value.toString();
    if (id.isEmpty())
        return {};
    for (const Reference& ref : kReferences) {
        if (sender.fieldName().compare(QLatin1String(ref.field), Qt::CaseInsensitive) != 0)
            continue;
        const db::Table& lookup = this->*ref.lookup;
        return lookup.lookup(QLatin1String(ref.keyField), id, QLatin1String(ref.nameField)).toString();
    }
    return {};
}

void ComicData::OpenTables()
{
    dbConnection.connect();
    for (db::Table* t : {&tblAutortyp, &tblAutoren, &tblVerlage, &tblSerie, &tblZustandsarten, &tblLitart,
                         &tblUnterart, &tblAusfuehrungen})
        t->open();

    tblStripothek.open();
    InstallNameDisplay(tblStripothek, QStringLiteral("SCLSERIEID"));
    InstallNameDisplay(tblStripothek, QStringLiteral("SCLVERLAGID"));
    tblStripothek.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    tblStripothek.first();

    tblComic2Autor.open();
    InstallNameDisplay(tblComic2Autor, QStringLiteral("C2AAUTORID"));
    InstallNameDisplay(tblComic2Autor, QStringLiteral("C2AATID"));

    tblAuflagen.open();
    InstallNameDisplay(tblAuflagen, QStringLiteral("ALAUSFUEHRUNGID1"));

    tblComicLocal.open();
    InstallNameDisplay(tblComicLocal, QStringLiteral("LCLZUSTANDID"));
    InstallNameDisplay(tblComicLocal, QStringLiteral("LCLAUSFUEHRUNGID1"));
    InstallNameDisplay(tblComicLocal, QStringLiteral("LCLAUSFUEHRUNGID2"));

    tblKeyGen.open();
    Q_EMIT tablesOpened();
}

void ComicData::CloseTables()
{
    for (db::Table* t : {&tblKeyGen, &tblStripothek, &tblComic2Autor, &tblAuflagen, &tblVerlage, &tblSerie,
                         &tblZustandsarten, &tblLitart, &tblUnterart, &tblAutoren, &tblAusfuehrungen,
                         &tblAutortyp, &tblComicLocal}) {
        t->cancel();
        t->close();
    }
}

QString ComicData::NewRecordKey()
{
    return db::drawRecordKey(tblKeyGen);
}
