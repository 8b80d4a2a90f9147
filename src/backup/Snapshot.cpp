#include "backup/Snapshot.h"

#include "database/SqliteFailureText.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSet>
#include <sqlite3.h>

namespace backup {

namespace {

QString shown(const QString& file)
{
    return QDir::toNativeSeparators(file);
}

// The file header was not one of SQLite's, or it is torn: nothing in it is a catalogue.
bool notADatabase(const db::EngineError& e)
{
    return (e.code() & 0xff) == SQLITE_NOTADB;
}

} // namespace

qint64 Snapshot::rows(const QString& table) const
{
    for (const auto& [name, count] : tableRows)
        if (name == table)
            return count;
    return -1;
}

qint64 Snapshot::volumes() const
{
    return rows(QStringLiteral("SERVERSTRIPOTHEK"));
}

qint64 Snapshot::ownCopies() const
{
    return rows(QStringLiteral("LOKALESTRIPOTHEK"));
}

Handle::Handle(const QString& file, Mode mode) : m_file(file)
{
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
                      : mode == Mode::ReadWrite ? SQLITE_OPEN_READWRITE
                                                : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(file.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw db::EngineError({}, db::sqliteFailureText(rc, text, file), rc);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
}

Handle::~Handle()
{
    sqlite3_close_v2(m_db);
}

void Handle::close()
{
    if (!m_db)
        return;
    const int rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw db::EngineError({}, db::sqliteFailureText(rc, text, m_file), rc);
    }
    m_db = nullptr;
}

void Handle::exec(const QString& sql)
{
    db::Statement(m_db, sql).exec();
}

QVariant Handle::value(const QString& sql)
{
    db::Statement statement(m_db, sql);
    return statement.step() ? statement.column(0) : QVariant();
}

Snapshot readSnapshot(sqlite3* db)
{
    Snapshot snapshot;
    for (const auto& table : db::schema::tables()) {
        db::Statement count(db, QStringLiteral("SELECT count(*) FROM %1").arg(table.name));
        count.step();
        snapshot.tableRows.append({table.name, count.columnInt64(0)});
    }
    db::Statement keys(db, QStringLiteral("SELECT * FROM KEYGEN ORDER BY rowid"));
    while (keys.step())
        for (int c = 0; c < keys.columnCount(); ++c)
            snapshot.keyCounter << keys.column(c);
    return snapshot;
}

void quickCheck(Handle& db, const QString& shownName)
{
    QStringList findings;
    try {
        db::Statement check(db.get(), QStringLiteral("PRAGMA quick_check"));
        // One row may hold many findings, one a line, under a heading line.
        while (check.step())
            for (const QString& line : check.column(0).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                if (!line.startsWith(QLatin1String("***")))
                    findings << line;
    } catch (const db::EngineError& e) {
        if (!e.damaged())
            throw;
        findings << QString::fromUtf8(sqlite3_errstr(e.code()));
    }
    if (findings != QStringList{QStringLiteral("ok")})
        throw db::Error(QStringLiteral("%1 ist beschädigt (SQLite meldet: %2%3)")
                            .arg(shownName, findings.mid(0, 2).join(QStringLiteral("; ")),
                                 findings.size() > 2 ? QStringLiteral(" …") : QString()));
}

void checkLayout(Handle& db, const QString& shownName)
{
    const QString foreign = QStringLiteral("%1 ist keine Datenbank der Stripothek").arg(shownName);
    try {
        const int applicationId = db.value(QStringLiteral("PRAGMA application_id")).toInt();
        // Files made before the id was written carry 0; their tables decide.
        if (applicationId != 0 && applicationId != db::schema::kApplicationId)
            throw db::Error(foreign + QStringLiteral(" (sie gehört zu einem anderen Programm)"));
        const int version = db.value(QStringLiteral("PRAGMA user_version")).toInt();
        if (version > db::schema::kSchemaVersion)
            throw db::Error(QStringLiteral("%1 stammt von einer neueren Version der Stripothek (Aufbau %2, "
                                           "diese Version kennt Aufbau %3) und kann hier nicht verwendet werden")
                                .arg(shownName)
                                .arg(version)
                                .arg(db::schema::kSchemaVersion));
        for (const auto& table : db::schema::tables()) {
            QSet<QString> columns;
            db::Statement info(db.get(), QStringLiteral("PRAGMA table_info(%1)").arg(table.name));
            while (info.step())
                columns.insert(info.column(1).toString().toUpper());
            if (columns.isEmpty())
                throw db::Error(foreign + QStringLiteral(": ihr fehlt die Tabelle %1").arg(table.name));
            for (const auto& field : table.fields)
                if (!columns.contains(field.name))
                    throw db::Error(QStringLiteral("%1 passt nicht zur Stripothek: der Tabelle %2 fehlt die Spalte %3")
                                        .arg(shownName, table.name, field.name));
        }
    } catch (const db::EngineError& e) {
        if (notADatabase(e))
            throw db::Error(foreign + QStringLiteral(" (keine SQLite-Datei, oder ihr Kopf ist zerstört)"));
        if (e.damaged())
            throw db::Error(QStringLiteral("%1 ist beschädigt (SQLite meldet: %2)")
                                .arg(shownName, QString::fromUtf8(sqlite3_errstr(e.code()))));
        throw;
    }
}

Snapshot checkCatalogueFile(const QString& file)
{
    const QString name = QStringLiteral("Die Datei „%1“").arg(shown(file));
    Handle db(file, Handle::Mode::ReadOnly);
    checkLayout(db, name);
    quickCheck(db, name);
    return readSnapshot(db.get());
}

QByteArray contentDigest(sqlite3* db)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const auto& table : db::schema::tables()) {
        hash.addData(table.name.toUtf8());
        db::Statement rows(db, QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table.name));
        sqlite3_stmt* s = rows.raw();
        while (rows.step()) {
            for (int c = 0; c < rows.columnCount(); ++c) {
                const int type = sqlite3_column_type(s, c);
                const char tag = char('0' + type);
                hash.addData(QByteArrayView(&tag, 1));
                if (type == SQLITE_INTEGER) {
                    const qint64 v = sqlite3_column_int64(s, c);
                    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v));
                } else if (type == SQLITE_FLOAT) {
                    const double v = sqlite3_column_double(s, c);
                    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&v), sizeof v));
                } else if (type != SQLITE_NULL) {
                    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, c));
                    const int size = sqlite3_column_bytes(s, c);
                    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
                    hash.addData(QByteArrayView(bytes, size));
                }
            }
        }
    }
    return hash.result();
}

} // namespace backup
