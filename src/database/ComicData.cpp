#include "database/ComicData.h"

#include "database/Isbn.h"
#include "database/RecordKeys.h"
#include "database/Statement.h"

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

    tblStripothek.beforePost = [this](db::Table& table) {
        m_postingNewRow = table.state() == db::DataSetState::Insert;
        tblStripothekBeforePost(table);
        if (m_postingNewRow)
            m_postingKey = table.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    };
    tblStripothek.afterPost = [this](db::Table& table) { catalogueAfterPost(table); };
    connect(&tblStripothek, &db::DataSet::stateChanged, this, &ComicData::catalogueStateChanged);
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

void ComicData::InstallNameDisplays(db::Table& table)
{
    // Lookup tables have no reference fields; for them nothing is installed.
    for (const Reference& ref : kReferences)
        if (table.findField(QLatin1String(ref.field)))
            InstallNameDisplay(table, QLatin1String(ref.field));
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

void ComicData::tblStripothekBeforePost(db::Table& table)
{
    db::Field& id = table.fieldByName(QStringLiteral("SCLCOMICID"));
    if (id.asString().isEmpty())
        id.setAsString(NewRecordKey());

    table.fieldByName(QStringLiteral("SCLINTISBNNR"))
        .setAsString(db::ReduceIsbn(table.fieldByName(QStringLiteral("SCLISBNNR")).asString()));

    // The same names the selection boxes show for this row.
    const db::Field& series = table.fieldByName(QStringLiteral("SCLSERIEID"));
    table.fieldByName(QStringLiteral("SCLSERIENTEXT")).setAsString(ShowReferenceName(series, series.value()));
    const db::Field& publisher = table.fieldByName(QStringLiteral("SCLVERLAGID"));
    table.fieldByName(QStringLiteral("SCLVERLAGTEXT")).setAsString(ShowReferenceName(publisher, publisher.value()));

    for (const char* flag : {"SCLFEHLT", "SCLZUKAUFEN"}) {
        db::Field& f = table.fieldByName(QLatin1String(flag));
        if (f.isNull())
            f.setAsInteger(0);
    }
}

void ComicData::AdoptPendingAuthors()
{
    m_pendingOwner.clear();
    m_postingKey.clear();
    m_pendingForNewRow = tblStripothek.state() == db::DataSetState::Insert;
    if (!m_pendingForNewRow)
        PendingAuthors.clear();
}

void ComicData::DiscardPendingAuthors()
{
    PendingAuthors.clear();
    m_pendingForNewRow = false;
    m_pendingOwner.clear();
}

bool ComicData::comicStored(const QString& comicId)
{
    if (comicId.isEmpty())
        return false;
    db::Statement& find = dbConnection.cached(
        QStringLiteral("SELECT 1 FROM %1 WHERE SCLCOMICID = ? LIMIT 1").arg(tblStripothek.tableName()),
        tblStripothek.name());
    find.bind(1, comicId);
    bool found = false;
    try {
        found = find.step();
    } catch (...) {
        find.reset();
        throw;
    }
    find.reset();
    return found;
}

void ComicData::catalogueStateChanged()
{
    if (!m_pendingForNewRow || tblStripothek.state() == db::DataSetState::Insert)
        return;
    // The table reports leaving the insert state before its after-post
    // handler runs; a row that really reached the file is being stored and
    // takes its authors there. Any other way out of the insert state drops
    // the new volume, and its authors with it.
    if (m_postingNewRow && comicStored(m_postingKey))
        return;
    DiscardPendingAuthors();
}

void ComicData::catalogueAfterPost(db::Table& table)
{
    const QString comicId = table.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    if (m_postingNewRow && m_pendingForNewRow) {
        m_pendingForNewRow = false;
        m_pendingOwner = comicId;
    }
    m_postingNewRow = false;
    if (!PendingAuthors.empty() && !m_pendingOwner.isEmpty() && comicId == m_pendingOwner)
        storePendingAuthors(comicId);
}

void ComicData::storePendingAuthors(const QString& comicId)
{
    // Each assignment leaves the list once it is stored, so after an error
    // the rest is still waiting for the same comic's next save.
    while (!PendingAuthors.empty()) {
        const PendingAuthor author = PendingAuthors.front();
        tblComic2Autor.append();
        try {
            tblComic2Autor.fieldByName(QStringLiteral("C2AID")).setAsString(NewRecordKey());
            tblComic2Autor.fieldByName(QStringLiteral("C2AAUTORID")).setAsString(author.authorId);
            tblComic2Autor.fieldByName(QStringLiteral("C2AATID")).setAsString(author.roleId);
            tblComic2Autor.fieldByName(QStringLiteral("C2ACOMICID")).setAsString(comicId);
            tblComic2Autor.post();
        } catch (...) {
            tblComic2Autor.cancel();
            throw;
        }
        PendingAuthors.erase(PendingAuthors.begin());
    }
    m_pendingOwner.clear();
}
