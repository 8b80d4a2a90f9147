#include "database/ComicRules.h"

#include "database/ComicData.h"

#include "core/Errors.h"
#include "database/FieldNames.h"
#include "database/Isbn.h"
#include "database/Query.h"

#include <QScopedValueRollback>
#include <optional>

namespace f = db::fields;

namespace {

// Each detail table's own key and its link to the comic.
struct DetailKeys {
    db::Table& (ComicData::*table)();
    QLatin1String keyField;
    QLatin1String comicField;
};

const DetailKeys kDetails[] = {
    {&ComicData::tblComic2Autor, f::C2AID, f::C2ACOMICID},
    {&ComicData::tblAuflagen, f::ALAUFLAGEID, f::ALCOMICID},
    {&ComicData::tblComicLocal, f::LCLCOMICID, f::LCLSERVERCOMICID},
};

const QString kComicId = f::SCLCOMICID;

} // namespace

ComicRules::ComicRules(ComicData& data) : m_data(data)
{
    db::Table& catalogue = m_data.tblStripothek();
    catalogue.beforePost = [this](db::Table& table) { beforePost(table); };
    connect(&catalogue, &db::DataSet::stateChanged, this, &ComicRules::catalogueStateChanged);
}

ComicRules::~ComicRules()
{
    // The table outlives the rules by a moment while its owner goes.
    m_data.tblStripothek().beforePost = nullptr;
}

void ComicRules::beforePost(db::Table& table)
{
    if (table.state() == db::DataSetState::Insert && !m_pendingAuthors.empty() && !m_storingNewVolume)
        storeNewVolume(table);
    else
        tblStripothekBeforePost(table);
}

void ComicRules::tblStripothekBeforePost(db::Table& table)
{
    db::Field& id = table.fieldByName(f::SCLCOMICID);
    if (id.asString().isEmpty())
        id.setAsString(m_data.NewRecordKey());

    table.fieldByName(f::SCLINTISBNNR)
        .setAsString(db::ReduceIsbn(table.fieldByName(f::SCLISBNNR).asString()));

    // The same names the selection boxes show for this row.
    const db::Field& series = table.fieldByName(f::SCLSERIEID);
    table.fieldByName(f::SCLSERIENTEXT).setAsString(m_data.ShowReferenceName(series, series.value()));
    const db::Field& publisher = table.fieldByName(f::SCLVERLAGID);
    table.fieldByName(f::SCLVERLAGTEXT).setAsString(m_data.ShowReferenceName(publisher, publisher.value()));

    for (const QLatin1String flag : {f::SCLFEHLT, f::SCLZUKAUFEN}) {
        db::Field& field = table.fieldByName(flag);
        if (field.isNull())
            field.setAsInteger(0);
    }
}

void ComicRules::NewComic()
{
    db::Table& comic = m_data.tblStripothek();
    comic.append();
    comic.fieldByName(f::SCLFEHLT).setAsInteger(0);
}

void ComicRules::NewVolume()
{
    db::Table& comic = m_data.tblStripothek();
    comic.checkActive();
    // A volume still being edited is stored first, with any authors it was
    // waiting for, so that the copy is made from what is stored.
    if (comic.isEditing())
        comic.post();

    const bool fromComic = !comic.isEmpty();
    std::vector<PendingAuthor> authors;
    if (fromComic) {
        db::Table& assignments = m_data.tblComic2Autor();
        db::ControlsDisabled frozen(assignments);
        assignments.first();
        while (!assignments.eof()) {
            authors.push_back({assignments.fieldByName(f::C2AAUTORID).asString(),
                               assignments.fieldByName(f::C2AATID).asString()});
            assignments.next();
        }
    }

    static constexpr QLatin1String copied[] = {f::SCLVERLAGID, f::SCLSERIEID, f::SCLLITARTID,
                                               f::SCLSPARTEID, f::SCLISBNNR,   f::SCLSEITEN};
    QStringList values;
    for (const QLatin1String field : copied)
        values << (fromComic ? comic.fieldByName(field).asString() : QString());

    NewComic();
    for (int i = 0; i < values.size(); ++i)
        comic.fieldByName(copied[i]).setAsString(values[i]);
    m_pendingAuthors = std::move(authors);
}

void ComicRules::catalogueStateChanged()
{
    // The authors belong to the new volume alone: a row that leaves the
    // insert state without being stored takes them along.
    if (m_pendingAuthors.empty() || m_storingNewVolume
        || m_data.tblStripothek().state() == db::DataSetState::Insert)
        return;
    m_pendingAuthors.clear();
}

