#pragma once

#include <QCache>
#include <QIdentityProxyModel>
#include <QListView>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QThread>

class ComicData;

namespace covers {
class CollectionCovers;
}

namespace ui {
class DataSetModel;
}

class CoverThumbnailReader;

// The catalogue as the overview shows it (filter, order, rows read on
// demand by the grid's own model), one item per volume: title, volume
// number and the cover's thumbnail. Thumbnails are read and decoded on a
// thread of their own, only for the rows in view, and kept in a bounded
// cache; until one arrives, and for a volume without a cover, the item shows
// the placeholder.
class CoverGalleryModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    enum Role { VolumeRole = Qt::UserRole + 1, KeyRole };

    CoverGalleryModel(ComicData& data, covers::CollectionCovers& covers, QObject* parent = nullptr);
    ~CoverGalleryModel() override;

    ui::DataSetModel* rowsModel() const { return m_rows; }
    // The size thumbnails are decoded to.
    static QSize iconSize() { return {120, 170}; }
    QPixmap placeholder() const { return m_placeholder; }

    // The rows the view shows now: wanted thumbnails outside them are not read.
    void setVisibleRows(int first, int last);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QString keyAt(int row) const;
    void request(const QString& key, int row) const;
    void dispatch();
    void arrived(const QStringList& keys, const QList<QImage>& images);
    void coverChanged(const QString& key);

    covers::CollectionCovers& m_covers;
    ui::DataSetModel* m_rows;
    QPixmap m_placeholder;
    mutable QCache<QString, QPixmap> m_cache; // a null pixmap: no cover
    mutable QHash<QString, int> m_wanted;     // key → row it was asked for at
    mutable bool m_dispatchQueued = false;
    QHash<QString, int> m_inFlight;
    bool m_busy = false;
    int m_firstVisible = 0;
    int m_lastVisible = -1;
    QThread m_thread;
    CoverThumbnailReader* m_reader = nullptr;
};

// The gallery of the overview: the model's items in rows that wrap with the
// width. Choosing an item (click, arrow keys, page keys) moves the catalogue
// there, as the list does; a move of the catalogue selects its item.
class TCoverGallery : public QListView {
    Q_OBJECT
public:
    TCoverGallery(ComicData& data, covers::CollectionCovers& covers, QWidget* parent = nullptr);
    ~TCoverGallery() override;

    CoverGalleryModel* galleryModel() const { return m_model; }
    // The first and last row in view; -1, -1 when none is.
    std::pair<int, int> visibleRows() const;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void followDataSet(int row);

    ComicData& m_data;
    CoverGalleryModel* m_model;
    bool m_following = false;
};
