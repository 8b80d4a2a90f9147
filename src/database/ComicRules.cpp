#include "database/ComicData.h"

#include "core/Errors.h"
#include "database/FieldNames.h"
#include "database/Query.h"

#include <QScopedValueRollback>
#include <optional>

namespace f = db::fields;

namespace {

// Each detail table's own key and its link to the comic.
struct DetailKeys {
    db::Table ComicData::*table;
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

void ComicData::NewComic()
{
    tblStripothek.append();
    tblStripothek.fieldByName(f::SCLFEHLT).setAsInteger(0);
}

void ComicData::NewVolume()
{
    db::Table& comic = tblStripothek;
    comic.checkActive();
    // A volume still being edited is stored first, with any authors it was
    // waiting for, so that the copy is made from what is stored.
    if (comic.isEditing())
        comic.post();

    const bool fromComic = !comic.isEmpty();
    std::vector<PendingAuthor> authors;
    if (fromComic) {
        db::ControlsDisabled frozen(tblComic2Autor);
        tblComic2Autor.first();
        while (!tblComic2Autor.eof()) {
            authors.push_back({tblComic2Autor.fieldByName(f::C2AAUTORID).asString(),
                               tblComic2Autor.fieldByName(f::C2AATID).asString()});
            tblComic2Autor.next();
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
    PendingAuthors = std::move(authors);
}

void ComicData::catalogueStateChanged()
{
    // The authors belong to the new volume alone: a row that leaves the
    // insert state without being stored takes them along.
    if (PendingAuthors.empty() || m_storingNewVolume || tblStripothek.state() == db::DataSetState::Insert)
        return;
    PendingAuthors.clear();
}

void ComicData::storeNewVolume(db::Table& table)
{
    // Whoever posts (the save button, a move, a list command), the row and
    // its authors are stored together or not at all. The post is run from
    // here so that the transaction spans it; the table's own post, which
    // called this handler, then finds the row stored and ends.
    QVariantList typed;
    for (int i = 0; i < table.fieldCount(); ++i)
        typed << table.field(i).value();
    QScopedValueRollback storing(m_storingNewVolume, true);
    const bool ownTransaction = !dbConnection.inTransaction();
    try {
        std::optional<db::Transaction> transaction;
        if (ownTransaction)
            transaction.emplace(dbConnection);
        table.post();
        const QString comicId = table.fieldByName(kComicId).asString();
        for (const PendingAuthor& author : PendingAuthors) {
            db::PendingRow assignment(tblComic2Autor);
            tblComic2Autor.fieldByName(f::C2AID).setAsString(NewRecordKey());
            tblComic2Autor.fieldByName(f::C2AAUTORID).setAsString(author.authorId);
            tblComic2Autor.fieldByName(f::C2AATID).setAsString(author.roleId);
            tblComic2Autor.fieldByName(f::C2ACOMICID).setAsString(comicId);
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
    PendingAuthors.clear();
}

bool ComicData::DeleteComic()
{
    db::Table& comic = tblStripothek;
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
        db::Transaction transaction(dbConnection);
        dbConnection.execute(QStringLiteral("DELETE FROM COMIC2AUTOR WHERE (C2ACOMICID = ?)"), key);
        dbConnection.execute(QStringLiteral("DELETE FROM AUFLAGEN WHERE (ALCOMICID = ?)"), key);
        dbConnection.execute(QStringLiteral("DELETE FROM LOKALESTRIPOTHEK WHERE (LCLSERVERCOMICID = ?)"), key);
        comic.deleteRecord();
        transaction.commit();
    }
    // The lists dropped their rows behind the tables' backs.
    for (db::Table* detail : {&tblComic2Autor, &tblAuflagen, &tblComicLocal})
        if (detail->active())
            detail->refresh();
    return true;
}

void ComicData::CheckAuthorDeletable(const QString& authorId)
{
    if (authorId.isEmpty())
        return;
    // Keys compare exactly, whatever the column's collation.
    db::Query assigned(dbConnection, QStringLiteral("qryAutorCheck"));
    assigned.setSql(QStringLiteral(
        "SELECT C2AID FROM COMIC2AUTOR WHERE C2AAUTORID = ? AND C2AAUTORID = ? COLLATE BINARY LIMIT 1"));
    assigned.setParams({authorId, authorId});
    assigned.open();
    if (!assigned.isEmpty())
        throw db::Error(QStringLiteral("Dieser Autor ist noch einem Comic zugeordnet"));
}

QString ComicData::ComicKeyForNewDetail()
{
    db::Table& comic = tblStripothek;
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

void ComicData::KeyNewDetailRow(db::Table& detail)
{
    for (const DetailKeys& d : kDetails) {
        if (&(this->*d.table) != &detail)
            continue;
        const QString comic = tblStripothek.isEmpty() ? QString() : tblStripothek.fieldByName(kComicId).asString();
        if (comic.isEmpty())
            throw db::Abort();
        detail.fieldByName(d.keyField).setAsString(NewRecordKey());
        detail.fieldByName(d.comicField).setAsString(comic);
        return;
    }
    throw db::EngineError(detail.name(), QStringLiteral("Die Tabelle gehört zu keinem Comic"));
}

QString ComicData::AddNamedRow(db::Table& table, const QString& keyField, const QString& nameField,
                               const QString& name)
{
    const QString key = NewRecordKey();
    db::PendingRow row(table);
    table.fieldByName(keyField).setAsString(key);
    table.fieldByName(nameField).setAsString(name);
    row.post();
    return key;
}