void ComicRules::storeNewVolume(db::Table& table)
{
    // Whoever posts (the save button, a move, a list command), the row and
    // its authors are stored together or not at all. The post is run from
    // here so that the transaction spans it; the table's own post, which
    // called this handler, then finds the row stored and ends.
    QVariantList typed;
    for (int i = 0; i < table.fieldCount(); ++i)
        typed << table.field(i).value();
    QScopedValueRollback storing(m_storingNewVolume, true);
    db::Connection& connection = m_data.dbConnection();
    db::Table& assignments = m_data.tblComic2Autor();
    const bool ownTransaction = !connection.inTransaction();
    try {
        std::optional<db::Transaction> transaction;
        if (ownTransaction)
            transaction.emplace(connection);
        table.post();
        const QString comicId = table.fieldByName(kComicId).asString();
        for (const PendingAuthor& author : m_pendingAuthors) {
            db::PendingRow assignment(assignments);
            assignments.fieldByName(f::C2AID).setAsString(m_data.NewRecordKey());
            assignments.fieldByName(f::C2AAUTORID).setAsString(author.authorId);
            assignments.fieldByName(f::C2AATID).setAsString(author.roleId);
            assignments.fieldByName(f::C2ACOMICID).setAsString(comicId);
            assignment.post();
        }
        if (transaction)
            transaction->commit();
    } catch (...) {
        // The rollback put the catalogue back in browse state; the user's
        // new volume returns as it was typed, its authors still pending, for
        // the next save.
        if (ownTransaction && !table.isEditing()) {
            table.append();
            for (int i = 0; i < table.fieldCount() && i < typed.size(); ++i)
                table.field(i).setValue(typed.at(i));
        }
        throw;
    }
    m_pendingAuthors.clear();
}

bool ComicRules::DeleteComic()
{
    db::Table& comic = m_data.tblStripothek();
    if (!comic.active() || comic.isEmpty())
        return false;
    // A new comic has no key yet and nothing stored to remove: the
    // statements below would hit every row that lacks a comic key.
    if (comic.state() == db::DataSetState::Insert) {
        comic.cancel();
        return false;
    }
    {
        db::ControlsDisabled frozen(comic);
        const QVariantList key{comic.fieldByName(kComicId).asString()};
        db::Connection& connection = m_data.dbConnection();
        db::Transaction transaction(connection);
        connection.execute(QStringLiteral("DELETE FROM COMIC2AUTOR WHERE (C2ACOMICID = ?)"), key);
        connection.execute(QStringLiteral("DELETE FROM AUFLAGEN WHERE (ALCOMICID = ?)"), key);
        connection.execute(QStringLiteral("DELETE FROM LOKALESTRIPOTHEK WHERE (LCLSERVERCOMICID = ?)"), key);
        comic.deleteRecord();
        transaction.commit();
    }
    // The lists dropped their rows behind the tables' backs.
    for (db::Table* detail : {&m_data.tblComic2Autor(), &m_data.tblAuflagen(), &m_data.tblComicLocal()})
        if (detail->active())
            detail->refresh();
    return true;
}

void ComicRules::CheckAuthorDeletable(const QString& authorId)
{
    if (authorId.isEmpty())
        return;
    // Keys compare exactly, whatever the column's collation.
    db::Query assigned(m_data.dbConnection(), QStringLiteral("qryAutorCheck"));
    assigned.setSql(QStringLiteral(
        "SELECT C2AID FROM COMIC2AUTOR WHERE C2AAUTORID = ? AND C2AAUTORID = ? COLLATE BINARY LIMIT 1"));
    assigned.setParams({authorId, authorId});
    assigned.open();
    if (!assigned.isEmpty())
        throw db::Error(QStringLiteral("Dieser Autor ist noch einem Comic zugeordnet"));
}

QString ComicRules::ComicKeyForNewDetail()
{
    db::Table& comic = m_data.tblStripothek();
    comic.checkActive();
    // A comic not yet stored has no key; storing it makes one, with the
    // derived fields, as every save does. A refusal ends the command.
    if (comic.isEditing() && comic.fieldByName(kComicId).asString().isEmpty())
        comic.post();
    const QString key = comic.isEmpty() ? QString() : comic.fieldByName(kComicId).asString();
    if (key.isEmpty())
        throw db::Abort(); // no comic to hang the row on
    return key;
}

void ComicRules::KeyNewDetailRow(db::Table& detail)
{
    for (const DetailKeys& d : kDetails) {
        if (&(m_data.*d.table)() != &detail)
            continue;
        const db::Table& catalogue = m_data.tblStripothek();
        const QString comic = catalogue.isEmpty() ? QString() : catalogue.fieldByName(kComicId).asString();
        if (comic.isEmpty())
            throw db::Abort();
        detail.fieldByName(d.keyField).setAsString(m_data.NewRecordKey());
        detail.fieldByName(d.comicField).setAsString(comic);
        return;
    }
    throw db::EngineError(detail.name(), QStringLiteral("Die Tabelle gehört zu keinem Comic"));
}

QString ComicRules::AddNamedRow(db::Table& table, const QString& keyField, const QString& nameField,
                                const QString& name)
{
    const QString key = m_data.NewRecordKey();
    db::PendingRow row(table);
    table.fieldByName(keyField).setAsString(key);
    table.fieldByName(nameField).setAsString(name);
    row.post();
    return key;
}
