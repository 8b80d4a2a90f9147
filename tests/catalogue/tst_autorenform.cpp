// The author list of the menu "Stammdaten" > "Autoren".

#include "DetailTestSupport.h"

using State = db::DataSetState;

class TestAutorenForm : public DetailFixture {
    Q_OBJECT

    QHash<QString, QString> m_keys; // name -> key
    QString m_otherComic;

    db::Table& authors() { return m_data->tblAutoren(); }

    // The names the list shows, top to bottom.
    static QStringList shownNames(QWidget* list)
    {
        QStringList names;
        const QAbstractItemModel* model = list->findChild<ui::DBGrid*>(QStringLiteral("dbgAutoren"))->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        return names;
    }
    QString currentName() { return authors().fieldByName(QStringLiteral("ANNAME")).asString(); }
    QStringList storedNames() { return rows(QStringLiteral("SELECT ANNAME FROM AUTOREN ORDER BY ANNAME")); }

private Q_SLOTS:
    void init()
    {
        openCollection();
        for (const char* name : {"Franquin", "Hergé", "Morris", "Peyo", "Roba"})
            m_keys.insert(S(name), addAuthor(S(name)));
        // Morris is assigned to a comic other than the one shown.
        m_otherComic = addComic(QStringLiteral("Daltons"));
        assign(m_keys.value(S("Morris")), role(QStringLiteral("Zeichner")));
        addComic(QStringLiteral("Gaston"));
        QCOMPARE(m_data->tblComic2Autor().shownCount(), 0);
    }
    void cleanup() { closeCollection(); }

    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("listed");
        const QStringList all{S("Franquin"), S("Hergé"), S("Morris"), S("Peyo"), S("Roba")};
        QTest::newRow("inside a name") << S("rri") << QStringList{S("Morris")};
        QTest::newRow("in several names") << S("e") << QStringList{S("Hergé"), S("Peyo")};
        QTest::newRow("end of a name") << S("yo") << QStringList{S("Peyo")};
        QTest::newRow("trimmed") << S("  ergé ") << QStringList{S("Hergé")};
        QTest::newRow("no match") << S("xyz") << QStringList();
        QTest::newRow("empty") << QString() << all;
        QTest::newRow("blanks only") << S("   ") << all;
    }
    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, listed);
        DialogUser user;
        QStringList before;
        QStringList after;
        QString filterWhileOpen;
        user.then([&](QWidget* list) {
            before = shownNames(list);
            user.type(list, S("editFilter"), S("o")); // an earlier search
            user.press(list, S("btnRefresh"));
            user.type(list, S("editFilter"), typed);
            QCOMPARE(shownNames(list).size(), 3); // only the button searches
            user.press(list, S("btnRefresh"));
            after = shownNames(list);
            filterWhileOpen = authors().filtered() ? authors().filter() : QString();
            user.press(list, S("Abbruch"));
        });
        m_commands->menAutorsClick();
        QVERIFY(user.finished());
        QCOMPARE(user.titles, QStringList{S("Autor(en) bearbeiten")});
        QCOMPARE(before.size(), 5);
        QCOMPARE(after, listed);
        if (!typed.trimmed().isEmpty())
            QCOMPARE(filterWhileOpen, S("(ANNAME LIKE '*") + typed.trimmed() + S("*')"));
        QVERIFY(!authors().filtered());
        QCOMPARE(authors().shownCount(), 5);
        QCOMPARE(m_errors, QStringList());
    }

    void deletion_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ctrlDel");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("currentAfter");
        QTest::newRow("assigned, button") << S("Morris") << false << true << S("Morris");
        QTest::newRow("assigned, Ctrl+Del") << S("Morris") << true << true << S("Morris");
        QTest::newRow("unassigned, button") << S("Hergé") << false << false << S("Morris");
        QTest::newRow("unassigned, Ctrl+Del") << S("Hergé") << true << false << S("Morris");
        QTest::newRow("last one") << S("Roba") << false << false << S("Peyo");
    }
    void deletion()
    {
        QFETCH(QString, name);
        QFETCH(bool, ctrlDel);
        QFETCH(bool, refused);
        QFETCH(QString, currentAfter);
        DialogUser user;
        QString current;
        QStringList listed;
        user.then([&](QWidget* list) {
            authors().locate(QStringLiteral("ANNAME"), name);
            if (ctrlDel)
                QTest::keyClick(list->findChild<ui::DBGrid*>(S("dbgAutoren")), Qt::Key_Delete, Qt::ControlModifier);
            else
                user.press(list, S("Löschen"));
        });
        if (ctrlDel)
            user.then(user.answer(S("OK")));
        user.then([&](QWidget* list) {
            current = currentName();
            listed = shownNames(list);
            user.press(list, S("Abbruch"));
        });
        m_commands->menAutorsClick();
        QVERIFY(user.finished());
        QCOMPARE(user.texts, ctrlDel ? QStringList{S("Datensatz löschen?")} : QStringList());
        QCOMPARE(m_errors, refused ? QStringList{S("Dieser Autor ist noch einem Comic zugeordnet.")} : QStringList());
        QCOMPARE(storedNames().contains(name), refused);
        QCOMPARE(listed.contains(name), refused);
        QCOMPARE(current, currentAfter);
        // The catalogue is not narrowed to anything.
        QVERIFY(!m_data->tblStripothek().filtered());
        QCOMPARE(m_data->tblStripothek().shownCount(), 2);
    }

    // While open: no new author, names stored trimmed, duplicates accepted;
    // a name still being edited is stored when the list closes.
    void editingInTheList()
    {
        DialogUser user;
        bool insertRefused = false;
        user.then([&](QWidget* list) {
            try {
                authors().append();
            } catch (const db::Abort&) {
                insertRefused = true;
            }
            QAbstractItemModel* model = list->findChild<ui::DBGrid*>(S("dbgAutoren"))->model();
            model->setData(model->index(0, 0), S("  Franquin, André\t"));
            model->setData(model->index(3, 0), S(" Hergé "));
            model->setData(model->index(4, 0), S("  Uderzo  ")); // Roba, left unposted
            list->close();
        });
        m_commands->menAutorsClick();
        QVERIFY(user.finished());
        QVERIFY(insertRefused);
        QCOMPARE(authors().state(), State::Browse);
        QCOMPARE(storedNames(),
                 (QStringList{S("Franquin, André"), S("Hergé"), S("Hergé"), S("Morris"), S("Uderzo")}));
        QCOMPARE(m_errors, QStringList());
    }

    // However the list closes, its rules and its search end with it.
    void rulesEndWithTheList_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Abbruch") << S("Abbruch");
        QTest::newRow("Esc") << S("Esc");
        QTest::newRow("close box") << S("close box");
    }
    void rulesEndWithTheList()
    {
        QFETCH(QString, ending);
        int ownPosts = 0;
        authors().beforePost = [&ownPosts](db::Table&) { ++ownPosts; };
        DialogUser user;
        user.then([&](QWidget* list) {
            user.type(list, S("editFilter"), S("e"));
            user.press(list, S("btnRefresh"));
            user.leave(list, ending);
        });
        m_commands->menAutorsClick();
        QVERIFY(user.finished());
        QVERIFY(!authors().filtered());
        QCOMPARE(authors().shownCount(), 5);
        QVERIFY(!authors().beforeInsert);
        QVERIFY(!authors().beforeDelete);
        QVERIFY(authors().beforePost);

        // New authors can be created again, and deleted without the check.
        user.then([&](QWidget* modal) { user.press(modal, S("btnSelect")); });
        user.then(user.input(S("  Uderzo ")));
        user.then(user.answer(S("Abbruch")));
        pageControl("btnAddAuthor")->click();
        QVERIFY(user.finished());
        QCOMPARE(ownPosts, 1);
        QVERIFY(storedNames().contains(S("Uderzo")));
        QVERIFY(authors().locate(QStringLiteral("ANNAME"), S("Morris")));
        authors().deleteRecord();
        QVERIFY(!storedNames().contains(S("Morris")));
        QCOMPARE(m_errors, QStringList());
    }
};

QTEST_MAIN(TestAutorenForm)
#include "tst_autorenform.moc"
