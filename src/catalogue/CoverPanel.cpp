#include "catalogue/CoverPanel.h"

#include "core/Command.h"
#include "core/WaitCursor.h"
#include "covers/CollectionCovers.h"
#include "covers/CoverImage.h"
#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "dbcontrols/FieldLink.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace f = db::fields;

namespace {

// The thumbnail scaled into whatever space the page leaves it, never beyond
// its own size, keeping its proportions; the placeholder says what to do.
// Scaled once per picture and size, not at every paint.
class CoverPicture : public QWidget {
public:
    CoverPicture(const QImage& image, QWidget* parent) : QWidget(parent), m_image(image)
    {
        setMinimumSize(120, 160);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        setCursor(Qt::PointingHandCursor);
    }
    // A usual cover's thumbnail at its own size.
    QSize sizeHint() const override { return {214, 302}; }
    void imageChanged()
    {
        m_scaled = QPixmap();
        update();
    }

protected:
    void resizeEvent(QResizeEvent*) override { m_scaled = QPixmap(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect area = rect().adjusted(1, 1, -1, -1);
        if (m_image.isNull()) {
            p.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
            p.drawRect(area);
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(area.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                       QStringLiteral("Kein Titelbild\n\nBild hierher ziehen, oder anklicken und mit Strg+V einfügen"));
            return;
        }
        if (m_scaled.isNull()) {
            const bool fits = m_image.width() <= area.width() && m_image.height() <= area.height();
            m_scaled = QPixmap::fromImage(
                fits ? m_image : m_image.scaled(area.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        }
        p.drawPixmap(area.x() + (area.width() - m_scaled.width()) / 2, area.y(), m_scaled);
    }

private:
    const QImage& m_image;
    QPixmap m_scaled;
};

// The original at the size the screen allows, in a window of its own.
class CoverViewer : public QDialog {
public:
    CoverViewer(const QImage& image, const QString& title, QWidget* parent) : QDialog(parent)
    {
        setObjectName(QStringLiteral("CoverViewer"));
        setWindowTitle(title.isEmpty() ? QStringLiteral("Titelbild") : QStringLiteral("Titelbild – %1").arg(title));
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("imgOriginal"));
        label->setAlignment(Qt::AlignCenter);
        QSize room = QSize(1000, 800);
        if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
            room = screen->availableGeometry().size() * 9 / 10;
        QImage shown = image;
        if (image.width() > room.width() || image.height() > room.height())
            shown = image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        label->setPixmap(QPixmap::fromImage(shown));
        label->setToolTip(QStringLiteral("%1 × %2 Pixel; Esc schließt").arg(image.width()).arg(image.height()));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(label);
    }
};

} // namespace

TCoverPanel::TCoverPanel(ComicData& data, covers::CollectionCovers& covers, QWidget* parent)
    : QWidget(parent), m_data(data), m_covers(covers)
{
    setObjectName(QStringLiteral("pnlTitelbild"));
    setAcceptDrops(true);
    // A click on the picture gives the panel the focus, so that Ctrl+V goes
    // here and not into a box of the page.
    setFocusPolicy(Qt::ClickFocus);

    auto* picture = new CoverPicture(m_thumbnail, this);
    imgCover = picture;
    imgCover->setObjectName(QStringLiteral("imgTitelbild"));
    imgCover->setToolTip(QStringLiteral("Klicken zeigt das Titelbild groß"));
    imgCover->installEventFilter(this);

    const auto button = [this](const char* name, const QString& text) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        return b;
    };
    btnLoadCover = button("btnLoadCover", QStringLiteral("Titelbild laden …"));
    btnRemoveCover = button("btnRemoveCover", QStringLiteral("Titelbild entfernen"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(imgCover, 1);
    layout->addWidget(btnLoadCover);
    layout->addWidget(btnRemoveCover);

    auto* paste = new QShortcut(QKeySequence::Paste, this);
    paste->setContext(Qt::WidgetWithChildrenShortcut);
    ui::onCommand(paste, &QShortcut::activated, this, [this] { pasteCover(); });

    // The same commands on the picture's context menu, where a user who does
    // not know the key finds the paste.
    const auto menuItem = [this](const char* name, const QString& text, const QKeySequence& key = {}) {
        auto* action = new QAction(text, imgCover);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetShortcut); // the key itself is the shortcut's above
        imgCover->addAction(action);
        return action;
    };
    imgCover->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui::onCommand(menuItem("menCoverLarge", QStringLiteral("Groß anzeigen")), &QAction::triggered, this,
                  [this](bool) { showLarge(); });
    ui::onCommand(menuItem("menCoverLoad", QStringLiteral("Titelbild laden …")), &QAction::triggered, this,
                  [this](bool) { btnLoadCoverClick(); });
    ui::onCommand(menuItem("menCoverPaste", QStringLiteral("Titelbild einfügen"), QKeySequence::Paste),
                  &QAction::triggered, this, [this](bool) { pasteCover(); });
    ui::onCommand(menuItem("menCoverRemove", QStringLiteral("Titelbild entfernen")), &QAction::triggered, this,
                  [this](bool) { btnRemoveCoverClick(); });
    ui::onCommand(btnLoadCover, &QToolButton::clicked, this, [this](bool) { btnLoadCoverClick(); });
    ui::onCommand(btnRemoveCover, &QToolButton::clicked, this, [this](bool) { btnRemoveCoverClick(); });

    db::DataSource* src = &m_data.srcStripothek();
    for (auto signal : {&db::DataSource::scrolled, &db::DataSource::dataSetChanged, &db::DataSource::stateChanged})
        connect(src, signal, this, &TCoverPanel::follow);
    connect(&m_covers, &covers::CollectionCovers::changed, this, [this](const QString& key) {
        if (key.compare(m_key, Qt::CaseInsensitive) == 0) {
            m_key.clear();
            follow();
        }
    });
}

TCoverPanel::~TCoverPanel() = default;

QString TCoverPanel::currentKey() const
{
    const db::Table& table = m_data.tblStripothek();
    // A new comic has no key before it is stored, and no cover.
    if (!table.active() || table.isEmpty() || table.state() == db::DataSetState::Insert)
        return {};
    return table.fieldByName(f::SCLCOMICID).asString();
}

void TCoverPanel::follow()
{
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    if (currentKey() == m_key && !m_stale)
        return;
    ui::runCommand([this] { reread(); });
}

void TCoverPanel::reread()
{
    m_stale = false;
    m_key = currentKey();
    m_thumbnail = QImage();
    const auto shown = qScopeGuard([this] {
        btnRemoveCover->setEnabled(!m_thumbnail.isNull());
        static_cast<CoverPicture*>(imgCover)->imageChanged();
    });
    if (!m_key.isEmpty())
        m_thumbnail = m_covers.store().thumbnail(m_key);
}

void TCoverPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    follow();
}

QString TCoverPanel::keyForChange() const
{
    m_covers.checkChangeable();
    const db::Table& table = m_data.tblStripothek();
    if (table.active() && table.state() == db::DataSetState::Insert)
        throw db::Error(QStringLiteral("Der neue Comic ist noch nicht gespeichert. Speichern Sie ihn zuerst; dann "
                                       "kann er ein Titelbild bekommen"));
    const QString key = currentKey();
    if (key.isEmpty())
        throw db::Error(QStringLiteral("Es ist kein Comic gewählt, zu dem das Titelbild gehören könnte"));
    return key;
}

void TCoverPanel::btnLoadCoverClick()
{
    keyForChange(); // before the dialog: a refusal should not cost the user a choice
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        if (covers::acceptedFormat(format))
            patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    if (patterns.contains(QStringLiteral("*.jpeg")))
        patterns << QStringLiteral("*.jpg");
    if (patterns.contains(QStringLiteral("*.tiff")))
        patterns << QStringLiteral("*.tif");
    patterns.removeDuplicates();
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Titelbild laden"), QString(),
        QStringLiteral("Bilder (%1);;Alle Dateien (*)").arg(patterns.join(QLatin1Char(' '))));
    if (path.isEmpty())
        return;
    loadFile(path);
}

