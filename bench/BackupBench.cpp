#include "BackupBench.h"

#include "Bench.h"
#include "app/ComicForm.h"
#include "backup/BackupStore.h"
#include "core/Command.h"
#include "database/FieldNames.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <unistd.h>

namespace bench {

namespace {

constexpr int kRuns = 5;

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time, and the processor time it took: on a machine shared with other
// work the second says more about the cost than the first.
double elapsedMs(const std::function<void()>& work, double* cpu = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    const double start = cpuMs();
    work();
    if (cpu)
        *cpu = std::min(*cpu, cpuMs() - start);
    return timer.nsecsElapsed() / 1e6;
}

// The backup interface as any program would call it: one step for all pages,
// into a file with SQLite's defaults (rollback journal, synced at commit).
void rawBackup(const QString& from, const QString& to)
{
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    sqlite3_open_v2(from.toUtf8().constData(), &source, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_open_v2(to.toUtf8().constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_backup* backup = sqlite3_backup_init(target, "main", source, "main");
    const int rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_errcode(target);
    sqlite3_backup_finish(backup);
    sqlite3_close(target);
    sqlite3_close(source);
    if (rc != SQLITE_DONE)
        throw std::runtime_error("raw backup failed");
}

void shellBackup(const QString& from, const QString& to)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {from, QStringLiteral(".backup '%1'").arg(to)});
    if (!shell.waitForFinished(120000) || shell.exitCode() != 0)
        throw std::runtime_error("sqlite3 .backup failed (is the sqlite3 shell installed?)");
}

// The main window closed as the user closes it, once after an entry was
// stored (a copy is due) and once after nothing was; each on a window that
// opened and painted first.
void measureClosing(const QString& dir, const backup::BackupStore& copies, double* due, double* dueCpu,
                    double* nothingStored)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    // A failed copy would ask; a benchmark answers no and reports it.
    const ui::QuestionSink previousSink = ui::setQuestionSink([](const QString&) { return false; });
    *due = *dueCpu = *nothingStored = std::numeric_limits<double>::max();
    for (int run = 0; run < 3; ++run) {
        for (const bool store : {true, false}) {
            TComicForm form;
            form.show();
            QApplication::processEvents();
            if (store) {
                db::Table& catalogue = form.data().tblStripothek();
                catalogue.edit();
                catalogue.fieldByName(db::fields::SCLTITEL3).setAsString(QStringLiteral("Bench %1").arg(run));
                catalogue.post();
            }
            const auto newest = [&] { return copies.list().value(0).name; };
            const QString before = newest();
            bool closed = false;
            const double ms = elapsedMs([&] { closed = form.close(); }, store ? dueCpu : nullptr);
            if (!closed || (newest() != before) != store)
                throw std::runtime_error(store ? "closing the window made no copy" : "closing made a needless copy");
            (store ? *due : *nothingStored) = std::min(store ? *due : *nothingStored, ms);
        }
    }
    ui::setQuestionSink(previousSink);
    QDir::setCurrent(previous);
}

} // namespace

