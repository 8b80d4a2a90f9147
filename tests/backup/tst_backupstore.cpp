#include "backup/BackupFiles.h"
#include "backup/BackupStore.h"
#include "cli/Demo.h"
#include "database/Connection.h"
#include "database/Statement.h"
#include "database/Table.h"
#include "../common/ErrorOf.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using backup::BackupStore;

namespace {

// A demo collection in a temporary directory, and its backup store.
struct Collection {
    QTemporaryDir dir;
    QString databaseDir = dir.path() + QStringLiteral("/database");
    QString live = databaseDir + QStringLiteral("/stripothek.db");
    BackupStore store{databaseDir};

    Collection() { cli::createDemoDatabase(dir.path()); }

    void sql(const QString& statement, const QString& file = {})
    {
        backup::Handle db(file.isEmpty() ? live : file, backup::Handle::Mode::ReadWrite);
        db.exec(statement);
    }
    QStringList folderEntries() const
    {
        return QDir(store.folder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
};

QByteArray digest(const QString& file)
{
    backup::Handle db(file, backup::Handle::Mode::ReadOnly);
    return backup::contentDigest(db.get());
}

// Garbage over the first page of a table's tree: SQLite still opens the file,
// its check finds the damage; over the page's header (offset 0) every read
// of the table fails.
void damageTable(const QString& file, const QString& table, int offset = 8)
{
    qint64 page = 0;
    {
        backup::Handle db(file, backup::Handle::Mode::ReadOnly);
        page = db.value(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = '%1'").arg(table)).toLongLong();
    }
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek((page - 1) * 4096 + offset));
    f.write(QByteArray(64, '\xa5'));
}

} // namespace

class BackupStoreTest : public QObject {
    Q_OBJECT

private slots:
    // The copy holds what was committed when it began, even while another
    // connection has a write open, and it is one file that opens by itself.
    void backupIsCommittedStateAsOneFile()
    {
        Collection c;
        const QByteArray before = digest(c.live);
        db::Connection writer;
        writer.setDatabasePath(c.databaseDir);
        writer.connect();
        writer.startTransaction();
        writer.execute(QStringLiteral("DELETE FROM LOKALESTRIPOTHEK"));

        QList<QPair<backup::Stage, int>> progress;
        const backup::BackupInfo made = c.store.makeBackup(QStringLiteral("Comicdatenbank leeren"),
                                                           [&](backup::Stage stage, int percent) {
                                                               progress.append({stage, percent});
                                                           });
        writer.rollback();
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(progress.first(), qMakePair(backup::Stage::Copying, 0));
        QCOMPARE(progress.last(), qMakePair(backup::Stage::Checking, 100));
        QCOMPARE(digest(made.file), before);
        QCOMPARE(made.reason, QStringLiteral("Comicdatenbank leeren"));
        QCOMPARE(made.volumes, 28);
        QCOMPARE(made.ownCopies, 27);
        backup::Handle copy(made.file, backup::Handle::Mode::ReadOnly);
        QCOMPARE(copy.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
        QCOMPARE(c.folderEntries(), (QStringList{made.name, backup::files::sideFileName(made.name)}));
    }

    void namesOfOneSecond()
    {
        QTemporaryDir dir;
        const QDateTime at(QDate(2026, 12, 10), QTime(14, 30, 12));
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            names << backup::files::freeCopyName(dir.path(), at);
            QFile(dir.filePath(names.last())).open(QIODevice::WriteOnly);
        }
        QCOMPARE(names, (QStringList{"stripothek-2026-12-10-143012.db", "stripothek-2026-12-10-143012-2.db",
                                     "stripothek-2026-12-10-143012-3.db"}));
        // The list puts the later one of a second first.
        const auto listed = backup::files::copyNames(dir.path());
        QCOMPARE(listed.first().name, names.last());
        QCOMPARE(listed.last().name, names.first());
    }

