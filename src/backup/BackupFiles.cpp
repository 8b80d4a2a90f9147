#include "backup/BackupFiles.h"

#include "core/Errors.h"
#include "database/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace backup::files {

namespace {

const QString kUnfinished = QStringLiteral(".unfertig-");
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd-HHmmss");
// A copy of a large collection takes a few seconds; a script's copy waits
// for the program's rather than failing at once.
constexpr int kLockWaitMs = 60000;

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

std::optional<CopyName> parseCopyName(const QString& fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^stripothek-(\\d{4}-\\d{2}-\\d{2}-\\d{6})(?:-(\\d{1,4}))?\\.db$"));
    const auto match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QDateTime created = QDateTime::fromString(match.captured(1), kTimeFormat);
    if (!created.isValid())
        return std::nullopt;
    const int sequence = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
    return CopyName{fileName, created, sequence};
}

QList<CopyName> copyNames(const QString& folder)
{
    QList<CopyName> names;
    const QStringList entries =
        QDir(folder).entryList({QStringLiteral("stripothek-*.db")}, QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (const auto name = parseCopyName(entry))
            names << *name;
    std::sort(names.begin(), names.end(), [](const CopyName& a, const CopyName& b) {
        return a.created != b.created ? a.created > b.created : a.sequence > b.sequence;
    });
    return names;
}

QString freeCopyName(const QString& folder, const QDateTime& now)
{
    const QString stem = QStringLiteral("stripothek-") + now.toString(kTimeFormat);
    const QDir dir(folder);
    for (int sequence = 1;; ++sequence) {
        const QString name = stem + (sequence == 1 ? QString() : QStringLiteral("-%1").arg(sequence))
                             + QStringLiteral(".db");
        if (!dir.exists(name) && !dir.exists(sideFileName(name)) && !dir.exists(kUnfinished + name))
            return name;
    }
}

QString unfinishedName(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(kUnfinished + name);
}

void removeDatabaseFiles(const QString& file)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(file + QString::fromLatin1(suffix));
}

void removeLeftovers(const QString& folder)
{
    const QDir dir(folder);
    const QStringList hidden = dir.entryList({kUnfinished + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    for (const QString& entry : hidden)
        QFile::remove(dir.filePath(entry));
    const QStringList sides = dir.entryList({QStringLiteral("stripothek-*.json")}, QDir::Files);
    for (const QString& side : sides) {
        const QString copy = side.chopped(5) + QStringLiteral(".db");
        if (!dir.exists(copy))
            QFile::remove(dir.filePath(side));
    }
}

QString sideFileName(const QString& copyName)
{
    return QFileInfo(copyName).completeBaseName() + QStringLiteral(".json");
}

void writeSideFile(const QString& file, const QString& reason, const QDateTime& created, const Snapshot& snapshot)
{
    QJsonObject tables;
    for (const auto& [name, rows] : snapshot.tableRows)
        tables.insert(name, rows);
    const QJsonObject root{{QStringLiteral("reason"), reason},
                           {QStringLiteral("created"), created.toOffsetFromUtc(created.offsetFromUtc()).toString(Qt::ISODate)},
                           {QStringLiteral("tables"), tables},
                           {QStringLiteral("keyCounter"), QJsonArray::fromVariantList(snapshot.keyCounter)}};
    QFile out(file);
    const QByteArray bytes = QJsonDocument(root).toJson();
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size() || !out.flush()
        || ::fsync(out.handle()) != 0)
        throw db::Error(QStringLiteral("Die Datei „%1“ lässt sich nicht schreiben: %2")
                            .arg(shown(file), out.errorString()));
}

std::optional<SideInfo> readSideFile(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject root = QJsonDocument::fromJson(in.read(64 * 1024)).object();
    const QJsonObject tables = root.value(QStringLiteral("tables")).toObject();
    if (tables.isEmpty())
        return std::nullopt;
    SideInfo info;
    info.reason = root.value(QStringLiteral("reason")).toString();
    for (const auto& table : db::schema::tables())
        info.snapshot.tableRows.append({table.name, qint64(tables.value(table.name).toDouble(-1))});
    info.snapshot.keyCounter = root.value(QStringLiteral("keyCounter")).toArray().toVariantList();
    return info;
}

void syncFile(const QString& file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw db::Error(QStringLiteral("Die Datei „%1“ lässt sich nicht auf den Datenträger schreiben (%2)")
                            .arg(shown(file), QString::fromLocal8Bit(std::strerror(error))));
}

void syncFolder(const QString& folder)
{
    // A folder that cannot be synced (some network file systems) keeps its
    // entries all the same; the copies themselves are synced.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void renameInto(const QString& from, const QString& to)
{
    QFile file(from);
    if (!file.rename(to))
        throw db::Error(QStringLiteral("„%1“ lässt sich nicht in „%2“ umbenennen: %3")
                            .arg(shown(from), shown(to), file.errorString()));
}

std::unique_ptr<QLockFile> lockFolder(const QString& folder)
{
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral(".sperre")));
    // Only a dead holder makes the lock stale, never its age: copying a
    // very large collection may take longer than any fixed limit.
    lock->setStaleLockTime(0);
    if (lock->tryLock(kLockWaitMs))
        return lock;
    if (lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, application;
        lock->getLockInfo(&pid, &host, &application);
        throw db::Error(QStringLiteral("Die Sicherungen in „%1“ werden gerade von einem anderen Programm (%2, "
                                       "Prozess %3) bearbeitet; seine Sperre „.sperre“ besteht noch. Versuchen Sie "
                                       "es noch einmal, wenn es fertig ist")
                            .arg(shown(folder), application)
                            .arg(pid));
    }
    throw db::Error(QStringLiteral("Im Ordner „%1“ lässt sich die Sperrdatei „.sperre“ nicht anlegen; der Ordner "
                                   "ist schreibgeschützt oder der Datenträger voll")
                        .arg(shown(folder)));
}

} // namespace backup::files
