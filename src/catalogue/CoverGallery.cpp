#include "catalogue/CoverGallery.h"

#include "core/Command.h"
#include "covers/CollectionCovers.h"
#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "dbcontrols/DataSetModel.h"
#include "dbcontrols/FieldLink.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include <memory>

namespace f = db::fields;

namespace {

// Thumbnails in view, a few screens of them: 48 MB of pixmaps at most.
constexpr int kCacheKilobytes = 48 * 1024;
// Read in one transaction and decoded in one go; a screen is about 30.
constexpr int kBatch = 48;

enum Column { TitleColumn, VolumeColumn, KeyColumn };

QPixmap drawPlaceholder(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(QColor(0xee, 0xee, 0xee));
    QPainter p(&pixmap);
    p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 1, Qt::DashLine));
    p.drawRect(QRect(QPoint(0, 0), size).adjusted(0, 0, -1, -1));
    p.setPen(QColor(0x90, 0x90, 0x90));
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("Kein\nTitelbild"));
    return pixmap;
}

// Paints an item as a card: the thumbnail on top, centred in a box of the
// icon size, then the title in up to two lines and the volume.
class CardDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        const QSize icon = CoverGalleryModel::iconSize();
        return {icon.width() + 24, icon.height() + 3 * option.fontMetrics.height() + 14};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        background.icon = QIcon();
        background.features &= ~QStyleOptionViewItem::HasDecoration;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

        const QRect box = option.rect.adjusted(4, 4, -4, -4);
        const QSize icon = CoverGalleryModel::iconSize();
        const QPixmap pixmap = qvariant_cast<QPixmap>(index.data(Qt::DecorationRole));
        if (!pixmap.isNull()) {
            const QSize shown = pixmap.size().scaled(icon, Qt::KeepAspectRatio).boundedTo(pixmap.size());
            const QPoint at(box.x() + (box.width() - shown.width()) / 2, box.y() + icon.height() - shown.height());
            painter->drawPixmap(QRect(at, shown), pixmap);
        }
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const int line = option.fontMetrics.height();
        QRect text(box.x(), box.y() + icon.height() + 4, box.width(), 2 * line);
        const QString title = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString().simplified(),
                                                            Qt::ElideRight, text.width() * 2 - line);
        painter->drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
        const QString volume = index.data(CoverGalleryModel::VolumeRole).toString();
        if (!volume.isEmpty())
            painter->drawText(QRect(box.x(), text.bottom() + 1, box.width(), line), Qt::AlignHCenter,
                              QStringLiteral("Band %1").arg(volume));
    }
};

} // namespace

// Reads and decodes thumbnails on the gallery's thread, through a store of
// its own (a connection belongs to one thread).
class CoverThumbnailReader : public QObject {
    Q_OBJECT
public:
    void read(const QString& folder, const QStringList& keys, QSize size)
    {
        QList<QImage> images;
        images.reserve(keys.size());
        try {
            if (!m_store || m_store->fileName() != covers::CoverStore(folder).fileName())
                m_store = std::make_unique<covers::CoverStore>(folder);
            const QHash<QString, QByteArray> found = m_store->thumbnails(keys);
            for (const QString& key : keys) {
                const QByteArray bytes = found.value(key);
                QImage image;
                if (!bytes.isEmpty()) {
                    QBuffer buffer;
                    buffer.setData(bytes);
                    QImageReader reader(&buffer, "jpeg");
                    const QSize full = reader.size();
                    // libjpeg decodes straight to a fraction of the size.
                    if (full.isValid() && (full.width() > size.width() || full.height() > size.height()))
                        reader.setScaledSize(full.scaled(size, Qt::KeepAspectRatio));
                    image = reader.read();
                }
                images << image;
            }
        } catch (const std::exception&) {
            // A covers file that cannot be read shows placeholders; the
            // master page names the failure when the comic is shown there.
            images.clear();
            for (qsizetype i = 0; i < keys.size(); ++i)
                images << QImage();
        }
        Q_EMIT loaded(keys, images);
    }

Q_SIGNALS:
    void loaded(const QStringList& keys, const QList<QImage>& images);

private:
    std::unique_ptr<covers::CoverStore> m_store;
};