void runBackupBench(const QString& dir, Report& report)
{
    const QString databaseDir = dir + QStringLiteral("/database");
    const QString live = databaseDir + QStringLiteral("/stripothek.db");
    backup::BackupStore store(databaseDir);
    QDir(store.folder()).removeRecursively();
    const QString raw = dir + QStringLiteral("/bench-backup-raw.db");

    // Interleaved, so that the machine's other work weighs on both sides alike.
    double ours = std::numeric_limits<double>::max();
    double shell = ours;
    double loop = ours;
    double oursCpu = ours;
    double loopCpu = ours;
    backup::BackupInfo made;
    for (int run = 0; run < kRuns; ++run) {
        QFile::remove(raw);
        shell = std::min(shell, elapsedMs([&] { shellBackup(live, raw); }));
        QFile::remove(raw);
        loop = std::min(loop, elapsedMs([&] { rawBackup(live, raw); }, &loopCpu));
        ours = std::min(ours, elapsedMs([&] { made = store.makeBackup(QStringLiteral("Benchmark")); }, &oursCpu));
    }
    QFile::remove(raw);
    report.add(QStringLiteral("backup, checked (%1 MB) / sqlite3 .backup").arg(made.bytes / 1e6, 0, 'f', 1), ours, shell);
    report.add(QStringLiteral("backup, checked / backup API in a plain loop"), ours, loop);
    report.add(QStringLiteral("  the same, processor time only"), oursCpu, loopCpu);
    double closingDue = 0;
    double closingDueCpu = 0;
    double closingClean = 0;
    measureClosing(dir, store, &closingDue, &closingDueCpu, &closingClean);
    report.add(QStringLiteral("closing the window, copy due / backup API in a plain loop"), closingDue, loop);
    report.add(QStringLiteral("  the same, processor time only"), closingDueCpu, loopCpu);
    report.addFigure(QStringLiteral("closing the window, nothing stored, ms"), closingClean);
    // What the check alone costs: SQLite's structural check of the copy.
    double checkCpu = std::numeric_limits<double>::max();
    const double checkMs = bestOf(kRuns, [&] {
        elapsedMs([&] {
            backup::Handle copy(made.file, backup::Handle::Mode::ReadOnly);
            copy.exec(QStringLiteral("PRAGMA mmap_size=%1").arg(made.bytes + (1 << 20)));
            backup::quickCheck(copy, made.name);
        }, &checkCpu);
    });
    report.addFigure(QStringLiteral("  of it: quick_check of the copy, ms"), checkMs);
    report.addFigure(QStringLiteral("  of it: quick_check of the copy, CPU ms"), checkCpu);

    // Twenty-two copies: the one just made under other names, as a year of
    // use leaves them; hard links cost no disk and list exactly alike.
    const QDir folder(store.folder());
    for (const QString& name : folder.entryList({QStringLiteral("stripothek-*.db")}, QDir::Files))
        if (name != made.name) {
            QFile::remove(folder.filePath(name));
            QFile::remove(folder.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".json")));
        }
    const QString side = QFileInfo(made.name).completeBaseName() + QStringLiteral(".json");
    for (int month = 1; month <= 21; ++month) {
        const QString name = QStringLiteral("stripothek-2025-%1-15-120000").arg(month % 12 + 1, 2, 10, QLatin1Char('0'))
                             + (month > 12 ? QStringLiteral("-2") : QString());
        if (::link(QFile::encodeName(made.file).constData(),
                   QFile::encodeName(folder.filePath(name + QStringLiteral(".db"))).constData()) != 0
            || !QFile::copy(folder.filePath(side), folder.filePath(name + QStringLiteral(".json"))))
            throw std::runtime_error("cannot lay out the copies to list");
    }
    qsizetype listed = 0;
    const double listMs = bestOf(kRuns, [&] { listed = store.list().size(); });
    const double rawListMs = bestOf(kRuns, [&] {
        listed = std::min(listed, folder.entryInfoList({QStringLiteral("stripothek-*.db")}, QDir::Files).size());
    });
    report.add(QStringLiteral("list %1 copies / the folder's entries").arg(listed), listMs, rawListMs);

    // Restoring the newest copy leaves the collection as it was.
    double restoreMs = std::numeric_limits<double>::max();
    double rawRestoreMs = restoreMs;
    for (int run = 0; run < 3; ++run) {
        rawRestoreMs = std::min(rawRestoreMs, elapsedMs([&] { rawBackup(made.file, live); }));
        restoreMs = std::min(restoreMs, elapsedMs([&] { store.restore(made.name); }));
    }
    report.add(QStringLiteral("restore (safety copy first) / backup API into the file"), restoreMs, rawRestoreMs);
    QDir(store.folder()).removeRecursively();
}

} // namespace bench
