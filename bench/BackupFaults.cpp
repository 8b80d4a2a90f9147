// Backups and restores as a user's machine meets them: stripothek-db killed
// (-9) at random moments during a backup and during a restore, and a disk
// that fills up during a backup. After each trial the catalogue must be
// either the old or the restored one and sound, and every copy in the folder
// must pass its check; what a killed run leaves under a temporary name must
// be gone after the next run.
//
//   stripothek-backup-faults [--dir DIR] [--volumes N] [--trials N] [--full-disk MOUNT]
//
// --full-disk names an empty, small file system (a tmpfs of some 40 MB) on
// which the disk really runs full; without it the full disk is a file size
// limit (RLIMIT_FSIZE) of the killed-and-checked tool only.
#include "backup/BackupFiles.h"
#include "backup/BackupStore.h"
#include "cli/Generator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

int g_failures = 0;

void fail(const QString& what)
{
    ++g_failures;
    out() << "  FEHLER: " << what << Qt::endl;
}

QByteArray digestOf(const QString& file)
{
    backup::Handle db(file, backup::Handle::Mode::ReadOnly);
    return backup::contentDigest(db.get());
}

struct Tool {
    QString program;
    QString workDir;
    qint64 fileSizeLimit = 0; // bytes, 0: none

    QProcess* start(const QStringList& arguments) const
    {
        auto* process = new QProcess;
        process->setProgram(program);
        process->setArguments(arguments);
        const qint64 limit = fileSizeLimit;
        process->setChildProcessModifier([limit] {
            if (limit > 0) {
                // Past the limit a write fails with EFBIG instead of killing the process.
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit rl{rlim_t(limit), rlim_t(limit)};
                setrlimit(RLIMIT_FSIZE, &rl);
            }
        });
        process->start();
        process->waitForStarted();
        return process;
    }

    // Runs to the end; returns exit code and error output.
    QPair<int, QString> run(const QStringList& arguments) const
    {
        std::unique_ptr<QProcess> process(start(arguments));
        process->waitForFinished(300000);
        return {process->exitCode(), QString::fromUtf8(process->readAllStandardError())};
    }

    // Kills the run after delayUs unless it ended before; returns whether it was killed.
    bool runAndKill(const QStringList& arguments, qint64 delayUs) const
    {
        std::unique_ptr<QProcess> process(start(arguments));
        QThread::usleep(quint64(delayUs));
        const bool killed = process->state() == QProcess::Running && ::kill(pid_t(process->processId()), SIGKILL) == 0;
        process->waitForFinished(300000);
        return killed && process->exitStatus() == QProcess::CrashExit;
    }
};

struct Folder {
    explicit Folder(const QString& dir) : databaseDir(dir) {}
    QString databaseDir;
    QString folder = databaseDir + QStringLiteral("/Sicherungen");
    QSet<QString> verified; // name and size of copies already checked

    QStringList unfinished() const
    {
        return QDir(folder).entryList({QStringLiteral(".unfertig-*")}, QDir::Files | QDir::Hidden);
    }

    // Every copy under a final name is whole and sound, and matches its side file.
    int checkCopies(const QSet<QByteArray>& allowedDigests)
    {
        int checked = 0;
        for (const auto& name : backup::files::copyNames(folder)) {
            const QString file = QDir(folder).filePath(name.name);
            const QString key = name.name + QString::number(QFileInfo(file).size());
            if (verified.contains(key))
                continue;
            try {
                const backup::Snapshot snapshot = backup::checkCatalogueFile(file);
                const auto side = backup::files::readSideFile(QDir(folder).filePath(backup::files::sideFileName(name.name)));
                if (side && side->snapshot.tableRows != snapshot.tableRows)
                    fail(QStringLiteral("%1 passt nicht zu seiner Beschreibung").arg(name.name));
                if (!allowedDigests.contains(digestOf(file)))
                    fail(QStringLiteral("%1 enthält einen Stand, den es nie gab").arg(name.name));
            } catch (const std::exception& e) {
                fail(QStringLiteral("%1: %2").arg(name.name, QString::fromUtf8(e.what())));
            }
            verified.insert(key);
            ++checked;
        }
        return checked;
    }
};

// The catalogue is sound and holds one of the expected states; returns which.
int catalogueState(const QString& live, const QList<QByteArray>& states)
{
    try {
        backup::checkCatalogueFile(live);
        const int index = int(states.indexOf(digestOf(live)));
        if (index < 0)
            fail(QStringLiteral("die Sammlung hat einen Stand, den es nie gab"));
        return index;
    } catch (const std::exception& e) {
        fail(QStringLiteral("die Sammlung: %1").arg(QString::fromUtf8(e.what())));
        return -1;
    }
}

double timedRun(const Tool& tool, const QStringList& arguments)
{
    QElapsedTimer timer;
    timer.start();
    const auto [code, error] = tool.run(arguments);
    if (code != 0)
        fail(QStringLiteral("%1: %2").arg(arguments.join(QLatin1Char(' ')), error.trimmed()));
    return double(timer.nsecsElapsed()) / 1000.0;
}

