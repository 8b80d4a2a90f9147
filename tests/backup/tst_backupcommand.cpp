#include "backup/BackupStore.h"
#include "cli/Demo.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// stripothek-db backup, backups and restore as a user runs them, while the
// program has the collection open in another process.
class BackupCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

    struct Run {
        int exitCode = -1;
        QString out, err;
    };

    static Run run(const QStringList& arguments, qint64 fileSizeLimit = 0)
    {
        QProcess p;
        p.setChildProcessModifier([fileSizeLimit] {
            if (fileSizeLimit > 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
        });
        p.start(QStringLiteral(STRIPOTHEK_DB_TOOL), arguments);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
            return {};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

    static QByteArray digest(const QString& file)
    {
        backup::Handle db(file, backup::Handle::Mode::ReadOnly);
        return backup::contentDigest(db.get());
    }

private slots:
    void initTestCase()
    {
        // The keeping rule is the user's setting, shared with the program.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        backup::KeepPolicy{2, 0}.save();
    }

    void whileTheProgramHasTheCollectionOpen()
    {
        QTemporaryDir dir;
        cli::createDemoDatabase(dir.path());
        const QString live = dir.path() + QStringLiteral("/database/stripothek.db");
        QProcess holder;
        holder.start(QStringLiteral(DBHOLDER), {dir.path() + QStringLiteral("/database")});
        QVERIFY(holder.waitForReadyRead(30000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("offen"));

        QStringList names;
        for (int i = 0; i < 3; ++i) {
            const Run made = run({QStringLiteral("backup"), dir.path()});
            QCOMPARE(made.exitCode, 0);
            QVERIFY2(made.out.startsWith(QStringLiteral("Sicherung angelegt: ")), qPrintable(made.out + made.err));
            QVERIFY2(made.out.contains(QStringLiteral("(28 Bände, 27 eigene Exemplare")), qPrintable(made.out));
            names << QFileInfo(made.out.section(QLatin1Char(' '), 2, 2)).fileName();
        }
        const Run listed = run({QStringLiteral("backups"), dir.path()});
        QCOMPARE(listed.exitCode, 0);
        const QStringList lines = listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2); // the setting keeps two
        QVERIFY2(lines[0].startsWith(names[2]) && lines[1].startsWith(names[1]), qPrintable(listed.out));
        QVERIFY2(lines[0].contains(QStringLiteral("28 Bände"))
                     && lines[0].contains(QStringLiteral("27 eigene Exemplare"))
                     && lines[0].endsWith(QStringLiteral("stripothek-db backup")),
                 qPrintable(lines[0]));

        const QString exported = dir.path() + QStringLiteral("/kopie.db");
        QCOMPARE(run({QStringLiteral("backup"), dir.path(), QStringLiteral("--to"), exported}).exitCode, 0);
        QCOMPARE(digest(exported), digest(live));
        {
            backup::Handle db(live, backup::Handle::Mode::ReadWrite);
            db.exec(QStringLiteral("DELETE FROM SERVERSTRIPOTHEK"));
        }
        const Run restored = run({QStringLiteral("restore"), dir.path(), names[2]});
        QVERIFY2(restored.exitCode == 0, qPrintable(restored.err));
        QVERIFY2(restored.out.contains(QStringLiteral("Der bisherige Stand ist gesichert")), qPrintable(restored.out));
        QCOMPARE(digest(live), digest(exported));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
        QCOMPARE(holder.exitCode(), 0);
    }

    // The disk fills up half-way through the copy.
    void fullDiskChangesNothing()
    {
        QTemporaryDir dir;
        cli::createDemoDatabase(dir.path());
        QCOMPARE(run({QStringLiteral("backup"), dir.path()}).exitCode, 0);
        const QDir folder(dir.path() + QStringLiteral("/database/Sicherungen"));
        const QStringList before = folder.entryList(QDir::Files | QDir::Hidden);
        const QByteArray catalogue = digest(dir.path() + QStringLiteral("/database/stripothek.db"));

        const Run full = run({QStringLiteral("backup"), dir.path()}, 100000);
        QCOMPARE(full.exitCode, 1);
        QVERIFY2(full.err.contains(QStringLiteral("Es wurde keine Sicherung angelegt; die Sammlung und die älteren "
                                                  "Sicherungen sind unverändert.")),
                 qPrintable(full.err));
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), before);
        QCOMPARE(digest(dir.path() + QStringLiteral("/database/stripothek.db")), catalogue);
    }

    void wrongCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("restore without a copy") << QStringList{"restore", "DIR"} << "Es fehlt die Sicherung";
        QTest::newRow("--to for the list") << QStringList{"backups", "DIR", "--to", "x.db"} << "--to gilt nur für backup";
        QTest::newRow("--to without a file") << QStringList{"backup", "DIR", "--to"} << "--to fehlt";
        QTest::newRow("too many") << QStringList{"backup", "DIR", "DIR"} << "Zu viele Argumente";
    }

    void wrongCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        arguments.replaceInStrings(QStringLiteral("DIR"), dir.path());
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(BackupCommandTest)
#include "tst_backupcommand.moc"
