#pragma once

#include <QString>

class QWidget;

// The standard one-line text query: a small modal window with a caption, the
// prompt as a label, an edit box of at most 255 characters that starts with
// value, and the buttons "OK" and "Abbrechen". True when left with "OK";
// value then holds the text as typed.
bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent = nullptr);

// The text without leading and trailing blanks and control characters.
QString TrimInput(const QString& text);
