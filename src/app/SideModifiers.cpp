#include "SideModifiers.h"

#include <QKeyEvent>

namespace app {
namespace {

enum class Side { None, Left, Right };
enum class Mod { None, Ctrl, Shift, Alt };

struct Classified {
    Mod mod = Mod::None;
    Side side = Side::None;
};

Mod modOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Control:
        return Mod::Ctrl;
    case Qt::Key_Shift:
        return Mod::Shift;
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
        return Mod::Alt;
    default:
        return Mod::None;
    }
}

Classified classify(const QKeyEvent& event)
{
#ifdef Q_OS_WIN
    // Qt passes the scan code with the extended-key bit (0x100), which marks
    // the right-hand Ctrl and Alt.
    switch (event.nativeScanCode()) {
    case 0x1d: return {Mod::Ctrl, Side::Left};
    case 0x11d: return {Mod::Ctrl, Side::Right};
    case 0x2a: return {Mod::Shift, Side::Left};
    case 0x36: return {Mod::Shift, Side::Right};
    case 0x38: return {Mod::Alt, Side::Left};
    case 0x138: return {Mod::Alt, Side::Right};
    default: break;
    }
#else
    switch (event.nativeVirtualKey()) {
    case keysym::ControlL: return {Mod::Ctrl, Side::Left};
    case keysym::ControlR: return {Mod::Ctrl, Side::Right};
    case keysym::ShiftL: return {Mod::Shift, Side::Left};
    case keysym::ShiftR: return {Mod::Shift, Side::Right};
    case keysym::AltL:
    case keysym::MetaL: return {Mod::Alt, Side::Left};
    case keysym::AltR:
    case keysym::MetaR:
    case keysym::IsoLevel3Shift: return {Mod::Alt, Side::Right};
    default: break;
    }
#endif
    return {modOf(event.key()), Side::Right};
}

} // namespace

void SideModifiers::track(const QKeyEvent& event)
{
    const bool press = event.type() == QEvent::KeyPress;
    if (!press && event.type() != QEvent::KeyRelease)
        return;

    const Classified c = classify(event);
    if (c.mod == Mod::None) {
        // A release that happened while another application had the keyboard
        // never reaches us; Qt's flags of the next key tell.
        const Qt::KeyboardModifiers held = event.modifiers();
        if (!held.testFlag(Qt::ControlModifier))
            m_ctrl = false;
        if (!held.testFlag(Qt::ShiftModifier))
            m_shift = false;
        if (!held.testFlag(Qt::AltModifier))
            m_alt = false;
        return;
    }
    if (c.side != Side::Left)
        return;
    switch (c.mod) {
    case Mod::Ctrl: m_ctrl = press; break;
    case Mod::Shift: m_shift = press; break;
    case Mod::Alt: m_alt = press; break;
    case Mod::None: break;
    }
}

} // namespace app
