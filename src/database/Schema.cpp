#include "database/Schema.h"

#include "core/Errors.h"
#include "database/GermanOrder.h"
#include "database/SearchIndex.h"
#include "database/SqliteFailureText.h"
#include "database/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QVariant>

#include <cerrno>
#include <sqlite3.h>

#include <limits>

namespace db::schema {

namespace {

using Type = FieldDef::Type;

FieldDef text(const char* name, int size) { return {QString::fromLatin1(name), Type::Text, size}; }
FieldDef integer(const char* name) { return {QString::fromLatin1(name), Type::Integer, 0}; }
FieldDef real(const char* name) { return {QString::fromLatin1(name), Type::Float, 0}; }
FieldDef memo(const char* name) { return {QString::fromLatin1(name), Type::Memo, 0}; }
FieldDef dateTime(const char* name) { return {QString::fromLatin1(name), Type::DateTime, 0}; }

IndexDef primary(const char* field)
{
    const QString f = QString::fromLatin1(field);
    return {QStringLiteral("PK") + f, {f}, true};
}

IndexDef secondary(std::initializer_list<const char*> fields)
{
    QStringList names;
    for (const char* f : fields)
        names << QString::fromLatin1(f);
    return {QStringLiteral("NK") + names.first(), names, false};
}

// An index over names: titles, series, publishers, authors.
IndexDef byName(std::initializer_list<const char*> fields)
{
    IndexDef index = secondary(fields);
    index.names = true;
    return index;
}

// A lookup table: a key, a name of 50 characters, maybe a memo, and the
// unique index on the key (some also have one on the name).
TableDef lookup(const char* table, const char* key, const char* name, const char* memoField = nullptr,
                bool nameIndex = false)
{
    TableDef t{QString::fromLatin1(table), {text(key, 50), text(name, 50)}, {primary(key)}};
    if (memoField)
        t.fields << memo(memoField);
    if (nameIndex)
        t.indexes << byName({name});
    return t;
}

QList<TableDef> makeTables()
{
    QList<TableDef> all;
    all << TableDef{
        QStringLiteral("SERVERSTRIPOTHEK"),
        {text("SCLCOMICID", 50), text("SCLTITEL1", 150), text("SCLTITEL2", 150), text("SCLTITEL3", 150),
         text("SCLSERIEID", 50), integer("SCLBAND"), integer("SCLAUFLAGE"), text("SCLVERLAGID", 50),
         text("SCLISBNNR", 50), integer("SCLSEITEN"), memo("SCLINHALT"), text("SCLLITARTID", 50),
         text("SCLSPARTEID", 50), integer("SCLFEHLT"), memo("SCLBEMERKUNG"), integer("SCLMAXLIMANZAHL"),
         text("SCLAUTOREN", 255), integer("SCLZUKAUFEN"), text("SCLINTISBNNR", 50), text("SCLVERLAGTEXT", 100),
         text("SCLSERIENTEXT", 100), text("SCLSERVERID", 50)},
        {primary("SCLCOMICID"), secondary({"SCLINTISBNNR"}), secondary({"SCLLITARTID"}),
         secondary({"SCLSERIEID"}), secondary({"SCLSERVERID"}), secondary({"SCLSPARTEID"}),
         secondary({"SCLVERLAGID"}), secondary({"SCLZUKAUFEN"}), byName({"SCLSERIENTEXT", "SCLBAND"}),
         byName({"SCLVERLAGTEXT", "SCLSERIENTEXT", "SCLBAND"}), byName({"SCLTITEL1"})}};
    all << TableDef{QStringLiteral("COMIC2AUTOR"),
                    {text("C2AID", 50), text("C2AAUTORID", 50), text("C2ACOMICID", 50), text("C2AATID", 50)},
                    {primary("C2AID"), secondary({"C2ACOMICID"})}};
    all << TableDef{QStringLiteral("AUFLAGEN"),
                    {text("ALAUFLAGEID", 50), text("ALCOMICID", 50), text("ALAUFLAGE", 50),
                     text("ALERSCHEINUNGSDATUM", 25), real("ALVKPREIS"), text("ALWG", 10), real("ALSPREIS"),
                     text("ALSPWG", 10), text("ALAUSFUEHRUNGID1", 50), text("ALAUSFUEHRUNGID2", 50)},
                    {primary("ALAUFLAGEID"), secondary({"ALCOMICID"})}};
    all << TableDef{QStringLiteral("LOKALESTRIPOTHEK"),
                    {text("LCLCOMICID", 50), text("LCLSERVERCOMICID", 50), text("LCLZUSTANDID", 50),
                     text("LCLAUFLAGE", 25), real("LCLKPREIS"), text("LCLKPREISWG", 5), dateTime("LCKKDATUM"),
                     text("LCLLAGERPLATZ", 50), integer("LCLNUMMER"), memo("LCLBEMERKUNG"),
                     integer("LCLHAUPTCOMIC"), text("LCLAUSFUEHRUNGID1", 50), text("LCLAUSFUEHRUNGID2", 50)},
                    {primary("LCLCOMICID"), secondary({"LCLSERVERCOMICID"})}};
    all << lookup("VERLAGE", "VLVERLAGID", "VLNAME1", nullptr, true);
    all << lookup("SERIEN", "SRSERIENID", "SRNAME", "SRBEMERUNG", true);
    all << lookup("AUTOREN", "ANAUTORID", "ANNAME", nullptr, true);
    all << lookup("AUTORTYP", "ATID", "ATTYP");
    all << lookup("AUSFUEHRUNGEN", "AFAUSFID", "AFNAME");
    all << lookup("ZUSTANDSARTEN", "ZWID", "ZWNAME", "ZWTEXT");
    all << lookup("LITERATURART", "LAARTID", "LANAME");
    all << lookup("UNTERART", "UATID", "UANAME");
    all << TableDef{QStringLiteral("KEYGEN"), {text("KGDBID", 50), real("KGNEXTID")}, {primary("KGNEXTID")}};
    return all;
}

QString sqliteMessage(sqlite3* db)
{
    const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
    return sqliteFailureText(db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM, QString::fromUtf8(sqlite3_errmsg(db)),
                             file ? QString::fromUtf8(file) : QString());
}

void exec(sqlite3* db, const QString& sql)
{
    Statement(db, sql).exec();
}

// The files SQLite may leave beside a database.
void removeDatabaseFiles(const QString& file)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(file + QString::fromLatin1(suffix));
}

// What a database being built is called until it is complete.
constexpr char kBuildingPrefix[] = ".stripothek-im-aufbau-";

// The files of runs killed while they built a database in databaseDir.
// True when there were any.
bool removeLeftovers(const QString& databaseDir)
{
    bool found = false;
    const QDir dir(databaseDir);
    for (const QString& name : dir.entryList({QLatin1String(kBuildingPrefix) + QLatin1Char('*')},
                                             QDir::Files | QDir::Hidden | QDir::System)) {
        QFile::remove(dir.filePath(name));
        found = true;
    }
    return found;
}

// Removes the folders, innermost first, as far as they are empty.
void removeFolders(const QStringList& outermostFirst)
{
    for (auto d = outermostFirst.crbegin(); d != outermostFirst.crend(); ++d)
        if (!QDir().rmdir(*d))
            return;
}

struct Lookup {
    const char* table;
    QStringList fields;
    QList<QStringList> rows; // name, and a memo where the table has one
};

QList<Lookup> lookupDefaults()
{
    return {
        {"AUTORTYP", {"ATID", "ATTYP"},
         {{"Autor"}, {"Szenarist"}, {"Zeichner"}, {"Tuscher"}, {"Kolorist"}, {"Letterer"}, {"Übersetzer"},
          {"Herausgeber"}}},
        {"AUSFUEHRUNGEN", {"AFAUSFID", "AFNAME"},
         {{"Softcover"}, {"Hardcover"}, {"Album"}, {"Heft"}, {"Taschenbuch"}, {"Vorzugsausgabe"},
          {"Sammelband"}, {"Signiert"}, {"Mit Exlibris"}}},
        {"ZUSTANDSARTEN", {"ZWID", "ZWNAME", "ZWTEXT"},
         {{"0 – druckfrisch", "Ungelesen wie aus der Druckerei, ohne jede Spur."},
          {"1 – sehr gut", "Gelesen, aber kaum Spuren: allenfalls winzige Bestoßungen an den Ecken."},
          {"2 – gut", "Leichte Gebrauchsspuren: kleine Knicke, leicht berieben, Rücken etwas gewellt."},
          {"3 – mäßig", "Deutliche Gebrauchsspuren: Knicke, Flecken, Namenseintrag oder gelöste Seiten."},
          {"4 – schlecht", "Stark beschädigt: Risse, fehlende Teile oder Ausschnitte; nur als Lesestück."}}},
        {"LITERATURART", {"LAARTID", "LANAME"},
         {{"Comic"}, {"Manga"}, {"Graphic Novel"}, {"Zeitschrift"}, {"Sekundärliteratur"}}},
        {"UNTERART", {"UATID", "UANAME"},
         {{"Abenteuer"}, {"Funny"}, {"Humor"}, {"Science-Fiction"}, {"Fantasy"}, {"Western"}, {"Krimi"},
          {"Historisch"}, {"Horror"}, {"Superhelden"}, {"Satire"}, {"Biografie"}, {"Sachbuch"},
          {"Kinder und Jugend"}}},
    };
}

} // namespace

