#include "FormFixture.h"
#include "../common/Named.h"

#include "app/ComicForm.h"
#include "app/SideModifiers.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QWheelEvent>
#include <QTextBlock>
#include <memory>

using namespace app::keysym;

namespace {

int qtKeyOf(quint32 keysym)
{
    switch (keysym) {
    case ControlL:
    case ControlR:
        return Qt::Key_Control;
    case ShiftL:
    case ShiftR:
        return Qt::Key_Shift;
    case IsoLevel3Shift:
        return Qt::Key_AltGr;
    case MetaL:
    case MetaR:
        return Qt::Key_Meta;
    default:
        return Qt::Key_Alt;
    }
}

// The first control of a page that a user could type into; grids are left
// out because they move through the list on Page Up/Down themselves.
QWidget* firstControl(QWidget* page)
{
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled()
            && !qobject_cast<QAbstractItemView*>(w))
            return w;
    }
    return nullptr;
}

} // namespace

class TestWindowKeys : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void pageKeysMoveTheCatalogue_data();
    void pageKeysMoveTheCatalogue();
    void keyStillReachesTheControl();
    void pageKeyStoresTypedInput();
    void refusedValueKeepsThePage_data();
    void refusedValueKeepsThePage();
    void pageKeyLeavesLookupBoxesAlone_data();
    void pageKeyLeavesLookupBoxesAlone();
    void refreshKeys_data();
    void refreshKeys();
    void pageKeysOnClosedCatalogue();
    void sqlShortcut_data();
    void sqlShortcut();
    void sqlShortcutShowsThenHides();
    void sqlShortcutAfterReleasedModifier();

private:
    QTabWidget* tabs() const { return named<QTabWidget>(*m_form, "pcMain"); }
    QWidget* tabPage(const char* name) const { return named(*m_form, name); }
    void openPage(QWidget* page);
    // Holds modifier keys down in order, presses S, releases everything.
    // Qt's key codes follow from the key symbols unless given.
    void chord(const QList<quint32>& keysyms, Qt::KeyboardModifiers onS, const QList<int>& qtKeys = {});

    std::unique_ptr<WorkDir> m_dir;
    std::unique_ptr<ErrorRecorder> m_errors;
    std::unique_ptr<TComicForm> m_form;
};

void TestWindowKeys::initTestCase()
{
    m_dir = std::make_unique<WorkDir>(true);
    m_errors = std::make_unique<ErrorRecorder>();
    m_form = std::make_unique<TComicForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QVERIFY(m_form->data().tblStripothek().recordCount() >= 5);
}

void TestWindowKeys::cleanupTestCase()
{
    m_form.reset();
    m_errors.reset();
    m_dir.reset();
}

void TestWindowKeys::init()
{
    m_errors->messages.clear();
    m_form->setPageTabVisible(tabPage("tsSQLSheet"), false);
    m_form->setPageTabVisible(tabPage("tsProtocoll"), true);
    tabs()->setCurrentWidget(tabPage("tsListe"));
    if (!m_form->data().tblStripothek().active())
        m_form->data().OpenTables();
}

void TestWindowKeys::openPage(QWidget* page)
{
    tabs()->setCurrentWidget(page);
    if (QWidget* control = firstControl(page))
        control->setFocus();
    else
        tabs()->tabBar()->setFocus();
}

void TestWindowKeys::pageKeysMoveTheCatalogue_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");

    QTest::newRow("Übersicht, Bild ab") << "tsListe" << int(Qt::Key_PageDown) << 3 << 4;
    QTest::newRow("Übersicht, Bild auf") << "tsListe" << int(Qt::Key_PageUp) << 3 << 2;
    QTest::newRow("Stammdaten, Bild ab") << "tsEingabe" << int(Qt::Key_PageDown) << 3 << 4;
    QTest::newRow("Stammdaten, Bild auf") << "tsEingabe" << int(Qt::Key_PageUp) << 3 << 2;
    QTest::newRow("Bemerkungen, Bild ab") << "tsLocal" << int(Qt::Key_PageDown) << 1 << 2;
    QTest::newRow("erster Band, Bild auf") << "tsEingabe" << int(Qt::Key_PageUp) << 1 << 1;
}

