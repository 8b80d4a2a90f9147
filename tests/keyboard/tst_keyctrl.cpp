#include "keyboard/KeyCtrl.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A form like the overview's filter strip: an edit box before and after the
// control under test, in layout order.
struct Form {
    QWidget window;
    QLineEdit* first = nullptr;
    QWidget* control = nullptr;
    QLineEdit* last = nullptr;

    // The tab order follows the order in which the children join the window.
    explicit Form(QWidget* middle)
    {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(first = new QLineEdit);
        layout->addWidget(control = middle);
        layout->addWidget(last = new QLineEdit);
    }
};

bool showActive(QWidget* window)
{
    window->show();
    return QTest::qWaitForWindowActive(window);
}

// Keys go where a user's keystroke would arrive: to the focused widget.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

// Counts key presses that get past the application's filters to a widget.
struct KeyRecorder : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        presses += event->type() == QEvent::KeyPress;
        return false;
    }
};

const QString program = QStringLiteral("stripothek");

} // namespace

class TestKeyCtrl : public QObject {
    Q_OBJECT
private slots:
    void init() { keyctrl::KeyCtrlStartup({program}); }
    void cleanup() { keyctrl::RemoveKeyHook(); }

    void enterMovesOn_data();
    void enterMovesOn();
    void enterFollowsTabOrder();
    void heldEnterMovesOncePerRepeat();
    void memoKeepsEnter_data();
    void memoKeepsEnter();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
    void dialogEditDoesNotAccept();
    void f1Swallowed_data();
    void f1Swallowed();
    void otherKeysUnchanged();
    void inactiveApplicationUntouched();
    void switchHoldsForTheRun_data();
    void switchHoldsForTheRun();
    void installRemoveIdempotent();
};

void TestKeyCtrl::enterMovesOn_data()
{
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"line edit", "combo box", "editable combo box", "spin box", "check box"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestKeyCtrl::enterMovesOn()
{
    QFETCH(QString, kind);
    QWidget* middle = nullptr;
    if (kind == "line edit") {
        middle = new QLineEdit;
    } else if (kind.endsWith("combo box")) {
        auto* combo = new QComboBox;
        combo->setEditable(kind.startsWith("editable"));
        combo->addItems({"Carlsen", "Ehapa"});
        middle = combo;
    } else if (kind == "spin box") {
        middle = new QSpinBox;
    } else {
        middle = new QCheckBox("fehlt");
    }
    Form form(middle);
    QVERIFY(showActive(&form.window));
    form.control->setFocus();
    QVERIFY(form.control->hasFocus());

    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), form.last);

    form.control->setFocus();
    press(Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
    QCOMPARE(QApplication::focusWidget(), form.first);

    // Moving on must not also do what Enter would have done in the control.
    if (auto* combo = qobject_cast<QComboBox*>(form.control))
        QCOMPARE(combo->count(), 2);
    if (auto* box = qobject_cast<QCheckBox*>(form.control))
        QVERIFY(!box->isChecked());
}

void TestKeyCtrl::enterFollowsTabOrder()
{
    Form form(new QLineEdit);
    QWidget::setTabOrder(form.first, form.last);
    QWidget::setTabOrder(form.last, form.control);
    QVERIFY(showActive(&form.window));
    form.first->setFocus();
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), form.last);
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), form.control);
}

void TestKeyCtrl::heldEnterMovesOncePerRepeat()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QList<QLineEdit*> edits;
    for (int i = 0; i < 5; ++i)
        layout->addWidget(edits.emplace_back(new QLineEdit));
    QVERIFY(showActive(&window));
    edits[0]->setFocus();
    for (bool repeat : {false, true, true})
        QTest::simulateEvent(QApplication::focusWidget(), true, Qt::Key_Return, {}, "\r", repeat);
    QCOMPARE(QApplication::focusWidget(), edits[3]);
}

void TestKeyCtrl::memoKeepsEnter_data()
{
    QTest::addColumn<bool>("rich");
    QTest::newRow("plain text") << false;
    QTest::newRow("rich text") << true;
}

void TestKeyCtrl::memoKeepsEnter()
{
    QFETCH(bool, rich);
    QWidget* memo = rich ? static_cast<QWidget*>(new QTextEdit) : new QPlainTextEdit;
    Form form(memo);
    QVERIFY(showActive(&form.window));
    memo->setFocus();
    QTest::keyClicks(memo, "ab");
    press(Qt::Key_Return);
    QTest::keyClicks(memo, "c");
    const QString text = rich ? static_cast<QTextEdit*>(memo)->toPlainText()
                              : static_cast<QPlainTextEdit*>(memo)->toPlainText();
    QCOMPARE(text, QStringLiteral("ab\nc"));
    QCOMPARE(QApplication::focusWidget(), memo);
}

void TestKeyCtrl::enterPressesFocusedButton_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("push button in a window") << "window";
    QTest::newRow("push button in a dialog") << "dialog";
    QTest::newRow("tool button") << "tool";
}

