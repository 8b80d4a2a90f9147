#pragma once

#include <QString>
#include <functional>

class QWidget;

// The two boxes of the maintenance commands. Tests replace them with a
// recorder that answers in place of the user.
namespace tools {

// A plain message box with the application's title and one "OK" button
// ("Tabellen wurden gepackt!").
void ShowMessage(const QString& text, QWidget* parent = nullptr);

// The confirmation of emptying: title "Bestätigung", question symbol,
// buttons "&Ja" and "&Nein"; Esc answers "&Nein". True on "&Ja".
bool AskYesNo(const QString& question, QWidget* parent = nullptr);

// Replaces both boxes; an empty sink brings the boxes back. The sink gets
// each text and returns the answer (ignored for plain messages).
using MessageSink = std::function<bool(const QString& text)>;
MessageSink setMessageSink(MessageSink sink);

} // namespace tools
