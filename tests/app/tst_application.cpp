#include "FormFixture.h"

#include "app/Application.h"
#include "core/Errors.h"

#include <QFont>
#include <QLocale>
#include <QPushButton>
#include <functional>
#include <sqlite3.h>

namespace {

const QEvent::Type kRunEvent = QEvent::Type(QEvent::User + 1);

// Runs a piece of code from inside its event handler, where an error of a
// command without its own runCommand would surface.
class Handler : public QObject {
public:
    std::function<void()> action;
    int handled = 0;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != kRunEvent)
            return QObject::event(event);
        ++handled;
        if (action)
            action();
        return true;
    }
};

} // namespace

class TestApplication : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void setup();
    void escapingErrorIsShown_data();
    void escapingErrorIsShown();
    void silentAbortShowsNothing();
    void programGoesOnAfterAnError();
    void commandErrorIsShownOnce();
    void damagedFileIsReportedOnceThenEnds();
};

void TestApplication::setup()
{
    QVERIFY(app::setupApplication(*qApp));
    QCOMPARE(QApplication::applicationName(), QStringLiteral("Stripothek"));
    QCOMPARE(QLocale().language(), QLocale::German);
    QCOMPARE(QLocale().territory(), QLocale::Germany);
    QCOMPARE(QLocale().toString(1234.5, 'f', 2), QStringLiteral("1.234,50"));
    QCOMPARE(QApplication::font().family(), QStringLiteral("Arial"));
    // Qt's own buttons and dialogs speak German.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
}

void TestApplication::escapingErrorIsShown_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");

    QTest::newRow("letter") << "Tabelle nicht gefunden" << "Tabelle nicht gefunden.";
    QTest::newRow("full stop") << "Tabelle nicht gefunden." << "Tabelle nicht gefunden.";
    QTest::newRow("digit") << "Fehler 5" << "Fehler 5.";
    QTest::newRow("umlaut") << "Datei ist gesperrt für Änderungen: Bände" << "Datei ist gesperrt für Änderungen: Bände.";
    QTest::newRow("question mark sorts after") << "Wirklich?" << "Wirklich?.";
    QTest::newRow("exclamation mark") << "Fehlgeschlagen!" << "Fehlgeschlagen!";
    QTest::newRow("closing parenthesis") << "Fehler (intern)" << "Fehler (intern)";
    QTest::newRow("quote") << "'x' ist kein gültiger Wert'" << "'x' ist kein gültiger Wert'";
    QTest::newRow("blank") << "Ende " << "Ende ";
    QTest::newRow("hyphen") << "ISBN 3-551-" << "ISBN 3-551-";
    QTest::newRow("slash") << "database/" << "database/.";
}

void TestApplication::escapingErrorIsShown()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);

    ErrorRecorder errors;
    Handler handler;
    handler.action = [&] { throw db::Error(message); };
    QCoreApplication::postEvent(&handler, new QEvent(kRunEvent));
    QCoreApplication::sendPostedEvents(&handler);
    QCOMPARE(handler.handled, 1);
    QCOMPARE(errors.messages, QStringList{shown});
}

void TestApplication::silentAbortShowsNothing()
{
    ErrorRecorder errors;
    Handler handler;
    handler.action = [] { throw db::Abort(); };
    QEvent event(kRunEvent);
    QCoreApplication::sendEvent(&handler, &event);
    QCOMPARE(handler.handled, 1);
    QCOMPARE(errors.messages, QStringList());
}

void TestApplication::programGoesOnAfterAnError()
{
    ErrorRecorder errors;
    Handler handler;
    handler.action = [] { throw db::EngineError(QStringLiteral("tblStripothek"), QStringLiteral("Datei fehlt")); };
    QEvent first(kRunEvent);
    QCoreApplication::sendEvent(&handler, &first);

    handler.action = nullptr;
    QEvent second(kRunEvent);
    QVERIFY(QCoreApplication::sendEvent(&handler, &second));
    QCOMPARE(handler.handled, 2);
    QCOMPARE(errors.messages, QStringList{QStringLiteral("tblStripothek: Datei fehlt.")});
}

void TestApplication::commandErrorIsShownOnce()
{
    ErrorRecorder errors;
    QPushButton button;
    ui::onCommand(&button, &QPushButton::clicked, &button, [](bool) { throw db::Error(QStringLiteral("Kaputt")); });
    button.click();
    QCOMPARE(errors.messages, QStringList{QStringLiteral("Kaputt.")});
}

// A damaged file makes every later use fail the same way: one box says so,
// tells what happens next, and the damage handler (the program's end) runs
// once, also for a failure met while painting.
void TestApplication::damagedFileIsReportedOnceThenEnds()
{
    ErrorRecorder errors;
    int ended = 0;
    const ui::DamageHandler previous = ui::setDamageHandler([&] { ++ended; });
    const db::EngineError damage(QStringLiteral("tblAuflagen"), QStringLiteral("Die Datei ist beschädigt"), SQLITE_CORRUPT);
    QVERIFY(damage.damaged());
    for (int i = 0; i < 3; ++i)
        ui::runCommand([&] { throw damage; });
    ui::reportLater(std::make_exception_ptr(damage));
    QCoreApplication::processEvents();
    ui::runCommand([] { throw db::Error(QStringLiteral("Anderer Fehler")); });
    ui::setDamageHandler(previous);

    QCOMPARE(errors.messages,
             (QStringList{QStringLiteral("tblAuflagen: Die Datei ist beschädigt. Stripothek wird jetzt beendet, damit "
                                         "nichts mehr in die beschädigte Datei geschrieben wird."),
                          QStringLiteral("Anderer Fehler.")}));
    QCOMPARE(ended, 1);
}

// The test runs under the program's own application object, whose event
// delivery is what these tests are about.
int main(int argc, char** argv)
{
    app::TStripothekApplication application(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