    // What a killed run leaves is removed by the next one; finished copies stay.
    void leftoversOfKilledRunsGo()
    {
        Collection c;
        const backup::BackupInfo first = c.store.makeBackup(QStringLiteral("erste"));
        QDir folder(c.store.folder());
        for (const char* name : {".unfertig-stripothek-2026-01-01-000000.db", ".unfertig-stripothek-2026-01-01-000000.db-wal",
                                 ".unfertig-stripothek-2026-01-01-000000.json", "stripothek-2025-05-05-050505.json"})
            QFile(folder.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
        const backup::BackupInfo second = c.store.makeBackup(QStringLiteral("zweite"));
        QCOMPARE(c.folderEntries().size(), 4);
        QCOMPARE(c.store.list().size(), 2);
        QCOMPARE(c.store.list().last().name, first.name);
        QCOMPARE(c.store.list().first().name, second.name);
    }

    // A copy that fails its check is no copy: nothing new in the folder, the
    // older copies as they were.
    void damagedCatalogueGivesNoCopy()
    {
        Collection c;
        const backup::BackupInfo older = c.store.makeBackup(QStringLiteral("vorher"));
        const QStringList entries = c.folderEntries();
        damageTable(c.live, QStringLiteral("SERVERSTRIPOTHEK"));
        const QString message = errorOf([&] { c.store.makeBackup(QStringLiteral("danach")); });
        QVERIFY2(message.contains(QStringLiteral("ist beschädigt")), qPrintable(message));
        QVERIFY2(message.contains(QLatin1String("Es wurde keine Sicherung angelegt")), qPrintable(message));
        QCOMPARE(c.folderEntries(), entries);
        QVERIFY(backup::checkCatalogueFile(older.file).volumes() == 28);
    }

    void folderInTheWay()
    {
        Collection c;
        QFile blocker(c.store.folder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString message = errorOf([&] { c.store.makeBackup(QStringLiteral("x")); });
        QVERIFY2(message.contains(QStringLiteral("lässt sich nicht anlegen")), qPrintable(message));
    }

    void keeping_data()
    {
        QTest::addColumn<QStringList>("copies"); // dates of the copies, any order
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("monthly");
        QTest::addColumn<QStringList>("removed");
        const QStringList year{"2026-12-10-090000", "2026-12-09-090000", "2026-12-01-090000", "2026-11-30-090000",
                               "2026-11-02-090000", "2026-10-15-090000", "2026-01-05-090000", "2025-12-31-090000"};
        QTest::newRow("fewer than the last") << year << 10 << 0 << QStringList{};
        QTest::newRow("last three, no months") << year << 3 << 0
                                               << QStringList{"2026-11-30-090000", "2026-11-02-090000", "2026-10-15-090000",
                                                              "2026-01-05-090000", "2025-12-31-090000"};
        QTest::newRow("newest of each month") << year << 1 << 12
                                              << QStringList{"2026-12-09-090000", "2026-12-01-090000", "2026-11-02-090000",
                                                             "2025-12-31-090000"};
        QTest::newRow("months beyond the window") << year << 2 << 2
                                                  << QStringList{"2026-12-01-090000", "2026-11-02-090000", "2026-10-15-090000",
                                                                 "2026-01-05-090000", "2025-12-31-090000"};
        QTest::newRow("the newest stays at zero") << QStringList{"2024-03-01-120000", "2024-02-01-120000"} << 0 << 0
                                                  << QStringList{"2024-02-01-120000"};
    }

    void keeping()
    {
        QFETCH(QStringList, copies);
        QFETCH(int, last);
        QFETCH(int, monthly);
        QFETCH(QStringList, removed);
        Collection c;
        QDir().mkpath(c.store.folder());
        for (const QString& stamp : copies)
            for (const char* extension : {".db", ".json"})
                QFile(c.store.folder() + QStringLiteral("/stripothek-") + stamp + QLatin1String(extension))
                    .open(QIODevice::WriteOnly);
        QStringList expected;
        for (const QString& stamp : removed)
            expected << QStringLiteral("stripothek-") + stamp + QStringLiteral(".db");
        const QStringList gone = c.store.prune({last, monthly}, QDate(2026, 12, 10));
        QCOMPARE(gone, expected);
        QCOMPARE(c.folderEntries().size(), 2 * (copies.size() - removed.size()));
    }

    // The restored catalogue is the copy, table by table; the state before is
    // kept as a copy; a connection of this program sees the new catalogue.
    void restoreReplacesCatalogue()
    {
        Collection c;
        const backup::BackupInfo copy = c.store.makeBackup(QStringLiteral("vorher"));
        c.sql(QStringLiteral("DELETE FROM SERVERSTRIPOTHEK WHERE rowid % 2 = 0"));
        c.sql(QStringLiteral("UPDATE KEYGEN SET KGNEXTID = KGNEXTID + 50"));
        const QByteArray changed = digest(c.live);
        db::Connection program;
        program.setDatabasePath(c.databaseDir);
        program.connect();

        const backup::RestoreResult result = c.store.restore(copy.name);
        QCOMPARE(digest(c.live), digest(copy.file));
        QCOMPARE(digest(result.safety.file), changed);
        QVERIFY(result.safety.reason.contains(copy.name));
        QCOMPARE(result.restored.volumes(), 28);
        db::Statement count(program.handle(), QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"));
        QVERIFY(count.step());
        QCOMPARE(count.columnInt64(0), 28);
        QVERIFY(!QFile::exists(c.live + QStringLiteral("-journal")));
    }

    void restoreRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("damaged copy") << "damaged" << "ist beschädigt";
        QTest::newRow("another program's database") << "foreign" << "anderen Programm";
        QTest::newRow("a column missing") << "column" << "fehlt die Spalte ALWG";
        QTest::newRow("a newer layout") << "newer" << "neueren Version";
        QTest::newRow("plain text") << "text" << "keine SQLite-Datei";
        QTest::newRow("other page size") << "pages" << "Seiten von 8192 Bytes";
        QTest::newRow("the catalogue itself") << "itself" << "die Sammlung selbst";
        QTest::newRow("no such copy") << "missing" << "gibt es weder";
        QTest::newRow("a writer holds the lock") << "writer" << "Schreibsperre";
        QTest::newRow("packing holds it exclusively") << "exclusive" << "exklusive Sperre";
    }

    // A refused restore changes nothing: not the catalogue, not the folder.
    void restoreRefuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Collection c;
        const backup::BackupInfo copy = c.store.makeBackup(QStringLiteral("vorher"));
        const QString other = c.dir.filePath(QStringLiteral("andere.db"));
        QFile::copy(copy.file, other);
        if (kind == QLatin1String("damaged"))
            damageTable(other, QStringLiteral("AUFLAGEN"));
        if (kind == QLatin1String("foreign"))
            c.sql(QStringLiteral("PRAGMA application_id = 42"), other);
        if (kind == QLatin1String("column"))
            c.sql(QStringLiteral("ALTER TABLE AUFLAGEN DROP COLUMN ALWG"), other);
        if (kind == QLatin1String("pages")) {
            backup::Handle db(other, backup::Handle::Mode::ReadWrite);
            db.exec(QStringLiteral("PRAGMA page_size = 8192"));
            db.exec(QStringLiteral("VACUUM"));
        }
        if (kind == QLatin1String("newer"))
            c.sql(QStringLiteral("PRAGMA user_version = 99"), other);
        if (kind == QLatin1String("text")) {
            QFile f(other);
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray(8192, 'x'));
        }
        const QString target = kind == QLatin1String("itself")    ? c.live
                               : kind == QLatin1String("missing") ? QStringLiteral("stripothek-1999-01-01-000000")
                               : kind == QLatin1String("writer") || kind == QLatin1String("exclusive") ? copy.name
                                                                                                         : other;
        c.sql(QStringLiteral("DELETE FROM LOKALESTRIPOTHEK"));
        const QByteArray before = digest(c.live);
        const QStringList entries = c.folderEntries();
        db::Connection writer;
        writer.setDatabasePath(c.databaseDir);
        writer.connect();
        if (kind == QLatin1String("writer")) {
            writer.startTransaction();
            writer.execute(QStringLiteral("UPDATE SERIEN SET SRNAME = SRNAME"));
        }
        if (kind == QLatin1String("exclusive"))
            writer.lockExclusive(QStringLiteral("Packen"));

        const QString error = errorOf([&] { c.store.restore(target); });
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY2(error.contains(QLatin1String("nichts wiederhergestellt")), qPrintable(error));
        writer.rollback();
        writer.unlockExclusive();
        QCOMPARE(digest(c.live), before);
        QCOMPARE(c.folderEntries(), entries);
    }

