#include "backup/BackupStore.h"

#include "backup/BackupFiles.h"
#include "backup/Copy.h"
#include "core/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#include <sqlite3.h>

namespace backup {

namespace {

const QString kFolder = QStringLiteral("Sicherungen");
const QString kUnchanged = QStringLiteral("Es wurde keine Sicherung angelegt; die Sammlung und die älteren "
                                          "Sicherungen sind unverändert");
const QString kNotRestored = QStringLiteral("Es wurde nichts wiederhergestellt; die Sammlung ist unverändert");
// A program's own saves take milliseconds: a restore waits that long for
// one, not for an editor that keeps its transaction open.
constexpr int kWriterWaitMs = 2000;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString withSentence(const QString& message, const QString& sentence)
{
    return message + QStringLiteral(". ") + sentence;
}

void makeFolder(const QString& folder)
{
    if (!QDir().mkpath(folder))
        throw db::Error(QStringLiteral("Der Ordner „%1“ für die Sicherungen lässt sich nicht anlegen; sein Ordner ist "
                                       "schreibgeschützt oder der Datenträger voll")
                            .arg(shown(folder)));
}

// The files a new copy is written to until it is whole; removed on every
// path out unless released.
struct Unfinished {
    QStringList files;
    bool released = false;
    ~Unfinished()
    {
        if (!released)
            for (const QString& file : std::as_const(files))
                files::removeDatabaseFiles(file);
    }
};

BackupInfo describe(const QString& folder, const files::CopyName& name)
{
    BackupInfo info;
    info.name = name.name;
    info.file = QDir(folder).absoluteFilePath(name.name);
    info.created = name.created;
    info.bytes = QFileInfo(info.file).size();
    if (const auto side = files::readSideFile(QDir(folder).filePath(files::sideFileName(name.name)))) {
        info.reason = side->reason;
        info.volumes = side->snapshot.volumes();
        info.ownCopies = side->snapshot.ownCopies();
        return info;
    }
    // A copy whose side file was lost (or put here by hand) is counted
    // itself: two counts over indexes, still far from reading the tables.
    try {
        Handle copy(info.file, Handle::Mode::ReadOnly);
        info.volumes = copy.value(QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK")).toLongLong();
        info.ownCopies = copy.value(QStringLiteral("SELECT count(*) FROM LOKALESTRIPOTHEK")).toLongLong();
    } catch (const db::Error&) {
        info.volumes = info.ownCopies = -1;
    }
    return info;
}

// Makes a copy of liveFile in folder, which is locked by the caller. A
// damaged catalogue is kept all the same when keptDamaged is given, under a
// name the list does not show, and DamagedSource is thrown.
BackupInfo makeLocked(const QString& liveFile, const QString& folder, const QString& reason,
                      const Progress& progress, QString* keptDamaged = nullptr)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString name = files::freeCopyName(folder, now);
    const QString final = QDir(folder).absoluteFilePath(name);
    const QString side = QDir(folder).filePath(files::sideFileName(name));
    Unfinished unfinished{{files::unfinishedName(folder, name), files::unfinishedName(folder, files::sideFileName(name))}};
    try {
        const Snapshot snapshot = copy::checkedCopy(liveFile, unfinished.files[0], progress);
        files::writeSideFile(unfinished.files[1], reason, now, snapshot);
        // The copy gets its name first: a copy without its side file is still
        // listed (counted from the file), a side file alone is removed.
        files::renameInto(unfinished.files[0], final);
        files::renameInto(unfinished.files[1], side);
        unfinished.released = true;
        files::syncFolder(folder);
        return describe(folder, *files::parseCopyName(name));
    } catch (const copy::DamagedSource&) {
        const QString kept = QDir(folder).absoluteFilePath(QStringLiteral("beschaedigt-") + name);
        if (keptDamaged && QFileInfo::exists(unfinished.files[0]) && QFile::rename(unfinished.files[0], kept)) {
            files::syncFolder(folder);
            *keptDamaged = kept;
        }
        throw;
    }
}

enum class LiveState { Sound, Unreadable };

// Whether the catalogue can be restored into now. Takes the write lock on
// guard for the time of the safety copy, so that nothing is saved between
// that copy and the restore (but for the moment in which the restore takes
// the lock again). A file whose header is torn can only be replaced.
LiveState claimLive(Handle& guard)
{
    sqlite3_busy_timeout(guard.get(), kWriterWaitMs);
    const QString live = shown(guard.file());
    try {
        guard.value(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const db::EngineError& e) {
        const int code = e.code() & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            throw db::Error(QStringLiteral("Ein anderes Programm benutzt die Sammlung „%1“ exklusiv und hält ihre "
                                           "exklusive Sperre (etwa beim Packen der Tabellen)")
                                .arg(live));
        if (code == SQLITE_NOTADB)
            return LiveState::Unreadable;
        if (!e.damaged())
            throw;
    }
    try {
        guard.exec(QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const db::EngineError& e) {
        const int code = e.code() & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            throw db::Error(QStringLiteral("Ein anderes Programm schreibt gerade in die Sammlung „%1“ und hält ihre "
                                           "Schreibsperre. Versuchen Sie es noch einmal, wenn es fertig ist")
                                .arg(live));
        if (!e.damaged())
            throw;
    }
    return LiveState::Sound;
}

// SQLite writes a copy into a catalogue in WAL mode only page for page: a
// file made elsewhere with other pages must be converted first.
void samePageSize(Handle& live, const QString& source)
{
    Handle copy(source, Handle::Mode::ReadOnly);
    const qint64 copyPage = copy.value(QStringLiteral("PRAGMA page_size")).toLongLong();
    const qint64 livePage = live.value(QStringLiteral("PRAGMA page_size")).toLongLong();
    if (copyPage != livePage)
        throw db::Error(QStringLiteral("„%1“ hat Seiten von %2 Bytes, die Sammlung von %3 Bytes, und lässt sich so "
                                       "nicht zurückschreiben. Umwandeln lässt sie sich mit: sqlite3 \"%1\" "
                                       "\"PRAGMA page_size=%3; VACUUM\"")
                            .arg(shown(source))
                            .arg(copyPage)
                            .arg(livePage));
}

// A catalogue SQLite cannot read through is kept as it is, byte for byte;
// the caller holds its write lock or no program can open it at all.
QString keepAsItIs(const QString& live, const QString& folder)
{
    const QString kept = QDir(folder).absoluteFilePath(
        QStringLiteral("beschaedigt-") + files::freeCopyName(folder, QDateTime::currentDateTime()));
    for (const char* suffix : {"", "-wal"}) {
        const QString from = live + QString::fromLatin1(suffix);
        if (QFileInfo::exists(from) && !QFile::copy(from, kept + QString::fromLatin1(suffix)))
            throw db::Error(QStringLiteral("Die beschädigte Sammlung lässt sich nicht nach „%1“ retten; sie wird "
                                           "nicht ersetzt")
                                .arg(shown(kept)));
    }
    files::syncFile(kept);
    return kept;
}

// Writes the copy as a new catalogue file beside the old one and puts it in
// the old one's place: for a catalogue that is missing or cannot be opened.
void replaceLive(const QString& source, const QString& live, const Progress& progress)
{
    const QString dir = QFileInfo(live).absolutePath();
    Unfinished unfinished{{files::unfinishedName(dir, QFileInfo(live).fileName())}};
    files::removeDatabaseFiles(unfinished.files[0]);
    {
        Handle from(source, Handle::Mode::ReadOnly);
        Handle to(unfinished.files[0], Handle::Mode::Create);
        to.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        to.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        copy::pages(from.get(), to.get(), Stage::Restoring, progress);
        to.value(QStringLiteral("PRAGMA journal_mode=WAL"));
        to.close();
    }
    files::syncFile(unfinished.files[0]);
    // The old file's log belongs to the old file: left beside the new one,
    // SQLite would replay it into it.
    QFile::remove(live + QStringLiteral("-wal"));
    QFile::remove(live + QStringLiteral("-shm"));
    if (std::rename(QFile::encodeName(unfinished.files[0]).constData(), QFile::encodeName(live).constData()) != 0)
        throw db::Error(QStringLiteral("Die wiederhergestellte Sammlung lässt sich nicht nach „%1“ umbenennen")
                            .arg(shown(live)));
    unfinished.released = true;
    files::syncFolder(dir);
}

// Writes the copy into the live file in one write transaction of SQLite's:
// other connections see the old catalogue until it commits, then the new one.
// to is the guard; its lock is given back only now, right before the backup
// interface takes it again.
void restoreInto(const QString& source, Handle& to, const Progress& progress)
{
    const QString live = to.file();
    Handle from(source, Handle::Mode::ReadOnly);
    if (sqlite3_get_autocommit(to.get()) == 0)
        to.exec(QStringLiteral("ROLLBACK"));
    try {
        copy::pages(from.get(), to.get(), Stage::Restoring, progress);
    } catch (const db::EngineError& e) {
        const int code = e.code() & 0xff;
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
            throw db::Error(QStringLiteral("Ein anderes Programm schreibt gerade in die Sammlung „%1“ und hält ihre "
                                           "Schreibsperre. Versuchen Sie es noch einmal, wenn es fertig ist")
                                .arg(shown(live)));
        throw;
    }
    // The whole catalogue went through the log; giving its space back is
    // worth a try, but not worth waiting for other programs' readers.
    sqlite3_busy_timeout(to.get(), 0);
    sqlite3_wal_checkpoint_v2(to.get(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

} // namespace

BackupStore::BackupStore(const QString& databaseDir) : m_databaseDir(QDir(databaseDir).absolutePath()) {}

QString BackupStore::databaseFile() const
{
    return QDir(m_databaseDir).filePath(QStringLiteral("stripothek.db"));
}

QString BackupStore::folder() const
{
    return QDir(m_databaseDir).filePath(kFolder);
}

BackupInfo BackupStore::makeBackup(const QString& reason, const Progress& progress)
{
    try {
        makeFolder(folder());
        const auto lock = files::lockFolder(folder());
        files::removeLeftovers(folder());
        return makeLocked(databaseFile(), folder(), reason, progress);
    } catch (const db::Error& e) {
        throw db::Error(withSentence(e.message(), kUnchanged));
    }
}

Snapshot BackupStore::exportCopy(const QString& targetFile, const Progress& progress)
{
    const QFileInfo target(targetFile);
    if (target.exists())
        throw db::Error(QStringLiteral("Die Datei „%1“ existiert bereits; sie wird nicht überschrieben")
                            .arg(shown(target.absoluteFilePath())));
    if (!QFileInfo(target.absolutePath()).isDir())
        throw db::Error(QStringLiteral("Der Ordner „%1“ existiert nicht; es wurde keine Sicherung angelegt")
                            .arg(shown(target.absolutePath())));
    Unfinished unfinished{{files::unfinishedName(target.absolutePath(), target.fileName())}};
    try {
        const Snapshot snapshot = copy::checkedCopy(databaseFile(), unfinished.files[0], progress);
        files::renameInto(unfinished.files[0], target.absoluteFilePath());
        unfinished.released = true;
        files::syncFolder(target.absolutePath());
        return snapshot;
    } catch (const db::Error& e) {
        throw db::Error(withSentence(e.message(), QStringLiteral("Es wurde keine Sicherung angelegt; die Sammlung "
                                                                 "ist unverändert")));
    }
}

QList<BackupInfo> BackupStore::list() const
{
    QList<BackupInfo> copies;
    for (const files::CopyName& name : files::copyNames(folder()))
        copies << describe(folder(), name);
    return copies;
}

QStringList BackupStore::prune(const KeepPolicy& policy, QDate today)
{
    if (!QFileInfo(folder()).isDir())
        return {};
    const auto lock = files::lockFolder(folder());
    files::removeLeftovers(folder());
    const QList<files::CopyName> names = files::copyNames(folder());
    QList<QDateTime> created;
    for (const auto& name : names)
        created << name.created;
    const QList<bool> keep = policy.keeps(created, today);
    QStringList removed;
    const QDir dir(folder());
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (keep[i])
            continue;
        if (!QFile::remove(dir.filePath(names[i].name)))
            continue; // a copy someone keeps open or protects stays, and is tried again next time
        QFile::remove(dir.filePath(files::sideFileName(names[i].name)));
        removed << names[i].name;
    }
    return removed;
}

QString BackupStore::resolve(const QString& nameOrFile) const
{
    const QDir dir(folder());
    for (const QString& candidate : {nameOrFile, nameOrFile + QStringLiteral(".db")})
        if (!candidate.contains(QLatin1Char('/')) && files::parseCopyName(candidate) && dir.exists(candidate))
            return dir.absoluteFilePath(candidate);
    const QFileInfo file(nameOrFile);
    if (file.isFile())
        return file.absoluteFilePath();
    throw db::Error(QStringLiteral("Eine Sicherung „%1“ gibt es weder im Ordner „%2“ noch als Datei. Die Sicherungen "
                                   "zeigt: stripothek-db backups <Verzeichnis>")
                        .arg(nameOrFile, shown(folder())));
}

RestoreResult BackupStore::restore(const QString& nameOrFile, const Progress& progress)
{
    try {
        RestoreResult result;
        result.source = resolve(nameOrFile);
        const QString live = databaseFile();
        if (QFileInfo(result.source).canonicalFilePath() == QFileInfo(live).canonicalFilePath())
            throw db::Error(QStringLiteral("„%1“ ist die Sammlung selbst, keine Sicherung").arg(shown(live)));
        result.restored = checkCatalogueFile(result.source);
        makeFolder(folder());
        const auto lock = files::lockFolder(folder());
        files::removeLeftovers(folder());

        std::optional<Handle> guard;
        if (QFileInfo::exists(live)) {
            guard.emplace(live, Handle::Mode::ReadWrite);
            if (claimLive(*guard) == LiveState::Unreadable) {
                guard.reset();
                result.damagedKept = keepAsItIs(live, folder());
            } else {
                samePageSize(*guard, result.source);
                const QString reason =
                    QStringLiteral("Vor der Wiederherstellung aus %1").arg(QFileInfo(result.source).fileName());
                try {
                    result.safety = makeLocked(live, folder(), reason, progress, &result.damagedKept);
                } catch (const copy::DamagedSource&) {
                    // Replacing it is what the user asked for; what is left of it
                    // is kept, page for page when SQLite could copy it.
                    if (result.damagedKept.isEmpty())
                        result.damagedKept = keepAsItIs(live, folder());
                }
            }
        }
        if (guard)
            restoreInto(result.source, *guard, progress);
        else
            replaceLive(result.source, live, progress);
        return result;
    } catch (const db::Error& e) {
        throw db::Error(withSentence(e.message(), kNotRestored));
    }
}

} // namespace backup
