#include "StatsFixture.h"
#include "../common/Named.h"

#include "app/ComicForm.h"
#include "catalogue/OverviewPage.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "stats/StatistikForm.h"
#include "stats/StatsModels.h"

#include <QFile>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

// The main window looks for its database below the working directory.
class WorkingCollection {
public:
    WorkingCollection()
    {
        createStatsCollection(m_dir.path());
        m_previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    ~WorkingCollection() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Answers the next modal window once it shows, with the window that is modal then.
class NextModal : public QObject {
public:
    explicit NextModal(std::function<void(QWidget*)> answer) : m_answer(std::move(answer))
    {
        qApp->installEventFilter(this);
    }
    ~NextModal() override { qApp->removeEventFilter(this); }
    bool answered() const { return !m_answer; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isModal())
            QMetaObject::invokeMethod(this, [this] {
                QWidget* modal = QApplication::activeModalWidget();
                if (!modal || !m_answer)
                    return;
                const auto answer = std::move(m_answer);
                m_answer = nullptr;
                answer(modal);
            }, Qt::QueuedConnection);
        return false;
    }

private:
    std::function<void(QWidget*)> m_answer;
};

QByteArray golden(const QString& name)
{
    QFile file(QStringLiteral(GOLDEN_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("golden file %s missing", qPrintable(name));
    return file.readAll();
}

// A CSV file as written, compared with its golden text: the byte order mark
// and CRLF line ends are checked here, the golden file keeps plain lines.
void compareCsv(const QByteArray& written, const QString& goldenName)
{
    QVERIFY(written.startsWith("\xEF\xBB\xBF"));
    QVERIFY(written.endsWith("\r\n"));
    QByteArray text = written.mid(3);
    QCOMPARE(text.count('\n'), text.count("\r\n"));
    text.replace("\r\n", "\n");
    QCOMPARE(QString::fromUtf8(text), QString::fromUtf8(golden(goldenName)));
}

int rowOfSeries(QTableView* table, const QString& seriesId)
{
    for (int row = 0; row < table->model()->rowCount(); ++row)
        if (table->model()->index(row, 0).data(stats::SeriesIdRole).toString() == seriesId)
            return row;
    return -1;
}

} // namespace

// The statistics window: its tables as CSV, the save dialog, and the way
// from a series back to the main window's overview.
class TestStatistikForm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void csv_data();
    void csv();
    void csvDialog_data();
    void csvDialog();
    void seriesToOverview_data();
    void seriesToOverview();
    void goneSeriesKeepsTheFilter();
    void refreshShowsNewFigures();
    void failureOnSecondThread();
    void withoutDatabase();

private:
    TStatistikForm* openStatistics();

    std::unique_ptr<WorkingCollection> m_collection;
    std::unique_ptr<TComicForm> m_main;
    QStringList m_errors;
    ui::ErrorSink m_previousSink;
};

void TestStatistikForm::init()
{
    m_errors.clear();
    m_previousSink = ui::setErrorSink([this](const QString& message) { m_errors << message; });
    m_collection = std::make_unique<WorkingCollection>();
    m_main = std::make_unique<TComicForm>();
    m_main->show();
    // Activated before the statistics window opens, so that it does not take
    // the activation back from it later.
    QVERIFY(QTest::qWaitFor([this] { return m_main->isActiveWindow(); }));
}

void TestStatistikForm::cleanup()
{
    m_main.reset();
    m_collection.reset();
    ui::setErrorSink(m_previousSink);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

// As the user opens it: "Reports" → "Statistik …".
TStatistikForm* TestStatistikForm::openStatistics()
{
    named<QAction>(*m_main, "menStatistik")->trigger();
    TStatistikForm* form = m_main->findChild<TStatistikForm*>();
    // Its keys (F5, Esc) reach it once it is the active window.
    // (qWaitForWindowActive answers at once on the offscreen platform.)
    if (form && !QTest::qWaitFor([form] { return form->isActiveWindow(); }))
        return nullptr;
    return form;
}

void TestStatistikForm::csv_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("sortColumn"); // -1: as computed
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QString>("goldenName");
    QTest::newRow("series in series order") << 1 << -1 << Qt::AscendingOrder << "serien.csv";
    QTest::newRow("series, most missing first") << 1 << 4 << Qt::DescendingOrder << "serien-fehlende.csv";
    QTest::newRow("publishers") << 2 << -1 << Qt::AscendingOrder << "verlage.csv";
    QTest::newRow("value per currency") << 0 << -1 << Qt::AscendingOrder << "waehrungen.csv";
    QTest::newRow("purchases per year") << 4 << -1 << Qt::AscendingOrder << "kaeufe.csv";
}

void TestStatistikForm::csv()
{
    QFETCH(int, page);
    QFETCH(int, sortColumn);
    QFETCH(Qt::SortOrder, order);
    TStatistikForm* form = openStatistics();
    QVERIFY(form && form->isVisible());
    form->pcStatistik->setCurrentIndex(page);
    if (sortColumn >= 0) {
        QTableView* table = form->pcStatistik->currentWidget()->findChild<QTableView*>();
        if (!table)
            table = qobject_cast<QTableView*>(form->pcStatistik->currentWidget());
        QVERIFY(table);
        table->horizontalHeader()->setSortIndicator(sortColumn, order);
    }
    const QString file = m_collection->path() + QStringLiteral("/out.csv");
    form->saveCsv(file);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFETCH(QString, goldenName);
    compareCsv(written.readAll(), goldenName);
}

void TestStatistikForm::csvDialog_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("Esc writes nothing") << false;
    QTest::newRow("a name and Speichern write the table") << true;
}

