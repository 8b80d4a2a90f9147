#include "csvwizard/CsvImportWizard.h"

#include "database/ComicData.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

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
        // The user leaves the storage place out.
        control<QComboBox>(wizard, u"cbTarget12"_s)->setCurrentIndex(0);

        wizard.next();
        QCOMPARE(wizard.currentPage()->objectName(), u"pgSummary"_s);
        auto* summary = control<QLabel>(wizard, u"labSummary"_s);
        QVERIFY2(summary->text().startsWith(u"4 Bände, 2 neue Serien, 2 neue Verlage"_s), qPrintable(summary->text()));
        QVERIFY2(summary->text().contains(u"1 schon vorhanden"_s), qPrintable(summary->text()));
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 0);

        wizard.accept();
        QVERIFY(wizard.imported().has_value());
        QCOMPARE(wizard.imported()->volumes, 4);
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 4);
        QCOMPARE(count(u"LOKALESTRIPOTHEK WHERE LCLLAGERPLATZ IS NOT NULL"_s), 0);
        QCOMPARE(QDir(m_dir.path() + u"/database/Sicherungen"_s).entryList({u"*.db"_s}).size(), 1);
    }
};

QTEST_MAIN(TestCsvImportWizard)
#include "tst_csvimportwizard.moc"