    void restoreWhereTheCatalogueIsGone_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("file deleted") << false;
        QTest::newRow("header destroyed") << true;
    }

    // The disasters a restore is for: the copy comes back, what was left of
    // the catalogue is kept beside the copies.
    void restoreWhereTheCatalogueIsGone()
    {
        QFETCH(bool, present);
        Collection c;
        const backup::BackupInfo copy = c.store.makeBackup(QStringLiteral("vorher"));
        QFile::remove(c.live);
        if (present) {
            QFile f(c.live);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(65536, '\0'));
        }
        const backup::RestoreResult result = c.store.restore(copy.file);
        QCOMPARE(digest(c.live), digest(copy.file));
        QCOMPARE(result.damagedKept.isEmpty(), !present);
        QCOMPARE(QFile::exists(result.damagedKept), present);
        backup::Handle live(c.live, backup::Handle::Mode::ReadOnly);
        QCOMPARE(live.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    }

    void restoreOverDamagedCatalogue_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("offset");
        QTest::newRow("found by the check") << "COMIC2AUTOR" << 8;
        QTest::newRow("found while counting") << "KEYGEN" << 0;
    }

    void restoreOverDamagedCatalogue()
    {
        QFETCH(QString, table);
        QFETCH(int, offset);
        Collection c;
        const backup::BackupInfo copy = c.store.makeBackup(QStringLiteral("vorher"));
        damageTable(c.live, table, offset);
        const backup::RestoreResult result = c.store.restore(copy.name);
        QCOMPARE(digest(c.live), digest(copy.file));
        QVERIFY(result.safety.name.isEmpty());
        QVERIFY2(QFileInfo(result.damagedKept).fileName().startsWith(QLatin1String("beschaedigt-")),
                 qPrintable(result.damagedKept));
        QVERIFY(!errorOf([&] { backup::checkCatalogueFile(result.damagedKept); }).isEmpty());
        QCOMPARE(c.store.list().size(), 1);
    }
};

QTEST_GUILESS_MAIN(BackupStoreTest)
#include "tst_backupstore.moc"
