#include "backup/Copy.h"

#include "backup/BackupFiles.h"
#include "database/SqliteFailureText.h"

#include <QDir>
#include <algorithm>
#include <QFileInfo>
#include <QLocale>
#include <QFile>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace backup::copy {

namespace {

// 4 MB at SQLite's usual page size: few enough steps to cost nothing, enough
// for a progress bar that moves.
constexpr int kPagesPerStep = 1024;
// SQLite's own ceiling for a mapping on this system.
constexpr qint64 kMaxMapBytes = 0x7fff0000;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QString megabytes(qint64 bytes)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(double(bytes) / 1e6, 'f', 1);
}

void report(const Progress& progress, Stage stage, int percent)
{
    if (progress)
        progress(stage, percent);
}

// SQLite's code for a failure while reading the catalogue, in the words of
// someone who wanted a backup of it.
[[noreturn]] void sourceFailed(const db::EngineError& e, const QString& liveFile)
{
    switch (e.code() & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw db::Error(QStringLiteral("Die Sammlung „%1“ wird gerade von einem anderen Programm exklusiv benutzt "
                                       "(etwa beim Packen der Tabellen); gesichert werden kann sie erst danach")
                            .arg(shown(liveFile)));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        throw DamagedSource(QStringLiteral("Die Sammlung „%1“ ist beschädigt (SQLite meldet: %2)")
                                .arg(shown(liveFile), QString::fromUtf8(sqlite3_errstr(e.code()))));
    default:
        throw e;
    }
}

[[noreturn]] void targetFailed(const db::EngineError& e, const QString& target, qint64 bytes)
{
    const QString folder = shown(QFileInfo(target).absolutePath());
    switch (e.code() & 0xff) {
    case SQLITE_FULL:
        throw db::Error(QStringLiteral("Der Datenträger mit dem Ordner „%1“ ist voll: Für die Sicherung fehlt Platz "
                                       "(sie braucht etwa %2 MB)")
                            .arg(folder, megabytes(bytes)));
    case SQLITE_IOERR:
        throw db::Error(QStringLiteral("Die Sicherung ließ sich nicht in den Ordner „%1“ schreiben: Der Datenträger "
                                       "meldet einen Schreibfehler, ist voll oder nicht mehr erreichbar")
                            .arg(folder));
    default:
        throw e;
    }
}

// Hands the copy's pages to the disk while the copy and its check go on,
// so that the final sync waits only for the rest: the check costs about as
// much as writing the file, and this way the two overlap.
class WriteAhead {
public:
    explicit WriteAhead(const QString& file)
        : m_fd(::open(QFile::encodeName(file).constData(), O_WRONLY | O_CLOEXEC))
    {
    }
    // Closed only after SQLite's connection: closing any descriptor of a
    // file drops the process's locks on it.
    ~WriteAhead()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    WriteAhead(const WriteAhead&) = delete;
    WriteAhead& operator=(const WriteAhead&) = delete;
    void start()
    {
#ifdef __linux__
        if (m_fd >= 0)
            ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    }
    void finish(const QString& file)
    {
        if (m_fd < 0 || ::fsync(m_fd) != 0)
            files::syncFile(file); // says what went wrong
    }

private:
    int m_fd;
};

} // namespace

void pages(sqlite3* from, sqlite3* to, Stage stage, const Progress& progress)
{
    const auto fail = [to](int rc) {
        const char* file = sqlite3_db_filename(to, "main");
        return db::EngineError({},
                               db::sqliteFailureText(rc, QString::fromUtf8(sqlite3_errmsg(to)),
                                                     file ? QString::fromUtf8(file) : QString()),
                               rc);
    };
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        throw fail(sqlite3_extended_errcode(to));
    report(progress, stage, 0);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_backup_step(backup, kPagesPerStep)) == SQLITE_OK) {
        const int total = sqlite3_backup_pagecount(backup);
        if (total > 0)
            report(progress, stage, int(qint64(total - sqlite3_backup_remaining(backup)) * 100 / total));
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw fail(rc);
    report(progress, stage, 100);
}

Snapshot checkedCopy(const QString& liveFile, const QString& target, const Progress& progress)
{
    if (!QFileInfo(liveFile).isFile())
        throw db::Error(QStringLiteral("Die Datenbankdatei „%1“ existiert nicht").arg(shown(liveFile)));
    Handle source(liveFile, Handle::Mode::ReadOnly);
    Snapshot snapshot;
    qint64 bytes = 0;
    try {
        // The counts and the pages come from this one read transaction: what
        // another program commits meanwhile is in neither.
        source.exec(QStringLiteral("BEGIN"));
        snapshot = readSnapshot(source.get());
        bytes = source.value(QStringLiteral("PRAGMA page_count")).toLongLong()
                * source.value(QStringLiteral("PRAGMA page_size")).toLongLong();
    } catch (const db::EngineError& e) {
        sourceFailed(e, liveFile);
    }

    Handle copy(target, Handle::Mode::Create);
    WriteAhead ahead(target);
    try {
        // A new file has nothing to roll back to, and it is synced once at the end.
        copy.exec(QStringLiteral("PRAGMA journal_mode=OFF"));
        copy.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        pages(source.get(), copy.get(), Stage::Copying, [&](Stage stage, int percent) {
            ahead.start();
            report(progress, stage, percent);
        });
    } catch (const db::EngineError& e) {
        if (e.damaged())
            sourceFailed(e, liveFile);
        if ((e.code() & 0xff) == SQLITE_BUSY || (e.code() & 0xff) == SQLITE_LOCKED)
            sourceFailed(e, liveFile);
        targetFailed(e, target, bytes);
    }
    source.close();

    report(progress, Stage::Checking, 0);
    const QString name = QStringLiteral("Die neue Sicherung „%1“").arg(QFileInfo(target).fileName());
    try {
        // The copied header still names the catalogue's WAL mode; once the
        // copy is read in that mode, switching it to a rollback journal makes
        // it one file that opens without a -wal beside it.
        copy.value(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        copy.value(QStringLiteral("PRAGMA journal_mode=DELETE"));
        // The check reads every page once: mapped, it reads them where the
        // copy just left them instead of copying each out of the kernel.
        // Safe here, since no other program has this file.
        copy.value(QStringLiteral("PRAGMA mmap_size=%1").arg(std::min<qint64>(bytes + (1 << 20), kMaxMapBytes)));
        quickCheck(copy, name);
        const Snapshot copied = readSnapshot(copy.get());
        if (copied != snapshot)
            throw db::Error(QStringLiteral("%1 enthält nicht dieselben Zeilen wie die Sammlung").arg(name));
        copy.close();
    } catch (const db::EngineError& e) {
        targetFailed(e, target, bytes);
    } catch (const db::Error& e) {
        // Pages copied one to one fail the structural check when the
        // catalogue's pages do.
        try {
            Handle again(liveFile, Handle::Mode::ReadOnly);
            quickCheck(again, QStringLiteral("Die Sammlung „%1“").arg(shown(liveFile)));
        } catch (const db::Error& damage) {
            throw DamagedSource(damage.message());
        }
        throw;
    }
    ahead.finish(target);
    report(progress, Stage::Checking, 100);
    return snapshot;
}

} // namespace backup::copy
