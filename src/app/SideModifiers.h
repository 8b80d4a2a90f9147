#pragma once

class QKeyEvent;

namespace app {

// Which of the left-hand Ctrl, Shift and Alt keys are held down.
//
// Qt's modifier flags do not tell the left key from the right one, so the
// state is followed from the presses and releases of the modifier keys
// themselves, by their native key codes (X11/Wayland key symbols; scan codes
// on Windows). A modifier key whose side cannot be told counts as right-hand.
class SideModifiers {
public:
    // Follows one key press or release; every other key only drops a left
    // key that Qt no longer reports as held (its release went to another
    // application).
    void track(const QKeyEvent& event);
    void reset() { m_ctrl = m_shift = m_alt = false; }

    bool leftCtrl() const { return m_ctrl; }
    bool leftShift() const { return m_shift; }
    bool leftAlt() const { return m_alt; }

private:
    bool m_ctrl = false;
    bool m_shift = false;
    bool m_alt = false;
};

// X11 key symbols of the modifier keys.
namespace keysym {
inline constexpr unsigned ShiftL = 0xffe1;
inline constexpr unsigned ShiftR = 0xffe2;
inline constexpr unsigned ControlL = 0xffe3;
inline constexpr unsigned ControlR = 0xffe4;
inline constexpr unsigned MetaL = 0xffe7; // Alt_L with Shift held, in most keymaps
inline constexpr unsigned MetaR = 0xffe8;
inline constexpr unsigned AltL = 0xffe9;
inline constexpr unsigned AltR = 0xffea;
inline constexpr unsigned IsoLevel3Shift = 0xfe03; // AltGr
} // namespace keysym

} // namespace app
