#include "csvwizard/CsvImportWizard.h"

#include "database/ComicData.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

// Acts on the progress of a pass once it shows, as the user would: the
// step runs from the event loop the pass keeps going, on the progress if it
// is still showing then. Also notes each text the progress paints.
class PassWatcher : public QObject {
public:
    std::function<void(QWidget& dialog)> step;
    QStringList painted;
    bool unexpected = false;

    PassWatcher() { qApp->installEventFilter(this); }
    ~PassWatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == u"dlgPassProgress"_s && step)
            QMetaObject::invokeMethod(
                this,
                [this, dialog = QPointer<QWidget>(static_cast<QWidget*>(watched)), f = std::exchange(step, {})] {
                    if (dialog && dialog->isVisible())
                        f(*dialog);
                    else
                        unexpected = true;
                },
                Qt::QueuedConnection);
        if (event->type() == QEvent::Paint && watched->objectName() == u"labPass"_s)
            painted << static_cast<QLabel*>(watched)->text();
        return false;
    }
};

// The wizard driven as a user drives it, through its named controls.
class TestCsvImportWizard : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ComicData> m_data;

    int count(const QString& table)
    {
        db::Statement read(m_data->dbConnection().handle(), u"SELECT count(*) FROM "_s + table);
        return read.step() ? int(read.columnInt64(0)) : -1;
    }
    template <class T>
    static T* control(QWidget& wizard, const QString& name)
    {
        T* found = wizard.findChild<T*>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }

    // The file's pages as proposed, up to the trial run's page.
    static void toSummary(csvwizard::TCsvImportWizard& wizard)
    {
        wizard.setWindowModality(Qt::ApplicationModal); // as the program runs it
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(QStringLiteral(DATA_DIR "/kasse-1252.csv"));
        wizard.next();
        wizard.next();
        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgSummary"_s);
    }
    static QString backups(const QString& dir)
    {
        return QDir(dir + u"/database/Sicherungen"_s).entryList({u"*.db"_s}).join(u' ');
    }

