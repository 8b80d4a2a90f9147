#include "server/CatalogueLookup.h"

#include "core/Errors.h"
#include "database/GermanOrder.h"
#include "database/Isbn.h"

namespace server {
namespace {

// A leading "ISBN" survives the reduction, so it is taken off the search and
// both forms are looked for: "ISBN 3-551-..." and "3551..." name one book.
const QString kPrefix = QStringLiteral("ISBN");

// Names come through the references, as the program shows them; the names
// copied into the catalogue stand in when a reference leads nowhere. Every
// join compares case-blind first, so that the key indexes serve it. The few
// entries of one ISBN are sorted as found, so no key column is needed.
const QString kSql = QStringLiteral(
    "SELECT s.SCLTITEL1, s.SCLTITEL2, s.SCLTITEL3, COALESCE(v.VLNAME1, s.SCLVERLAGTEXT),"
    " COALESCE(r.SRNAME, s.SCLSERIENTEXT), s.SCLBAND, s.SCLSEITEN, s.SCLISBNNR, l.LANAME, u.UANAME"
    " FROM SERVERSTRIPOTHEK s"
    " LEFT JOIN VERLAGE v ON v.VLVERLAGID = s.SCLVERLAGID COLLATE NOCASE AND v.VLVERLAGID = s.SCLVERLAGID"
    " LEFT JOIN SERIEN r ON r.SRSERIENID = s.SCLSERIEID COLLATE NOCASE AND r.SRSERIENID = s.SCLSERIEID"
    " LEFT JOIN LITERATURART l ON l.LAARTID = s.SCLLITARTID COLLATE NOCASE AND l.LAARTID = s.SCLLITARTID"
    " LEFT JOIN UNTERART u ON u.UATID = s.SCLSPARTEID COLLATE NOCASE AND u.UATID = s.SCLSPARTEID"
    " WHERE s.SCLINTISBNNR COLLATE NOCASE IN (?1, ?2)"
    " ORDER BY %1, s.SCLBAND, s.rowid LIMIT 1").arg(db::germanKeyCall(QStringLiteral("s.SCLSERIENTEXT")));

// Numbers go out as the program shows them; a field left empty stays empty.
QString text(const QVariant& value)
{
    return value.isNull() ? QString() : value.toString();
}

} // namespace

CatalogueLookup::CatalogueLookup(const QString& directory)
{
    m_connection.setDatabasePath(directory + QStringLiteral("/database"));
    m_connection.setReadOnly(true);
    m_connection.connect();
    // Prepared once here, so that a file without a catalogue fails at the start.
    m_connection.cached(kSql, QStringLiteral("tblStripothek"));
}

std::optional<QStringList> CatalogueLookup::comicByIsbn(const QString& isbn)
{
    QString reduced = db::ReduceIsbn(isbn);
    if (reduced.startsWith(kPrefix))
        reduced.remove(0, kPrefix.size());
    if (reduced.isEmpty())
        return std::nullopt;

    db::Statement& statement = m_connection.cached(kSql, QStringLiteral("tblStripothek"));
    // Ends the read on every way out, so no reader keeps a snapshot of the
    // file between two requests.
    const db::StatementReset reset(statement);
    statement.bind(1, reduced);
    statement.bind(2, kPrefix + reduced);
    if (!statement.step())
        return std::nullopt;
    QStringList values;
    for (int column = 0; column < statement.columnCount(); ++column)
        values.append(text(statement.column(column)));
    return values;
}

} // namespace server
