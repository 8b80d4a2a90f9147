#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <array>
#include <vector>

namespace rpt {

// Reports are laid out in millimetres and painted at any resolution. Fonts
// are sized in hundredths of a millimetre, unhinted and without kerning, so
// a text is exactly as wide on the screen, in a PDF and on paper as the
// layout measured it.
inline constexpr double kFontUnitsPerMm = 100.0;

QFont reportFont(const QString& family, double pointSize, bool bold);

// Measures text of one font in millimetres. The width of a text is the sum
// of its characters' advances, each measured once with the real font; with
// kerning off that is what Qt paints, and it is fast enough for a layout of
// a few hundred thousand lines.
class TextMetrics {
public:
    explicit TextMetrics(const QFont& font);

    double width(QStringView text) const;
    double lineHeight() const { return m_lineHeight; }
    double ascent() const { return m_ascent; }

    // Breaks text into lines no wider than width: at blanks where possible,
    // inside a word that is wider than a whole line, and at line breaks in
    // the text. Blanks at a break are dropped; an empty text gives no line.
    // lines is emptied first, so one vector serves a whole layout.
    void breakLines(const QString& text, double width, std::vector<QString>& lines) const;

    // text shortened to fit width: as many whole characters as fit before
    // "…", without blanks before it; empty when not even "…" fits.
    QString elide(QStringView text, double width) const;

private:
    double advance(char32_t codePoint) const;

    QFont m_font;
    double m_lineHeight = 0;
    double m_ascent = 0;
    mutable std::array<double, 256> m_latin1{};
    mutable QHash<char32_t, double> m_other;
};

} // namespace rpt
