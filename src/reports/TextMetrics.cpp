#include "reports/TextMetrics.h"

#include <QFontMetricsF>

namespace rpt {

QFont reportFont(const QString& family, double pointSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(qMax(1, qRound(pointSize * 25.4 / 72.0 * kFontUnitsPerMm)));
    font.setBold(bold);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

TextMetrics::TextMetrics(const QFont& font) : m_font(font)
{
    const QFontMetricsF metrics(m_font);
    m_lineHeight = metrics.height() / kFontUnitsPerMm;
    m_ascent = metrics.ascent() / kFontUnitsPerMm;
    m_latin1.fill(-1);
}

double TextMetrics::advance(char32_t codePoint) const
{
    if (codePoint < m_latin1.size()) {
        double& cached = m_latin1[codePoint];
        if (cached < 0)
            cached = QFontMetricsF(m_font).horizontalAdvance(QChar(char16_t(codePoint))) / kFontUnitsPerMm;
        return cached;
    }
    const auto it = m_other.constFind(codePoint);
    if (it != m_other.constEnd())
        return *it;
    const QString text = QString::fromUcs4(&codePoint, 1);
    const double w = QFontMetricsF(m_font).horizontalAdvance(text) / kFontUnitsPerMm;
    m_other.insert(codePoint, w);
    return w;
}

double TextMetrics::width(QStringView text) const
{
    double w = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            w += advance(QChar::surrogateToUcs4(c, text[i + 1].unicode()));
            ++i;
        } else {
            w += advance(c);
        }
    }
    return w;
}

QString TextMetrics::elide(QStringView text, double width) const
{
    const QChar ellipsis(0x2026);
    const double room = width - advance(ellipsis.unicode());
    if (room < 0)
        return QString();
    double w = 0;
    qsizetype end = 0;
    const qsizetype n = text.size();
    while (end < n) {
        const char16_t c = text[end].unicode();
        const bool pair = QChar::isHighSurrogate(c) && end + 1 < n && QChar::isLowSurrogate(text[end + 1].unicode());
        w += advance(pair ? QChar::surrogateToUcs4(c, text[end + 1].unicode()) : char32_t(c));
        if (w > room)
            break;
        end += pair ? 2 : 1;
    }
    while (end > 0 && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.left(end).toString() + ellipsis;
}

void TextMetrics::breakLines(const QString& text, double width, std::vector<QString>& lines) const
{
    lines.clear();
    if (text.isEmpty())
        return;
    const bool hasBreaks = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    // Most texts fit on one line: they keep sharing the stored string.
    if (!hasBreaks && this->width(text) <= width) {
        lines.push_back(text);
        return;
    }
    QString plain = text;
    plain.remove(QLatin1Char('\r'));
    const QStringList paragraphs = plain.split(QLatin1Char('\n'));
    for (const QString& paragraph : paragraphs) {
        const qsizetype n = paragraph.size();
        if (n == 0) {
            lines.push_back(QString());
            continue;
        }
        qsizetype pos = 0;
        while (pos < n) {
            double w = 0;
            qsizetype lastBlank = -1;
            qsizetype i = pos;
            for (; i < n; ++i) {
                const QChar c = paragraph[i];
                if (c == QLatin1Char(' '))
                    lastBlank = i;
                // A character beyond the first plane is two code units and one advance.
                const bool pair = c.isHighSurrogate() && i + 1 < n && paragraph[i + 1].isLowSurrogate();
                const double next =
                    w + advance(pair ? QChar::surrogateToUcs4(c, paragraph[i + 1]) : char32_t(c.unicode()));
                if (next > width && c != QLatin1Char(' '))
                    break;
                w = next;
                if (pair)
                    ++i;
            }
            if (i >= n) {
                lines.push_back(paragraph.mid(pos));
                break;
            }
            qsizetype end = lastBlank > pos ? lastBlank : i;
            if (end == pos) // not even one character fits: take it all the same
                end = pos + (paragraph[pos].isHighSurrogate() && pos + 1 < n ? 2 : 1);
            QString line = paragraph.mid(pos, end - pos);
            while (line.endsWith(QLatin1Char(' ')))
                line.chop(1);
            lines.push_back(line);
            pos = end;
            while (pos < n && paragraph[pos] == QLatin1Char(' '))
                ++pos;
        }
    }
}

} // namespace rpt
