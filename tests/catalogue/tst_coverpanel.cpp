#include "MasterDataFixture.h"
#include "../common/FileRights.h"
#include "../covers/TestImages.h"

#include "catalogue/CoverPanel.h"
#include "covers/CoverStore.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTcpServer>
#include <QTcpSocket>

// The cover on the page "Stammdaten": stored from a file, a drop or a paste
// for the comic shown, refused with the store's reason and nothing stored,
// following the current comic, and going with a deleted comic.
class TestCoverPanel : public MasterDataFixture {
    Q_OBJECT

    TCoverPanel* panel() const { return m_page->findChild<TCoverPanel*>(); }
    covers::CoverStore& store() { return m_covers->store(); }
    QString hashOf(const QString& key)
    {
        const auto info = store().info(key);
        return info ? info->sha256 : QString();
    }

public:
    static void initMain() { test::obeyFileRights(); }

private Q_SLOTS:
    void init()
    {
        setUpCollection();
        showPage();
    }
    void cleanup() { tearDownCollection(); }

    // How: a file chosen, a file or a browser's picture dropped, a picture
    // pasted. A stored comic that already had a cover keeps it when the new
    // picture is refused.
    void storing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error"); // empty: stored
        const QByteArray good = testimages::jpeg(200, 300);
        const QByteArray cut = good.left(good.size() / 2);
        QTest::newRow("file chosen") << u"file"_s << good << QString();
        QTest::newRow("file dropped") << u"drop file"_s << good << QString();
        QTest::newRow("browser picture dropped") << u"drop png data"_s << testimages::encode(testimages::halves(90, 120), "png") << QString();
        QTest::newRow("picture pasted") << u"paste image"_s << good << QString();
        QTest::newRow("text file chosen") << u"file"_s << QByteArray("Kein Bild\n") << u"kein Bild"_s;
        QTest::newRow("empty file dropped") << u"drop file"_s << QByteArray() << u"leer"_s;
        QTest::newRow("cut-off JPEG pasted") << u"drop jpeg data"_s << cut << u"unvollständig"_s;
        QTest::newRow("new comic not yet stored") << u"new comic"_s << good << u"noch nicht gespeichert"_s;
        QTest::newRow("read-only collection") << u"read-only"_s << good << u"nur lesen"_s;
        QTest::newRow("collection in a folder that cannot be written") << u"read-only folder"_s << good << u"nur lesen"_s;
    }

    void storing()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const QString other = addComic(u"Anderer"_s);
        const QString comic = addComic(u"Mit Bild"_s);
        store().store(other, testimages::jpeg(40, 60));
        store().store(comic, testimages::jpeg(50, 70));
        const QString before = hashOf(comic);
        locateComic(comic);
        if (how == u"new comic")
            control("btnNew")->click();
        const QString folder = m_data->dbConnection().databasePath();
        const auto writable = QFile::permissions(folder);
        const auto restore = qScopeGuard([&] { QFile::setPermissions(folder, writable); });
        if (how.startsWith(u"read-only")) {
            m_data->CloseTables();
            m_data->dbConnection().disconnect();
            store().close();
            if (how == u"read-only")
                m_data->dbConnection().setReadOnly(true);
            else
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            m_data->OpenTables();
            m_errors.clear(); // the warning the frame shows at the start
            locateComic(comic);
            // Seen, though not changed.
            QVERIFY(panel()->showsCover());
        }

        QMimeData mime;
        QTemporaryDir files;
        QFile picture(files.filePath(u"titel.jpg"_s));
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write(bytes);
        picture.close();
        const QString file = picture.fileName();
        if (how == u"file" || how == u"new comic" || how.startsWith(u"read-only")) {
            ui::runCommand([&] { panel()->loadFile(file); });
        } else if (how == u"paste image") {
            mime.setImageData(QImage::fromData(bytes));
            ui::runCommand([&] { panel()->storeFromMime(mime); });
        } else {
            if (how == u"drop file")
                mime.setUrls({QUrl::fromLocalFile(file)});
            else
                mime.setData(how == u"drop png data" ? u"image/png"_s : u"image/jpeg"_s, bytes);
            const QPoint centre = panel()->rect().center();
            QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(panel(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(panel(), &drop);
        }

        if (error.isEmpty()) {
            QCOMPARE(m_errors, QStringList());
            QVERIFY(hashOf(comic) != before);
            QVERIFY(panel()->showsCover());
            // The picture shown is the new one, not the old 50 × 70.
            QVERIFY(panel()->thumbnail().height() > 70);
        } else {
            QCOMPARE(m_errors.size(), 1);
            QVERIFY2(m_errors[0].contains(error, Qt::CaseInsensitive), qPrintable(m_errors[0]));
            QCOMPARE(hashOf(comic), before);
        }
        QCOMPARE(store().count(), 2);
        QCOMPARE(hashOf(other).isEmpty(), false);
    }

    // A picture dragged from a browser that gives only its address: fetched,
    // then checked like any other, for the comic it was dropped on.
    void browserAddressDropped_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("error");
        const QByteArray jpeg = testimages::jpeg(120, 180);
        QTest::newRow("picture") << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: ")
                                            + QByteArray::number(jpeg.size()) + "\r\nConnection: close\r\n\r\n" + jpeg
                                 << QString();
        QTest::newRow("page not found")
            << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            << u"ließ sich nicht laden"_s;
        QTest::newRow("a web page, no picture")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 13\r\nConnection: close\r\n\r\n"
                          "<html></html>")
            << u"kein Bild"_s;
    }

    void browserAddressDropped()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, error);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, answer] {
                if (socket->readAll().contains("\r\n\r\n"))
                    socket->write(answer);
                socket->disconnectFromHost();
            });
        });
        const QString comic = addComic(u"Aus dem Netz"_s);
        locateComic(comic);
        QMimeData mime;
        mime.setUrls({QUrl(u"http://127.0.0.1:%1/titel.jpg"_s.arg(server.serverPort()))});
        ui::runCommand([&] { panel()->storeFromMime(mime); });
        if (error.isEmpty()) {
            QTRY_VERIFY(store().has(comic));
            QCOMPARE(store().info(comic)->height, 180);
            QTRY_VERIFY(panel()->showsCover());
        } else {
            QTRY_COMPARE(m_errors.size(), 1);
            QVERIFY2(m_errors[0].contains(error), qPrintable(m_errors[0]));
            QVERIFY(!store().has(comic));
        }
    }

    // The panel shows the current comic's cover, a placeholder for one
    // without and for a new volume copied from a comic with a cover.
    void followsTheComic()
    {
        const QString without = addComic(u"Ohne"_s);
        const QString with = addComic(u"Mit"_s);
        store().store(with, testimages::jpeg(60, 90));
        locateComic(with);
        QVERIFY(panel()->showsCover());
        QCOMPARE(panel()->thumbnail().size(), QSize(60, 90));
        locateComic(without);
        QVERIFY(!panel()->showsCover());
        locateComic(with);
        control("btnNewBand")->click();
        QVERIFY(!panel()->showsCover());
        field("SCLTITEL1").setAsString(u"Band 2"_s);
        control("btnSave")->click();
        QVERIFY(!field("SCLCOMICID").asString().isEmpty());
        QVERIFY(!store().has(field("SCLCOMICID").asString()));
        QVERIFY(!panel()->showsCover());
        QCOMPARE(m_errors, QStringList());
    }

    void deletionTakesTheCoverAlong()
    {
        const QString stays = addComic(u"Bleibt"_s);
        const QString goes = addComic(u"Geht"_s);
        store().store(stays, testimages::jpeg(40, 60));
        store().store(goes, testimages::jpeg(40, 60));
        locateComic(goes);
        ModalAnswers user;
        user.answer(u"OK"_s);
        control("btnDelete")->click();
        QVERIFY(user.done());
        QCOMPARE(m_errors, QStringList());
        QVERIFY(!store().has(goes));
        QVERIFY(store().has(stays));
        QCOMPARE(field("SCLCOMICID").asString(), stays);
        QVERIFY(panel()->showsCover());
    }
};

QTEST_MAIN(TestCoverPanel)
#include "tst_coverpanel.moc"
