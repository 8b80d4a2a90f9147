#include "dbcontrols/EnteredText.h"

namespace ui {

QString cleanEnteredText(const QString& text, bool multiLine)
{
    const QChar lineBreak = multiLine ? QLatin1Char('\n') : QLatin1Char(' ');
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            kept += text[i];
            kept += text[++i];
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            continue; // the line feed that follows stands for both
        } else if (c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029) {
            kept += lineBreak;
        } else if (c == u'\t') {
            kept += text[i];
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xFFFE || c == 0xFFFF || QChar::isSurrogate(c)) {
            continue;
        } else {
            kept += text[i];
        }
    }
    return kept;
}

} // namespace ui
