#include "database/Connection.h"

#include "core/Errors.h"
#include "database/DataSet.h"
#include "database/GermanOrder.h"
#include "database/Schema.h"
#include "database/SearchIndex.h"
#include "database/SqliteFailureText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>
#include <sqlite3.h>

#include <mutex>

namespace db {

namespace {
const QString kFileName = QStringLiteral("stripothek.db");

// The open connections by their SQLite handle; a statement knows only the
// handle. Statements fail on other threads too (a query's reader), so every
// use holds the lock.
std::unordered_map<sqlite3*, Connection*>& openConnections()
{
    static std::unordered_map<sqlite3*, Connection*> all;
    return all;
}

std::mutex& openConnectionsLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

Connection::Connection(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

Connection::~Connection()
{
    disconnect();
}

QString Connection::databaseFile() const
{
    return QDir(m_directory).absoluteFilePath(kFileName);
}

QString createDatabaseCommand(const QString& databaseDirectory)
{
    // stripothek-db create makes the folder "database" below the directory it is given.
    QString dir = QFileInfo(QDir::cleanPath(QDir(databaseDirectory).absolutePath())).absolutePath();
    dir = QDir::toNativeSeparators(dir);
    static const QRegularExpression plain(QStringLiteral("^[\\w./+,:@%=-]+$"));
    if (!plain.match(dir).hasMatch())
        dir = QLatin1Char('\'') + dir.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
    return QStringLiteral("stripothek-db create ") + dir;
}

void Connection::connect()
{
    if (m_db)
        return;
    const QString file = databaseFile();
    const QFileInfo dir(QFileInfo(file).absolutePath());
    const QString shownDir = QDir::toNativeSeparators(dir.absoluteFilePath());
    if (dir.isDir() && !dir.isExecutable())
        throw EngineError(objectName(),
                          QStringLiteral("Der Ordner „%1“ darf nicht gelesen werden: Es fehlen Ihnen die Rechte dafür. "
                                         "Bitten Sie den Eigentümer, ihn freizugeben")
                              .arg(shownDir),
                          SQLITE_CANTOPEN);
    if (!dir.isDir() || !QFileInfo(file).isFile())
        throw EngineError(objectName(),
                          QStringLiteral("%1 Eine neue, leere Sammlung legt dort der Befehl „%2“ an")
                              .arg(dir.isDir() ? QStringLiteral("Im Ordner „%1“ gibt es keine Datenbankdatei "
                                                                "„stripothek.db“.")
                                                     .arg(shownDir)
                                               : QStringLiteral("Den Datenbankordner „%1“ gibt es nicht.").arg(shownDir),
                                   createDatabaseCommand(dir.absoluteFilePath())),
                          SQLITE_CANTOPEN);
    try {
        open(file, false);
    } catch (const EngineError& e) {
        // A collection on a CD, a share or in another user's folder: SQLite
        // cannot make the files beside it that readers of its log share.
        // Taken as it is, unchanging, it can still be read.
        if (!onlyReadableAsItIs(e.code(), file))
            throw;
        open(file, true);
    }
}

bool Connection::onlyReadableAsItIs(int code, const QString& file) const
{
    if (code != SQLITE_READONLY_DIRECTORY && (code & 0xff) != SQLITE_CANTOPEN)
        return false;
    const QFileInfo folder(QFileInfo(file).absolutePath());
    if (folder.isWritable() || !QFileInfo(file).isReadable())
        return false;
    // Changes still in the log would be passed over: the user would see an
    // older state of the collection without knowing it.
    const QFileInfo log(file + QStringLiteral("-wal"));
    if (log.exists() && log.size() > 0)
        throw EngineError(objectName(),
                          QStringLiteral("Die Sammlung im Ordner „%1“ lässt sich nur lesen, und ihre letzten Änderungen "
                                         "stehen noch in der Datei „stripothek.db-wal“: Das Programm, das sie zuletzt "
                                         "geändert hat, läuft noch oder wurde nicht beendet. Ohne Schreibrecht für den "
                                         "Ordner lassen sich diese Änderungen nicht lesen. Öffnen Sie die Sammlung "
                                         "einmal mit Schreibrecht, oder kopieren Sie den Ordner „database“ an einen "
                                         "Ort, an dem Sie schreiben dürfen, und öffnen Sie die Kopie")
                              .arg(QDir::toNativeSeparators(folder.absoluteFilePath())),
                          code);
    return true;
}

void Connection::open(const QString& file, bool asItIs)
{
    // "immutable": no locks and no files beside the database; the file is
    // read as it is. Only for folders the program may not write to.
    const QString name = asItIs ? QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1")
                                : file;
    const int flags = (m_readOnly || asItIs ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_URI;
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(name.toUtf8().constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const int code = handle ? sqlite3_extended_errcode(handle) : rc;
        const QString text = sqliteFailureText(code, QString::fromUtf8(sqlite3_errmsg(handle)), file);
        sqlite3_close(handle);
        throw EngineError(objectName(), text, code);
    }
    m_db = handle;
    m_asItIs = asItIs;
    m_damage.reset();
    {
        const std::lock_guard lock(openConnectionsLock());
        openConnections()[m_db] = this;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    addGermanOrderFunctions(m_db);
    // A damaged file should fail here, with a clear message, not at the first paint.
    try {
        Statement check(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master"), objectName());
        check.step();
        execute(QStringLiteral("PRAGMA foreign_keys=OFF"));
        execute(QStringLiteral("PRAGMA synchronous=FULL"));
        // A larger page cache keeps painting and walking a large catalogue
        // off the disk; 16 MB holds the catalogue's hot pages at 100,000 volumes.
        execute(QStringLiteral("PRAGMA cache_size=-16384"));
    } catch (const EngineError& e) {
        disconnect();
        // The statement already named what is wrong with the file in the user's words.
        if ((e.code() & 0xff) != SQLITE_ERROR)
            throw;
        throw EngineError(objectName(),
                          QStringLiteral("Die Datei „%1“ ist keine lesbare Stripothek-Datenbank (%2)")
                              .arg(QDir::toNativeSeparators(file), e.message()),
                          e.code());
    }
    // An older file's names get this version's German order, once.
    if (!m_readOnly && !onlyReadable()) {
        schema::upgradeGermanOrder(m_db);
        search::upgradeSearchIndex(m_db, m_upgradeProgress);
    }
    search::prepareSearch(m_db);
    sqlite3_commit_hook(m_db, &Connection::afterCommit, this);
    // What the opening itself wrote is no change of the user's.
    m_rowsChangedBefore -= sqlite3_total_changes64(m_db);
}

qint64 Connection::rowsChanged() const
{
    return m_rowsChangedBefore + (m_db ? sqlite3_total_changes64(m_db) : 0);
}

void Connection::disconnect() noexcept
{
    if (!m_db)
        return;
    // A read transaction only ends; a write transaction still open is
    // rolled back by closing. Errors no longer matter here.
    m_readOpen = false;
    m_cache.clear();
    ++m_statementGeneration;
    {
        const std::lock_guard lock(openConnectionsLock());
        openConnections().erase(m_db);
    }
    m_rowsChangedBefore += sqlite3_total_changes64(m_db);
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_inTransaction = false;
    m_exclusiveUsers = 0; // closing gave every lock back
}

sqlite3* Connection::handle() const
{
    if (!m_db)
        throw EngineError(objectName(), QStringLiteral("Keine Verbindung zur Datenbank"));
    if (m_damage)
        throw *m_damage;
    return m_db;
}

bool Connection::onlyReadable() const
{
    return m_db && sqlite3_db_readonly(m_db, "main") == 1;
}

void Connection::noteFailure(sqlite3* handle, const EngineError& error)
{
    if (!error.damaged())
        return;
    const std::lock_guard lock(openConnectionsLock());
    const auto it = openConnections().find(handle);
    if (it != openConnections().end() && !it->second->m_damage)
        it->second->m_damage = error;
}

Statement& Connection::cached(const QString& sql, const QString& component)
{
    handle(); // a damaged file is not read again, not even through a prepared statement
    auto it = m_cache.find(sql);
    if (it == m_cache.end())
        it = m_cache.emplace(sql, std::make_unique<Statement>(handle(), sql, component)).first;
    return *it->second;
}

void Connection::run(const QString& sql)
{
    Statement statement(handle(), sql, objectName());
    statement.exec();
}

void Connection::beginRead()
{
    if (m_readOpen || m_inTransaction || !m_db || sqlite3_get_autocommit(m_db) == 0)
        return;
    run(QStringLiteral("BEGIN"));
    m_readOpen = true;
    QTimer::singleShot(0, this, &Connection::endRead);
}

void Connection::endRead()
{
    if (!m_readOpen)
        return;
    m_readOpen = false;
    if (m_db && sqlite3_get_autocommit(m_db) == 0)
        run(QStringLiteral("COMMIT"));
}

void Connection::execute(const QString& sql, const QVariantList& params)
{
    endRead();
    Statement statement(handle(), sql, objectName());
    statement.bindAll(params);
    statement.exec();
}

int Connection::afterCommit(void* connection)
{
    auto* self = static_cast<Connection*>(connection);
    if (self->m_catchingUp || self->m_catchUpQueued.exchange(true))
        return 0;
    QMetaObject::invokeMethod(
        self,
        [self] {
            self->m_catchUpQueued = false;
            self->m_catchUpWanted = true;
            self->catchUpSearch();
        },
        Qt::QueuedConnection);
    return 0;
}

// Once the event loop runs again after a write: the user waits for nothing
// then, and the search no longer reads the folded texts of what was noted.
void Connection::catchUpSearch()
{
    if (!m_catchUpWanted || !m_db || m_damage || m_inTransaction || m_commandRunning || m_readOnly || exclusive())
        return;
    endRead();
    if (sqlite3_get_autocommit(m_db) == 0 || sqlite3_db_readonly(m_db, "main") != 0)
        return;
    m_catchUpWanted = false;
    m_catchingUp = true;
    const qint64 before = sqlite3_total_changes64(m_db);
    // Another program writing now: the notes wait for the next chance
    // rather than the user for that program.
    sqlite3_busy_timeout(m_db, 0);
    const auto restore = qScopeGuard([&] {
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        m_catchingUp = false;
        uncountChangesSince(before);
    });
    try {
        search::catchUp(m_db);
    } catch (const Error&) {
        // The search stays correct without it; a damaged file says so at the next use.
        m_catchUpWanted = true;
    }
}

void Connection::setCommandRunning(bool running)
{
    m_commandRunning = running;
    if (!running)
        catchUpSearch();
}

bool Connection::restoreSearch()
{
    const qint64 before = sqlite3_total_changes64(handle());
    const bool restored = search::upgradeSearchIndex(m_db, m_upgradeProgress);
    search::prepareSearch(m_db);
    uncountChangesSince(before);
    return restored;
}

void Connection::uncountChangesSince(qint64 totalChanges)
{
    m_rowsChangedBefore -= sqlite3_total_changes64(m_db) - totalChanges;
}

void Connection::startTransaction()
{
    if (m_inTransaction)
        throw EngineError(objectName(), QStringLiteral("Es läuft bereits eine Transaktion"));
    execute(QStringLiteral("BEGIN IMMEDIATE"));
    m_inTransaction = true;
    for (DataSet* dataSet : m_dataSets)
        dataSet->transactionStarted();
}

void Connection::commit()
{
    if (!m_inTransaction)
        throw EngineError(objectName(), QStringLiteral("Es läuft keine Transaktion"));
    execute(QStringLiteral("COMMIT"));
    m_inTransaction = false;
}

void Connection::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    // ROLLBACK can only fail when SQLite already rolled back by itself.
    if (sqlite3_get_autocommit(handle()) == 0)
        execute(QStringLiteral("ROLLBACK"));
    resyncAll();
}

void Connection::resyncAll()
{
    for (DataSet* dataSet : m_dataSets)
        dataSet->afterRollback();
}

QStringList Connection::listTables(const QString& mask) const
{
    QString pattern = mask;
    QString extension;
    const int dot = pattern.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        extension = pattern.mid(dot);
        pattern.truncate(dot);
    }
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    Statement list(handle(),
                   // Only tables of rows: not the search index, the tables SQLite keeps it in, nor its notes.
                   QStringLiteral("SELECT name FROM pragma_table_list WHERE schema = 'main' AND type = 'table' "
                                  "AND name NOT LIKE 'sqlite_%' AND name <> ?1 ORDER BY name"),
                   objectName());
    list.bindText(1, search::notesTable());
    QStringList names;
    while (list.step()) {
        const QString name = list.column(0).toString();
        if (re.match(name).hasMatch())
            names << name + extension;
    }
    return names;
}

void Connection::registerDataSet(DataSet* dataSet)
{
    m_dataSets.push_back(dataSet);
}

void Connection::unregisterDataSet(DataSet* dataSet)
{
    std::erase(m_dataSets, dataSet);
}

Transaction::Transaction(Connection& connection) : m_connection(connection)
{
    m_connection.startTransaction();
}

Transaction::~Transaction()
{
    if (m_open) {
        try {
            m_connection.rollback();
        } catch (...) {
        }
    }
}

void Transaction::commit()
{
    m_connection.commit();
    m_open = false;
}

} // namespace db
