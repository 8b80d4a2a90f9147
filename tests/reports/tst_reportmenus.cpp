#include "ModalSteps.h"
#include "ReportFixture.h"

#include "app/ComicForm.h"
#include "catalogue/OverviewPage.h"
#include "core/Command.h"
#include "covers/CollectionCovers.h"
#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "database/Statement.h"
#include "reports/Layout.h"
#include "reports/PreviewWindow.h"
#include "reports/ReportForm.h"
#include "reports/rptComicList.h"
#include "reports/rptStammblatt.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QToolBar>

// The menu "Reports" of the real main window, from the menu item to the
// closed preview, as a user runs it.
class TestReportMenus : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Stripothek")); }
    void commands_data();
    void commands();
    void previewToolbar_data();
    void previewToolbar();
    void covers_data();
    void covers();
};

namespace {
const QStringList kCollection{
    "series | A | Asterix | Egmont", "vol | A | 1 | Asterix der Gallier | own", "vol | A | 2 | Die goldene Sichel |",
    "vol | A | 3 | Asterix und die Goten | own", "series | F | Alfred | Egmont", "vol | F | 1 | Alfred eins |",
    "series | L | Lange Reihe | Egmont", "vol | L | 1..80 | Band %1 |",
    "series | Z | Zack Parade | Koralle", "vol | Z | 1..80 | Zack %1 | own=,,,", "vol | Z | 81 | Zack fehlt |"};
const QStringList kNoCopies{"series | A | Asterix | Egmont", "vol | A | 1..3 | Asterix %1 |"};

// The series each group of the report names, page by page.
QStringList groupNames(const rpt::LaidOutReport& report)
{
    QStringList names;
    for (const rpt::Page& page : report.pages)
        for (const rpt::TextBox& box : page.texts)
            if (report.styles.at(box.style).itemName == QLatin1String("QRDBText4"))
                names << box.text;
    return names;
}
} // namespace

void TestReportMenus::commands_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("collection");
    QTest::addColumn<QString>("serieFilter");
    QTest::addColumn<bool>("editing");     // the current entry has an unsaved change
    QTest::addColumn<QStringList>("groups"); // empty: the message that nothing is owned
    QTest::addColumn<QString>("error");       // what the error display shows

    QTest::newRow("missing, overview filtered and sorted by title")
        << "menShowMissing" << kCollection << "A" << false << QStringList{"Alfred", "Asterix"} << "";
    QTest::newRow("missing, an entry being edited")
        << "menShowMissing" << kCollection << "" << true
        << QStringList{"Alfred", "Asterix", "Lange Reihe", "Lange Reihe", "Zack Parade"} << "";
    QTest::newRow("missing, no own copies") << "menShowMissing" << kNoCopies << "" << false << QStringList{} << "";
    QTest::newRow("list") << "menListe1" << kCollection << "A" << false
                          << QStringList{"Asterix", "Zack Parade", "Zack Parade"} << "";
    QTest::newRow("list, no own copies") << "menListe1" << kNoCopies << "" << false << QStringList{} << "";
    QTest::newRow("master sheet, no own copies") << "menSingle" << kNoCopies << "" << false << QStringList{} << "";
    QTest::newRow("master sheet") << "menSingle" << kCollection << "" << false << QStringList{} << "";
    QTest::newRow("list, no database") << "menListe1" << QStringList{} << "" << false << QStringList{}
                                       << "dbConnection: Keine Verbindung zur Datenbank.";
}