void killTrials(const Tool& tool, const QString& live, Folder& folder, int trials)
{
    auto* random = QRandomGenerator::global();
    const QByteArray original = digestOf(live);
    // A second state to restore to and from: the own copies emptied.
    const backup::BackupInfo before = backup::BackupStore(folder.databaseDir).makeBackup(QStringLiteral("Ausgangsstand"));
    {
        backup::Handle db(live, backup::Handle::Mode::ReadWrite);
        db.exec(QStringLiteral("DELETE FROM LOKALESTRIPOTHEK"));
    }
    const QByteArray emptied = digestOf(live);
    const backup::BackupInfo afterEmptying = backup::BackupStore(folder.databaseDir).makeBackup(QStringLiteral("geleert"));
    const QSet<QByteArray> states{original, emptied};
    // The two states to restore stay outside the folder, out of reach of keeping.
    const QString originalFile = QFileInfo(tool.workDir).absolutePath() + QStringLiteral("/stand-original.db");
    const QString emptiedFile = QFileInfo(tool.workDir).absolutePath() + QStringLiteral("/stand-geleert.db");
    QFile::remove(originalFile);
    QFile::remove(emptiedFile);
    QFile::copy(before.file, originalFile);
    QFile::copy(afterEmptying.file, emptiedFile);

    // The slowest of three runs: on a busy machine the killed runs are slow
    // too, and the kills should fall over the whole run, its end included.
    double backupUs = 0, restoreUs = 0;
    for (int i = 0; i < 3; ++i) {
        backupUs = std::max(backupUs, timedRun(tool, {QStringLiteral("backup"), tool.workDir}));
        restoreUs = std::max(restoreUs, timedRun(tool, {QStringLiteral("restore"), tool.workDir, emptiedFile}));
    }
    out() << "Eine ganze Sicherung dauert bis zu " << qRound(backupUs / 1000) << " ms, eine Wiederherstellung bis zu "
          << qRound(restoreUs / 1000) << " ms (mit dem Start des Programms); kill -9 zu einem zufälligen Zeitpunkt "
          << "im Anderthalbfachen davon." << Qt::endl;

    folder.checkCopies(states); // those of the timed runs
    int killed = 0, leftBehind = 0, killedAfterCopy = 0, copies = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const bool wasKilled =
            tool.runAndKill({QStringLiteral("backup"), tool.workDir}, qint64(random->bounded(backupUs * 1.5)));
        killed += wasKilled;
        // A killed run may leave its unfinished file; a run that got past
        // its start has removed those of the runs before.
        if (!folder.unfinished().isEmpty())
            ++leftBehind;
        catalogueState(live, {emptied});
        const int made = folder.checkCopies(states);
        killedAfterCopy += wasKilled && made > 0;
        copies += made;
    }
    out() << "Sicherung: " << trials << " Versuche, " << killed << " mit kill -9 abgebrochen (nach " << leftBehind
          << " lag eine unfertige Datei im Ordner, bei " << killedAfterCopy
          << " war die neue Sicherung schon fertig); " << copies << " neue Sicherungen, alle geprüft." << Qt::endl;

    const auto [code, error] = tool.run({QStringLiteral("backup"), tool.workDir});
    if (code != 0 || !folder.unfinished().isEmpty())
        fail(QStringLiteral("der nächste Lauf räumt nicht auf: %1 %2").arg(folder.unfinished().join(QLatin1Char(' ')), error));
    else
        out() << "Der nächste ganze Lauf hat alle unfertigen Dateien entfernt." << Qt::endl;

    // Restores, back and forth between the two states.
    int killedRestores = 0;
    int stayed = 0, restored = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const int current = catalogueState(live, {original, emptied});
        if (current < 0)
            break;
        const QString target = current == 0 ? emptiedFile : originalFile;
        if (tool.runAndKill({QStringLiteral("restore"), tool.workDir, target}, qint64(random->bounded(restoreUs * 1.5))))
            ++killedRestores;
        const int now = catalogueState(live, {original, emptied});
        (now == current ? stayed : restored) += 1;
        folder.checkCopies(states);
        // Keeps the folder small: fifty safety copies are not what is tried here.
        backup::BackupStore(folder.databaseDir).prune({4, 0});
    }
    out() << "Wiederherstellung: " << trials << " Versuche, " << killedRestores << " davon mit kill -9 abgebrochen; danach "
          << stayed << "-mal der alte Stand, " << restored << "-mal der wiederhergestellte, nie ein anderer." << Qt::endl;
}

