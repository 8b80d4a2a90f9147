#include "keyboard/XProcs.h"

#include <QTest>

class TestXProcs : public QObject {
    Q_OBJECT
private slots:
    void matchWildcard_data();
    void matchWildcard();
    void hasCommandSwitch_data();
    void hasCommandSwitch();
};

void TestXProcs::matchWildcard_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("lone star, some text") << "ABC" << "*" << true;
    QTest::newRow("lone star, empty text") << "" << "*" << true;
    QTest::newRow("empty pattern, empty text") << "" << "" << true;
    QTest::newRow("empty pattern, some text") << "A" << "" << false;
    QTest::newRow("empty text, star and letter") << "" << "*A" << false;
    QTest::newRow("equal") << "ABC" << "ABC" << true;
    QTest::newRow("case counts") << "abc" << "ABC" << false;
    QTest::newRow("text longer") << "ABCD" << "ABC" << false;
    QTest::newRow("text shorter") << "AB" << "ABC" << false;
    QTest::newRow("final star takes the rest") << "ABCDEF" << "AB*" << true;
    QTest::newRow("final star takes nothing") << "AB" << "AB*" << true;
    QTest::newRow("inner star takes nothing") << "AB" << "A*B" << true;
    QTest::newRow("inner star takes a run") << "AXXB" << "A*B" << true;
    QTest::newRow("leading star") << "/KEYCTRLDISABLE" << "*KEYCTRLDISABLE" << true;
    QTest::newRow("star retries after a mismatch") << "AXAB" << "*AB" << true;
    QTest::newRow("star, no such letter") << "ABC" << "*X" << false;
    QTest::newRow("question mark") << "ABC" << "A?C" << true;
    QTest::newRow("question mark needs a character") << "AC" << "A?C" << false;
    QTest::newRow("question mark before final star") << "AB" << "A?*" << true;
    QTest::newRow("question mark after star is literal") << "AB" << "*?" << false;
    QTest::newRow("literal question mark after star") << "A?" << "*?" << true;
    QTest::newRow("question mark ends the star's reach") << "ABCBXB" << "*B?B" << false;
    // The retry resumes behind the mismatching character, so a letter that
    // starts the real match right there is skipped.
    QTest::newRow("retry skips the mismatching letter") << "/KKEYCTRLDISABLE" << "*KEYCTRLDISABLE"
                                                        << false;
    QTest::newRow("second star is literal") << "ABC" << "A**" << false;
}

void TestXProcs::matchWildcard()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(xprocs::MatchWildcard(text, pattern), matches);
}

void TestXProcs::hasCommandSwitch_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("found");

    const QString sw = QStringLiteral("KEYCTRLDISABLE");
    const QString prog = QStringLiteral("stripothek");
    QTest::newRow("bare") << sw << QStringList{prog, "KEYCTRLDISABLE"} << true;
    QTest::newRow("slash, lower case") << sw << QStringList{prog, "/keyctrldisable"} << true;
    QTest::newRow("dash, value") << sw << QStringList{prog, "-KeyCtrlDisable=yes"} << true;
    QTest::newRow("slash, value 1") << sw << QStringList{prog, "/KeyCtrlDisable=1"} << true;
    QTest::newRow("among others") << sw << QStringList{prog, "-x", "/keyctrldisable", "y"} << true;
    QTest::newRow("name folded too") << "keyCtrlDisable" << QStringList{prog, "/KEYCTRLDISABLE"} << true;
    QTest::newRow("longer word") << sw << QStringList{prog, "KEYCTRLDISABLED"} << false;
    QTest::newRow("shorter word") << sw << QStringList{prog, "/KEYCTRL"} << false;
    QTest::newRow("no arguments") << sw << QStringList{prog} << false;
    QTest::newRow("empty list") << sw << QStringList{} << false;
    QTest::newRow("program path ignored") << sw << QStringList{"/opt/KEYCTRLDISABLE"} << false;
    QTest::newRow("ASCII letters folded") << "größe" << QStringList{prog, "/GRößE"} << true;
    QTest::newRow("umlaut not folded") << "größe" << QStringList{prog, "/GRÖßE"} << false;
}

void TestXProcs::hasCommandSwitch()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(bool, found);
    QCOMPARE(xprocs::HasCommandSwitch(name, arguments), found);
}

QTEST_APPLESS_MAIN(TestXProcs)
#include "tst_xprocs.moc"