private Q_SLOTS:
    void initTestCase()
    {
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QStandardPaths::setTestModeEnabled(true);
        db::schema::createDatabase(m_dir.path());
        m_data = std::make_unique<ComicData>();
        m_data->dbConnection().setDatabasePath(m_dir.path() + u"/database"_s);
        m_data->OpenTables();
    }
    void cleanupTestCase() { m_data.reset(); }

    void aFileThatIsNoCsvStaysOnTheFirstPage()
    {
        csvwizard::TCsvImportWizard wizard(*m_data);
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(QStringLiteral(DATA_DIR "/mappe.csv"));
        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgFile"_s);
        QVERIFY(control<QLabel>(wizard, u"labFileError"_s)->text().contains(u"Arbeitsmappe"_s));
    }

    void cancelledPassStoresNothing_data()
    {
        QTest::addColumn<bool>("import");
        QTest::addColumn<QString>("how");
        QTest::newRow("trial run, the dialog's button") << false << u"button"_s;
        QTest::newRow("trial run, Esc in the dialog") << false << u"Esc"_s;
        QTest::newRow("trial run, the wizard closed") << false << u"close"_s;
        QTest::newRow("import, the dialog's button") << true << u"button"_s;
        QTest::newRow("import, the wizard closed") << true << u"close"_s;
        QTest::newRow("import, the wizard's Abbrechen") << true << u"wizard's button"_s;
    }
    void cancelledPassStoresNothing()
    {
        QFETCH(bool, import);
        QFETCH(QString, how);
        const int before = count(u"SERVERSTRIPOTHEK"_s);
        const QString backupsBefore = backups(m_dir.path());
        csvwizard::TCsvImportWizard wizard(*m_data);
        PassWatcher watcher;
        bool pageWaited = false;
        const auto cancel = [&](QWidget& dialog) {
            pageWaited = !wizard.currentPage()->isEnabled() && !wizard.button(QWizard::BackButton)->isEnabled();
            if (how == u"wizard's button"_s) {
                // Through the window system, which holds back what a modal window blocks.
                QWidget* button = wizard.button(QWizard::CancelButton);
                QTest::mouseClick(wizard.windowHandle(), Qt::LeftButton, {},
                                  button->mapTo(&wizard, button->rect().center()));
            }
            else if (how == u"button"_s)
                control<QPushButton>(dialog, u"btnCancelPass"_s)->click();
            else if (how == u"Esc"_s)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                wizard.close();
        };
        if (!import)
            watcher.step = cancel;
        toSummary(wizard);
        auto* finish = wizard.button(QWizard::FinishButton);
        if (import) {
            QTRY_VERIFY(finish->isEnabled());
            watcher.step = cancel;
            wizard.accept();
        }
        const auto* note = control<QLabel>(wizard, u"labPassError"_s);
        if (how.contains(u"close"_s) || how.contains(u"wizard"_s)) {
            QTRY_VERIFY(!wizard.isVisible());
        } else {
            QTRY_VERIFY2(note->text().contains(u"abgebrochen; es wurde nichts gespeichert"_s), qPrintable(note->text()));
            QCOMPARE(wizard.currentPage()->objectName(), u"pgSummary"_s);
            QVERIFY(wizard.isVisible());
            // A trial that did not end allows no import; the one before a
            // cancelled import still holds.
            QCOMPARE(finish->isEnabled(), import);
            QVERIFY(wizard.currentPage()->isEnabled());
            QVERIFY(wizard.button(QWizard::BackButton)->isEnabled());
        }
        QVERIFY(!watcher.unexpected);
        QVERIFY(pageWaited);
        QVERIFY(!wizard.imported());
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), before);
        QVERIFY(!m_data->dbConnection().inTransaction());
        QCOMPARE(backups(m_dir.path()) != backupsBefore, import);
    }

    void theProgramWaitsForThePass()
    {
        QMainWindow frame;
        frame.show();
        csvwizard::TCsvImportWizard wizard(*m_data, &frame);
        PassWatcher watcher;
        bool closed = true;
        watcher.step = [&](QWidget&) { closed = frame.close(); };
        toSummary(wizard);
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        QVERIFY(!watcher.unexpected);
        QVERIFY(!closed);
        QVERIFY(frame.isVisible());
        QVERIFY(frame.close()); // and afterwards as ever
    }

    void wheelOverMappingLeavesItUntilChosen()
    {
        csvwizard::TCsvImportWizard wizard(*m_data);
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(QStringLiteral(DATA_DIR "/kasse-1252.csv"));
        wizard.next();
        wizard.next();
        auto* box = control<QComboBox>(wizard, u"cbTarget3"_s);
        const int chosen = box->currentIndex();
        const auto wheel = [box] {
            QWheelEvent event(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &event);
        };
        wheel();
        QCOMPARE(box->currentIndex(), chosen);
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        wheel();
        QVERIFY(box->currentIndex() != chosen);
    }

    void readOnlyCollectionIsRefused()
    {
        ComicData readOnly;
        readOnly.dbConnection().setReadOnly(true);
        readOnly.dbConnection().setDatabasePath(m_dir.path() + u"/database"_s);
        readOnly.OpenTables();
        try {
            csvwizard::TCsvImportWizard wizard(readOnly);
            QFAIL("the wizard opened on a collection that can only be read");
        } catch (const db::Error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(u"nur lesen"_s), e.what());
        }
    }

    void fromFileToImport()
    {
        csvwizard::TCsvImportWizard wizard(*m_data);
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(QStringLiteral(DATA_DIR "/kasse-1252.csv"));
        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgFormat"_s);
        QCOMPARE(control<QComboBox>(wizard, u"cbEncoding"_s)->currentText(), u"Windows-1252"_s);
        auto* preview = control<QTableWidget>(wizard, u"grdPreview"_s);
        QCOMPARE(preview->rowCount(), 5);
        QCOMPARE(preview->item(1, 12)->text(), u"Ecke geknickt;\nRücken ausgeblichen"_s);
        QCOMPARE(preview->item(2, 2)->text(), u"Die Höhle des Grauens"_s);
        // A guess changed and changed back: the preview follows.
        auto* separator = control<QComboBox>(wizard, u"cbSeparator"_s);
        separator->setCurrentIndex(separator->findText(u"Komma ,"_s));
        QVERIFY(preview->columnCount() < 13);
        separator->setCurrentIndex(separator->findText(u"Semikolon ;"_s));
        QCOMPARE(preview->columnCount(), 13);

        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgMapping"_s);
        QCOMPARE(control<QComboBox>(wizard, u"cbTarget5"_s)->currentText(), u"Autoren"_s);
        QCOMPARE(control<QComboBox>(wizard, u"cbRole5"_s)->currentText(), u"Zeichner"_s);
        wizard.next();
        auto* summary = control<QLabel>(wizard, u"labSummary"_s);
        QTRY_VERIFY(!summary->text().isEmpty());
        // Back after the trial run: the user leaves the storage place out,
        // and only a new trial allows the import.
        wizard.back();
        control<QComboBox>(wizard, u"cbTarget12"_s)->setCurrentIndex(0);
        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgSummary"_s);
        QVERIFY(!wizard.button(QWizard::FinishButton)->isEnabled());
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        QVERIFY2(summary->text().startsWith(u"4 Bände, 2 neue Serien, 2 neue Verlage"_s), qPrintable(summary->text()));
        QVERIFY2(summary->text().contains(u"1 schon vorhanden"_s), qPrintable(summary->text()));
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 0);

        PassWatcher watcher;
        wizard.accept();
        QVERIFY(watcher.painted.contains(u"Suchindex wird aktualisiert …"_s));
        QVERIFY(wizard.imported().has_value());
        QCOMPARE(wizard.imported()->volumes, 4);
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 4);
        QCOMPARE(count(u"LOKALESTRIPOTHEK WHERE LCLLAGERPLATZ IS NOT NULL"_s), 0);
        QVERIFY(!backups(m_dir.path()).isEmpty());
    }

    // A loaded mapping decides what the file leaves open, as it decided when
    // it was saved, and not what the sample suggests anew.
    void loadedMappingKeepsItsDateOrder()
    {
        QTemporaryDir files;
        const QString csv = files.filePath(u"kauf.csv"_s);
        QFile out(csv);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("Serie;Band;Titel;Kaufdatum\nDatumsreihe;1;Eins;03/10/1998\n");
        out.close();
        const QString saved = files.filePath(u"kauf.zuordnung.json"_s);
        csvimport::Mapping mapping = csvimport::proposeMapping({"Serie", "Band", "Titel", "Kaufdatum"}, {});
        QCOMPARE(mapping.slashDates, csvimport::DateOrder::DayMonth);
        mapping.slashDates = csvimport::DateOrder::MonthDay;
        mapping.save(saved);

        csvwizard::TCsvImportWizard wizard(*m_data);
        wizard.setWindowModality(Qt::ApplicationModal);
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(csv);
        wizard.next();
        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgMapping"_s);
        bool chosen = false;
        QTimer::singleShot(0, &wizard, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->selectFile(saved);
            static_cast<QDialog*>(dialog)->accept();
            chosen = true;
        });
        control<QPushButton>(wizard, u"btnLoadMapping"_s)->click();
        QVERIFY(chosen);
        wizard.next();
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        wizard.accept();
        db::Statement read(m_data->dbConnection().handle(),
                           u"SELECT substr(LCKKDATUM, 1, 10) FROM LOKALESTRIPOTHEK JOIN SERVERSTRIPOTHEK ON "
                           "LCLSERVERCOMICID = SCLCOMICID WHERE SCLSERIENTEXT = 'Datumsreihe'"_s);
        QVERIFY(read.step());
        QCOMPARE(read.column(0).toString(), u"1998-03-10"_s);
    }
};

QTEST_MAIN(TestCsvImportWizard)
#include "tst_csvimportwizard.moc"