void TestStatistikForm::csvDialog()
{
    QFETCH(bool, accept);
    TStatistikForm* form = openStatistics();
    QVERIFY(form);
    form->pcStatistik->setCurrentIndex(1);
    const QString file = m_collection->path() + QStringLiteral("/Serien.csv");
    NextModal answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            modal->close();
            QFAIL("no file dialog");
        }
        if (!accept) {
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Escape);
            return;
        }
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QVERIFY(name && buttons);
        // Typed at once: a completer popping up would take the next click.
        name->setText(file);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
    });
    QTest::mouseClick(form->btnCsv, Qt::LeftButton);
    QVERIFY(answer.answered());
    QCOMPARE(QFile::exists(file), accept);
    if (accept) {
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        compareCsv(written.readAll(), QStringLiteral("serien.csv"));
    }
    QVERIFY(form->isVisible());
}

void TestStatistikForm::seriesToOverview_data()
{
    QTest::addColumn<QString>("titleFilter");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("seriesId");
    QTest::addColumn<QString>("expectedTitle");
    QTest::addColumn<bool>("filterDropped");
    QTest::addColumn<bool>("refreshBetween"); // "Aktualisieren" after the row was chosen
    QTest::newRow("no filter: first volume") << "" << false << "SL" << "Arizona" << false << false;
    QTest::newRow("keyboard: row chosen, button pressed") << "" << true << "SY" << "Yakari" << false << false;
    QTest::newRow("keyboard: row chosen, Aktualisieren, button")
        << "" << true << "SY" << "Yakari" << false << true;
    QTest::newRow("second of two series of one name") << "" << false << "SP2" << "Die Zauberer" << false << false;
    QTest::newRow("filter keeps a volume of it") << "Rod" << false << "SL" << "Rodeo" << false << false;
    QTest::newRow("filter hides the whole series")
        << "Asterix" << false << "SZ" << "Zorro kehrt zurück" << true << false;
}