void TestKeyCtrl::enterPressesFocusedButton()
{
    QFETCH(QString, kind);
    QAbstractButton* button = nullptr;
    if (kind == "tool") {
        button = new QToolButton;
        button->setFocusPolicy(Qt::StrongFocus);
    } else {
        button = new QPushButton("&Speichern");
    }
    button->setText("&Speichern");
    std::unique_ptr<QWidget> window(kind == "dialog" ? new QDialog : new QWidget);
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(new QLineEdit);
    layout->addWidget(button);
    layout->addWidget(new QLineEdit);
    QVERIFY(showActive(window.get()));
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    button->setFocus();
    press(Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(QApplication::focusWidget(), button);
}

void TestKeyCtrl::dialogEditDoesNotAccept()
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* editName = new QLineEdit;
    auto* editNote = new QLineEdit;
    auto* btnOk = new QPushButton("OK");
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(editName);
    layout->addWidget(editNote);
    layout->addWidget(btnOk);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QVERIFY(showActive(&dialog));

    editName->setFocus();
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), editNote);
    press(Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), btnOk);
    QCOMPARE(accepted.count(), 0);
    QVERIFY(dialog.isVisible());

    press(Qt::Key_Return);
    QCOMPARE(accepted.count(), 1);
}

void TestKeyCtrl::f1Swallowed_data()
{
    QTest::addColumn<bool>("installed");
    QTest::newRow("installed") << true;
    QTest::newRow("removed") << false;
}

void TestKeyCtrl::f1Swallowed()
{
    QFETCH(bool, installed);
    if (!installed)
        keyctrl::RemoveKeyHook();
    Form form(new QLineEdit);
    KeyRecorder recorder;
    form.control->installEventFilter(&recorder);
    QVERIFY(showActive(&form.window));
    form.control->setFocus();

    press(Qt::Key_F1);
    QCOMPARE(recorder.presses, installed ? 0 : 1);

    // A help shortcut on F1 is not reached either.
    QShortcut help(QKeySequence(Qt::Key_F1), &form.window);
    QSignalSpy activated(&help, &QShortcut::activated);
    press(Qt::Key_F1);
    QCOMPARE(activated.count(), installed ? 0 : 1);
}

void TestKeyCtrl::otherKeysUnchanged()
{
    Form form(new QLineEdit);
    QVERIFY(showActive(&form.window));
    form.control->setFocus();
    QTest::keyClicks(form.control, "Asterix");
    QCOMPARE(static_cast<QLineEdit*>(form.control)->text(), QStringLiteral("Asterix"));
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.last);
}

void TestKeyCtrl::inactiveApplicationUntouched()
{
    Form form(new QLineEdit);
    QVERIFY(showActive(&form.window));
    auto* edit = static_cast<QLineEdit*>(form.control);
    edit->setFocus();
    QSignalSpy returnPressed(edit, &QLineEdit::returnPressed);

    QApplication::setActiveWindow(nullptr);
    QVERIFY(!QApplication::activeWindow());
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(returnPressed.count(), 1);
}

void TestKeyCtrl::switchHoldsForTheRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("active");
    QTest::newRow("no switch") << QStringList{program} << true;
    QTest::newRow("switch") << QStringList{program, "/KeyCtrlDisable"} << false;
    QTest::newRow("switch with value") << QStringList{program, "-keyctrldisable=1"} << false;
}

void TestKeyCtrl::switchHoldsForTheRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, active);
    keyctrl::KeyCtrlStartup(arguments);
    QCOMPARE(keyctrl::KeyHookInstalled(), active);
    keyctrl::AppEventsDeactivate();
    QVERIFY(!keyctrl::KeyHookInstalled());
    keyctrl::AppEventsStateChanged(Qt::ApplicationActive);
    QCOMPARE(keyctrl::KeyHookInstalled(), active);

    Form form(new QLineEdit);
    QVERIFY(showActive(&form.window));
    QShortcut help(QKeySequence(Qt::Key_F1), &form.window);
    QSignalSpy activated(&help, &QShortcut::activated);
    form.control->setFocus();
    press(Qt::Key_F1);
    press(Qt::Key_Return);
    QCOMPARE(activated.count(), active ? 0 : 1);
    QCOMPARE(QApplication::focusWidget(), active ? form.last : form.control);
}

void TestKeyCtrl::installRemoveIdempotent()
{
    Form form(new QLineEdit);
    QVERIFY(showActive(&form.window));
    auto moves = [&] {
        form.control->setFocus();
        press(Qt::Key_Return);
        return QApplication::focusWidget() == form.last;
    };

    keyctrl::InstallKeyHook();
    keyctrl::InstallKeyHook();
    QVERIFY(moves());
    keyctrl::RemoveKeyHook();
    QVERIFY(!keyctrl::KeyHookInstalled());
    QVERIFY(!moves());
    keyctrl::RemoveKeyHook();
    QVERIFY(!moves());
    keyctrl::InstallKeyHook();
    QVERIFY(moves());
}

QTEST_MAIN(TestKeyCtrl)
#include "tst_keyctrl.moc"
