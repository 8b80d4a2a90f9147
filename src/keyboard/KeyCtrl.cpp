#include "keyboard/KeyCtrl.h"

#include "keyboard/XProcs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>

namespace keyctrl {

namespace {

class KeyHook final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return KeyHookProc(watched, event); }
};

// Parented to the application object, so the filter goes away with it at the
// end of the run even when nobody removes it.
QPointer<KeyHook> hook;
bool disabledForRun = false;

bool isEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The control the keystroke is meant for, or null when the keystroke is none
// of our business: the application is not the active one, a popup (an open
// combo list, a menu, a completer) has the keyboard, the focus sits on the
// window itself, or the event is on its way to a parent because the focused
// control ignored it.
QWidget* focusedControl(QObject* receiver)
{
    if (QApplication::activePopupWidget())
        return nullptr;
    QWidget* const active = QApplication::activeWindow();
    QWidget* const focus = QApplication::focusWidget();
    if (!active || !focus || receiver != focus)
        return nullptr;
    if (focus == active || !active->isAncestorOf(focus))
        return nullptr;
    return focus;
}

enum class EnterRole {
    MovesOn, // Enter becomes Tab
    Own,     // the control handles Enter itself
    Press,   // a button that Qt would leave unpressed
};

bool isTextEditor(const QWidget* w)
{
    return qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QTextEdit*>(w);
}

EnterRole enterRole(QWidget* control)
{
    if (isTextEditor(control))
        return EnterRole::Own;
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        // Qt presses a push button on Enter only where it may act as a
        // dialog's default; the program expects every focused button to react.
        return button->autoDefault() || button->isDefault() ? EnterRole::Own : EnterRole::Press;
    }
    if (qobject_cast<QToolButton*>(control))
        return EnterRole::Press;
    return EnterRole::MovesOn;
}

// Delivered straight away, so the focus has moved by the time the Enter
// keystroke is finished; Qt's own Tab handling picks the next control and
// lets grids use Tab for their columns.
void sendTab(QWidget* target, const QKeyEvent& enter)
{
    const Qt::KeyboardModifiers modifiers = enter.modifiers() & ~Qt::KeypadModifier;
    const bool back = modifiers.testFlag(Qt::ShiftModifier);
    QKeyEvent tab(enter.type(), back ? Qt::Key_Backtab : Qt::Key_Tab, modifiers,
                  back ? QString() : QStringLiteral("\t"), enter.isAutoRepeat(), enter.count());
    QCoreApplication::sendEvent(target, &tab);
}

// Accepting the override keeps shortcuts (a QAction on F1 or Return) from
// seeing the key; the key press then arrives here as an ordinary event.
bool claimShortcut(QEvent* event)
{
    event->accept();
    return true;
}

} // namespace

bool KeyHookProc(QObject* receiver, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    QWidget* const control = focusedControl(receiver);
    if (!control)
        return false;
    auto* const key = static_cast<QKeyEvent*>(event);

    if (isEnter(key->key())) {
        switch (enterRole(control)) {
        case EnterRole::Own:
            return false;
        case EnterRole::Press:
            if (type == QEvent::ShortcutOverride)
                return claimShortcut(event);
            if (type == QEvent::KeyPress) {
                static_cast<QAbstractButton*>(control)->click();
                return true;
            }
            return false;
        case EnterRole::MovesOn:
            if (type == QEvent::ShortcutOverride)
                return claimShortcut(event);
            sendTab(control, *key);
            return true;
        }
    }
    if (key->key() == Qt::Key_F1)
        return claimShortcut(event);
    return false;
}

void InstallKeyHook()
{
    if (hook)
        return;
    auto* const app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    hook = new KeyHook(app);
    app->installEventFilter(hook);
}

void RemoveKeyHook()
{
    if (!hook)
        return;
    KeyHook* const old = hook;
    hook = nullptr;
    if (QCoreApplication* const app = QCoreApplication::instance())
        app->removeEventFilter(old);
    // Removal may be asked for while the filter itself is still on the stack.
    old->deleteLater();
}

bool KeyHookInstalled()
{
    return !hook.isNull();
}

void KeyCtrlStartup(const QStringList& arguments)
{
    disabledForRun = xprocs::HasCommandSwitch(QString::fromUtf16(DisableSwitch), arguments);
    if (disabledForRun)
        RemoveKeyHook();
    else
        InstallKeyHook();
}

bool KeyCtrlDisabled()
{
    return disabledForRun;
}

void AppEventsActivate()
{
    // The switch holds for the whole run; otherwise the first activation
    // would bring the control back.
    if (!disabledForRun)
        InstallKeyHook();
}

void AppEventsDeactivate()
{
    RemoveKeyHook();
}

void AppEventsStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive)
        AppEventsActivate();
    else
        AppEventsDeactivate();
}

} // namespace keyctrl
