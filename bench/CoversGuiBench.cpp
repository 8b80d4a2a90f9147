// Covers in the main window on a large collection: moving to the next comic
// with its cover on the master page against the same without covers, and
// the overview's gallery: its first screen, a screen further, and the memory
// after going through every volume; beside raw SQLite reading and decoding
// the same thumbnails.
#include "Bench.h"
#include "CoversBench.h"

#include "app/ComicForm.h"
#include "catalogue/CoverGallery.h"
#include "catalogue/OverviewPage.h"
#include "database/GermanOrder.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QScrollBar>
#include <QTabWidget>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

namespace {

constexpr int kMoves = 300;

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double nextComics(const QString& dir)
{
    TComicForm form;
    form.resize(1280, 900);
    form.show();
    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("pcMain"));
    pages->setCurrentIndex(1);
    QApplication::processEvents();
    db::Table& catalogue = form.data().tblStripothek();
    Q_UNUSED(dir);
    return bestOf(3, [&] {
        catalogue.first();
        QApplication::processEvents();
        for (int i = 0; i < kMoves; ++i) {
            catalogue.next();
            QApplication::processEvents();
        }
    });
}

void renameCovers(const QString& file, const QString& from, const QString& to)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        if (QFile::exists(file + from + QLatin1String(suffix)))
            QFile::rename(file + from + QLatin1String(suffix), file + to + QLatin1String(suffix));
}

// The rows the gallery shows, all with their thumbnails there.
bool screenLoaded(TCoverGallery& gallery)
{
    CoverGalleryModel* model = gallery.galleryModel();
    const auto [first, last] = gallery.visibleRows();
    if (first < 0)
        return false;
    for (int row = first; row <= last; ++row)
        if (qvariant_cast<QPixmap>(model->index(row, 0).data(Qt::DecorationRole)).cacheKey()
            == model->placeholder().cacheKey())
            return false;
    return true;
}

void waitForScreen(TCoverGallery& gallery)
{
    QElapsedTimer limit;
    limit.start();
    gallery.viewport()->repaint();
    while (!screenLoaded(gallery)) {
        QApplication::processEvents();
        if (limit.elapsed() > 30'000)
            throw std::runtime_error("the gallery's thumbnails did not arrive");
    }
}

int itemsOnScreen(TCoverGallery& gallery)
{
    const auto [first, last] = gallery.visibleRows();
    return last - first + 1;
}

// Raw SQLite: the keys of the overview's order, then a screen of thumbnails
// read and decoded to the gallery's size.
struct RawGallery {
    sqlite3* catalogue = nullptr;
    sqlite3* covers = nullptr;
    sqlite3_stmt* thumbnail = nullptr;

    RawGallery(const QString& dir)
    {
        sqlite3_open_v2((dir + QStringLiteral("/database/stripothek.db")).toUtf8().constData(), &catalogue,
                        SQLITE_OPEN_READONLY, nullptr);
        sqlite3_open_v2((dir + QStringLiteral("/database/titelbilder.db")).toUtf8().constData(), &covers,
                        SQLITE_OPEN_READONLY, nullptr);
        sqlite3_prepare_v2(covers, "SELECT TBVORSCHAU FROM TITELBILDER WHERE TBCOMICID = ?1", -1, &thumbnail, nullptr);
    }
    ~RawGallery()
    {
        sqlite3_finalize(thumbnail);
        sqlite3_close(covers);
        sqlite3_close(catalogue);
    }
    QStringList keys(int offset, int count)
    {
        const QByteArray sql = QStringLiteral("SELECT SCLCOMICID, SCLTITEL1, SCLBAND FROM SERVERSTRIPOTHEK ORDER BY %1, "
                                              "SCLBAND, rowid LIMIT %2 OFFSET %3")
                                   .arg(db::germanKeyColumn(QStringLiteral("SCLSERIENTEXT")))
                                   .arg(count)
                                   .arg(offset)
                                   .toUtf8();
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(catalogue, sql.constData(), -1, &s, nullptr);
        QStringList result;
        while (sqlite3_step(s) == SQLITE_ROW) {
            result << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            sqlite3_column_text(s, 1);
        }
        sqlite3_finalize(s);
        return result;
    }
    qint64 screen(const QStringList& keys)
    {
        qint64 sink = 0;
        sqlite3_exec(covers, "BEGIN", nullptr, nullptr, nullptr);
        for (const QString& key : keys) {
            const QByteArray utf8 = key.toUtf8();
            sqlite3_bind_text(thumbnail, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(thumbnail) == SQLITE_ROW) {
                QByteArray bytes(static_cast<const char*>(sqlite3_column_blob(thumbnail, 0)),
                                 sqlite3_column_bytes(thumbnail, 0));
                QBuffer buffer(&bytes);
                QImageReader reader(&buffer, "jpeg");
                reader.setScaledSize(reader.size().scaled(CoverGalleryModel::iconSize(), Qt::KeepAspectRatio));
                sink += reader.read().width();
            }
            sqlite3_reset(thumbnail);
        }
        sqlite3_exec(covers, "COMMIT", nullptr, nullptr, nullptr);
        return sink;
    }
};

} // namespace

