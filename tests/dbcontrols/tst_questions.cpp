#include "../common/ModalDriver.h"
#include "core/Command.h"

#include <QtTest>

// The two questions the program asks: what the user sees, and what Enter
// and Esc answer. Emptying the catalogue must not happen on Enter alone.
class TestQuestions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keys_data()
    {
        QTest::addColumn<bool>("yesNo");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("agreed");
        const QStringList okCancel{QStringLiteral("OK"), QStringLiteral("Abbrechen")};
        const QStringList yesNo{QStringLiteral("&Ja"), QStringLiteral("&Nein")};
        QTest::newRow("confirm: Enter agrees") << false << int(Qt::Key_Return) << okCancel << true;
        QTest::newRow("confirm: Esc declines") << false << int(Qt::Key_Escape) << okCancel << false;
        QTest::newRow("yes or no: Enter declines") << true << int(Qt::Key_Return) << yesNo << false;
        QTest::newRow("yes or no: Esc declines") << true << int(Qt::Key_Escape) << yesNo << false;
    }
    void keys()
    {
        QFETCH(bool, yesNo);
        QFETCH(int, key);
        QFETCH(QStringList, buttons);
        QFETCH(bool, agreed);
        QWidget owner;
        owner.show();
        QStringList seen;
        ModalDriver user;
        user.then([&](QWidget* modal) {
            for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
                seen << b->text();
            QTest::keyClick(modal, Qt::Key(key));
        });
        const QString question = QStringLiteral("Wirklich?");
        QCOMPARE(yesNo ? ui::askYesNo(question, &owner) : ui::confirm(question, &owner), agreed);
        QVERIFY2(user.finished(), qPrintable(user.problems()));
        QCOMPARE(user.titles, QStringList{QStringLiteral("Bestätigung")});
        QCOMPARE(user.texts, QStringList{question});
        seen.sort();
        buttons.sort();
        QCOMPARE(seen, buttons);
    }
};

QTEST_MAIN(TestQuestions)
#include "tst_questions.moc"
