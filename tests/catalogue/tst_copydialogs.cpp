// The edition dialog and the own-copy dialog, driven through the page's buttons.

#include "DetailTestSupport.h"

using State = db::DataSetState;

class TestCopyDialogs : public DetailFixture {
    Q_OBJECT

    QString m_comic;

    static const QLocale& german()
    {
        static const QLocale locale(QLocale::German, QLocale::Germany);
        return locale;
    }

    void click(const char* button) { pageControl(button)->click(); }

    QString edition(const char* fields)
    {
        return value(QStringLiteral("SELECT %1 FROM AUFLAGEN").arg(QLatin1String(fields)));
    }
    QString copy(const char* fields)
    {
        return value(QStringLiteral("SELECT %1 FROM LOKALESTRIPOTHEK").arg(QLatin1String(fields)));
    }
    QString addCopy(const QString& place, const QString& remark)
    {
        return addRow(m_data->tblComicLocal(),
                      {S("LCLCOMICID"), S("LCLSERVERCOMICID"), S("LCLLAGERPLATZ"), S("LCLBEMERKUNG")},
                      {m_data->NewRecordKey(), m_comic, place, remark});
    }

private Q_SLOTS:
    void init()
    {
        openCollection();
        m_comic = addComic(QStringLiteral("Die Schlümpfe"));
    }
    void cleanup() { closeCollection(); }

    // German numbers in and out; the currency lists; the empty item clears.
    void editionAddAndChange()
    {
        DialogUser user;
        QStringList currencies;
        user.then([&](QWidget* modal) {
            for (const char* name : {"cbKWaehrung", "cbSWaehrung"}) {
                auto* box = user.find<QComboBox>(modal, QLatin1String(name));
                QStringList items;
                for (int i = 0; i < box->count(); ++i)
                    items << box->itemText(i);
                currencies << items.join(u'/');
            }
            user.type(modal, S("editAuflage"), S("2. Auflage"));
            user.choose(modal, S("cbAusfuehrung1"), S("Hardcover"));
            user.type(modal, S("editEDatum"), S("Frühjahr 1985"));
            user.type(modal, S("editKPreis"), S("12,80"));
            user.choose(modal, S("cbKWaehrung"), S("DM"));
            user.type(modal, S("editSPreis"), S("1.250,5"));
            user.choose(modal, S("cbSWaehrung"), S("€"));
            user.press(modal, S("btnSave"));
        });
        click("btnAddAuflage");
        QVERIFY(user.finished());
        QCOMPARE(user.titles, QStringList{S("Auflage bearbeiten")});
        QCOMPARE(currencies, QStringList(2, S("/DM/€")));
        QCOMPARE(edition("ALAUFLAGEID, ALCOMICID"), lastKey() + u'|' + m_comic);
        QCOMPARE(edition("ALAUFLAGE, ALAUSFUEHRUNGID1, ALERSCHEINUNGSDATUM, printf('%.2f', ALVKPREIS), ALWG, "
                         "printf('%.2f', ALSPREIS), ALSPWG"),
                 QStringList({S("2. Auflage"), execution(S("Hardcover")), S("Frühjahr 1985"), S("12.80"), S("DM"),
                              S("1250.50"), S("€")})
                     .join(u'|'));
        QCOMPARE(m_data->tblAuflagen().fieldByName(S("ALAUSFUEHRUNGID1")).displayText(), S("Hardcover"));

        QString shownPrice;
        QString shownCurrency;
        user.then([&](QWidget* modal) {
            shownPrice = user.find<QLineEdit>(modal, S("editKPreis"))->text();
            shownCurrency = user.find<QComboBox>(modal, S("cbKWaehrung"))->currentText();
            user.choose(modal, S("cbKWaehrung"), QString());
            user.type(modal, S("editKPreis"), S("9,5"));
            user.press(modal, S("btnSave"));
        });
        click("btnEditAuflage");
        QVERIFY(user.finished());
        QCOMPARE(german().toDouble(shownPrice), 12.8); // "12,8" or "12,80", never "12.8"
        QCOMPARE(shownCurrency, S("DM"));
        QCOMPARE(edition("printf('%.2f', ALVKPREIS), ALWG"), S("9.50|<null>"));
        QCOMPARE(value(S("SELECT count(*) FROM AUFLAGEN")), S("1"));
        QCOMPARE(m_errors, QStringList());
    }

    void editionWithNothingEntered()
    {
        DialogUser user;
        user.then(user.answer(S("&Speichern")));
        click("btnAddAuflage");
        QVERIFY(user.finished());
        QCOMPARE(edition("*"), lastKey() + u'|' + m_comic + QStringLiteral("|<null>").repeated(8));
    }

