#include "covers/CoverImage.h"

#include "core/Errors.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QPainter>

#include <cmath>

namespace covers {

namespace {

constexpr int kJpegQuality = 90;      // an original that had to be re-encoded
constexpr int kThumbnailQuality = 85; // looked at small, never printed

struct Accepted {
    const char* format;
    const char* shown;
};
constexpr Accepted kAccepted[] = {{"jpeg", "JPEG"}, {"png", "PNG"}, {"webp", "WebP"},
                                  {"gif", "GIF"},   {"bmp", "BMP"}, {"tiff", "TIFF"}};

QString acceptedList()
{
    return QStringLiteral("JPEG, PNG, WebP, GIF, BMP und TIFF");
}

bool accepted(const QByteArray& format)
{
    for (const Accepted& a : kAccepted)
        if (format == a.format)
            return true;
    return false;
}

// Qt refuses to decode anything that needs more memory than this; the pixel
// limit above stays well inside it (four bytes a pixel), so the limit only
// catches what the header did not say.
void ensureAllocationLimit()
{
    static const bool set = [] {
        QImageReader::setAllocationLimit(256);
        return true;
    }();
    Q_UNUSED(set);
}

[[noreturn]] void refuse(const QString& source, const QString& reason)
{
    if (source.isEmpty())
        throw db::Error(QStringLiteral("Das Titelbild wurde nicht gespeichert: %1").arg(reason));
    throw db::Error(QStringLiteral("Das Titelbild „%1“ wurde nicht gespeichert: %2").arg(source, reason));
}

quint16 bigEndian16(const QByteArray& d, qsizetype at)
{
    return quint16((uchar(d[at]) << 8) | uchar(d[at + 1]));
}

// libjpeg decodes a file cut short without an error: it fills the missing
// part grey and warns. So the segments are walked up to the end-of-image
// marker; the one of an embedded preview lies inside its own segment and
// is skipped with it.
bool jpegComplete(const QByteArray& d)
{
    const qsizetype n = d.size();
    qsizetype i = 2; // after the start-of-image marker
    while (i + 1 < n) {
        if (uchar(d[i]) != 0xFF)
            return false;
        const uchar marker = uchar(d[i + 1]);
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD9)
            return true;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            i += 2;
            continue;
        }
        if (i + 3 >= n)
            return false;
        const quint16 length = bigEndian16(d, i + 2);
        if (length < 2)
            return false;
        i += 2 + length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data: a 0xFF in it is followed by a zero byte or a
        // restart marker; anything else is the next marker.
        while (i + 1 < n && !(uchar(d[i]) == 0xFF && d[i + 1] != 0 && !(uchar(d[i + 1]) >= 0xD0 && uchar(d[i + 1]) <= 0xD7)))
            ++i;
    }
    return false;
}

// A PNG ends with its IEND chunk; the decoder is quiet about a cut-off file too.
bool pngComplete(const QByteArray& d)
{
    return d.lastIndexOf(QByteArrayLiteral("IEND")) >= 8;
}

QSize fitThumbnail(const QSize& upright)
{
    if (upright.height() <= kThumbnailHeight && upright.width() <= kThumbnailMaxWidth)
        return upright;
    QSize fitted = upright.scaled(QSize(kThumbnailMaxWidth, kThumbnailHeight), Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

// JPEG has no transparency: a transparent part shows the page's white.
QImage opaque(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_RGB888
                   || image.format() == QImage::Format_Grayscale8
                   ? image
                   : image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

QByteArray encodeJpeg(const QImage& image, int quality)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(opaque(image)))
        throw db::Error(QStringLiteral("Das Titelbild lässt sich nicht als JPEG schreiben: %1").arg(writer.errorString()));
    return data;
}

QByteArray thumbnailOf(const QImage& image)
{
    const QSize size = fitThumbnail(image.size());
    return encodeJpeg(size == image.size() ? image : image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation),
                      kThumbnailQuality);
}

QString pixelsText(qint64 width, qint64 height)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("%1 × %2").arg(german.toString(width), german.toString(height));
}

