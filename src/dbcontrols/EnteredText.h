#pragma once

#include <QString>

namespace ui {

// What an entry box keeps of pasted text. Typed control characters never
// arrive (Qt refuses them), but a paste brings what the source had: a word
// processor's line break (U+000B), a bell, a NUL. They mean nothing in a
// catalogue entry, show as nothing, and no XML file can hold them.
// Line and paragraph breaks of any kind (U+000B, U+000C, U+0085, U+2028,
// U+2029, CR LF, CR) become a line break in a multi-line box and a space in
// a one-line box; tabs stay; every other control character, U+FFFE, U+FFFF
// and halves of surrogate pairs standing alone are removed.
QString cleanEnteredText(const QString& text, bool multiLine);

} // namespace ui
