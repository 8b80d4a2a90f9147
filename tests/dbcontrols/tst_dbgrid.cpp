#include "TestDatabase.h"

#include "dbcontrols/DBGrid.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>

using ui::DBGrid;
using ui::GridColumn;

class TestDBGrid : public QObject {
    Q_OBJECT

private:
    static QString cell(const DBGrid& grid, int row, int column)
    {
        return grid.model()->index(row, column).data().toString();
    }
    static QString marker(const DBGrid& grid, int row)
    {
        return grid.model()->headerData(row, Qt::Vertical).toString();
    }
    static void clickCell(DBGrid& grid, int row, int column)
    {
        const QRect r = grid.visualRect(grid.model()->index(row, column));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, r.center());
    }

private Q_SLOTS:
    void defaultColumnsAreAllFields()
    {
        TestDatabase data;
        data.comics->fieldByName(QStringLiteral("TITEL")).setDisplayLabel(QStringLiteral("Titel"));
        data.comics->fieldByName(QStringLiteral("ID")).setVisible(false);
        DBGrid grid(data.srcComics.get());
        QCOMPARE(grid.model()->columnCount(), 7);
        QCOMPARE(grid.model()->rowCount(), 4);
        // Labels and visibility are read when the rows change, as after a refresh.
        data.comics->refresh();
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Titel"));
        QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("BAND"));
        QVERIFY(grid.isColumnHidden(0));
        QVERIFY(!grid.isColumnHidden(1));
        QCOMPARE(cell(grid, 1, 1), QStringLiteral("Lucky Luke"));
    }

    void ownColumns_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<QString>("firstRow");
        QTest::newRow("titled") << 0 << "Band" << false << "1";
        QTest::newRow("hidden key") << 1 << "ID" << true << "C1";
        QTest::newRow("field label") << 2 << "TITEL" << false << "Asterix";
        QTest::newRow("float in German") << 3 << "Preis" << false << "9,50";
        QTest::newRow("unknown field") << 4 << "Fehlt" << false << "";
    }
    void ownColumns()
    {
        QFETCH(int, column);
        QFETCH(QString, title);
        QFETCH(bool, hidden);
        QFETCH(QString, firstRow);
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.setColumns({{QStringLiteral("BAND"), QStringLiteral("Band"), 5, true},
                         {QStringLiteral("ID"), {}, 0, false},
                         {QStringLiteral("TITEL"), {}, 0, true},
                         {QStringLiteral("PREIS"), QStringLiteral("Preis"), 12, true},
                         {QStringLiteral("NICHTDA"), QStringLiteral("Fehlt"), 3, true}});
        QCOMPARE(grid.model()->columnCount(), 5);
        QCOMPARE(grid.model()->headerData(column, Qt::Horizontal).toString(), title);
        QCOMPARE(grid.isColumnHidden(column), hidden);
        QCOMPARE(cell(grid, 0, column), firstRow);
    }

    void widthsInCharactersAndKeptWhenRowsChange()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.setColumns({{QStringLiteral("BAND"), {}, 4, true}, {QStringLiteral("TITEL"), {}, 40, true}});
        const int narrow = grid.columnWidth(0);
        const int wide = grid.columnWidth(1);
        QVERIFY2(wide > 5 * narrow, qPrintable(QStringLiteral("%1 vs %2").arg(wide).arg(narrow)));
        QCOMPARE(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        grid.setColumnWidth(1, 77); // as the user drags it
        data.comics->setFilter(QStringLiteral("(TITEL = 'L*')"));
        data.comics->setFiltered(true);
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(grid.columnWidth(1), 77);
    }

    void displayTextHandlerShown()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.setColumns({{QStringLiteral("VERLAGID"), QStringLiteral("Verlag"), 20, true}});
        db::Table* publishers = data.publishers.get();
        data.comics->fieldByName(QStringLiteral("VERLAGID"))
            .setOnGetText([publishers](const db::Field&, const QVariant& id) {
                return publishers->lookup(QStringLiteral("VLID"), id, QStringLiteral("VLNAME")).toString();
            });
        QCOMPARE(cell(grid, 0, 0), QStringLiteral("Egmont"));
        QCOMPARE(cell(grid, 1, 0), QStringLiteral("Carlsen"));
        QCOMPARE(cell(grid, 2, 0), QString()); // dangling id: no name, and never the id
        QCOMPARE(grid.model()->index(0, 0).data(Qt::EditRole).toString(), QStringLiteral("V2"));
    }

    void followsMovesOfTheTable()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.resize(400, 200);
        QCOMPARE(grid.currentIndex().row(), 0);
        QCOMPARE(marker(grid, 0), QStringLiteral("▶"));
        data.comics->last();
        QCOMPARE(grid.currentIndex().row(), 3);
        QCOMPARE(grid.selectionModel()->selectedRows().size(), 1);
        QCOMPARE(grid.selectionModel()->selectedRows().first().row(), 3);
        QCOMPARE(marker(grid, 3), QStringLiteral("▶"));
        QCOMPARE(marker(grid, 0), QString());
        data.comics->edit();
        QCOMPARE(marker(grid, 3), QStringLiteral("I"));
        data.comics->cancel();
        data.comics->append();
        QCOMPARE(grid.model()->rowCount(), 5);
        QCOMPARE(grid.currentIndex().row(), 4);
        QCOMPARE(marker(grid, 4), QStringLiteral("*"));
        data.comics->cancel();
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(grid.currentIndex().row(), 3);
    }

    void followsFieldWritesAndReopen()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
        data.comics->edit();
        data.comics->fieldByName(QStringLiteral("TITEL")).setAsString(QStringLiteral("Obelix"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(cell(grid, 0, 1), QStringLiteral("Obelix"));
        data.comics->post();
        data.comics->close();
        QCOMPARE(grid.model()->rowCount(), 0);
        QCOMPARE(grid.model()->columnCount(), 0);
        data.comics->open();
        QCOMPARE(grid.model()->rowCount(), 4);
        QCOMPARE(cell(grid, 0, 1), QStringLiteral("Obelix"));
    }

    void clickAndKeysMoveTheTable()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.resize(500, 250);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        clickCell(grid, 2, 1);
        QCOMPARE(data.comics->currentRow(), 2);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("ID")).asString(), QStringLiteral("C3"));
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(data.comics->currentRow(), 3);
        QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(data.comics->currentRow(), 0);
        QCOMPARE(grid.currentIndex().row(), 0);
    }

    void refusedPostKeepsTheRow()
    {
        TestDatabase data;
        ErrorRecorder errors;
        DBGrid grid(data.srcComics.get());
        grid.resize(500, 250);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        data.comics->beforePost = [](db::Table&) { throw db::Error(QStringLiteral("Titel fehlt")); };
        data.comics->edit();
        data.comics->fieldByName(QStringLiteral("TITEL")).setAsString(QStringLiteral("x"));
        clickCell(grid, 2, 1);
        QCOMPARE(errors.messages, QStringList{QStringLiteral("Titel fehlt.")});
        QCOMPARE(data.comics->currentRow(), 0);
        QCOMPARE(data.comics->state(), db::DataSetState::Edit);
        QCoreApplication::processEvents();
        QCOMPARE(grid.currentIndex().row(), 0);
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(errors.messages.size(), 2);
        QCOMPARE(grid.currentIndex().row(), 0);
    }

    void ctrlDelete_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("deleteEnabled");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("rowsAfter");
        QTest::newRow("OK deletes") << "OK" << true << true << 3;
        QTest::newRow("Abbrechen keeps") << "Abbrechen" << true << true << 4;
        QTest::newRow("ignoring grid") << "OK" << false << false << 4;
    }
    void ctrlDelete()
    {
        QFETCH(QString, answer);
        QFETCH(bool, deleteEnabled);
        QFETCH(bool, asked);
        QFETCH(int, rowsAfter);
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.setDeleteEnabled(deleteEnabled);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        data.comics->next();
        BoxAnswer box(answer);
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(box.seen, asked);
        QCOMPARE(data.comics->recordCount(), rowsAfter);
        QCOMPARE(grid.model()->rowCount(), rowsAfter);
        if (!asked)
            return;
        QCOMPARE(box.title, QStringLiteral("Bestätigung"));
        QCOMPARE(box.text, QStringLiteral("Datensatz löschen?"));
        QCOMPARE(box.buttons.size(), 2);
        QVERIFY(box.buttons.contains(QStringLiteral("OK")));
        QVERIFY(box.buttons.contains(QStringLiteral("Abbrechen")));
        // The row that followed the deleted one is current and selected.
        QCOMPARE(data.comics->fieldByName(QStringLiteral("ID")).asString(),
                 rowsAfter == 3 ? QStringLiteral("C3") : QStringLiteral("C2"));
        QCOMPARE(grid.currentIndex().row(), 1);
    }

    void ctrlDeleteRunsTheReplacedAction()
    {
        TestDatabase data;
        ErrorRecorder errors;
        DBGrid grid(data.srcComics.get());
        int calls = 0;
        grid.setDeleteAction([&](db::DataSet& ds) {
            ++calls;
            QCOMPARE(&ds, static_cast<db::DataSet*>(data.comics.get()));
            throw db::Error(QStringLiteral("Dieser Autor ist noch einem Comic zugeordnet"));
        });
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        BoxAnswer box(QStringLiteral("OK"));
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(box.seen);
        QCOMPARE(calls, 1);
        QCOMPARE(data.comics->recordCount(), 4);
        QCOMPARE(errors.messages, QStringList{QStringLiteral("Dieser Autor ist noch einem Comic zugeordnet.")});
    }

    void titleClickSignal()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.setColumns({{QStringLiteral("TITEL"), QStringLiteral("Titel"), 10, true},
                         {QStringLiteral("ID"), {}, 10, false},
                         {QStringLiteral("BAND"), QStringLiteral("Band"), 5, true}});
        grid.resize(500, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy spy(&grid, &DBGrid::titleClicked);
        QHeaderView* header = grid.horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 2);
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("BAND"));
        QCOMPARE(data.comics->currentRow(), 0); // a title click is no move
    }

    void tabLeavesTheGrid()
    {
        TestDatabase data;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* before = new QLineEdit(&window);
        auto* grid = new DBGrid(data.srcComics.get(), &window);
        auto* after = new QLineEdit(&window);
        layout->addWidget(before);
        layout->addWidget(grid);
        layout->addWidget(after);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), after);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), before);
        QCOMPARE(data.comics->currentRow(), 0);
    }

    void readOnlyUnlessEditable()
    {
        TestDatabase data;
        DBGrid grid(data.srcComics.get());
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy doubleClicks(&grid, &DBGrid::doubleClicked);
        const QModelIndex title = grid.model()->index(2, 1);
        QVERIFY(!(grid.model()->flags(title) & Qt::ItemIsEditable));
        const QPoint at = grid.visualRect(title).center();
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at); // a double-click starts with a click
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!grid.findChild<QLineEdit*>());
        // A double-click command finds the table on the clicked row.
        QCOMPARE(doubleClicks.size(), 1);
        QCOMPARE(data.comics->currentRow(), 2);
        QCOMPARE(data.comics->state(), db::DataSetState::Browse);
    }

    void inPlaceEditing_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("error");
        QTest::newRow("text") << 1 << "Obelix" << "Obelix" << "";
        QTest::newRow("integer") << 2 << "17" << "17" << "";
        QTest::newRow("German float") << 3 << "4,75" << "4,75" << "";
        QTest::newRow("bad integer") << 2 << "abc" << "1"
                                     << "'abc' ist kein gültiger Integerwert für Feld 'BAND'";
    }
    void inPlaceEditing()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, error);
        TestDatabase data;
        ErrorRecorder errors;
        DBGrid grid(data.srcComics.get());
        grid.setEditable(true);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QModelIndex index = grid.model()->index(0, column);
        grid.setCurrentIndex(index);
        grid.edit(index);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits through a queued call
        const db::Field& f = data.comics->fieldByName(data.comics->field(column).fieldName());
        QCOMPARE(f.asString(), stored);
        QCOMPARE(errors.messages, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(data.comics->modified(), error.isEmpty());
    }

    // The grid reads only the rows it paints: a large table scrolls at once.
    void readsOnlyVisibleRows()
    {
        TestDatabase data(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
            " INSERT INTO COMICS (ID, TITEL, BAND) SELECT 'K' || i, 'Band ' || i, i FROM n;"));
        QCOMPARE(data.comics->recordCount(), 100004);
        DBGrid grid(data.srcComics.get());
        grid.resize(600, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        int statements = 0;
        sqlite3_trace_v2(
            data.connection.handle(), SQLITE_TRACE_STMT,
            [](unsigned, void* counter, void*, void*) {
                ++*static_cast<int*>(counter);
                return 0;
            },
            &statements);
        data.comics->refresh();
        data.comics->last();
        grid.viewport()->repaint();
        data.comics->setRecNo(50000);
        grid.viewport()->repaint();
        sqlite3_trace_v2(data.connection.handle(), 0, nullptr, nullptr);
        QCOMPARE(grid.model()->rowCount(), 100004);
        QCOMPARE(grid.currentIndex().row(), 49999);
        QVERIFY(grid.viewport()->rect().intersects(grid.visualRect(grid.currentIndex())));
        QCOMPARE(cell(grid, 49999, 1), QStringLiteral("Band 49996"));
        QVERIFY2(statements < 100, qPrintable(QString::number(statements)));
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