CoverGalleryModel::CoverGalleryModel(ComicData& data, covers::CollectionCovers& covers, QObject* parent)
    : QIdentityProxyModel(parent), m_covers(covers), m_rows(new ui::DataSetModel(this)),
      m_placeholder(drawPlaceholder(iconSize()))
{
    m_rows->setColumns({{f::SCLTITEL1, {}, 0}, {f::SCLBAND, {}, 0}, {f::SCLCOMICID, {}, 0}});
    m_rows->setDataSource(&data.srcStripothek());
    setSourceModel(m_rows);
    m_cache.setMaxCost(kCacheKilobytes);

    m_reader = new CoverThumbnailReader;
    m_reader->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_reader, &QObject::deleteLater);
    connect(m_reader, &CoverThumbnailReader::loaded, this, &CoverGalleryModel::arrived);
    m_thread.setObjectName(QStringLiteral("Titelbilder"));
    m_thread.start();

    connect(&m_covers, &covers::CollectionCovers::changed, this, &CoverGalleryModel::coverChanged);
    connect(this, &QAbstractItemModel::modelReset, this, [this] { m_wanted.clear(); });
}

CoverGalleryModel::~CoverGalleryModel()
{
    m_thread.quit();
    m_thread.wait();
}

QString CoverGalleryModel::keyAt(int row) const
{
    return m_rows->data(m_rows->index(row, KeyColumn), Qt::EditRole).toString();
}

QVariant CoverGalleryModel::data(const QModelIndex& index, int role) const
{
    switch (role) {
    case Qt::DecorationRole: {
        const QString key = keyAt(index.row());
        if (key.isEmpty())
            return m_placeholder; // a new volume, not yet stored
        if (const QPixmap* cached = m_cache.object(key))
            return cached->isNull() ? m_placeholder : *cached;
        request(key, index.row());
        return m_placeholder;
    }
    case VolumeRole:
        return m_rows->data(m_rows->index(index.row(), VolumeColumn), Qt::DisplayRole);
    case KeyRole:
        return keyAt(index.row());
    case Qt::ToolTipRole:
        return QIdentityProxyModel::data(index.siblingAtColumn(TitleColumn), Qt::DisplayRole);
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

void CoverGalleryModel::request(const QString& key, int row) const
{
    if (m_inFlight.contains(key))
        return;
    m_wanted.insert(key, row);
    if (!m_dispatchQueued) {
        m_dispatchQueued = true;
        // Painting asks for a screen of items; they go as one read.
        QTimer::singleShot(0, const_cast<CoverGalleryModel*>(this), &CoverGalleryModel::dispatch);
    }
}

void CoverGalleryModel::setVisibleRows(int first, int last)
{
    m_firstVisible = first;
    m_lastVisible = last;
}

void CoverGalleryModel::dispatch()
{
    m_dispatchQueued = false;
    if (m_busy || m_wanted.isEmpty())
        return;
    QStringList keys;
    for (auto it = m_wanted.begin(); it != m_wanted.end();) {
        // Scrolled past before it was read: painting asks again if it comes back.
        const bool inView = it.value() >= m_firstVisible && it.value() <= m_lastVisible;
        if (inView && keys.size() < kBatch) {
            keys << it.key();
            m_inFlight.insert(it.key(), it.value());
            it = m_wanted.erase(it);
        } else if (!inView) {
            it = m_wanted.erase(it);
        } else {
            ++it;
        }
    }
    if (keys.isEmpty())
        return;
    m_busy = true;
    QMetaObject::invokeMethod(
        m_reader, [reader = m_reader, folder = m_covers.folder(), keys] { reader->read(folder, keys, iconSize()); },
        Qt::QueuedConnection);
}

void CoverGalleryModel::arrived(const QStringList& keys, const QList<QImage>& images)
{
    m_busy = false;
    const int rows = rowCount();
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QString& key = keys[i];
        const QImage& image = images.value(i);
        const QPixmap pixmap = image.isNull() ? QPixmap() : QPixmap::fromImage(image);
        m_cache.insert(key, new QPixmap(pixmap), std::max<qsizetype>(1, qsizetype(image.sizeInBytes()) / 1024));
        const int row = m_inFlight.take(key);
        // The rows may have moved meanwhile (another filter, a new order).
        if (row < rows && keyAt(row) == key)
            Q_EMIT dataChanged(index(row, 0), index(row, 0), {Qt::DecorationRole});
    }
    dispatch();
}

void CoverGalleryModel::coverChanged(const QString& key)
{
    m_cache.remove(key);
    if (rowCount() > 0 && m_lastVisible >= m_firstVisible)
        Q_EMIT dataChanged(index(std::max(0, m_firstVisible), 0),
                           index(std::min(rowCount() - 1, m_lastVisible), 0), {Qt::DecorationRole});
}

TCoverGallery::TCoverGallery(ComicData& data, covers::CollectionCovers& covers, QWidget* parent)
    : QListView(parent), m_data(data), m_model(new CoverGalleryModel(data, covers, this))
{
    // A static list that wraps its items into rows lays out 100,000 of them
    // as a few numbers; the free-moving icon mode would place each one.
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSpacing(4);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new CardDelegate(this));
    setModel(m_model);
    connect(m_model->rowsModel(), &ui::DataSetModel::currentRowChanged, this, &TCoverGallery::followDataSet);
    followDataSet(data.tblStripothek().active() ? data.tblStripothek().currentRow() : -1);
}