void TestReportMenus::commands()
{
    QFETCH(QString, item);
    QFETCH(QStringList, collection);
    QFETCH(QString, serieFilter);
    QFETCH(bool, editing);
    QFETCH(QStringList, groups);
    QFETCH(QString, error);

    QTemporaryDir dir;
    if (!collection.isEmpty())
        writeCollection(dir.path(), collection);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QStringList errors;
    const ui::ErrorSink previousSink = ui::setErrorSink([&](const QString& m) { errors << m; });
    {
        TComicForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        db::Table& catalogue = form.data().tblStripothek();
        if (!serieFilter.isEmpty()) {
            form.findChild<QLineEdit*>(QStringLiteral("editSrchSerie"))->setText(serieFilter);
            form.findChild<TOverviewPage*>()->ApplyOverviewFilter();
        }
        if (!error.isEmpty())
            errors.clear(); // the window's own complaint about the missing database
        else {
            catalogue.setIndexName(QStringLiteral("NKSCLTITEL1"));
            catalogue.setRecNo(2);
        }
        const QString filter = catalogue.filter();
        if (editing) {
            catalogue.edit();
            catalogue.fieldByName(QStringLiteral("SCLTITEL1")).setAsString(QStringLiteral("Geändert"));
        }
        const QString comicId = catalogue.active() ? catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString()
                                                   : QString();
        const QRect main = form.geometry();

        QStringList seen;
        QString message;
        const auto preview = [&](QWidget* modal) {
            auto* p = qobject_cast<rpt::TReportPreview*>(modal);
            QVERIFY2(p, modal->metaObject()->className());
            QCOMPARE(p->windowTitle(), QStringLiteral("Reportausgabe Stripothek"));
            QVERIFY(p->windowState() & Qt::WindowMaximized);
            QTRY_VERIFY(p->layoutFinished());
            seen = groupNames(p->pages());
            p->activateWindow();
            QTRY_VERIFY(p->isActiveWindow());
            QTest::keyClick(p, Qt::Key_End);
            QCOMPARE(p->currentPage(), p->pageCount() - 1);
            QCOMPARE(p->pageText(), QStringLiteral("Seite %1 von %1").arg(p->pageCount()));
            QTest::keyClick(p, Qt::Key_Home);
            QCOMPARE(p->currentPage(), 0);
            if (item == QLatin1String("menListe1")) {
                QTest::keyClick(p, Qt::Key_S, Qt::ControlModifier);
                QFile pdf(dir.filePath(QStringLiteral("liste.pdf")));
                QVERIFY(pdf.open(QIODevice::ReadOnly));
                QCOMPARE(pdf.readAll().split('\n').count("/Type /Page"), p->pageCount());
            }
            QTest::keyClick(p, Qt::Key_Escape);
            QVERIFY(!p->isVisible());
        };
        const auto sheet = [&](QWidget* modal) {
            auto* s = qobject_cast<TRPTStammblatt*>(modal);
            QVERIFY2(s, modal->metaObject()->className());
            QCOMPARE(s->windowTitle(), QStringLiteral("Stammblatt"));
            QVERIFY((s->geometry().center() - main.center()).manhattanLength() <= 2);
            s->close();
        };
        const auto saveAs = [&](QWidget* modal) {
            auto* d = qobject_cast<QFileDialog*>(modal);
            QVERIFY2(d, modal->metaObject()->className());
            QCOMPARE(d->windowTitle(), QStringLiteral("Als PDF speichern"));
            QCOMPARE(d->selectedFiles().value(0), QDir::home().filePath(QStringLiteral("Gesamtliste.pdf")));
            // Typed into the name box, which has the focus (selectFile leaves a focused box alone).
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(dir.filePath(QStringLiteral("liste"))); // the suffix comes by itself
            static_cast<QDialog*>(d)->accept();
        };
        const auto box = [&](QWidget* modal) {
            auto* b = qobject_cast<QMessageBox*>(modal);
            QVERIFY2(b, modal->metaObject()->className());
            message = b->text();
            b->button(QMessageBox::Ok)->click();
        };

        QAction* action = form.findChild<QAction*>(item);
        QVERIFY(action && action->isEnabled());
        if (item == QLatin1String("menSingle")) {
            // Twice: nothing of the first window is left for the second.
            ModalSteps steps({sheet, sheet});
            action->trigger();
            action->trigger();
            QCOMPARE(steps.pending(), 0);
        } else {
            QList<ModalSteps::Step> expected{groups.isEmpty() ? ModalSteps::Step(box) : ModalSteps::Step(preview)};
            if (item == QLatin1String("menListe1") && !groups.isEmpty())
                expected << saveAs;
            if (!error.isEmpty())
                expected.clear();
            ModalSteps steps(expected);
            action->trigger();
            QCOMPARE(steps.pending(), 0);
            QCOMPARE(seen, groups);
            const bool nothingOwned = groups.isEmpty() && error.isEmpty();
            QCOMPARE(message, nothingOwned ? QStringLiteral("Es sind keine eigenen Comics vorhanden!") : QString());
        }
        QCOMPARE(errors, error.isEmpty() ? QStringList() : QStringList{error});
        if (!error.isEmpty())
            return;
        QVERIFY(form.findChildren<rpt::ReportForm*>().isEmpty());
        QVERIFY(form.findChildren<QDialog*>().isEmpty());

        // The missing-volumes walk leaves the catalogue in series order at the
        // same record number and keeps the overview's filter.
        const bool walked = item == QLatin1String("menShowMissing") && !groups.isEmpty();
        QCOMPARE(catalogue.indexName(), walked ? QStringLiteral("NKSCLSERIENTEXT") : QStringLiteral("NKSCLTITEL1"));
        QCOMPARE(catalogue.recNo(), 2);
        QCOMPARE(catalogue.filter(), filter);
        if (editing) {
            QVERIFY(!catalogue.isEditing());
            QVERIFY(catalogue.locate(QStringLiteral("SCLCOMICID"), comicId));
            QCOMPARE(catalogue.fieldByName(QStringLiteral("SCLTITEL1")).asString(), QStringLiteral("Geändert"));
        }
    }
    ui::setErrorSink(previousSink);
    QDir::setCurrent(previous);
}