// The disk fills up during a backup: the run fails with a German message, the
// catalogue and the older copies stay as they were, nothing is left over.
void fullDisk(const Tool& tool, const QString& live, Folder& folder, const QString& how)
{
    const QByteArray catalogue = digestOf(live);
    QMap<QString, QByteArray> copies;
    for (const auto& name : backup::files::copyNames(folder.folder))
        copies.insert(name.name, digestOf(QDir(folder.folder).filePath(name.name)));
    const auto [code, error] = tool.run({QStringLiteral("backup"), tool.workDir});
    out() << how << ": Rückgabewert " << code << ", Meldung: " << error.trimmed() << Qt::endl;
    if (code != 1)
        fail(QStringLiteral("die Sicherung auf vollem Datenträger meldet keinen Fehler"));
    if (digestOf(live) != catalogue)
        fail(QStringLiteral("die Sammlung hat sich geändert"));
    QMap<QString, QByteArray> after;
    for (const auto& name : backup::files::copyNames(folder.folder))
        after.insert(name.name, digestOf(QDir(folder.folder).filePath(name.name)));
    if (after != copies)
        fail(QStringLiteral("die älteren Sicherungen haben sich geändert"));
    if (!folder.unfinished().isEmpty())
        fail(QStringLiteral("unfertige Dateien blieben zurück: %1").arg(folder.unfinished().join(QLatin1Char(' '))));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("Working directory"), QStringLiteral("DIR"));
    const QCommandLineOption volumesOption(QStringLiteral("volumes"), QStringLiteral("Volumes"), QStringLiteral("N"),
                                           QStringLiteral("10000"));
    const QCommandLineOption trialsOption(QStringLiteral("trials"), QStringLiteral("Trials of each kind"),
                                          QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption fullDiskOption(QStringLiteral("full-disk"), QStringLiteral("An empty small file system"),
                                            QStringLiteral("MOUNT"));
    parser.addOptions({dirOption, volumesOption, trialsOption, fullDiskOption});
    parser.process(app);

    QTemporaryDir scratch;
    const QString work = parser.isSet(dirOption) ? parser.value(dirOption) : scratch.path();
    // The tool reads the user's keeping rule; the trials use the default one.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work + QStringLiteral("/config")));
    Tool tool{QStringLiteral(STRIPOTHEK_DB_TOOL), work + QStringLiteral("/sammlung")};
    try {
        QDir(tool.workDir).removeRecursively();
        cli::createGeneratedDatabase(tool.workDir, parser.value(volumesOption).toInt());
        const QString live = backup::BackupStore(tool.workDir + QStringLiteral("/database")).databaseFile();
        Folder folder{tool.workDir + QStringLiteral("/database")};
        out() << "Sammlung mit " << parser.value(volumesOption) << " Bänden, "
              << QFileInfo(live).size() / 1000000.0 << " MB." << Qt::endl;
        killTrials(tool, live, folder, parser.value(trialsOption).toInt());

        Tool limited = tool;
        limited.fileSizeLimit = QFileInfo(live).size() / 2;
        fullDisk(limited, live, folder, QStringLiteral("Dateigrößengrenze (RLIMIT_FSIZE) halb so groß wie die Sammlung"));

        if (parser.isSet(fullDiskOption)) {
            // The collection and one copy fit; the ballast leaves room for half another.
            Tool onDisk{tool.program, parser.value(fullDiskOption) + QStringLiteral("/sammlung")};
            QDir(onDisk.workDir).removeRecursively();
            cli::createGeneratedDatabase(onDisk.workDir, parser.value(volumesOption).toInt());
            Folder small{onDisk.workDir + QStringLiteral("/database")};
            const QString smallLive = small.databaseDir + QStringLiteral("/stripothek.db");
            onDisk.run({QStringLiteral("backup"), onDisk.workDir});
            const QString ballast = parser.value(fullDiskOption) + QStringLiteral("/ballast");
            QFile fill(ballast);
            fill.open(QIODevice::WriteOnly);
            const qint64 keepFree = QFileInfo(smallLive).size() / 2;
            const QByteArray block(1 << 16, '\0');
            while (QStorageInfo(parser.value(fullDiskOption)).bytesAvailable() > keepFree + block.size()
                   && fill.write(block) == block.size())
                fill.flush();
            fill.close();
            fullDisk(onDisk, smallLive, small, QStringLiteral("Voller Datenträger (%1)").arg(parser.value(fullDiskOption)));
            QFile::remove(ballast);
            const auto [code, error] = onDisk.run({QStringLiteral("backup"), onDisk.workDir});
            if (code != 0 || small.checkCopies({digestOf(smallLive)}) != 2)
                fail(QStringLiteral("nach dem Aufräumen gelingt die Sicherung nicht: %1").arg(error));
            else
                out() << "Mit wieder freiem Platz gelingt die nächste Sicherung." << Qt::endl;
            QDir(onDisk.workDir).removeRecursively();
        }
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
    }
    out() << (g_failures == 0 ? "Alle Prüfungen bestanden." : "Prüfungen fehlgeschlagen: ") << (g_failures ? QString::number(g_failures) : QString())
          << Qt::endl;
    return g_failures == 0 ? 0 : 1;
}
