#include "covers/SyntheticCovers.h"

#include "covers/CoverBuilder.h"
#include "covers/CoverFile.h"
#include "covers/CoverImage.h"
#include "database/Statement.h"

#include <QBuffer>
#include <QFont>
#include <QImageWriter>
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>

#include <sqlite3.h>

namespace covers {

namespace {

constexpr int kWidth = 210;
constexpr int kHeight = kThumbnailHeight;

QFont font(int pixels, bool bold)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

QByteArray jpeg(const QImage& image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    writer.write(image);
    return data;
}

struct Row {
    QByteArray key;
    QString series, title, number;
};

} // namespace

QImage drawSyntheticCover(const QString& series, const QString& title, const QString& number)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    // A series keeps its colour from volume to volume, as real ones mostly do.
    const uint seed = qHash(series, 0x5eed);
    const QColor ground = QColor::fromHsv(int(seed % 360), 110 + int(seed / 360 % 90), 150 + int(seed / 32400 % 80));
    image.fill(ground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    p.fillRect(QRect(0, 0, kWidth, 64), ground.darker(170));
    p.setPen(Qt::white);
    const QRect top(8, 4, kWidth - 16, 56);
    for (int pixels = 17;; pixels -= 2) {
        p.setFont(font(pixels, true));
        if (pixels <= 11 || top.contains(p.boundingRect(top, Qt::AlignCenter | Qt::TextWordWrap, series)))
            break;
    }
    p.drawText(top, Qt::AlignCenter | Qt::TextWordWrap, series);

    if (!number.isEmpty()) {
        p.setBrush(ground.lighter(135));
        p.setPen(QPen(Qt::white, 3));
        p.drawEllipse(QPoint(kWidth / 2, 138), 52, 52);
        p.setPen(ground.darker(220));
        p.setFont(font(number.size() > 3 ? 30 : 48, true));
        p.drawText(QRect(kWidth / 2 - 52, 86, 104, 104), Qt::AlignCenter, number);
    }

    p.fillRect(QRect(0, 206, kWidth, kHeight - 206), QColor(255, 255, 255, 215));
    p.setPen(ground.darker(250));
    p.setFont(font(15, false));
    p.drawText(QRect(8, 210, kWidth - 16, kHeight - 216), Qt::AlignCenter | Qt::TextWordWrap, title);
    p.end();
    return image;
}

int addSyntheticCovers(sqlite3* catalogue, CoverBuilder& builder)
{
    db::Statement rows(catalogue,
                       QStringLiteral("SELECT SCLCOMICID, SCLSERIENTEXT, SCLTITEL1, SCLBAND FROM SERVERSTRIPOTHEK "
                                      "WHERE SCLCOMICID IS NOT NULL ORDER BY rowid"),
                       QStringLiteral("tblStripothek"));
    const auto draw = [](const Row& row) {
        return prepareOwnJpeg(jpeg(drawSyntheticCover(row.series, row.title, row.number)), kWidth, kHeight);
    };
    int count = 0;
    QList<Row> block;
    const auto flush = [&] {
        const QList<PreparedCover> covers = QtConcurrent::blockingMapped(block, draw);
        for (qsizetype i = 0; i < covers.size(); ++i)
            builder.add(block[i].key, covers[i]);
        count += int(block.size());
        block.clear();
    };
    while (rows.step()) {
        block.append({file::columnBytes(rows.raw(), 0), rows.column(1).toString(), rows.column(2).toString(),
                      rows.columnIsNull(3) ? QString() : rows.column(3).toString()});
        if (block.size() == 256)
            flush();
    }
    flush();
    return count;
}

} // namespace covers
