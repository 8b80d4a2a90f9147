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
    static QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
    {
        QFile out(dir.filePath(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(out.fileName()));
        return out.fileName();
    }
    // The file proposed up to the mapping's page.
    static void toMapping(csvwizard::TCsvImportWizard& wizard, const QString& csv)
    {
        wizard.setWindowModality(Qt::ApplicationModal);
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(csv);
        wizard.next();
        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgMapping"_s);
    }
    // Clicks opener and answers its file dialog with path.
    static bool chooseFile(QPushButton* opener, const QString& path)
    {
        bool chosen = false;
        QTimer::singleShot(0, opener, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
            chosen = true;
        });
        opener->click();
        return chosen;
    }
    // A choice as the user makes it: a box ticked ("an") or not, an entry
    // picked from a list, a currency typed when the list has none such.
    static QString choiceOf(QWidget* w)
    {
        if (const auto* box = qobject_cast<QCheckBox*>(w))
            return box->isChecked() ? u"an"_s : u"aus"_s;
        return qobject_cast<QComboBox*>(w)->currentText();
    }
    static void choose(QWidget* w, const QString& choice)
    {
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            box->setChecked(choice == u"an"_s);
            return;
        }
        auto* combo = qobject_cast<QComboBox*>(w);
        if (const int at = combo->findText(choice); at >= 0)
            combo->setCurrentIndex(at);
        else {
            QVERIFY(combo->isEditable());
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), choice);
        }
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

    void wheelOverMappingLeavesItUntilChosen_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"cbTarget3", "cbSlashDates", "cbDefaultCurrency", "cbCopies"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void wheelOverMappingLeavesItUntilChosen()
    {
        QFETCH(QString, name);
        csvwizard::TCsvImportWizard wizard(*m_data);
        wizard.show();
        control<QLineEdit>(wizard, u"editFile"_s)->setText(QStringLiteral(DATA_DIR "/kasse-1252.csv"));
        wizard.next();
        wizard.next();
        auto* box = control<QComboBox>(wizard, name);
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
        const QString csv = writeFile(files, u"kauf.csv"_s, "Serie;Band;Titel;Kaufdatum\nDatumsreihe;1;Eins;03/10/1998\n");
        const QString saved = files.filePath(u"kauf.zuordnung.json"_s);
        csvimport::Mapping mapping = csvimport::proposeMapping({"Serie", "Band", "Titel", "Kaufdatum"}, {});
        QCOMPARE(mapping.slashDates, csvimport::DateOrder::DayMonth);
        mapping.slashDates = csvimport::DateOrder::MonthDay;
        mapping.save(saved);

        csvwizard::TCsvImportWizard wizard(*m_data);
        toMapping(wizard, csv);
        QVERIFY(chooseFile(control<QPushButton>(wizard, u"btnLoadMapping"_s), saved));
        wizard.next();
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        wizard.accept();
        db::Statement read(m_data->dbConnection().handle(),
                           u"SELECT substr(LCKKDATUM, 1, 10) FROM LOKALESTRIPOTHEK JOIN SERVERSTRIPOTHEK ON "
                           "LCLSERVERCOMICID = SCLCOMICID WHERE SCLSERIENTEXT = 'Datumsreihe'"_s);
        QVERIFY(read.step());
        QCOMPARE(read.column(0).toString(), u"1998-03-10"_s);
    }

    // What the mapping's page decides beyond the columns, each changed from
    // what the file proposes, reaches the stored volume; through a saved and
    // loaded mapping too, the page put back to the proposal in between.
    void choicesBeyondTheColumnsReachTheCollection_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("reloaded");
        QTest::addColumn<QString>("stored"); // over the volume and its own copy; empty: refused on the page
        QTest::addColumn<QString>("expected");
        const QString date = u"substr(LCKKDATUM, 1, 10)"_s;
        const QString authors = u"(SELECT count(*) FROM COMIC2AUTOR WHERE C2ACOMICID = SCLCOMICID)"_s;
        const QString copies = u"count(LCLCOMICID)"_s;
        QTest::newRow("month first") << u"Kaufdatum"_s << u"03/10/1998"_s << u"cbSlashDates"_s
                                     << u"Monat/Tag/Jahr"_s << false << date << u"1998-03-10"_s;
        QTest::newRow("currency typed") << u"Kaufpreis"_s << u"12,50"_s << u"cbDefaultCurrency"_s << u"EUR"_s
                                        << false << u"LCLKPREISWG"_s << u"€"_s;
        QTest::newRow("currency, reloaded") << u"Kaufpreis"_s << u"12,50"_s << u"cbDefaultCurrency"_s << u"DM"_s
                                            << true << u"LCLKPREISWG"_s << u"DM"_s;
        QTest::newRow("currency too long") << u"Kaufpreis"_s << u"12,50"_s << u"cbDefaultCurrency"_s
                                           << u"Schweizer Franken"_s << false << QString()
                                           << u"„Schweiz“ ist keine Währung"_s;
        QTest::newRow("comma in a name") << u"Autoren"_s << u"Goscinny, René"_s << u"chkCommaAuthors"_s << u"aus"_s
                                         << false << authors << u"1"_s;
        QTest::newRow("comma in a name, reloaded") << u"Autoren"_s << u"Goscinny, René"_s << u"chkCommaAuthors"_s
                                                   << u"aus"_s << true << authors << u"1"_s;
        QTest::newRow("never a copy") << u"Kaufpreis"_s << u"12,50 €"_s << u"cbCopies"_s << u"nie"_s << false
                                      << copies << u"0"_s;
        QTest::newRow("a copy for every row") << u"Bemerkungen"_s << u"neu"_s << u"cbCopies"_s << u"für jede Zeile"_s
                                              << false << copies << u"1"_s;
        QTest::newRow("a copy for every row, reloaded") << u"Bemerkungen"_s << u"neu"_s << u"cbCopies"_s
                                                        << u"für jede Zeile"_s << true << copies << u"1"_s;
    }
    void choicesBeyondTheColumnsReachTheCollection()
    {
        QFETCH(QString, column);
        QFETCH(QString, cell);
        QFETCH(QString, name);
        QFETCH(QString, choice);
        QFETCH(bool, reloaded);
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        const QString series = u"Wahl "_s + QString::fromUtf8(QTest::currentDataTag());
        QTemporaryDir files;
        const QString csv = writeFile(files, u"wahl.csv"_s,
                                      u"Serie;Band;Titel;%1\n%2;1;Eins;%3\n"_s.arg(column, series, cell).toUtf8());
        csvwizard::TCsvImportWizard wizard(*m_data);
        toMapping(wizard, csv);
        auto* chosen = control<QWidget>(wizard, name);
        const QString proposed = choiceOf(chosen);
        QVERIFY(proposed != choice);
        choose(chosen, choice);
        if (reloaded) {
            const QString saved = files.filePath(u"wahl.zuordnung.json"_s);
            QVERIFY(chooseFile(control<QPushButton>(wizard, u"btnSaveMapping"_s), saved));
            choose(chosen, proposed);
            QVERIFY(chooseFile(control<QPushButton>(wizard, u"btnLoadMapping"_s), saved));
            QCOMPARE(choiceOf(chosen), choice);
        }
        wizard.next();
        if (stored.isEmpty()) {
            QCOMPARE(wizard.currentPage()->objectName(), u"pgMapping"_s);
            const QString error = control<QLabel>(wizard, u"labMappingError"_s)->text();
            QVERIFY2(error.contains(expected), qPrintable(error));
            return;
        }
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        wizard.accept();
        QVERIFY(wizard.imported().has_value());
        db::Statement read(m_data->dbConnection().handle(),
                           u"SELECT %1 FROM SERVERSTRIPOTHEK LEFT JOIN LOKALESTRIPOTHEK ON LCLSERVERCOMICID = "
                           "SCLCOMICID WHERE SCLSERIENTEXT = ?"_s.arg(stored));
        read.bind(1, series);
        QVERIFY(read.step());
        QCOMPARE(read.column(0).toString(), expected);
    }

    // The file saved again after the trial run: the first Importieren only
    // shows the new trial run, the second imports what it showed.
    void fileChangedAfterTheTrialRunIsTriedAgain()
    {
        QTemporaryDir files;
        const QString csv = writeFile(files, u"wachsend.csv"_s, "Serie;Band;Titel\nWachsend;1;Eins\n");
        csvwizard::TCsvImportWizard wizard(*m_data);
        toMapping(wizard, csv);
        wizard.next();
        auto* summary = control<QLabel>(wizard, u"labSummary"_s);
        QTRY_VERIFY(wizard.button(QWizard::FinishButton)->isEnabled());
        QVERIFY2(summary->text().startsWith(u"1 Band,"_s), qPrintable(summary->text()));
        writeFile(files, u"wachsend.csv"_s, "Serie;Band;Titel\nWachsend;1;Eins\nWachsend;2;Zwei\n");
        const int before = count(u"SERVERSTRIPOTHEK"_s);
        wizard.accept();
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), before);
        QVERIFY(!wizard.imported());
        QVERIFY2(summary->text().startsWith(u"2 Bände,"_s), qPrintable(summary->text()));
        QVERIFY(control<QLabel>(wizard, u"labPassError"_s)->text().contains(u"geändert"_s));
        wizard.accept();
        QVERIFY(wizard.imported());
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), before + 2);
    }

    void exampleIsTheColumnsFirstFilledCell()
    {
        QTemporaryDir files;
        const QString csv = writeFile(files, u"luecken.csv"_s,
                                      "Serie;Band;Kaufpreis;Bemerkungen\n"
                                      "Lücken;1;;\n"
                                      "Lücken;2;\"  4,95\n\xe2\x82\xac\";\n");
        csvwizard::TCsvImportWizard wizard(*m_data);
        toMapping(wizard, csv);
        const auto* mapping = control<QTableWidget>(wizard, u"grdMapping"_s);
        QCOMPARE(mapping->item(0, 1)->text(), u"Lücken"_s);
        QCOMPARE(mapping->item(2, 1)->text(), u"4,95 €"_s);
        QCOMPARE(mapping->item(3, 1)->text(), QString());
    }
};

QTEST_MAIN(TestCsvImportWizard)
#include "tst_csvimportwizard.moc"
