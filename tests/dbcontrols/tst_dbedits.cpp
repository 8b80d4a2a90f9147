#include "TestDatabase.h"

#include "database/Query.h"

#include "dbcontrols/DBCheckBox.h"
#include "dbcontrols/DBEdit.h"
#include "dbcontrols/DBLookupComboBox.h"
#include "dbcontrols/DBMemo.h"
#include "dbcontrols/DBNavigator.h"

#include <QClipboard>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QToolButton>
#include <QVBoxLayout>

using db::DataSetState;

// A window with the control under test and a plain box to move the focus to.
template <class Control>
struct Form {
    QWidget window;
    Control* control;
    QLineEdit* other;

    template <class... Args>
    explicit Form(Args&&... args)
    {
        auto* layout = new QVBoxLayout(&window);
        control = new Control(std::forward<Args>(args)...);
        other = new QLineEdit(&window);
        layout->addWidget(control);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
    }
};

class TestDBEdits : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void editShowsTheCurrentRow_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("maxLength");
        QTest::newRow("text, limited to its width") << "TITEL" << 1 << "Lucky Luke" << 20;
        QTest::newRow("integer") << "BAND" << 3 << "4" << 32767;
        QTest::newRow("null integer is empty") << "BAND" << 2 << "" << 32767;
        QTest::newRow("float in German") << "PREIS" << 3 << "3,25" << 32767;
        QTest::newRow("null float is empty") << "PREIS" << 1 << "" << 32767;
    }
    void editShowsTheCurrentRow()
    {
        QFETCH(QString, field);
        QFETCH(int, row);
        QFETCH(QString, shown);
        QFETCH(int, maxLength);
        TestDatabase data;
        ui::DBEdit edit(data.srcComics.get(), field);
        data.comics->setRecNo(row + 1);
        QCOMPARE(edit.text(), shown);
        QCOMPARE(edit.maxLength(), maxLength);
        QVERIFY(!edit.QLineEdit::isReadOnly());
    }

    void editFollowsTheTable()
    {
        TestDatabase data;
        ui::DBEdit edit(data.srcComics.get(), QStringLiteral("TITEL"));
        QCOMPARE(edit.text(), QStringLiteral("Asterix"));
        data.comics->last();
        QCOMPARE(edit.text(), QStringLiteral("Spirou"));
        data.comics->edit();
        data.comics->fieldByName(QStringLiteral("TITEL")).setAsString(QStringLiteral("Gaston"));
        QCOMPARE(edit.text(), QStringLiteral("Gaston"));
        data.comics->cancel();
        QCOMPARE(edit.text(), QStringLiteral("Spirou"));
        data.comics->close();
        QCOMPARE(edit.text(), QString());
        QVERIFY(edit.QLineEdit::isReadOnly());
        data.comics->open();
        QCOMPARE(edit.text(), QStringLiteral("Asterix"));
        QCOMPARE(edit.maxLength(), 20);
        // Rebinding to another field shows that field.
        edit.setDataField(QStringLiteral("ID"));
        QCOMPARE(edit.text(), QStringLiteral("C1"));
    }

    void typingEditsAndLeavingWrites_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shownAfter");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("text") << "TITEL" << "Obelix" << "Obelix" << QVariant(QStringLiteral("Obelix"));
        QTest::newRow("integer") << "BAND" << "12" << "12" << QVariant(12);
        QTest::newRow("German float") << "PREIS" << "7,5" << "7,50" << QVariant(7.5);
        QTest::newRow("point float") << "PREIS" << "7.25" << "7,25" << QVariant(7.25);
        QTest::newRow("empty text is null") << "TITEL" << "" << "" << QVariant();
        QTest::newRow("empty integer is null") << "BAND" << "" << "" << QVariant();
    }
    void typingEditsAndLeavingWrites()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, shownAfter);
        QFETCH(QVariant, stored);
        TestDatabase data;
        Form<ui::DBEdit> form(data.srcComics.get(), field);
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.control->setFocus();
        const QVariant before = data.comics->fieldByName(field).value();
        QTest::keyClick(form.control, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form.control, Qt::Key_Delete);
        QTest::keyClicks(form.control, typed);
        QCOMPARE(data.comics->state(), DataSetState::Edit);
        QCOMPARE(data.comics->fieldByName(field).value(), before); // not before leaving
        QVERIFY(form.control->hasPendingInput());
        form.other->setFocus();
        QCOMPARE(data.comics->fieldByName(field).value(), stored);
        QCOMPARE(data.comics->fieldByName(field).isNull(), !stored.isValid());
        QCOMPARE(form.control->text(), shownAfter);
        QVERIFY(data.comics->modified());
        data.comics->post();
        data.comics->refresh();
        QCOMPARE(data.comics->fieldByName(field).value(), stored);
    }

    void refusedValueKeepsTheFocus_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("integer")
            << "BAND" << "abc" << "'abc' ist kein gültiger Integerwert für Feld 'BAND'";
        QTest::newRow("integer with label")
            << "Band:BAND" << "1x" << "'1x' ist kein gültiger Integerwert für Feld 'Band'";
        QTest::newRow("float") << "PREIS" << "zwei" << "'zwei' ist kein gültiger Fließkommawert für Feld 'PREIS'";
    }
    void refusedValueKeepsTheFocus()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        TestDatabase data;
        if (field.contains(QLatin1Char(':'))) {
            const QStringList parts = field.split(QLatin1Char(':'));
            data.comics->fieldByName(parts[1]).setDisplayLabel(parts[0]);
            field = parts[1];
        }
        ErrorRecorder errors;
        Form<ui::DBEdit> form(data.srcComics.get(), field);
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.control->setFocus();
        form.control->selectAll();
        QTest::keyClicks(form.control, typed);
        form.other->setFocus();
        QCOMPARE(errors.messages, QStringList{message});
        QCOMPARE(QApplication::focusWidget(), form.control);
        QCOMPARE(form.control->text(), typed); // the input stays for correction
        QCOMPARE(data.comics->state(), DataSetState::Edit);
        QVERIFY(!data.comics->modified());
        // Corrected, it goes through.
        form.control->selectAll();
        QTest::keyClicks(form.control, QStringLiteral("5"));
        QTest::keyClick(form.control, Qt::Key_Return);
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(data.comics->fieldByName(field).asInteger(), 5);
    }

    // With the real message box, which takes the focus while it is open.
    void refusedValueWithMessageBox()
    {
        TestDatabase data;
        Form<ui::DBEdit> form(data.srcComics.get(), QStringLiteral("BAND"));
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.control->setFocus();
        form.control->selectAll();
        QTest::keyClicks(form.control, QStringLiteral("abc"));
        BoxAnswer box(QStringLiteral("OK"));
        form.other->setFocus();
        QVERIFY(box.seen);
        QCOMPARE(box.text, QStringLiteral("'abc' ist kein gültiger Integerwert für Feld 'BAND'"));
        // The window's focus goes back to the box when the window is active again.
        QCOMPARE(form.window.focusWidget(), form.control);
        form.window.activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), form.control);
        QCOMPARE(form.control->text(), QStringLiteral("abc"));
        QVERIFY(form.control->hasPendingInput());
    }

    void typingIsNotOverwritten()
    {
        TestDatabase data;
        Form<ui::DBEdit> form(data.srcComics.get(), QStringLiteral("TITEL"));
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.control->setFocus();
        QTest::keyClicks(form.control, QStringLiteral(" XL"));
        // Another control writes another field of the row meanwhile.
        data.comics->fieldByName(QStringLiteral("BAND")).setAsInteger(9);
        QCOMPARE(form.control->text(), QStringLiteral("Asterix XL"));
        // Escape drops the typing and shows the field again.
        QTest::keyClick(form.control, Qt::Key_Escape);
        QCOMPARE(form.control->text(), QStringLiteral("Asterix"));
        QTest::keyClicks(form.control, QStringLiteral("!"));
        // Cancelling the row drops the typing as well.
        data.comics->cancel();
        QCOMPARE(form.control->text(), QStringLiteral("Asterix"));
        QVERIFY(!form.control->hasPendingInput());
    }

    // Esc throws the typing away; a row that only this typing put into edit
    // state leaves it, so nothing shows as waiting to be stored.
    void escapeLeavesAnUnchangedRow_data()
    {
        QTest::addColumn<bool>("memo");
        QTest::addColumn<bool>("otherFieldWritten");
        QTest::newRow("edit box") << false << false;
        QTest::newRow("edit box, another field written") << false << true;
        QTest::newRow("memo") << true << false;
        QTest::newRow("memo, another field written") << true << true;
    }
    void escapeLeavesAnUnchangedRow()
    {
        QFETCH(bool, memo);
        QFETCH(bool, otherFieldWritten);
        TestDatabase data;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        QWidget* box = memo ? static_cast<QWidget*>(new ui::DBMemo(data.srcComics.get(), QStringLiteral("INHALT")))
                            : new ui::DBEdit(data.srcComics.get(), QStringLiteral("TITEL"));
        layout->addWidget(box);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        if (otherFieldWritten) {
            data.comics->edit();
            data.comics->fieldByName(QStringLiteral("BAND")).setAsInteger(9);
        }
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("xy"));
        QCOMPARE(data.comics->state(), DataSetState::Edit);
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(data.comics->state(), otherFieldWritten ? DataSetState::Edit : DataSetState::Browse);
        const QString shown = memo ? static_cast<ui::DBMemo*>(box)->toPlainText() : static_cast<ui::DBEdit*>(box)->text();
        QCOMPARE(shown, memo ? QStringLiteral("Gallier") : QStringLiteral("Asterix"));
        QCOMPARE(data.comics->fieldByName(QStringLiteral("BAND")).asInteger(), otherFieldWritten ? 9 : 1);
    }

    void readOnlyBoxes_data()
    {
        QTest::addColumn<bool>("readOnlyOption");
        QTest::addColumn<bool>("boundToQuery");
        QTest::newRow("option") << true << false;
        QTest::newRow("query") << false << true;
    }
    void readOnlyBoxes()
    {
        QFETCH(bool, readOnlyOption);
        QFETCH(bool, boundToQuery);
        TestDatabase data;
        db::Query query(data.connection);
        query.setSql(QStringLiteral("SELECT TITEL FROM COMICS"));
        query.open();
        db::DataSource querySource(&query, QStringLiteral("srcQuery"));
        Form<ui::DBEdit> form(boundToQuery ? &querySource : data.srcComics.get(), QStringLiteral("TITEL"));
        form.control->setReadOnly(readOnlyOption);
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.control->setFocus();
        QTest::keyClicks(form.control, QStringLiteral("xyz"));
        QCOMPARE(form.control->text(), QStringLiteral("Asterix"));
        QCOMPARE(data.comics->state(), DataSetState::Browse);
        QVERIFY(!form.control->hasPendingInput());
    }

    void updateRecordWritesPendingInput()
    {
        TestDatabase data;
        ErrorRecorder errors;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* title = new ui::DBEdit(data.srcComics.get(), QStringLiteral("TITEL"));
        auto* volume = new ui::DBEdit(data.srcComics.get(), QStringLiteral("BAND"));
        layout->addWidget(title);
        layout->addWidget(volume);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        volume->setFocus();
        volume->selectAll();
        QTest::keyClicks(volume, QStringLiteral("8"));
        ui::updateRecord(data.comics.get());
        QCOMPARE(data.comics->fieldByName(QStringLiteral("BAND")).asInteger(), 8);
        volume->selectAll();
        QTest::keyClicks(volume, QStringLiteral("acht"));
        title->setFocus(); // refused on leaving: the focus comes back
        QCOMPARE(QApplication::focusWidget(), volume);
        errors.messages.clear();
        title->setFocus(Qt::ActiveWindowFocusReason); // as when a message box takes over
        QCOMPARE(errors.messages.size(), 0);
        QVERIFY_THROWS_EXCEPTION(db::Error, ui::updateRecord(data.comics.get()));
        QCOMPARE(QApplication::focusWidget(), volume);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("BAND")).asInteger(), 8);
    }

    void postsAndMovesWriteTypedText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("post by a command") << "post";
        QTest::newRow("move by a command") << "next";
    }
    void postsAndMovesWriteTypedText()
    {
        QFETCH(QString, how);
        TestDatabase data;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* title = new ui::DBEdit(data.srcComics.get(), QStringLiteral("TITEL"));
        layout->addWidget(title);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        data.comics->first();
        title->setFocus();
        title->selectAll();
        QTest::keyClicks(title, QStringLiteral("Neu getippt"));
        // The command knows nothing of the box; the engine asks it first.
        if (how == "post")
            data.comics->post();
        else
            data.comics->next();
        data.comics->first();
        QCOMPARE(data.comics->fieldByName(QStringLiteral("TITEL")).asString(), QStringLiteral("Neu getippt"));
    }

    void memo()
    {
        TestDatabase data;
        Form<ui::DBMemo> form(data.srcComics.get(), QStringLiteral("INHALT"));
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        QCOMPARE(form.control->toPlainText(), QStringLiteral("Gallier"));
        data.comics->setRecNo(3);
        QCOMPARE(form.control->toPlainText(), QStringLiteral("Zeile 1\nZeile 2"));
        QCOMPARE(data.comics->state(), DataSetState::Browse);
        form.control->setFocus();
        form.control->moveCursor(QTextCursor::End);
        QTest::keyClick(form.control, Qt::Key_Return);
        QTest::keyClicks(form.control, QStringLiteral("Zeile 3"));
        QCOMPARE(data.comics->state(), DataSetState::Edit);
        form.other->setFocus();
        QCOMPARE(data.comics->fieldByName(QStringLiteral("INHALT")).asString(),
                 QStringLiteral("Zeile 1\nZeile 2\nZeile 3"));
        form.control->setFocus();
        form.control->selectAll();
        QTest::keyClick(form.control, Qt::Key_Delete);
        form.other->setFocus();
        QVERIFY(data.comics->fieldByName(QStringLiteral("INHALT")).isNull());
        data.comics->cancel();
        QCOMPARE(form.control->toPlainText(), QStringLiteral("Zeile 1\nZeile 2"));
        form.control->setReadOnly(true);
        form.control->setFocus();
        QTest::keyClicks(form.control, QStringLiteral("x"));
        QCOMPARE(data.comics->state(), DataSetState::Browse);
    }

    // A paste from a word processor or a web page must not bring control
    // characters into the catalogue.
    void pastedTextKeepsNoControlCharacters_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("inBox"); // what a one-line box stores
        QTest::addColumn<QString>("inMemo");
        const QString emoji = QStringLiteral("\U0001F600");
        QTest::newRow("word processor's line break") << "a\vb" << "a b" << "a\nb";
        QTest::newRow("bell, NUL, escape, DEL, C1") << QStringLiteral("a\ab") + QChar(0) + QStringLiteral("c\x1b\x7f\u0090")
                                                    << "abc" << "abc";
        QTest::newRow("tab stays, Windows line end") << "a\tb\r\nc" << "a\tb c" << "a\tb\nc";
        QTest::newRow("noncharacter, lone surrogate; emoji stays")
            << QStringLiteral("a\uFFFE") + QChar(0xD800) + emoji << QStringLiteral("a") + emoji << QStringLiteral("a") + emoji;
    }
    void pastedTextKeepsNoControlCharacters()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, inBox);
        QFETCH(QString, inMemo);
        TestDatabase data;
        QApplication::clipboard()->setText(pasted);
        const auto paste = [](auto& form) {
            QVERIFY(QTest::qWaitForWindowActive(&form.window));
            form.control->setFocus();
            form.control->selectAll();
            form.control->paste();
            form.other->setFocus();
        };
        Form<ui::DBEdit> box(data.srcComics.get(), QStringLiteral("TITEL"));
        paste(box);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("TITEL")).asString(), inBox);
        Form<ui::DBMemo> memo(data.srcComics.get(), QStringLiteral("INHALT"));
        paste(memo);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("INHALT")).asString(), inMemo);
    }

    void checkBox_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("afterClick");
        QTest::newRow("0 unchecked") << 0 << false << "1";
        QTest::newRow("1 checked") << 1 << true << "0";
        QTest::newRow("null unchecked") << 2 << false << "1";
    }
    void checkBox()
    {
        QFETCH(int, row);
        QFETCH(bool, checked);
        QFETCH(QString, afterClick);
        TestDatabase data;
        Form<ui::DBCheckBox> form(QStringLiteral("Comic fehlt"), data.srcComics.get(), QStringLiteral("FEHLT"));
        QVERIFY(QTest::qWaitForWindowExposed(&form.window));
        data.comics->setRecNo(row + 1);
        QCOMPARE(form.control->isChecked(), checked);
        QCOMPARE(data.comics->state(), DataSetState::Browse);
        QTest::mouseClick(form.control, Qt::LeftButton);
        QCOMPARE(data.comics->state(), DataSetState::Edit);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("FEHLT")).asString(), afterClick);
        QCOMPARE(form.control->isChecked(), !checked);
        data.comics->cancel();
        QCOMPARE(form.control->isChecked(), checked);
    }

    void checkBoxWithOwnValues()
    {
        TestDatabase data;
        Form<ui::DBCheckBox> form(data.srcComics.get(), QStringLiteral("TITEL"));
        form.control->setValueChecked(QStringLiteral("J"));
        form.control->setValueUnchecked(QStringLiteral("N"));
        QVERIFY(QTest::qWaitForWindowExposed(&form.window));
        QVERIFY(!form.control->isChecked());
        QTest::keyClick(form.control, Qt::Key_Space);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("TITEL")).asString(), QStringLiteral("J"));
        QTest::keyClick(form.control, Qt::Key_Space);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("TITEL")).asString(), QStringLiteral("N"));
        form.control->setReadOnly(true);
        QTest::keyClick(form.control, Qt::Key_Space);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("TITEL")).asString(), QStringLiteral("N"));
        QVERIFY(!form.control->isChecked());
    }

    void lookupShowsNames_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::newRow("known key") << 0 << "Egmont";
        QTest::newRow("other key") << 1 << "Carlsen";
        QTest::newRow("dangling key") << 2 << "";
        QTest::newRow("null key") << 3 << "";
    }
    void lookupShowsNames()
    {
        QFETCH(int, row);
        QFETCH(QString, shown);
        TestDatabase data;
        ui::DBLookupComboBox box;
        box.setDataSource(data.srcComics.get());
        box.setDataField(QStringLiteral("VERLAGID"));
        box.setListSource(data.srcPublishers.get());
        box.setListField(QStringLiteral("VLNAME"));
        box.setKeyField(QStringLiteral("VLID"));
        data.comics->setRecNo(row + 1);
        QCOMPARE(box.currentText(), shown);
        QCOMPARE(box.count(), 3);
        QCOMPARE(box.itemText(2), QStringLiteral("Ehapa"));
    }

    // The wheel over a box the user has not turned to scrolls the page around
    // it and leaves the stored value alone.
    void wheelWithoutFocusScrollsThePage()
    {
        TestDatabase data;
        QScrollArea area;
        auto* page = new QWidget;
        auto* layout = new QVBoxLayout(page);
        auto* other = new QLineEdit(page);
        auto* box = new ui::DBLookupComboBox(page);
        box->setListSource(data.srcPublishers.get());
        box->setListField(QStringLiteral("VLNAME"));
        box->setKeyField(QStringLiteral("VLID"));
        box->setDataSource(data.srcComics.get());
        box->setDataField(QStringLiteral("VERLAGID"));
        layout->addWidget(other);
        layout->addWidget(box);
        layout->addSpacing(2000);
        area.setWidget(page);
        area.resize(300, 200);
        area.show();
        area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&area));
        other->setFocus();

        const QPoint at = box->rect().center();
        QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel); // as from the mouse: an ignored wheel goes on to the parents
        qApp->notify(box, &wheel);
        QCOMPARE(data.comics->state(), DataSetState::Browse);
        QCOMPARE(box->currentText(), QStringLiteral("Egmont"));
        QCOMPARE(QApplication::focusWidget(), other);
        QVERIFY(area.verticalScrollBar()->value() > 0);
    }

    void lookupWritesTheKey()
    {
        TestDatabase data;
        Form<ui::DBLookupComboBox> form;
        ui::DBLookupComboBox* box = form.control;
        box->setListSource(data.srcPublishers.get());
        box->setListField(QStringLiteral("VLNAME"));
        box->setKeyField(QStringLiteral("VLID"));
        box->setDataSource(data.srcComics.get());
        box->setDataField(QStringLiteral("VERLAGID"));
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        box->setFocus();
        QCOMPARE(box->currentText(), QStringLiteral("Egmont"));
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(data.comics->state(), DataSetState::Edit);
        QCOMPARE(data.comics->fieldByName(QStringLiteral("VERLAGID")).asString(), QStringLiteral("V3"));
        QCOMPARE(box->currentText(), QStringLiteral("Ehapa"));
        data.comics->post();

        // A publisher stored meanwhile is offered, and shown once the comic refers to it.
        data.publishers->append();
        data.publishers->fieldByName(QStringLiteral("VLID")).setAsString(QStringLiteral("V4"));
        data.publishers->fieldByName(QStringLiteral("VLNAME")).setAsString(QStringLiteral("Splitter"));
        data.publishers->post();
        data.comics->edit();
        data.comics->fieldByName(QStringLiteral("VERLAGID")).setAsString(QStringLiteral("V4"));
        QCOMPARE(box->currentText(), QStringLiteral("Splitter"));
        QCOMPARE(box->count(), 4);

        // A renamed publisher shows its new name.
        data.publishers->last();
        data.publishers->edit();
        data.publishers->fieldByName(QStringLiteral("VLNAME")).setAsString(QStringLiteral("Splitter Verlag"));
        data.publishers->post();
        QCoreApplication::processEvents();
        QCOMPARE(box->currentText(), QStringLiteral("Splitter Verlag"));

        box->setReadOnly(true);
        data.comics->cancel();
        QTest::keyClick(box, Qt::Key_Up);
        QCOMPARE(data.comics->state(), DataSetState::Browse);
        QCOMPARE(box->currentText(), QStringLiteral("Ehapa"));
    }

    void navigator_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("enabled"); // first, prior, next, last
        QTest::newRow("opened") << "" << 0 << "0011";
        QTest::newRow("next") << "btnNext" << 1 << "1111";
        QTest::newRow("last") << "btnLast" << 3 << "1100";
        QTest::newRow("last, prior") << "btnLast btnPrior" << 2 << "1111";
        QTest::newRow("next, first") << "btnNext btnFirst" << 0 << "0011";
        QTest::newRow("prior at the top") << "btnNext btnPrior btnPrior" << 0 << "0011";
        QTest::newRow("next past the end") << "btnLast btnPrior btnNext btnNext" << 3 << "1100";
    }
    void navigator()
    {
        QFETCH(QString, press);
        QFETCH(int, row);
        QFETCH(QString, enabled);
        TestDatabase data;
        ui::DBNavigator navigator(data.srcComics.get());
        navigator.setObjectName(QStringLiteral("dbnNavigator"));
        for (const QString& name : press.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            auto* button = navigator.findChild<QToolButton*>(name);
            QVERIFY(button);
            if (button->isEnabled())
                QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(data.comics->currentRow(), row);
        QString actual;
        for (const char* name : {"btnFirst", "btnPrior", "btnNext", "btnLast"})
            actual += navigator.findChild<QToolButton*>(QLatin1String(name))->isEnabled() ? u'1' : u'0';
        QCOMPARE(actual, enabled);
    }

    void navigatorButtons()
    {
        TestDatabase data;
        ui::DBNavigator navigator;
        const QStringList expected{QStringLiteral("btnFirst:Erster Datensatz"),
                                   QStringLiteral("btnPrior:Vorheriger Datensatz"),
                                   QStringLiteral("btnNext:Nächster Datensatz"),
                                   QStringLiteral("btnLast:Letzter Datensatz")};
        QStringList actual;
        for (QToolButton* b : navigator.findChildren<QToolButton*>()) {
            actual << b->objectName() + u':' + b->toolTip();
            QVERIFY(!b->isEnabled()); // unbound
            QVERIFY(!b->icon().isNull());
        }
        QCOMPARE(actual, expected);
        navigator.setDataSource(data.srcComics.get());
        QVERIFY(navigator.button(ui::DBNavigator::Last)->isEnabled());
        data.comics->setFilter(QStringLiteral("(TITEL = 'nichts*')"));
        data.comics->setFiltered(true);
        for (QToolButton* b : navigator.findChildren<QToolButton*>())
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        data.comics->setFiltered(false);
        data.comics->close();
        QVERIFY(!navigator.button(ui::DBNavigator::Next)->isEnabled());
    }

    void navigatorWritesTypingBeforeMoving()
    {
        TestDatabase data;
        ErrorRecorder errors;
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* volume = new ui::DBEdit(data.srcComics.get(), QStringLiteral("BAND"));
        auto* navigator = new ui::DBNavigator(data.srcComics.get());
        layout->addWidget(volume);
        layout->addWidget(navigator);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        volume->setFocus();
        volume->selectAll();
        QTest::keyClicks(volume, QStringLiteral("x"));
        QTest::mouseClick(navigator->button(ui::DBNavigator::Next), Qt::LeftButton);
        QCOMPARE(errors.messages, QStringList{QStringLiteral("'x' ist kein gültiger Integerwert für Feld 'BAND'")});
        QCOMPARE(data.comics->currentRow(), 0);
        QCOMPARE(QApplication::focusWidget(), volume);
        volume->selectAll();
        QTest::keyClicks(volume, QStringLiteral("11"));
        QTest::mouseClick(navigator->button(ui::DBNavigator::Next), Qt::LeftButton);
        QCOMPARE(data.comics->currentRow(), 1);
        QCOMPARE(data.comics->state(), DataSetState::Browse);
        QCOMPARE(volume->text(), QStringLiteral("2"));
        data.comics->first();
        QCOMPARE(volume->text(), QStringLiteral("11")); // posted on the way
    }
};

QTEST_MAIN(TestDBEdits)
#include "tst_dbedits.moc"