    void editionCancelRestores_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Abbruch") << S("Abbruch");
        QTest::newRow("Esc") << S("Esc");
        QTest::newRow("close box") << S("close box");
    }
    void editionCancelRestores()
    {
        QFETCH(QString, ending);
        addRow(m_data->tblAuflagen(), {S("ALAUFLAGEID"), S("ALCOMICID"), S("ALAUFLAGE"), S("ALWG")},
               {m_data->NewRecordKey(), m_comic, S("1. Auflage"), S("DM")});
        DialogUser user;
        user.then([&](QWidget* modal) {
            user.type(modal, S("editAuflage"), S("Neuauflage"));
            user.choose(modal, S("cbKWaehrung"), S("€"));
            user.leave(modal, ending);
        });
        click("btnEditAuflage");
        QVERIFY(user.finished());
        QCOMPARE(m_data->tblAuflagen().state(), State::Browse);
        QCOMPARE(edition("ALAUFLAGE, ALWG"), S("1. Auflage|DM"));
        QCOMPARE(m_data->tblAuflagen().fieldByName(S("ALAUFLAGE")).asString(), S("1. Auflage"));
    }

    // Text a field refuses keeps the dialog open with the box focused.
    void refusedInput_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("edition price") << S("btnAddAuflage") << S("editKPreis") << S("3,5x")
                                       << S("'3,5x' ist kein gültiger Fließkommawert für Feld 'Preis'");
        QTest::newRow("collector's price") << S("btnAddAuflage") << S("editSPreis") << S("teuer")
                                           << S("'teuer' ist kein gültiger Fließkommawert für Feld 'Sammlerpreis'");
        QTest::newRow("purchase price") << S("btnAddLComic") << S("editKaufpreis") << S("12 Euro")
                                        << S("'12 Euro' ist kein gültiger Fließkommawert für Feld 'Kaufpreis'");
        QTest::newRow("Limitierte Nr.") << S("btnAddLComic") << S("editLimitNr") << S("7,5")
                                        << S("'7,5' ist kein gültiger Integerwert für Feld 'Limitierte Nr.'");
        QTest::newRow("Kaufdatum") << S("btnAddLComic") << S("editKaufdatum") << S("31.02.2026")
                                   << S("''31.02.2026'' ist kein gültiges Datum und Zeit.");
    }
    void refusedInput()
    {
        QFETCH(QString, button);
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        DialogUser user;
        QString focused;
        user.then([&](QWidget* modal) {
            user.type(modal, S("editAuflage"), S("Erstauflage"));
            user.type(modal, box, typed);
            user.press(modal, S("btnSave"));
        });
        user.then([&](QWidget* modal) {
            focused = modal->focusWidget() ? modal->focusWidget()->objectName() : QString();
            user.press(modal, S("Abbruch"));
        });
        click(qPrintable(button));
        QVERIFY(user.finished());
        QCOMPARE(user.titles.size(), 2); // still open after "&Speichern"
        QCOMPARE(m_errors, QStringList{message});
        QCOMPARE(focused, box);
        QCOMPARE(value(S("SELECT count(*) FROM AUFLAGEN")), S("0"));
        QCOMPARE(value(S("SELECT count(*) FROM LOKALESTRIPOTHEK")), S("0"));
    }

    // Leaving the box is enough for the date to be refused.
    void dateRefusedOnLeavingTheBox()
    {
        const QString box = S("editKaufdatum");
        DialogUser user;
        QString focused;
        user.then([&](QWidget* modal) {
            user.type(modal, box, S("32.12.2026"));
            user.find<QWidget>(modal, S("editLagerplatz"))->setFocus();
        });
        user.then([&](QWidget* modal) {
            focused = modal->focusWidget() ? modal->focusWidget()->objectName() : QString();
            user.press(modal, S("Abbruch"));
        });
        click("btnAddLComic");
        QVERIFY(user.finished());
        QCOMPARE(m_errors, QStringList{S("''32.12.2026'' ist kein gültiges Datum und Zeit.")});
        QCOMPARE(focused, box);
        QVERIFY(m_data->tblComicLocal().isEmpty());
    }

    void copyAddAndChange()
    {
        DialogUser user;
        user.then([&](QWidget* modal) {
            auto* currency = user.find<QComboBox>(modal, S("cbWaehrung2"));
            QCOMPARE(currency->count(), 3);
            user.type(modal, S("editAuflage"), S("Erstauflage"));
            user.choose(modal, S("cbAusfuehrung1"), S("Hardcover"));
            user.choose(modal, S("cbAusfuehrung2"), S("Signiert"));
            user.choose(modal, S("cbZustand"), S("1 – sehr gut"));
            user.type(modal, S("editKaufpreis"), S("12,99"));
            user.choose(modal, S("cbWaehrung2"), S("€"));
            user.type(modal, S("editLimitNr"), S("47"));
            user.type(modal, S("editKaufdatum"), S("24.12.2026"));
            user.type(modal, S("editLagerplatz"), S("Regal 3"));
            user.type(modal, S("memoBemerkungen"), S("Mit Widmung"));
            user.press(modal, S("btnSave"));
        });
        click("btnAddLComic");
        QVERIFY(user.finished());
        QCOMPARE(m_errors, QStringList());
        QCOMPARE(m_data->tblComicLocal().state(), State::Browse);
        QCOMPARE(copy("LCLCOMICID, LCLSERVERCOMICID"), lastKey() + u'|' + m_comic);
        QCOMPARE(copy("LCLAUFLAGE, printf('%.2f', LCLKPREIS), LCLKPREISWG, LCLNUMMER, LCKKDATUM, LCLLAGERPLATZ, "
                      "LCLBEMERKUNG"),
                 S("Erstauflage|12.99|€|47|24.12.2026|Regal 3|Mit Widmung"));
        db::Table& copies = m_data->tblComicLocal();
        QCOMPARE(copies.fieldByName(S("LCLAUSFUEHRUNGID1")).displayText(), S("Hardcover"));
        QCOMPARE(copies.fieldByName(S("LCLAUSFUEHRUNGID2")).displayText(), S("Signiert"));
        QCOMPARE(copies.fieldByName(S("LCLZUSTANDID")).displayText(), S("1 – sehr gut"));

        QStringList shown;
        user.then([&](QWidget* modal) {
            for (const char* name : {"editKaufpreis", "editKaufdatum", "editLimitNr"})
                shown << user.find<QLineEdit>(modal, QLatin1String(name))->text();
            user.type(modal, S("editKaufdatum"), S("1.3.27"));
            user.press(modal, S("btnSave"));
        });
        click("btnEditLComic");
        QVERIFY(user.finished());
        QCOMPARE(shown, (QStringList{S("12,99"), S("24.12.2026"), S("47")}));
        QCOMPARE(copy("LCKKDATUM, LCLLAGERPLATZ"), S("01.03.2027|Regal 3"));
        QCOMPARE(value(S("SELECT count(*) FROM LOKALESTRIPOTHEK")), S("1"));
    }

    void copyAdd_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("stored");
        QTest::newRow("nothing typed, Speichern") << QString() << S("&Speichern") << false;
        QTest::newRow("storage place only") << S("Keller") << S("&Speichern") << true;
        QTest::newRow("Abbruch") << S("Keller") << S("Abbruch") << false;
        QTest::newRow("Esc") << S("Keller") << S("Esc") << false;
        QTest::newRow("close box") << S("Keller") << S("close box") << false;
    }
    void copyAdd()
    {
        QFETCH(QString, place);
        QFETCH(QString, ending);
        QFETCH(bool, stored);
        const QString keyBefore = lastKey();
        DialogUser user;
        user.then([&](QWidget* modal) {
            if (!place.isEmpty())
                user.type(modal, S("editLagerplatz"), place);
            user.leave(modal, ending);
        });
        click("btnAddLComic");
        QVERIFY(user.finished());
        QCOMPARE(m_data->tblComicLocal().state(), State::Browse);
        QCOMPARE(m_data->tblComicLocal().isEmpty(), !stored);
        if (stored)
            QCOMPARE(copy("*"), lastKey() + u'|' + m_comic + QStringLiteral("|<null>").repeated(5) + u'|' + place
                                    + QStringLiteral("|<null>").repeated(5));
        else
            QCOMPARE(lastKey(), keyBefore); // not even a key was taken
        QCOMPARE(value(S("SELECT count(*) FROM LOKALESTRIPOTHEK")).toInt(), stored ? 1 : 0);
    }

    // The remarks beside the list follow the stored row again.
    void copyCancelRestores_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Abbruch") << S("Abbruch");
        QTest::newRow("close box") << S("close box");
    }
    void copyCancelRestores()
    {
        QFETCH(QString, ending);
        addCopy(S("A1"), S("alt"));
        auto* beside = pageControl<QPlainTextEdit>("editBemerkung2");
        QCOMPARE(beside->toPlainText(), S("alt"));
        DialogUser user;
        QString besideWhileTyping;
        user.then([&](QWidget* modal) {
            user.type(modal, S("editLagerplatz"), S("B2"));
            user.type(modal, S("memoBemerkungen"), S("neu"));
            user.find<QLineEdit>(modal, S("editAuflage"))->setFocus(); // leaves the memo
            besideWhileTyping = beside->toPlainText();
            user.leave(modal, ending);
        });
        click("btnEditLComic");
        QVERIFY(user.finished());
        QCOMPARE(besideWhileTyping, S("neu"));
        QCOMPARE(beside->toPlainText(), S("alt"));
        QCOMPARE(m_data->tblComicLocal().state(), State::Browse);
        QCOMPARE(m_data->tblComicLocal().fieldByName(S("LCLLAGERPLATZ")).asString(), S("A1"));
        QCOMPARE(copy("LCLLAGERPLATZ, LCLBEMERKUNG"), S("A1|alt"));
    }

    void unchangedCopyIsNotPosted()
    {
        addCopy(S("A1"), S("alt"));
        int posts = 0;
        m_data->tblComicLocal().afterPost = [&posts](db::Table&) { ++posts; };
        DialogUser user;
        user.then(user.answer(S("&Speichern")));
        click("btnEditLComic");
        QVERIFY(user.finished());
        QCOMPARE(posts, 0);
        QCOMPARE(m_data->tblComicLocal().state(), State::Browse);
        QCOMPARE(copy("LCLLAGERPLATZ"), S("A1"));
    }
};

QTEST_MAIN(TestCopyDialogs)
#include "tst_copydialogs.moc"