void TestWindowKeys::pageKeysMoveTheCatalogue()
{
    QFETCH(QString, page);
    QFETCH(int, key);
    QFETCH(int, from);
    QFETCH(int, to);

    db::Table& catalogue = m_form->data().tblStripothek();
    catalogue.setRecNo(from);
    openPage(tabs()->findChild<QWidget*>(page));
    clickKey(m_form.get(), key);
    QCOMPARE(catalogue.recNo(), to);

    // Modifiers are not looked at.
    clickKey(m_form.get(), key, Qt::ShiftModifier);
    QCOMPARE(catalogue.recNo(), key == Qt::Key_PageDown ? to + 1 : std::max(1, to - 1));
    QCOMPARE(m_errors->messages, QStringList());
}

void TestWindowKeys::keyStillReachesTheControl()
{
    db::Table& catalogue = m_form->data().tblStripothek();
    catalogue.setRecNo(2);
    auto* memoLog = named<QPlainTextEdit>(*m_form, "memoLog");
    QStringList lines;
    for (int i = 1; i <= 200; ++i)
        lines << QString::number(i);
    memoLog->setPlainText(lines.join(QLatin1Char('\n')));
    tabs()->setCurrentWidget(tabPage("tsProtocoll"));
    memoLog->setFocus();
    memoLog->moveCursor(QTextCursor::Start);

    clickKey(m_form.get(), Qt::Key_PageDown);
    QCOMPARE(catalogue.recNo(), 3);
    QVERIFY(memoLog->textCursor().blockNumber() > 0);
    memoLog->clear();
}

void TestWindowKeys::pageKeyStoresTypedInput()
{
    db::Table& catalogue = m_form->data().tblStripothek();
    catalogue.setRecNo(2);
    const QString key = catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    openPage(tabPage("tsEingabe"));
    auto* edit = tabPage("tsEingabe")->findChild<QLineEdit*>(QStringLiteral("editTitel1"));
    QVERIFY(edit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("Übermorgen"));

    clickKey(m_form.get(), Qt::Key_PageDown);
    QCOMPARE(catalogue.recNo(), 3);
    QVERIFY(!catalogue.isEditing());
    QVERIFY(catalogue.locate(QStringLiteral("SCLCOMICID"), key));
    QCOMPARE(catalogue.fieldByName(QStringLiteral("SCLTITEL1")).asString(), QStringLiteral("Übermorgen"));
    QCOMPARE(m_errors->messages, QStringList());
}

// Another page is asked for while the box holds a value its field refuses:
// the refusal shows, the page stays in view and the box keeps the focus.
void TestWindowKeys::refusedValueKeepsThePage_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Klick auf den Reiter") << "click";
    QTest::newRow("Strg+Tab") << "ctrl+tab";
    QTest::newRow("Mausrad über den Reitern") << "wheel";
}

void TestWindowKeys::refusedValueKeepsThePage()
{
    QFETCH(QString, how);
    db::Table& catalogue = m_form->data().tblStripothek();
    QTabBar* bar = tabs()->tabBar();
    openPage(tabPage("tsEingabe"));
    auto* band = tabPage("tsEingabe")->findChild<QLineEdit*>(QStringLiteral("editBand"));
    QVERIFY(band);
    band->setFocus();
    band->selectAll();
    QTest::keyClicks(band, QStringLiteral("elf"));

    if (how == "click") {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    } else if (how == "ctrl+tab") {
        QTest::keyClick(band, Qt::Key_Tab, Qt::ControlModifier);
    } else {
        const QPointF at = bar->tabRect(1).center();
        QWheelEvent wheel(at, bar->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(bar, &wheel);
    }
    QCOMPARE(m_errors->messages.size(), 1);
    QCOMPARE(tabs()->currentWidget(), tabPage("tsEingabe"));
    QCOMPARE(bar->currentIndex(), tabs()->indexOf(tabPage("tsEingabe")));
    QCOMPARE(QApplication::focusWidget(), band);
    QCOMPARE(band->text(), QStringLiteral("elf"));

    // Mended, the same way out goes through.
    band->selectAll();
    QTest::keyClicks(band, QStringLiteral("11"));
    if (how == "click")
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    else
        QTest::keyClick(band, Qt::Key_Tab, Qt::ControlModifier);
    QVERIFY(tabs()->currentWidget() != tabPage("tsEingabe"));
    QCOMPARE(catalogue.fieldByName(QStringLiteral("SCLBAND")).asInteger(), 11);
    QCOMPARE(m_errors->messages.size(), 1);
    catalogue.cancel();
}

// The window moves to the next comic; the focused lookup box used to take the
// same key as "next item" and write it into that comic.
void TestWindowKeys::pageKeyLeavesLookupBoxesAlone_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("Serie, Bild ab") << "cbSerie" << "SCLSERIEID" << int(Qt::Key_PageDown) << 2 << 3;
    QTest::newRow("Verlag, Bild ab") << "cbVerlage" << "SCLVERLAGID" << int(Qt::Key_PageDown) << 2 << 3;
    QTest::newRow("Literaturtyp, Bild ab") << "cbLitTyp" << "SCLLITARTID" << int(Qt::Key_PageDown) << 2 << 3;
    QTest::newRow("Literaturart, Bild ab") << "cbLitart" << "SCLSPARTEID" << int(Qt::Key_PageDown) << 2 << 3;
    QTest::newRow("Serie, Bild auf") << "cbSerie" << "SCLSERIEID" << int(Qt::Key_PageUp) << 4 << 3;
}