void TestReportMenus::previewToolbar_data()
{
    QTest::addColumn<QList<QKeySequence>>("keys");
    QTest::addColumn<int>("page");       // 0: the last
    QTest::addColumn<QString>("percent"); // after "100 %" and the keys; empty: the whole page
    const QKeySequence down(Qt::Key_PageDown);
    QTest::newRow("page 2, later pages still laid out") << QList<QKeySequence>{down} << 2 << "";
    QTest::newRow("page 10") << QList<QKeySequence>(9, down) << 10 << "";
    QTest::newRow("the last page") << QList<QKeySequence>{QKeySequence(Qt::Key_End)} << 0 << "";
    QTest::newRow("one step larger") << QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Plus)} << 1 << "125 %";
    QTest::newRow("one step smaller") << QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Minus)} << 1 << "80 %";
}

// Paging leaves every button where it was, and the zoom shows in per cent.
void TestReportMenus::previewToolbar()
{
    QFETCH(QList<QKeySequence>, keys);
    QFETCH(int, page);
    QFETCH(QString, percent);
    static QTemporaryDir dir; // one collection of some 30 pages for every row
    if (!QFile::exists(dir.filePath(QStringLiteral("database"))))
        writeCollection(dir.path(), {"series | L | Lange Reihe | Egmont", "vol | L | 1..2000 | Band %1 | own"});
    ComicData data;
    data.dbConnection().setDatabasePath(dir.filePath(QStringLiteral("database")));
    data.dbConnection().connect();
    TRPTListComic form;
    QVERIFY(form.gather(data.dbConnection()));
    rpt::Layouter layouter(form.qrReport, &form.tblReport, QDate(2024, 3, 1));
    rpt::TReportPreview preview(layouter, form.qrReport.title);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    auto* toolbar = preview.findChild<QToolBar*>(QStringLiteral("tbPreview"));
    auto* zoom = preview.findChild<QLabel*>(QStringLiteral("labZoom"));
    QVERIFY(toolbar && zoom);
    const auto positions = [&] {
        // The toolbar lays itself out anew on the next pass of the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QList<int> x;
        for (QAction* action : toolbar->actions())
            if (QWidget* w = toolbar->widgetForAction(action))
                x << w->x();
        return x;
    };
    const QList<int> before = positions();
    QCOMPARE(zoom->text(), QStringLiteral("%1 %").arg(qRound(preview.zoomPercent())));
    if (!percent.isEmpty())
        preview.findChild<QAction*>(QStringLiteral("btnZoom100"))->trigger();
    for (const QKeySequence& key : keys)
        QTest::keySequence(&preview, key);
    const int shown = page > 0 ? page : preview.pageCount();
    QVERIFY2(preview.pageText().startsWith(QStringLiteral("Seite %1 von ").arg(shown)), qPrintable(preview.pageText()));
    QCOMPARE(positions(), before);
    QCOMPARE(zoom->text(), percent.isEmpty() ? QStringLiteral("%1 %").arg(qRound(preview.zoomPercent())) : percent);
}


// "Mit Titelbildern": off at the start, and the list then prints no picture;
// on, each line of a volume with a cover shows it, and the master sheet the
// current comic's.
void TestReportMenus::covers_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("withCovers");
    QTest::addColumn<int>("pictures");
    // Volumes 1 and 3 of Asterix have covers and own copies; Zack 1..80 own copies without covers.
    QTest::newRow("list, off") << "menListe1" << false << 0;
    QTest::newRow("list, on") << "menListe1" << true << 2;
    QTest::newRow("master sheet, on") << "menSingle" << true << 1;
    QTest::newRow("master sheet, off") << "menSingle" << false << 0;
}

void TestReportMenus::covers()
{
    QFETCH(QString, item);
    QFETCH(bool, withCovers);
    QFETCH(int, pictures);

    QTemporaryDir dir;
    writeCollection(dir.path(), kCollection);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        TComicForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        db::Statement asterix(form.data().dbConnection().handle(),
                              QStringLiteral("SELECT SCLCOMICID FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 LIKE 'Asterix%'"));
        QImage picture(30, 40, QImage::Format_RGB32);
        picture.fill(Qt::red);
        while (asterix.step())
            form.covers().store().storeImage(asterix.column(0).toString(), picture);
        QVERIFY(form.data().tblStripothek().locate(QStringLiteral("SCLTITEL1"), QStringLiteral("Asterix der Gallier")));

        QAction* option = form.findChild<QAction*>(QStringLiteral("menReportCovers"));
        QVERIFY(option && option->isCheckable() && !option->isChecked());
        option->setChecked(withCovers);
        int shown = -1;
        const auto count = [&](const rpt::LaidOutReport& report) {
            shown = 0;
            for (const rpt::Page& page : report.pages)
                shown += int(page.images.size());
        };
        ModalSteps steps({[&](QWidget* modal) {
            if (auto* p = qobject_cast<rpt::TReportPreview*>(modal)) {
                QTRY_VERIFY(p->layoutFinished());
                count(p->pages());
            } else if (auto* s = qobject_cast<TRPTStammblatt*>(modal)) {
                count(s->layoutView());
            }
            modal->close();
        }});
        form.findChild<QAction*>(item)->trigger();
        QCOMPARE(steps.pending(), 0);
        QCOMPARE(shown, pictures);
    }
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestReportMenus)
#include "tst_reportmenus.moc"
