#include "FormFixture.h"
#include "../common/Named.h"

#include "app/ComicForm.h"
#include "keyboard/KeyCtrl.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

// The Enter-as-Tab control on the real main window, not on stand-ins.
class TestFormKeyboard : public QObject {
    Q_OBJECT

    static void activate(QWidget& window)
    {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

private Q_SLOTS:
    void init() { keyctrl::InstallKeyHook(); }
    void cleanup() { keyctrl::RemoveKeyHook(); }

    void enterWalksThroughTheFilterBoxes_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("to");
        QTest::newRow("Enter moves on") << "editSrchTitel" << Qt::KeyboardModifiers() << "editSrchSerie";
        QTest::newRow("Shift+Enter moves back") << "editSrchSerie" << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                                << "editSrchTitel";
    }
    void enterWalksThroughTheFilterBoxes()
    {
        QFETCH(QString, from);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, to);
        WorkDir dir(true);
        ErrorRecorder errors;
        TComicForm form;
        activate(form);
        auto* box = form.findChild<QLineEdit*>(from);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return, modifiers);
        QCOMPARE(QApplication::focusWidget()->objectName(), to);
    }

    void enterInAMemoBreaksTheLine()
    {
        WorkDir dir(true);
        ErrorRecorder errors;
        TComicForm form;
        activate(form);
        named<QTabWidget>(form, "pcMain")->setCurrentWidget(named(form, "tsLocal"));
        auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("editBemerkung1"));
        memo->setFocus();
        memo->moveCursor(QTextCursor::End);
        const int lines = memo->blockCount();
        QTest::keyClick(memo, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), memo);
        QCOMPARE(memo->blockCount(), lines + 1);
        form.data().tblStripothek().cancel();
    }

    void switchLeavesEnterAlone()
    {
        WorkDir dir(true);
        ErrorRecorder errors;
        keyctrl::RemoveKeyHook();
        TComicForm form;
        activate(form);
        auto* box = form.findChild<QLineEdit*>(QStringLiteral("editSrchTitel"));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), box);
    }
};

QTEST_MAIN(TestFormKeyboard)
#include "tst_formkeyboard.moc"