TCoverGallery::~TCoverGallery() = default;

std::pair<int, int> TCoverGallery::visibleRows() const
{
    // Items are laid out in rows, so the first found from the top left and
    // the last from the bottom right bound what is in view; the probes step
    // over the gaps between items.
    const QRect view = viewport()->rect();
    constexpr int kStep = 12;
    int first = -1;
    for (int y = view.top(); first < 0 && y <= view.bottom(); y += kStep)
        for (int x = view.left(); first < 0 && x <= view.right(); x += kStep)
            first = indexAt(QPoint(x, y)).row();
    int last = -1;
    for (int y = view.bottom(); first >= 0 && last < 0 && y >= view.top(); y -= kStep)
        for (int x = view.right(); last < 0 && x >= view.left(); x -= kStep)
            last = indexAt(QPoint(x, y)).row();
    return {first, last};
}

void TCoverGallery::paintEvent(QPaintEvent* event)
{
    const auto [first, last] = visibleRows();
    m_model->setVisibleRows(first, last);
    QListView::paintEvent(event);
}

void TCoverGallery::followDataSet(int row)
{
    m_following = true;
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clearSelection();
    } else {
        const QModelIndex target = m_model->index(row, 0);
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
        if (isVisible())
            scrollTo(target);
    }
    m_following = false;
}

void TCoverGallery::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QListView::currentChanged(current, previous);
    if (m_following || !current.isValid())
        return;
    db::Table& table = m_data.tblStripothek();
    if (!table.active() || current.row() == table.currentRow())
        return;
    bool moved = false;
    // Leaving a changed comic stores it, and the store may be refused: the
    // gallery then goes back to the comic that stays current.
    ui::runCommand([&] {
        ui::updateRecord(&table);
        table.moveToRow(current.row());
        moved = true;
    });
    if (!moved || table.currentRow() != current.row())
        QTimer::singleShot(0, this, [this] { followDataSet(m_data.tblStripothek().currentRow()); });
}

#include "CoverGallery.moc"
