#include "MasterDataFixture.h"
#include "../covers/TestImages.h"

#include "catalogue/CoverGallery.h"
#include "catalogue/OverviewPage.h"
#include "covers/CoverStore.h"

// The overview's gallery: the catalogue's rows as the list shows them, a
// placeholder until a thumbnail has been read on the gallery's thread and
// for a volume without a cover, and the current comic shared with the list.
class TestCoverGallery : public MasterDataFixture {
    Q_OBJECT

    std::unique_ptr<TOverviewPage> m_overview;
    TCoverGallery* m_gallery = nullptr;
    QStringList m_keys; // in the catalogue's order

    CoverGalleryModel* model() const { return m_gallery->galleryModel(); }
    int rowOf(const QString& key) const { return int(m_keys.indexOf(key)); }

private Q_SLOTS:
    void init()
    {
        setUpCollection();
        for (const QString& title : {u"Eins"_s, u"Zwei"_s, u"Drei"_s})
            m_keys << addComic(title);
        m_covers->store().store(m_keys[0], testimages::jpeg(100, 150));
        m_covers->store().store(m_keys[2], testimages::jpeg(400, 600));
        tbl().first();
        m_keys.clear();
        for (; !tbl().eof(); tbl().next())
            m_keys << field("SCLCOMICID").asString();
        tbl().first();
        m_overview = std::make_unique<TOverviewPage>(*m_data, *m_covers);
        m_overview->resize(900, 600);
        m_overview->show();
        m_overview->showGallery(true);
        m_gallery = m_overview->findChild<TCoverGallery*>(u"lvGalerie"_s);
        QVERIFY(m_gallery);
        QVERIFY(QTest::qWaitForWindowExposed(m_overview.get()));
    }
    void cleanup()
    {
        m_overview.reset();
        tearDownCollection();
    }

    // Placeholder first, the thumbnail once read; a volume without a cover
    // keeps the placeholder until it gets one.
    void thumbnailsArrive()
    {
        CoverGalleryModel model(*m_data, *m_covers);
        model.setVisibleRows(0, 2);
        const auto isPlaceholder = [&](int row) {
            return qvariant_cast<QPixmap>(model.index(row, 0).data(Qt::DecorationRole)).cacheKey()
                   == model.placeholder().cacheKey();
        };
        QCOMPARE(model.rowCount(), 3);
        for (int row = 0; row < 3; ++row)
            QVERIFY(isPlaceholder(row));
        for (int row = 0; row < 3; ++row) {
            const QString key = model.index(row, 0).data(CoverGalleryModel::KeyRole).toString();
            QCOMPARE(key, m_keys.at(row));
            QTRY_COMPARE(isPlaceholder(row), !m_covers->store().has(key));
        }
        // Decoded to the gallery's size, never above the thumbnail's own.
        const QPixmap large = qvariant_cast<QPixmap>(model.index(rowOf(m_keys[2]), 0).data(Qt::DecorationRole));
        QVERIFY(large.height() <= CoverGalleryModel::iconSize().height() && large.height() > 100);
        QCOMPARE(model.index(rowOf(m_keys[0]), 0).data().toString(), stored(m_keys[0], "SCLTITEL1"));

        // A cover stored elsewhere (the master page) reaches the gallery.
        const int row = rowOf(m_keys[1]);
        m_covers->store().store(m_keys[1], testimages::jpeg(80, 120));
        QTRY_VERIFY(!isPlaceholder(row));
        QCOMPARE(qvariant_cast<QPixmap>(model.index(row, 0).data(Qt::DecorationRole)).size(), QSize(80, 120));
        QCOMPARE(m_errors, QStringList());
    }

    void choosingMovesTheCatalogue()
    {
        m_gallery->setFocus();
        m_gallery->setCurrentIndex(model()->index(2, 0));
        QCOMPARE(tbl().currentRow(), 2);
        QTest::keyClick(m_gallery, Qt::Key_Left);
        QCOMPARE(tbl().currentRow(), 1);
        tbl().first();
        QCOMPARE(m_gallery->currentIndex().row(), 0);
        QSignalSpy opened(m_overview.get(), &TOverviewPage::comicOpened);
        const QPoint third = m_gallery->visualRect(model()->index(2, 0)).center();
        QTest::mouseClick(m_gallery->viewport(), Qt::LeftButton, {}, third);
        QTest::mouseDClick(m_gallery->viewport(), Qt::LeftButton, {}, third);
        QCOMPARE(tbl().currentRow(), 2);
        QCOMPARE(opened.size(), 1);
        // A filter leaves fewer items; the list and the gallery show the same.
        tbl().setFilter(u"(SCLTITEL1 = 'Zw*')"_s);
        tbl().setFiltered(true);
        QCOMPARE(model()->rowCount(), 1);
        QCOMPARE(model()->index(0, 0).data().toString(), u"Zwei"_s);
        QCOMPARE(m_errors, QStringList());
    }
};

QTEST_MAIN(TestCoverGallery)
#include "tst_covergallery.moc"