const FieldDef* TableDef::field(const QString& fieldName) const
{
    for (const FieldDef& f : fields)
        if (f.name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

const QList<TableDef>& tables()
{
    static const QList<TableDef> all = makeTables();
    return all;
}

const TableDef* table(const QString& name)
{
    for (const TableDef& t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString sqlType(const FieldDef& field)
{
    switch (field.type) {
    case Type::Text:
        return QStringLiteral("VARCHAR(%1)").arg(field.size);
    case Type::Integer:
        return QStringLiteral("INTEGER");
    case Type::Float:
        return QStringLiteral("DOUBLE");
    case Type::Memo:
        return QStringLiteral("TEXT");
    case Type::DateTime:
        return QStringLiteral("DATETIME");
    }
    return {};
}

QString createTableSql(const TableDef& table)
{
    QStringList columns;
    for (const FieldDef& f : table.fields)
        columns << f.name + QLatin1Char(' ') + sqlType(f);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
}

const IndexDef* index(const TableDef& table, const QString& indexName)
{
    for (const IndexDef& i : table.indexes)
        if (i.name.compare(indexName, Qt::CaseInsensitive) == 0)
            return &i;
    return nullptr;
}

QString orderTerm(const TableDef& table, const IndexDef& index, const QString& field, const QString& column)
{
    const FieldDef* f = table.field(field);
    if (!f || (f->type != Type::Text && f->type != Type::Memo))
        return column;
    // Keys are looked up whole; case-blind order lets "= ? COLLATE NOCASE" use the index.
    return index.names ? germanKeyColumn(column) : column + QStringLiteral(" COLLATE NOCASE");
}

const TableDef* tableOfField(const QString& fieldName)
{
    for (const TableDef& t : tables())
        if (t.field(fieldName))
            return &t;
    return nullptr;
}

QStringList nameFields(const TableDef& table)
{
    QStringList names;
    for (const IndexDef& index : table.indexes) {
        if (!index.names)
            continue;
        for (const QString& name : index.fields) {
            const FieldDef* f = table.field(name);
            if (f && (f->type == Type::Text || f->type == Type::Memo) && !names.contains(name))
                names << name;
        }
    }
    return names;
}

QStringList addKeyColumnsSql(const TableDef& table)
{
    QStringList statements;
    for (const QString& field : nameFields(table))
        for (const QString& column : germanKeyColumnsSql(field))
            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table.name, column);
    return statements;
}

QString createIndexSql(const TableDef& table, const IndexDef& index)
{
    QStringList columns;
    for (const QString& name : index.fields)
        columns << orderTerm(table, index, name, name);
    return QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
        .arg(index.unique ? QStringLiteral("UNIQUE ") : QString(), index.name, table.name,
             columns.join(QStringLiteral(", ")));
}

QStringList createIndexSql(const TableDef& table)
{
    QStringList statements;
    for (const IndexDef& index : table.indexes)
        statements << createIndexSql(table, index);
    return statements;
}

namespace {

// The table's definition as SQLite keeps it; empty when the file lacks the table.
QString storedTableSql(sqlite3* db, const QString& table)
{
    Statement find(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"));
    find.bindText(1, table);
    return find.step() ? find.column(0).toString() : QString();
}

// Whether the file computes every key of the table as this version does.
// ALTER TABLE keeps a column's definition as written, so the text tells.
bool keyColumnsCurrent(const QString& storedSql, const TableDef& table)
{
    for (const QString& field : nameFields(table))
        for (const QString& column : germanKeyColumnsSql(field))
            if (!storedSql.contains(column))
                return false;
    return true;
}

} // namespace

void createIndexes(sqlite3* db, const TableDef& table)
{
    // The key columns come after the rows, so filling the table never
    // computed them; they occupy no room, only their indexes do.
    if (!keyColumnsCurrent(storedTableSql(db, table.name), table))
        for (const QString& sql : addKeyColumnsSql(table))
            exec(db, sql);
    for (const IndexDef& index : table.indexes) {
        Statement exists(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1 COLLATE NOCASE"));
        exists.bindText(1, index.name);
        if (!exists.step())
            exec(db, createIndexSql(table, index));
    }
}

bool upgradeGermanOrder(sqlite3* db)
{
    // A file that cannot answer keeps its indexes; opening it reports why.
    QStringList work;
    try {
        Statement id(db, QStringLiteral("PRAGMA application_id"));
        if (!id.step() || id.column(0).toInt() != kApplicationId)
            return false;
        for (const TableDef& t : tables()) {
            const QString stored = storedTableSql(db, t.name);
            if (stored.isEmpty())
                continue;
            const bool columnsCurrent = keyColumnsCurrent(stored, t);
            QStringList drops, creates;
            for (const IndexDef& i : t.indexes) {
                if (!i.names)
                    continue;
                Statement find(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?1 COLLATE NOCASE"));
                find.bindText(1, i.name);
                const bool exists = find.step();
                const QString wanted = createIndexSql(t, i);
                if (!exists || (columnsCurrent && find.column(0).toString() == wanted))
                    continue;
                drops << QStringLiteral("DROP INDEX %1").arg(i.name);
                creates << wanted;
            }
            if (!columnsCurrent) {
                // An earlier version's key columns go, the last first: each
                // is computed from the one before it.
                QStringList earlier;
                Statement columns(db, QStringLiteral("SELECT name FROM pragma_table_xinfo(?1) WHERE hidden IN (2, 3)"
                                                     " ORDER BY cid DESC"));
                columns.bindText(1, t.name);
                while (columns.step()) {
                    const QString name = columns.column(0).toString();
                    for (const QString& field : nameFields(t))
                        if (name.startsWith(germanKeyColumn(field), Qt::CaseInsensitive))
                            earlier << QStringLiteral("ALTER TABLE %1 DROP COLUMN %2").arg(t.name, name);
                }
                drops << earlier;
                creates = addKeyColumnsSql(t) + creates;
            }
            work << drops << creates;
        }
    } catch (const Error&) {
        return false;
    }
    if (work.isEmpty())
        return false;
    return upgradeInOneTransaction(db, [&] {
        for (const QString& sql : std::as_const(work))
            exec(db, sql);
    });
}

bool upgradeInOneTransaction(sqlite3* db, const std::function<void()>& work)
{
    try {
        exec(db, QStringLiteral("BEGIN IMMEDIATE"));
        work();
        exec(db, QStringLiteral("COMMIT"));
    } catch (const Error&) {
        if (sqlite3_get_autocommit(db) == 0) {
            try {
                exec(db, QStringLiteral("ROLLBACK"));
            } catch (const Error&) {
            }
        }
        return false;
    }
    return true;
}

QString databaseFile(const QString& workDir)
{
    return workDir + QStringLiteral("/database/stripothek.db");
}

namespace {
// Called while a failure of the creation is handled: the file being built
// has a name that means nothing to the user, and nothing was "changed".
[[noreturn]] void rethrowForCreation(const QString& file)
{
    try {
        throw;
    } catch (const EngineError& e) {
        const int primary = e.code() & 0xff;
        if (primary != SQLITE_FULL && primary != SQLITE_IOERR)
            throw;
        throw EngineError(QString(),
                          QStringLiteral("Die Datenbank „%1“ lässt sich nicht anlegen: %2")
                              .arg(QDir::toNativeSeparators(file),
                                   primary == SQLITE_FULL
                                       ? QStringLiteral("Der Datenträger ist voll; schaffen Sie Platz und versuchen "
                                                        "Sie es noch einmal")
                                       : QStringLiteral("Der Datenträger meldet einen Lese- oder Schreibfehler; er "
                                                        "ist defekt oder nicht mehr erreichbar")),
                          e.code());
    }
}
} // namespace

void createDatabase(const QString& dir, const Populate& populate)
{
    const QString file = QDir::cleanPath(databaseFile(dir));
    const QString databaseDir = QFileInfo(file).path();
    const auto refuse = [&] {
        return Error(QStringLiteral("Die Datenbank „%1“ existiert bereits; sie wird nicht überschrieben.")
                         .arg(QDir::toNativeSeparators(file)));
    };
    if (QFileInfo::exists(file))
        throw refuse();

    // The folders this run makes, outermost first: a failed run takes them away again.
    QStringList made;
    for (QString d = QDir::cleanPath(QFileInfo(databaseDir).absoluteFilePath()); !QFileInfo::exists(d);
         d = QFileInfo(d).path())
        made.prepend(d);
    if (!QDir().mkpath(databaseDir) || !QFileInfo(databaseDir).isDir()) {
        const int code = errno;
        removeFolders(made);
        throw Error(QStringLiteral("Das Verzeichnis „%1“ kann nicht angelegt werden: %2.")
                        .arg(QDir::toNativeSeparators(databaseDir), fileFailureReason(databaseDir, {}, code)));
    }

    // One run at a time builds here; the lock of a killed run goes with its
    // process, and what that run left behind is removed.
    QLockFile lock(databaseDir + QStringLiteral("/.stripothek-anlegen.lock"));
    lock.setStaleLockTime(0); // a long run keeps its lock: only a dead process loses it
    if (!lock.tryLock(0)) {
        removeFolders(made);
        if (lock.error() == QLockFile::LockFailedError)
            throw Error(QStringLiteral("In „%1“ legt gerade ein anderer Aufruf eine Datenbank an; warten Sie, bis er "
                                       "fertig ist.")
                            .arg(QDir::toNativeSeparators(databaseDir)));
        throw Error(QStringLiteral("Die Datenbankdatei „%1“ kann nicht angelegt werden: In das Verzeichnis „%2“ "
                                   "darf dieses Programm nicht schreiben.")
                        .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(databaseDir)));
    }
    if (removeLeftovers(databaseDir) && made.isEmpty())
        made << databaseDir; // most likely made by the killed run: it goes if this run fails too

    const auto cleanUp = [&] {
        lock.unlock();
        removeFolders(made);
    };

    // The database is built under a name of its own and gets its real name
    // only when it is complete: a run killed half-way leaves no file that
    // looks like a database and blocks the next run.
    QString building;
    {
        QTemporaryFile claim(databaseDir + QLatin1Char('/') + QLatin1String(kBuildingPrefix) + QStringLiteral("XXXXXX.db"));
        claim.setAutoRemove(false);
        if (!claim.open()) {
            const int code = errno;
            cleanUp();
            throw Error(QStringLiteral("Die Datenbankdatei „%1“ kann nicht angelegt werden: %2.")
                            .arg(QDir::toNativeSeparators(file), fileFailureReason(file, claim.errorString(), code)));
        }
        building = claim.fileName();
    }

    try {
        sqlite3* db = nullptr;
        const auto closeDb = qScopeGuard([&db] { sqlite3_close(db); });
        // Only this thread ever uses the connection: no locking per call.
        if (sqlite3_open_v2(building.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK)
            throw Error(QStringLiteral("Die Datenbankdatei „%1“ lässt sich nicht öffnen: %2")
                            .arg(QDir::toNativeSeparators(building), sqliteMessage(db)));
        // A large generated collection fills many pages; a bigger cache keeps
        // them in memory until the commit instead of spilling them early.
        exec(db, QStringLiteral("PRAGMA cache_size = -65536"));
        exec(db, QStringLiteral("BEGIN IMMEDIATE"));
        exec(db, QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId));
        exec(db, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
        for (const TableDef& t : tables())
            exec(db, createTableSql(t));
        RowWriter(db, QStringLiteral("KEYGEN"), {QStringLiteral("KGDBID"), QStringLiteral("KGNEXTID")})
            .insert({randomKeyPrefix(), 0.0});
        fillLookupDefaults(db);
        if (populate)
            populate(db);
        // Building the indexes once over the filled tables is much faster than
        // keeping eleven catalogue indexes up to date row by row.
        for (const TableDef& t : tables())
            createIndexes(db, t);
        // After the indexes: filling the search finds each volume's authors and copies through them.
        search::createSearchIndex(db);
        exec(db, QStringLiteral("COMMIT"));
        // WAL cannot be switched on inside a transaction; the mode stays in the file.
        exec(db, QStringLiteral("PRAGMA journal_mode = WAL"));
        if (sqlite3_close(db) != SQLITE_OK)
            throw Error(QStringLiteral("Die Datenbankdatei „%1“ lässt sich nicht schließen: %2")
                            .arg(QDir::toNativeSeparators(building), sqliteMessage(db)));
        db = nullptr;
        QFile::setPermissions(building, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                            | QFileDevice::ReadOther);
        // Never over a database made meanwhile: rename refuses an existing name.
        if (!QFile::rename(building, file)) {
            if (QFileInfo::exists(file))
                throw refuse();
            throw Error(QStringLiteral("Die fertige Datenbank lässt sich nicht in „%1“ umbenennen.")
                            .arg(QDir::toNativeSeparators(file)));
        }
    } catch (...) {
        removeDatabaseFiles(building);
        cleanUp();
        rethrowForCreation(file);
    }
}

QString randomKeyPrefix()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static const char alphanumerics[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    auto* random = QRandomGenerator::system();
    const int length = 3 + int(random->bounded(2));
    QString prefix;
    for (int i = 0; i < length; ++i) {
        const bool edge = i == 0 || i == length - 1;
        prefix += edge ? QLatin1Char(letters[random->bounded(26)]) : QLatin1Char(alphanumerics[random->bounded(36)]);
    }
    return prefix;
}

void fillLookupDefaults(sqlite3* db)
{
    KeyCounter keys(db);
    for (const Lookup& lookup : lookupDefaults()) {
        RowWriter writer(db, QString::fromLatin1(lookup.table), lookup.fields);
        for (const QStringList& row : lookup.rows) {
            if (row.size() == 1)
                writer.insert({keys.next(), row[0]});
            else
                writer.insert({keys.next(), row[0], row[1]});
        }
    }
    keys.save();
}

namespace {
Statement prepareInsert(sqlite3* db, const QString& table, const QStringList& fields)
{
    QStringList marks;
    for (qsizetype i = 0; i < fields.size(); ++i)
        marks << QStringLiteral("?");
    return Statement(db,
                     QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(table, fields.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                     table);
}
} // namespace

RowWriter::RowWriter(sqlite3* db, const QString& table, const QStringList& fields)
    : m_statement(prepareInsert(db, table, fields)), m_table(table), m_count(int(fields.size()))
{
}

void RowWriter::insert(std::initializer_list<Value> values)
{
    if (int(values.size()) != m_count)
        throw Error(QStringLiteral("Tabelle %1: %2 Werte für %3 Felder").arg(m_table).arg(values.size()).arg(m_count));
    int column = 1;
    for (const Value& v : values) {
        switch (v.kind) {
        case Value::Kind::Null:
            m_statement.bindNull(column);
            break;
        case Value::Kind::Integer:
            m_statement.bindInt64(column, v.integer);
            break;
        case Value::Kind::Float:
            m_statement.bindDouble(column, v.real);
            break;
        case Value::Kind::Text:
            m_statement.bindText(column, v.text);
            break;
        }
        ++column;
    }
    m_statement.exec();
}

} // namespace db::schema
