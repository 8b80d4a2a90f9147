#include "server/ServeCommand.h"

#include "core/Errors.h"
#include "server/ComicsServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace server {
namespace {

int g_signalWriteFd = -1;

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalWriteFd, &byte, 1);
}

// Turns SIGINT and SIGTERM into a clean end of the event loop, so the server
// closes its connections and the catalogue before the process ends. A signal
// handler may do next to nothing, so it only writes a byte that the event
// loop reads. The previous handlers come back when this goes.
class QuitOnSignals {
public:
    QuitOnSignals()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds) != 0)
            throw db::Error(QStringLiteral("Der Comic-Dienst kann keine Signale empfangen"));
        g_signalWriteFd = m_fds[0];
        m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char byte;
            [[maybe_unused]] const ssize_t read = ::read(m_fds[1], &byte, 1);
            QCoreApplication::quit();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &m_previousInt);
        sigaction(SIGTERM, &action, &m_previousTerm);
    }

    ~QuitOnSignals()
    {
        sigaction(SIGINT, &m_previousInt, nullptr);
        sigaction(SIGTERM, &m_previousTerm, nullptr);
        m_notifier.reset();
        g_signalWriteFd = -1;
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }

    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

private:
    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
};

} // namespace

QHostAddress parseListenAddress(const QString& text)
{
    if (text == u"*")
        return QHostAddress(QHostAddress::Any);
    if (text.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    return QHostAddress(text);
}

void serve(const ServeOptions& options, QTextStream& out)
{
    // The texts Qt adds to faults and errors (XML parser, sockets) in German too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    ComicsServer server(options.directory);
    server.start(options.address, options.port);
    const QString url = server.endpointUrl().toString();
    const bool everywhere = options.address == QHostAddress::Any || options.address == QHostAddress::AnyIPv4
        || options.address == QHostAddress::AnyIPv6;

    const QuitOnSignals quitOnSignals;
    out << "Comic-Dienst für " << QDir::toNativeSeparators(server.databaseFile()) << " (nur lesend)\n"
        << "Erreichbar unter " << url << '\n';
    if (everywhere)
        out << "Andere Rechner erreichen ihn unter dem Namen oder der Adresse dieses Rechners statt 127.0.0.1.\n";
    out << "Die Stripothek fragt ihn, wenn sie so gestartet wird:\n"
        << "  STRIPOTHEK_COMICS_URL=" << url << " stripothek\n"
        << "Beenden mit Strg+C.\n";
    out.flush();
    QCoreApplication::exec();
    out << "Comic-Dienst beendet.\n";
    out.flush();
}

QString serveHelpText()
{
    return QStringLiteral(
               "Aufruf: stripothek-db serve VERZEICHNIS [--port N] [--listen ADRESSE]\n"
               "\n"
               "Bietet den Katalog in VERZEICHNIS/database/stripothek.db als Comic-Dienst an:\n"
               "der Dialog „Extras > Comic downloaden“ der Stripothek findet darin Comics\n"
               "über ihre ISBN, gleich wie sie geschrieben ist (mit oder ohne Bindestriche,\n"
               "mit oder ohne „ISBN“ davor). Die Datenbank wird nur gelesen; die Stripothek\n"
               "darf sie zugleich bearbeiten, jede Anfrage sieht den aktuellen Stand.\n"
               "\n"
               "Optionen:\n"
               "  --port N              Port, Vorgabe %1; 0 wählt einen freien\n"
               "  --listen ADRESSE      IP-Adresse, an der der Dienst lauscht; Vorgabe\n"
               "                        127.0.0.1 (nur dieser Rechner). „*“ lauscht an allen\n"
               "                        Adressen, auch für andere Rechner im Netz\n"
               "  -h, --help            diese Hilfe\n"
               "\n"
               "Die Stripothek auf den Dienst richten (die Adresse nennt serve beim Start):\n"
               "  STRIPOTHEK_COMICS_URL=http://127.0.0.1:%1/soaptest/server.php stripothek\n"
               "\n"
               "Der Dienst beantwortet die Operation ComicByISBN (SOAP 1.1) unter dem Pfad\n"
               "/soaptest/server.php; alles andere beantwortet er mit einem SOAP-Fehler.\n"
               "Anfragen über 64 KB, DTDs und Entitäten lehnt er ab. Er läuft, bis er mit\n"
               "Strg+C oder SIGTERM beendet wird.\n"
               "\n"
               "Rückgabewert: 0 nach dem Beenden, 1 wenn die Datenbank nicht gelesen oder\n"
               "die Adresse nicht belegt werden kann, 2 bei falschem Aufruf.\n")
        .arg(kDefaultPort);
}

} // namespace server