void runCoversGuiBench(const QString& dir, Report& report)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    const QString coversFile = dir + QStringLiteral("/database/titelbilder.db");

    // Taken in turns, so that neither side has the warmer caches.
    double withCovers = 1e12;
    double without = 1e12;
    for (int round = 0; round < 2; ++round) {
        withCovers = std::min(withCovers, nextComics(dir));
        renameCovers(coversFile, QString(), QStringLiteral(".weg"));
        try {
            without = std::min(without, nextComics(dir));
        } catch (...) {
            renameCovers(coversFile, QStringLiteral(".weg"), QString());
            throw;
        }
        renameCovers(coversFile, QStringLiteral(".weg"), QString());
    }
    report.add(QStringLiteral("next comic on the master page, its cover shown; beside: without covers (x%1)")
                   .arg(kMoves),
               withCovers, without);

    RawGallery raw(dir);
    qint64 sink = 0;
    double firstScreen = 1e12;
    int onScreen = 0;
    for (int run = 0; run < 3; ++run) {
        TComicForm form;
        form.resize(1280, 900);
        form.show();
        QApplication::processEvents();
        auto* page = form.findChild<TOverviewPage*>();
        QElapsedTimer timer;
        timer.start();
        page->showGallery(true);
        auto* gallery = form.findChild<TCoverGallery*>(QStringLiteral("lvGalerie"));
        QApplication::processEvents();
        waitForScreen(*gallery);
        firstScreen = std::min(firstScreen, timer.nsecsElapsed() / 1e6);
        onScreen = itemsOnScreen(*gallery);
    }
    report.add(QStringLiteral("gallery: first screen with its %1 thumbnails").arg(onScreen), firstScreen,
               bestOf(3, [&] { sink += raw.screen(raw.keys(0, onScreen)); }));

    TComicForm form;
    form.resize(1280, 900);
    form.show();
    QApplication::processEvents();
    form.findChild<TOverviewPage*>()->showGallery(true);
    auto* gallery = form.findChild<TCoverGallery*>(QStringLiteral("lvGalerie"));
    QApplication::processEvents();
    waitForScreen(*gallery);
    QScrollBar* bar = gallery->verticalScrollBar();
    constexpr int kScreens = 40;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kScreens; ++i) {
        bar->setValue(bar->value() + bar->pageStep());
        waitForScreen(*gallery);
    }
    const double perScreen = timer.nsecsElapsed() / 1e6 / kScreens;
    const QStringList someKeys = raw.keys(onScreen, onScreen * kScreens);
    const double rawPerScreen = bestOf(3, [&] {
        for (int i = 0; i < kScreens; ++i)
            sink += raw.screen(someKeys.mid(i * onScreen, onScreen));
    }) / kScreens;
    report.add(QStringLiteral("gallery: one screen further (page down), thumbnails there"), perScreen, rawPerScreen);

    // Through every volume, a screen at a time, each with its thumbnails.
    timer.restart();
    int screens = 0;
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + bar->pageStep());
        waitForScreen(*gallery);
        ++screens;
    }
    report.addFigure(QStringLiteral("gallery: screens to the last volume"), screens);
    report.addFigure(QStringLiteral("gallery: seconds to go through them all"), timer.elapsed() / 1000.0);
    report.addFigure(QStringLiteral("memory after going through the whole gallery (MB resident)"), residentMb());
    QDir::setCurrent(previous);
    if (sink == 42)
        std::puts("");
}

} // namespace bench