// Shrinks a re-encoded original until it fits the limit: a 50-megapixel
// photograph of noise stays above 4 MB even as a JPEG.
QImage reencode(QImage image, QByteArray& bytes)
{
    image = opaque(image);
    for (int attempt = 0;; ++attempt) {
        bytes = encodeJpeg(image, kJpegQuality);
        if (bytes.size() <= kMaxStoredBytes || attempt == 6)
            return image;
        const double factor = std::sqrt(double(kMaxStoredBytes) / double(bytes.size())) * 0.95;
        image = image.scaled(QSize(std::max(1, int(image.width() * factor)), std::max(1, int(image.height() * factor))),
                             Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
}

} // namespace

PreparedCover prepareCover(const QByteArray& bytes, const QString& sourceName, Oversize oversize)
{
    ensureAllocationLimit();
    if (bytes.isEmpty())
        refuse(sourceName, sourceName.isEmpty() ? QStringLiteral("Es kam kein Bild an, nur leere Daten")
                                                : QStringLiteral("Die Datei ist leer (0 Bytes)"));
    QByteArray data = bytes; // shared, not copied: QBuffer only reads it
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        refuse(sourceName, QStringLiteral("Das ist kein Bild in einem bekannten Format (erkannt werden %1)")
                               .arg(acceptedList()));
    if (!accepted(format))
        refuse(sourceName, QStringLiteral("Bilder im Format %1 werden als Titelbild nicht angenommen, nur %2")
                               .arg(QString::fromLatin1(format.toUpper()), acceptedList()));

    const QSize header = reader.size();
    if (header.isValid() && qint64(header.width()) * header.height() > kMaxPixels)
        refuse(sourceName, QStringLiteral("Das Bild ist mit %1 Bildpunkten zu groß; ein Titelbild darf höchstens "
                                          "50 Millionen Bildpunkte haben (etwa 6.000 × 8.000)")
                               .arg(pixelsText(header.width(), header.height())));
    if ((format == "jpeg" && !jpegComplete(bytes)) || (format == "png" && !pngComplete(bytes)))
        refuse(sourceName, QStringLiteral("Die Bilddatei ist unvollständig, sie endet mitten im Bild (beim Kopieren "
                                          "oder Herunterladen abgeschnitten?)"));

    const bool rotated = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const bool upright = reader.transformation() == QImageIOHandler::TransformationNone;
    const QSize uprightSize = rotated ? header.transposed() : header;
    const bool keep = bytes.size() <= kMaxStoredBytes || oversize == Oversize::Keep;
    // Kept bytes need a decode only to be checked and for the thumbnail:
    // JPEG decodes straight to the small size, far faster and smaller.
    bool decodedSmall = false;
    if (keep && header.isValid()) {
        const QSize small = fitThumbnail(uprightSize);
        if (small != uprightSize) {
            reader.setScaledSize(rotated ? small.transposed() : small);
            decodedSmall = true;
        }
    }
    QImage image;
    if (!reader.read(&image) || image.isNull())
        refuse(sourceName, QStringLiteral("Das Bild lässt sich nicht lesen; die Datei ist beschädigt oder nicht "
                                          "vollständig (%1)")
                               .arg(QString::fromLatin1(format.toUpper())));
    if (!header.isValid() && qint64(image.width()) * image.height() > kMaxPixels)
        refuse(sourceName, QStringLiteral("Das Bild ist mit %1 Bildpunkten zu groß; ein Titelbild darf höchstens "
                                          "50 Millionen Bildpunkte haben")
                               .arg(pixelsText(image.width(), image.height())));

    PreparedCover cover;
    if (keep) {
        cover.bytes = bytes;
        cover.format = format;
        const QSize size = decodedSmall ? uprightSize : image.size();
        cover.width = size.width();
        cover.height = size.height();
        // A small upright JPEG is its own thumbnail: encoding it again would
        // only lose quality.
        if (format == "jpeg" && upright && fitThumbnail(size) == size)
            cover.thumbnail = bytes;
        else
            cover.thumbnail = thumbnailOf(image);
    } else {
        image = reencode(image, cover.bytes);
        cover.format = "jpeg";
        cover.width = image.width();
        cover.height = image.height();
        cover.reencoded = true;
        cover.thumbnail = thumbnailOf(image);
    }
    cover.sha256 = sha256Hex(cover.bytes);
    return cover;
}

PreparedCover prepareCoverFile(const QString& path, Oversize oversize)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.exists())
        refuse(name, QStringLiteral("Die Datei „%1“ gibt es nicht").arg(QDir::toNativeSeparators(path)));
    if (!info.isFile())
        refuse(name, QStringLiteral("„%1“ ist keine Datei").arg(QDir::toNativeSeparators(path)));
    if (info.size() > kMaxInputBytes)
        refuse(name, QStringLiteral("Die Datei ist mit %1 MB zu groß; ein Titelbild darf höchstens 64 MB haben")
                         .arg(QLocale(QLocale::German, QLocale::Germany).toString(info.size() / (1024 * 1024))));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(name, QStringLiteral("Die Datei lässt sich nicht lesen: %1").arg(file.errorString()));
    const QByteArray bytes = file.read(kMaxInputBytes + 1);
    if (file.error() != QFileDevice::NoError)
        refuse(name, QStringLiteral("Die Datei lässt sich nicht lesen: %1").arg(file.errorString()));
    return prepareCover(bytes, name, oversize);
}

PreparedCover prepareOwnJpeg(const QByteArray& jpeg, int width, int height)
{
    PreparedCover cover;
    cover.bytes = jpeg;
    cover.thumbnail = jpeg;
    cover.format = "jpeg";
    cover.width = width;
    cover.height = height;
    cover.sha256 = sha256Hex(jpeg);
    return cover;
}

QImage decodeUpright(const QByteArray& bytes)
{
    ensureAllocationLimit();
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    // A file changed behind the program's back gets the same guard as one handed in.
    const QSize header = reader.size();
    if (!accepted(reader.format()) || (header.isValid() && qint64(header.width()) * header.height() > kMaxPixels))
        return {};
    return reader.read();
}

bool acceptedFormat(const QByteArray& format)
{
    return accepted(format);
}

QString fileSuffix(const QByteArray& format)
{
    if (format == "jpeg")
        return QStringLiteral("jpg");
    if (format == "tiff")
        return QStringLiteral("tif");
    return QString::fromLatin1(format);
}

QString sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace covers