void TestWindowKeys::pageKeyLeavesLookupBoxesAlone()
{
    QFETCH(QString, box);
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(int, from);
    QFETCH(int, to);

    db::Table& catalogue = m_form->data().tblStripothek();
    catalogue.setRecNo(to);
    const QString target = catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    const QString stored = catalogue.fieldByName(field).asString();
    catalogue.setRecNo(from);
    tabs()->setCurrentWidget(tabPage("tsEingabe"));
    tabPage("tsEingabe")->findChild<QWidget*>(box)->setFocus();

    clickKey(m_form.get(), key);
    QCOMPARE(catalogue.recNo(), to);
    QCOMPARE(catalogue.state(), db::DataSetState::Browse);
    QCOMPARE(catalogue.fieldByName(QStringLiteral("SCLCOMICID")).asString(), target);
    QCOMPARE(catalogue.fieldByName(field).asString(), stored);
    QCOMPARE(m_errors->messages, QStringList());
}

void TestWindowKeys::refreshKeys_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("applied");

    QTest::newRow("F5 in der Übersicht") << "tsListe" << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+F5 in der Übersicht") << "tsListe" << int(Qt::ShiftModifier) << true;
    QTest::newRow("F5 in den Stammdaten") << "tsEingabe" << int(Qt::NoModifier) << false;
    QTest::newRow("F5 in den Bemerkungen") << "tsLocal" << int(Qt::NoModifier) << false;
    QTest::newRow("F5 im Protokoll") << "tsProtocoll" << int(Qt::NoModifier) << false;
    // The menu's shortcut works on every page.
    QTest::newRow("Strg+F5 in den Stammdaten") << "tsEingabe" << int(Qt::ControlModifier) << true;
}

void TestWindowKeys::refreshKeys()
{
    QFETCH(QString, page);
    QFETCH(int, modifiers);
    QFETCH(bool, applied);

    db::Table& catalogue = m_form->data().tblStripothek();
    catalogue.setRecNo(3);
    openPage(tabs()->findChild<QWidget*>(page));
    // Applying the overview filter moves to the first listed row.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(catalogue.recNo(), applied ? 1 : 3);
    QCOMPARE(m_errors->messages, QStringList());
}

void TestWindowKeys::pageKeysOnClosedCatalogue()
{
    m_form->data().CloseTables();
    openPage(tabPage("tsListe"));
    clickKey(m_form.get(), Qt::Key_PageDown);
    clickKey(m_form.get(), Qt::Key_F5);
    QCOMPARE(m_errors->messages, QStringList());
}

void TestWindowKeys::chord(const QList<quint32>& keysyms, Qt::KeyboardModifiers onS, const QList<int>& qtKeys)
{
    auto keyAt = [&](int i) { return qtKeys.isEmpty() ? qtKeyOf(keysyms.at(i)) : qtKeys.at(i); };
    for (int i = 0; i < keysyms.size(); ++i)
        sendKey(m_form.get(), QEvent::KeyPress, keyAt(i), Qt::NoModifier, keysyms.at(i));
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_S, onS, 0x53, QStringLiteral("S"));
    sendKey(m_form.get(), QEvent::KeyRelease, Qt::Key_S, onS, 0x53, QStringLiteral("S"));
    for (int i = 0; i < keysyms.size(); ++i)
        sendKey(m_form.get(), QEvent::KeyRelease, keyAt(i), Qt::NoModifier, keysyms.at(i));
}