void TCoverPanel::loadFile(const QString& path)
{
    const QString key = keyForChange();
    const ui::WaitCursor wait;
    m_covers.store().storeFile(key, path);
}

void TCoverPanel::storeFromMime(const QMimeData& mime)
{
    const QString key = keyForChange();
    const ui::WaitCursor wait;
    // A file first: its bytes are the original; a browser's picture data is
    // often a re-encoded copy, and its URL needs the network.
    QUrl remote;
    for (const QUrl& url : mime.urls()) {
        if (url.isLocalFile()) {
            m_covers.store().storeFile(key, url.toLocalFile());
            return;
        }
        if (!remote.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
            remote = url;
    }
    for (const QString& format : mime.formats()) {
        if (format.startsWith(QLatin1String("image/"))) {
            const QByteArray bytes = mime.data(format);
            if (!bytes.isEmpty()) {
                m_covers.store().store(key, bytes);
                return;
            }
        }
    }
    if (mime.hasImage()) {
        m_covers.store().storeImage(key, qvariant_cast<QImage>(mime.imageData()));
        return;
    }
    if (remote.isValid()) {
        download(remote, key);
        return;
    }
    throw db::Error(QStringLiteral("Das ist kein Bild: Ziehen Sie eine Bilddatei oder ein Bild aus dem Browser "
                                   "hierher, oder kopieren Sie ein Bild in die Zwischenablage"));
}

void TCoverPanel::pasteCover()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    bool picture = mime && (mime->hasImage() || mime->hasUrls());
    for (const QString& format : mime ? mime->formats() : QStringList())
        picture = picture || format.startsWith(QLatin1String("image/"));
    if (!picture)
        throw db::Error(QStringLiteral("In der Zwischenablage ist kein Bild. Kopieren Sie ein Bild (im Browser: "
                                       "„Bild kopieren“) oder eine Bilddatei und fügen Sie es dann mit Strg+V ein"));
    storeFromMime(*mime);
}

