#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>

// Pictures made in the test, so that nothing large is committed.
namespace testimages {

inline QByteArray encode(const QImage& image, const char* format, int quality = -1)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return data;
}

// Left half red, right half blue: after a turn the halves tell which way it went.
inline QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            image.setPixel(x, y, qRgb(0, 0, 255));
    return image;
}

inline QByteArray jpeg(int width, int height)
{
    return encode(halves(width, height), "jpeg", 90);
}

// Colour noise compresses to nothing: a PNG of about three bytes a pixel.
inline QByteArray noisePng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return encode(image, "png");
}

// The JPEG with an Exif orientation tag (6: to be turned 90° clockwise).
inline QByteArray withOrientation(const QByteArray& jpegBytes, quint8 orientation)
{
    const QByteArray tiff = QByteArray("MM\x00\x2a\x00\x00\x00\x08", 8) + QByteArray("\x00\x01", 2)
        + QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01\x00", 9) + char(orientation) + QByteArray("\x00\x00", 2)
        + QByteArray(4, '\0');
    const QByteArray payload = QByteArray("Exif\x00\x00", 6) + tiff;
    const int length = int(payload.size()) + 2;
    const QByteArray segment = QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xff) + payload;
    return jpegBytes.left(2) + segment + jpegBytes.mid(2);
}

// A small JPEG whose header announces width × height: what a decompression
// bomb looks like to anyone who reads the header only.
inline QByteArray announcing(int width, int height)
{
    QByteArray data = jpeg(16, 16);
    const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
    data[sof + 5] = char(height >> 8);
    data[sof + 6] = char(height & 0xff);
    data[sof + 7] = char(width >> 8);
    data[sof + 8] = char(width & 0xff);
    return data;
}

} // namespace testimages
