#pragma once

#include "core/Errors.h"

#include <QObject>
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace ui {

// The application's one error display: a message box with the application's
// title, the error icon and one "OK" button. Tests replace it with a recorder.
using ErrorSink = std::function<void(const QString&)>;
void showError(const QString& message);
ErrorSink setErrorSink(ErrorSink sink); // returns the previous sink; empty = message box

// The message as the user sees it: a full stop is appended when the last
// character sorts after it.
QString withFullStop(const QString& message);

// A warning the user should read once (a database that can only be read);
// a box with the warning icon, or the error sink while tests replace it.
void showWarning(const QString& message);

// A note the user only acknowledges (a name that exists already): a box
// without icon over parent, the text as given, since a note may end in a
// name; or the error sink while tests replace it.
void showNote(const QString& message, QWidget* parent = nullptr);

// A question whose careless answer could cost data: title "Bestätigung",
// question icon, "&Ja" and "&Nein", and both Enter and Esc answer "&Nein".
// True on "&Ja". Tests replace the box with a recorder that answers.
using QuestionSink = std::function<bool(const QString& question)>;
bool askYesNo(const QString& question, QWidget* parent = nullptr);
QuestionSink setQuestionSink(QuestionSink sink); // returns the previous sink; empty = message box

// Shows the error of a failed command. A damaged database file is reported
// once only, however many commands fail on it afterwards; then the damage
// handler runs (the program ends there).
void reportError(const std::exception& error);
using DamageHandler = std::function<void()>;
DamageHandler setDamageHandler(DamageHandler handler); // returns the previous one; forgets an earlier report

// For failures where no command can take them, such as painting a grid:
// shown by the next turn of the event loop, each text once.
void reportLater(std::exception_ptr error);

// Runs one command: any error ends it and reaches the error display, an
// abort ends it silently. Nothing escapes into Qt's event loop.
template <class F>
void runCommand(F&& command) noexcept
{
    try {
        command();
    } catch (const db::Abort&) {
    } catch (const std::exception& e) {
        reportError(e);
    } catch (...) {
        showError(QStringLiteral("Unbekannter Fehler"));
    }
}

// connect() for commands: the slot runs through runCommand.
template <class Sender, class Signal, class F>
QMetaObject::Connection onCommand(Sender* sender, Signal signal, QObject* context, F command)
{
    return QObject::connect(sender, signal, context, [command](auto&&... args) {
        runCommand([&] { command(args...); });
    });
}

} // namespace ui
