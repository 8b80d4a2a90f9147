#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class ComicData;
class QMimeData;
class QNetworkAccessManager;
class QToolButton;

namespace covers {
class CollectionCovers;
}

// The cover of the current comic on the page "Stammdaten": its thumbnail
// scaled into the space beside the fields, and the ways to give the comic a
// cover (a file, a dropped file or browser picture, Ctrl+V) or to take it
// away. A click shows the original in a window of its own.
//
// Only the thumbnail is read when the comic changes, and only while the
// panel can be seen; the original is read when it is shown large.
class TCoverPanel : public QWidget {
    Q_OBJECT
public:
    TCoverPanel(ComicData& data, covers::CollectionCovers& covers, QWidget* parent = nullptr);
    ~TCoverPanel() override;

    // Commands. Each throws the message the user sees; a refused picture
    // stores nothing and leaves the cover there was.
    void btnLoadCoverClick();                // asks for a file
    void loadFile(const QString& path);
    void storeFromMime(const QMimeData& mime); // a paste or a drop
    void pasteCover();                         // the clipboard
    void btnRemoveCoverClick();                // asks first
    void showLarge();

    // Whether a thumbnail is shown (false: the placeholder).
    bool showsCover() const { return !m_thumbnail.isNull(); }
    const QImage& thumbnail() const { return m_thumbnail; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString currentKey() const;
    QString keyForChange() const;
    void follow();
    void reread();
    void download(const QUrl& url, const QString& key);

    ComicData& m_data;
    covers::CollectionCovers& m_covers;
    QWidget* imgCover = nullptr;
    QToolButton* btnLoadCover = nullptr;
    QToolButton* btnRemoveCover = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    QString m_key;       // whose thumbnail is shown
    QImage m_thumbnail;
    bool m_stale = true; // the comic changed while the panel was hidden
};
