#pragma once

#include <QLabel>

namespace csvwizard {

// Where a page says what keeps it from going on, in red under its controls.
inline QLabel* errorLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b00000"));
    return label;
}

} // namespace csvwizard
