#pragma once

#include "database/Errors.h"

#include <QObject>
#include <QString>
#include <exception>
#include <functional>

namespace ui {

// The application's one error display: a message box with the application's
// title, the error icon and one "OK" button. Tests replace it with a recorder.
using ErrorSink = std::function<void(const QString&)>;
void showError(const QString& message);
ErrorSink setErrorSink(ErrorSink sink); // returns the previous sink; empty = message box

// The message as the user sees it: a full stop is appended when the last
// character sorts after it.
QString withFullStop(const QString& message);

// Runs one command: any error ends it and reaches the error display, an
// abort ends it silently. Nothing escapes into Qt's event loop.
template <class F>
void runCommand(F&& command) noexcept
{
    try {
        command();
    } catch (const db::Abort&) {
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
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
