#pragma once

#include <QStringList>
#include <qnamespace.h>

class QEvent;
class QObject;

// Makes Enter act like Tab in the program's forms and swallows F1.
//
// Enter (each auto-repeat included) in an edit box, selection box, spin box,
// check box or any other ordinary control moves the focus on along the
// window's tab order, Shift+Enter moves it back. Multi-line text editors keep
// Enter for line breaks, and a focused push button is pressed by it. Inside a
// dialog, Enter in an edit box therefore moves on instead of triggering the
// default button. F1 has no effect at all. Only keystrokes aimed at a control
// inside the program's active window are touched; while another application
// is active, nothing changes.
//
// Realised as an event filter on the application object, so it covers every
// window of the program. All functions must run on the GUI thread.
namespace keyctrl {

// The command-line switch that keeps the keyboard control off for the whole run.
inline constexpr char16_t DisableSwitch[] = u"KEYCTRLDISABLE";

// Start-up step: call once the QApplication exists and before the main window
// is created, with QCoreApplication::arguments(). Installs the control unless
// the arguments carry the switch; the answer holds for the rest of the run.
void KeyCtrlStartup(const QStringList& arguments);

// Whether the last start-up found the switch.
bool KeyCtrlDisabled();

// Both do nothing when already in the requested state; without a
// QApplication, installing silently does nothing.
void InstallKeyHook();
void RemoveKeyHook();
bool KeyHookInstalled();

// The filter itself: true when the event is consumed and must not be
// delivered further. Only key events (press, release, shortcut override) are
// looked at; everything else passes.
bool KeyHookProc(QObject* receiver, QEvent* event);

// The main window's activation handlers. Activation installs the control
// unless the switch was given at start-up; deactivation removes it.
void AppEventsActivate();
void AppEventsDeactivate();

// For connecting QGuiApplication::applicationStateChanged directly:
//   QObject::connect(qApp, &QGuiApplication::applicationStateChanged,
//                    this, &keyctrl::AppEventsStateChanged);
void AppEventsStateChanged(Qt::ApplicationState state);

} // namespace keyctrl