void TestWindowKeys::sqlShortcut_data()
{
    QTest::addColumn<QList<quint32>>("keysyms");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("toggles");
    QTest::addColumn<QList<int>>("qtKeys");

    const int all = int(Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    QTest::newRow("links Strg, Umschalt, Alt")
        << QList<quint32>{ControlL, ShiftL, AltL} << all << true << QList<int>{};
    QTest::newRow("andere Reihenfolge") << QList<quint32>{AltL, ControlL, ShiftL} << all << true << QList<int>{};
    // With Shift held most keymaps turn the left Alt key into Meta_L.
    QTest::newRow("Alt als Meta_L") << QList<quint32>{ControlL, ShiftL, MetaL} << all << true << QList<int>{};
    QTest::newRow("rechts Strg") << QList<quint32>{ControlR, ShiftL, AltL} << all << false << QList<int>{};
    QTest::newRow("rechts Umschalt") << QList<quint32>{ControlL, ShiftR, AltL} << all << false << QList<int>{};
    QTest::newRow("rechts Alt") << QList<quint32>{ControlL, ShiftL, AltR} << all << false << QList<int>{};
    QTest::newRow("AltGr") << QList<quint32>{ControlL, ShiftL, IsoLevel3Shift} << all << false << QList<int>{};
    QTest::newRow("Alt fehlt") << QList<quint32>{ControlL, ShiftL} << int(Qt::ControlModifier | Qt::ShiftModifier)
                               << false << QList<int>{};
    // Pressed while another application had the keyboard: Qt's flags tell
    // that Alt is no longer held.
    QTest::newRow("Alt anderswo losgelassen") << QList<quint32>{ControlL, ShiftL, AltL}
                                              << int(Qt::ControlModifier | Qt::ShiftModifier) << false << QList<int>{};
    QTest::newRow("Seite unbekannt") << QList<quint32>{0, 0, 0} << all << false
                                     << QList<int>{Qt::Key_Control, Qt::Key_Shift, Qt::Key_Alt};
}

void TestWindowKeys::sqlShortcut()
{
    QFETCH(QList<quint32>, keysyms);
    QFETCH(int, modifiers);
    QFETCH(bool, toggles);
    QFETCH(QList<int>, qtKeys);

    tabs()->setCurrentWidget(tabPage("tsEingabe"));
    m_form->setFocus();
    chord(keysyms, Qt::KeyboardModifiers(modifiers), qtKeys);
    QCOMPARE(m_form->pageTabVisible(tabPage("tsSQLSheet")), toggles);
    // Showing the tab does not switch to it.
    QCOMPARE(tabs()->currentWidget(), tabPage("tsEingabe"));
}

void TestWindowKeys::sqlShortcutShowsThenHides()
{
    const Qt::KeyboardModifiers all = Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier;
    openPage(tabPage("tsLocal"));
    chord({ControlL, ShiftL, AltL}, all);
    QVERIFY(m_form->pageTabVisible(tabPage("tsSQLSheet")));
    QCOMPARE(tabs()->currentWidget(), tabPage("tsLocal"));

    // Hiding it brings the overview forward, whichever page was active.
    chord({ControlL, ShiftL, AltL}, all);
    QVERIFY(!m_form->pageTabVisible(tabPage("tsSQLSheet")));
    QCOMPARE(tabs()->currentWidget(), tabPage("tsListe"));

    // From the hidden page itself.
    chord({ControlL, ShiftL, AltL}, all);
    tabs()->setCurrentWidget(tabPage("tsSQLSheet"));
    chord({ControlL, ShiftL, AltL}, all);
    QVERIFY(!m_form->pageTabVisible(tabPage("tsSQLSheet")));
    QCOMPARE(tabs()->currentWidget(), tabPage("tsListe"));
}

void TestWindowKeys::sqlShortcutAfterReleasedModifier()
{
    const Qt::KeyboardModifiers all = Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier;
    // Left Ctrl let go and the right one taken instead: Qt still reports Ctrl.
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier, ControlL);
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_Shift, Qt::ControlModifier, ShiftL);
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier | Qt::ShiftModifier, AltL);
    sendKey(m_form.get(), QEvent::KeyRelease, Qt::Key_Control, all, ControlL);
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier | Qt::AltModifier, ControlR);
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_S, all, 0x53, QStringLiteral("S"));
    QVERIFY(!m_form->pageTabVisible(tabPage("tsSQLSheet")));

    // Taking the left one again completes the chord.
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_Control, all, ControlL);
    sendKey(m_form.get(), QEvent::KeyPress, Qt::Key_S, all, 0x53, QStringLiteral("S"));
    QVERIFY(m_form->pageTabVisible(tabPage("tsSQLSheet")));
    for (quint32 sym : {ControlL, ControlR, ShiftL, AltL})
        sendKey(m_form.get(), QEvent::KeyRelease, qtKeyOf(sym), Qt::NoModifier, sym);
}

QTEST_MAIN(TestWindowKeys)
#include "tst_windowkeys.moc"
