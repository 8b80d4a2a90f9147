#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Covers: the picture of a volume, kept beside the catalogue in a file of
// its own. This part turns bytes someone hands in (a file, a paste, a drop)
// into what is stored, or refuses them with the reason in German.
namespace covers {

// An original above this is stored re-encoded as JPEG; below it, as given.
inline constexpr qint64 kMaxStoredBytes = 4 * 1024 * 1024;
// A file larger than this is refused before it is read at all.
inline constexpr qint64 kMaxInputBytes = 64 * 1024 * 1024;
// Checked from the header, before anything is decoded: a few kilobytes can
// announce an image that needs gigabytes. 50 million is a 600 dpi scan of a
// large album page.
inline constexpr qint64 kMaxPixels = 50'000'000;
// Thumbnails: JPEG, this high (wide panoramas are bounded by the width).
inline constexpr int kThumbnailHeight = 300;
inline constexpr int kThumbnailMaxWidth = 600;

// What is stored for one cover.
struct PreparedCover {
    QByteArray bytes;     // the original as stored
    QByteArray thumbnail; // JPEG, upright
    QByteArray format;    // as Qt names it: "jpeg", "png", "webp", "gif", "bmp", "tiff"
    int width = 0;        // of the original, upright
    int height = 0;
    QString sha256;       // of bytes, lower-case hex
    bool reencoded = false;
};

enum class Oversize {
    Reencode, // a new cover: above kMaxStoredBytes it becomes a JPEG
    Keep,     // an imported one: stored as the export held it
};

// Checks and prepares one cover. sourceName (a file name, or empty for a
// pasted picture) goes into the message of a refusal. Throws db::Error:
// nothing that is not a whole, readable picture of an accepted format within
// the limits is ever stored. Thread-safe: runs on any thread.
PreparedCover prepareCover(const QByteArray& bytes, const QString& sourceName = {},
                           Oversize oversize = Oversize::Reencode);

// The same for a file: refuses a missing, unreadable or oversized one by name.
PreparedCover prepareCoverFile(const QString& path, Oversize oversize = Oversize::Reencode);

// A picture that needs no checking (one this program drew and encoded as a
// JPEG of thumbnail size): its own thumbnail, hashed, nothing decoded.
PreparedCover prepareOwnJpeg(const QByteArray& jpeg, int width, int height);

// A stored original as it is shown: upright (its orientation tag applied).
// Null when the bytes are no readable picture.
QImage decodeUpright(const QByteArray& bytes);

// Whether covers may be of this format (as Qt names it).
bool acceptedFormat(const QByteArray& format);

// The extension of an exported cover: "jpg" for JPEG, "tif" for TIFF, the
// format's name otherwise.
QString fileSuffix(const QByteArray& format);

QString sha256Hex(const QByteArray& bytes);

} // namespace covers
