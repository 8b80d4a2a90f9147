#include "dbcontrols/BoundComboBox.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace ui {

BoundComboBox::BoundComboBox(QWidget* parent) : QComboBox(parent)
{
    // The wheel neither takes the focus nor, without it, the value.
    setFocusPolicy(Qt::StrongFocus);
}

void BoundComboBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        event->ignore();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void BoundComboBox::wheelEvent(QWheelEvent* event)
{
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

} // namespace ui