void TestStatistikForm::seriesToOverview()
{
    QFETCH(QString, titleFilter);
    QFETCH(bool, byKey);
    QFETCH(QString, seriesId);
    auto* title = m_main->findChild<QLineEdit*>(QStringLiteral("editSrchTitel"));
    QVERIFY(title);
    // The user sorts by title and filters, then asks for the statistics.
    m_main->findChild<TOverviewPage*>()->dbgListeTitleClick(0);
    if (!titleFilter.isEmpty()) {
        title->setText(titleFilter);
        m_main->menResfreshViewClick();
    }
    TStatistikForm* form = openStatistics();
    QVERIFY(form);
    form->pcStatistik->setCurrentIndex(1);
    const int row = rowOfSeries(form->grdSerien, seriesId);
    QVERIFY(row >= 0);
    const QModelIndex cell = form->grdSerien->model()->index(row, 2);
    if (byKey) {
        form->grdSerien->setFocus();
        form->grdSerien->setCurrentIndex(cell);
        QFETCH(bool, refreshBetween);
        if (refreshBetween)
            form->btnRefresh->click();
        // Tab leaves the table for the button, it does not walk its cells.
        QTest::keyClick(form->windowHandle(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->btnShowSeries);
        // Enter on a focused button presses it, also with Enter acting as Tab.
        QTest::keyClick(form->windowHandle(), Qt::Key_Return);
    } else {
        const QPoint centre = form->grdSerien->visualRect(cell).center();
        QTest::mouseClick(form->grdSerien->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(form->grdSerien->viewport(), Qt::LeftButton, {}, centre);
    }

    db::Table& catalogue = m_main->data().tblStripothek();
    QTEST(catalogue.fieldByName(QStringLiteral("SCLTITEL1")).asString(), "expectedTitle");
    QCOMPARE(catalogue.indexName(), QStringLiteral("NKSCLSERIENTEXT"));
    QCOMPARE(named<QTabWidget>(*m_main, "pcMain")->currentWidget(), named(*m_main, "tsListe"));
    QFETCH(bool, filterDropped);
    QCOMPARE(catalogue.filtered(), !titleFilter.isEmpty() && !filterDropped);
    QCOMPARE(title->text().isEmpty(), titleFilter.isEmpty() || filterDropped);
    QCOMPARE(named<QLabel>(*m_main, "sbMainPanel0")->text().contains(QStringLiteral("Filter aufgehoben")),
             filterDropped);
    QVERIFY(form->isVisible());
}

// The figures are older than the catalogue: a series whose volumes were
// deleted meanwhile is reported, and the overview keeps the user's filter.
void TestStatistikForm::goneSeriesKeepsTheFilter()
{
    auto* title = m_main->findChild<QLineEdit*>(QStringLiteral("editSrchTitel"));
    QVERIFY(title);
    title->setText(QStringLiteral("Rod"));
    m_main->menResfreshViewClick();
    TStatistikForm* form = openStatistics();
    QVERIFY(form);
    form->pcStatistik->setCurrentIndex(1);
    const int row = rowOfSeries(form->grdSerien, QStringLiteral("SZ"));
    QVERIFY(row >= 0);
    m_main->data().dbConnection().execute(QStringLiteral("DELETE FROM SERVERSTRIPOTHEK WHERE SCLSERIEID = 'SZ'"));
    form->grdSerien->setCurrentIndex(form->grdSerien->model()->index(row, 0));
    form->btnShowSeries->click();
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().contains(QStringLiteral("keinen Band mehr")), qPrintable(m_errors.first()));
    m_errors.clear();
    QCOMPARE(title->text(), QStringLiteral("Rod"));
    QVERIFY(m_main->data().tblStripothek().filtered());
    QCOMPARE(m_main->data().tblStripothek().fieldByName(QStringLiteral("SCLTITEL1")).asString(), QStringLiteral("Rodeo"));
}

// Figures are read when asked for: a volume stored meanwhile shows after
// "Aktualisieren", and only then.
void TestStatistikForm::refreshShowsNewFigures()
{
    TStatistikForm* form = openStatistics();
    QVERIFY(form);
    QCOMPARE(form->figures().overview.volumes, 17ll);
    m_main->data().dbConnection().execute(QStringLiteral(
        "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLSERIEID, SCLSERIENTEXT, SCLBAND) VALUES ('A4', 'SA', 'Asterix', 4)"));
    QCOMPARE(form->figures().overview.volumes, 17ll);
    // As the window system delivers keys: to the window, shortcuts first.
    QTest::keyClick(form->windowHandle(), Qt::Key_F5);
    // A shortcut presses its button a moment later, as a click would look.
    QTRY_COMPARE(form->figures().overview.volumes, 18ll);
    QCOMPARE(form->figures().series.first().missing, 2ll);
    QTest::keyClick(form->windowHandle(), Qt::Key_Escape);
    QTRY_VERIFY(!m_main->findChild<TStatistikForm*>());
}

// The author list is read on the second thread; its failure is the user's
// message all the same, and the window keeps the figures it had.
void TestStatistikForm::failureOnSecondThread()
{
    TStatistikForm* form = openStatistics();
    QVERIFY(form);
    db::Connection& connection = m_main->data().dbConnection();
    connection.execute(QStringLiteral("ALTER TABLE AUTOREN RENAME TO AUTOREN_WEG"));
    QTest::keyClick(form->windowHandle(), Qt::Key_F5);
    QTRY_COMPARE(m_errors.size(), 1);
    connection.execute(QStringLiteral("ALTER TABLE AUTOREN_WEG RENAME TO AUTOREN"));
    QVERIFY2(m_errors.first().contains(QStringLiteral("AUTOREN")), qPrintable(m_errors.first()));
    m_errors.clear();
    QCOMPARE(form->figures().overview.authors, 2ll);
    // Neither reading connection was left open.
    connection.lockExclusive(QStringLiteral("test"));
    connection.unlockExclusive();
}

// Without a collection the command says why, in German, and no window stays open.
void TestStatistikForm::withoutDatabase()
{
    m_main.reset();
    QTemporaryDir empty;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(empty.path());
    {
        TComicForm main;
        m_errors.clear(); // the start-up's own message about the missing file
        named<QAction>(main, "menStatistik")->trigger();
        QCOMPARE(m_errors.size(), 1);
        QVERIFY2(m_errors.first().contains(QStringLiteral("Datenbank")), qPrintable(m_errors.first()));
        const TStatistikForm* statistics = main.findChild<TStatistikForm*>();
        QVERIFY(!statistics || !statistics->isVisible());
    }
    QDir::setCurrent(previous);
    m_errors.clear();
}

QTEST_MAIN(TestStatistikForm)
#include "tst_statistikform.moc"