void TCoverPanel::download(const QUrl& url, const QString& key)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    request.setTransferTimeout(30'000);
    QNetworkReply* reply = m_network->get(request);
    // Bounded as a file is: a page that sends without end fills no memory.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > covers::kMaxInputBytes) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, key, url] {
        reply->deleteLater();
        ui::runCommand([&] {
            if (reply->property("tooLarge").toBool())
                throw db::Error(QStringLiteral("Das Bild „%1“ ist größer als 64 MB und wurde nicht gespeichert")
                                    .arg(url.toDisplayString()));
            if (reply->error() != QNetworkReply::NoError) {
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                const QString reason = status >= 400
                    ? QStringLiteral("Der Server antwortet mit dem Fehler %1").arg(status)
                    : QStringLiteral("Die Verbindung kam nicht zustande oder brach ab (%1)").arg(reply->errorString());
                throw db::Error(QStringLiteral("Das Bild „%1“ ließ sich nicht laden. %2")
                                    .arg(url.toDisplayString(), reason));
            }
            m_covers.checkChangeable();
            m_covers.store().store(key, reply->readAll(), url.fileName());
        });
    });
}

void TCoverPanel::btnRemoveCoverClick()
{
    const QString key = keyForChange();
    if (!m_covers.store().has(key))
        return;
    if (!ui::confirm(QStringLiteral("Das Titelbild dieses Comics entfernen?"), this))
        return;
    m_covers.store().remove(key);
}

void TCoverPanel::showLarge()
{
    const QString key = currentKey();
    if (key.isEmpty())
        return;
    QImage original;
    {
        const ui::WaitCursor wait;
        original = m_covers.store().originalImage(key);
    }
    if (original.isNull())
        return;
    CoverViewer viewer(original, m_data.tblStripothek().fieldByName(f::SCLTITEL1).asString(), window());
    viewer.exec();
}

void TCoverPanel::dragEnterEvent(QDragEnterEvent* event)
{
    // Any file is taken: one that is no picture is refused on the drop with
    // the reason, rather than by a cursor that says nothing.
    const QMimeData* mime = event->mimeData();
    bool picture = mime->hasImage() || mime->hasUrls();
    for (const QString& format : mime->formats())
        picture = picture || format.startsWith(QLatin1String("image/"));
    if (picture)
        event->acceptProposedAction();
}

void TCoverPanel::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    ui::runCommand([&] { storeFromMime(*event->mimeData()); });
}

bool TCoverPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == imgCover && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        ui::runCommand([this] { showLarge(); });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
