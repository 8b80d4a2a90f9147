#pragma once

#include <QComboBox>

namespace ui {

// A closed selection box bound to a field changes the stored value only when
// the user turns to it: Page Up and Page Down belong to the window (they move
// to another comic, and the box must not then write "next item" into that
// one), and the mouse wheel over a box without the focus scrolls the page
// instead of changing the value.
class BoundComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit BoundComboBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

} // namespace ui
