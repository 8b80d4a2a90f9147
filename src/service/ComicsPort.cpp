#include "service/ComicsPort.h"

#include "service/LoginPrompt.h"

#include <QApplication>
#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QLocale>
#include <QSslError>
#include <QXmlStreamReader>

namespace service {
namespace {

// Asks the platform for every request, so that proxy settings changed while
// the program runs are honoured; unlike the application-wide switch it
// leaves other network users alone.
class SystemProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return systemProxyForQuery(query);
    }
};

QString certificateProblem(const QSslError& error)
{
    switch (error.error()) {
    case QSslError::HostNameMismatch:
        return QStringLiteral("der Name im Zertifikat passt nicht zum Server");
    case QSslError::CertificateExpired:
        return QStringLiteral("das Zertifikat ist abgelaufen");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("das Zertifikat ist noch nicht gültig");
    case QSslError::SelfSignedCertificate:
        return QStringLiteral("das Zertifikat ist selbst signiert und nicht vertrauenswürdig");
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("der Aussteller des Zertifikats ist nicht vertrauenswürdig");
    case QSslError::CertificateRevoked:
        return QStringLiteral("das Zertifikat wurde widerrufen");
    default:
        return QStringLiteral("das Zertifikat ist ungültig (%1)").arg(error.errorString());
    }
}

QString certificateMessage(const QList<QSslError>& errors, const QString& url)
{
    QStringList problems;
    for (const QSslError& e : errors) {
        const QString problem = certificateProblem(e);
        if (!problems.contains(problem))
            problems.append(problem);
    }
    return QStringLiteral("Das Zertifikat des Servers wurde abgelehnt: %1 - URL:%2")
        .arg(problems.join(QStringLiteral("; ")), url);
}

QString withoutTrailingLineBreaks(QString text)
{
    while (text.endsWith(u'\n') || text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

// A body whose XML ends before its document does: what a connection broken
// off mid-body leaves behind.
bool endsPrematurely(const QByteArray& body)
{
    if (body.isEmpty())
        return false;
    QXmlStreamReader reader(body);
    while (!reader.atEnd())
        reader.readNext();
    return reader.error() == QXmlStreamReader::PrematureEndOfDocumentError;
}

bool isPlainOrHtml(const QByteArray& contentType)
{
    const QString value = QString::fromLatin1(contentType);
    return value.compare(u"text/plain", Qt::CaseInsensitive) == 0
        || value.compare(u"text/html", Qt::CaseInsensitive) == 0;
}

} // namespace

QString defaultComicsUrl()
{
    const QString fromEnvironment = qEnvironmentVariable("STRIPOTHEK_COMICS_URL");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral("http://localhost") + QLatin1String(kComicsEndpointPath);
}

std::shared_ptr<ComicsPort> NewComicsPort(const QString& location, std::shared_ptr<ComicsClient> client)
{
    if (!client)
        client = std::make_shared<ComicsClient>();
    client->setURL(location.isEmpty() ? defaultComicsUrl() : location);
    return client;
}

ComicsClient::ComicsClient() : m_network(std::make_unique<QNetworkAccessManager>())
{
    m_network->setProxyFactory(new SystemProxyFactory);
    // A redirect is an error for a SOAP call, not something to follow.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

ComicsClient::~ComicsClient() = default;

void ComicsClient::setURL(const QString& url)
{
    const QUrl parsed(url);
    if (parsed.scheme() != u"http" && parsed.scheme() != u"https")
        throw db::Error(
            QStringLiteral("Ungültige URL '%1' - unterstützt nur Schemata 'http' und 'https'").arg(url));
    m_urlText = url;
    m_url = parsed;
}

QString ComicsClient::Login(const QString& login, const QString& password)
{
    return call(loginOperation(), {login, password}).result;
}

QString ComicsClient::TitleByISBN(const QString& isbn)
{
    return call(titleByIsbnOperation(), {isbn}).result;
}

void ComicsClient::ComicByISBN(const QString& isbn, QString& Titel1, QString& Titel2, QString& Titel3,
                               QString& Verlag, QString& Serie, QString& Band, QString& Seiten,
                               QString& ISBNNR, QString& Gruppe, QString& Sparte)
{
    const SoapResponse response = call(comicByIsbnOperation(), {isbn});
    const auto& v = response.outValues;
    Titel1 = v.value(QStringLiteral("Titel1"));
    Titel2 = v.value(QStringLiteral("Titel2"));
    Titel3 = v.value(QStringLiteral("Titel3"));
    Verlag = v.value(QStringLiteral("Verlag"));
    Serie = v.value(QStringLiteral("Serie"));
    Band = v.value(QStringLiteral("Band"));
    Seiten = v.value(QStringLiteral("Seiten"));
    ISBNNR = v.value(QStringLiteral("ISBNNR"));
    Gruppe = v.value(QStringLiteral("Gruppe"));
    Sparte = v.value(QStringLiteral("Sparte"));
}

SoapResponse ComicsClient::call(const Operation& op, const QStringList& inValues)
{
    const Registration& registration = comicsPortRegistration();
    m_soapAction = registration.soapAction(op.name);
    // A fault or an undecodable answer came over a sound connection: it stays open.
    return decodeResponse(post(buildRequest(op, registration.nameSpace, inValues)), op);
}

QByteArray ComicsClient::post(const QByteArray& request)
{
    QNetworkRequest httpRequest(m_url);
    httpRequest.setRawHeader("SOAPAction", '"' + m_soapAction.toUtf8() + '"');
    httpRequest.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/xml"));
    httpRequest.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Borland SOAP 1.2"));
    httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    httpRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    httpRequest.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // A limit on silence, not on the whole call: a slow but steady answer
    // arrives, a server that stops sending ends the call.
    httpRequest.setTransferTimeout(m_timeoutMs);

    std::unique_ptr<QNetworkReply> reply(m_network->post(httpRequest, request));
    QNetworkReply* r = reply.get();

    QByteArray body;
    bool tooLarge = false;
    bool loginCancelled = false;
    QList<QSslError> sslErrors;

    QObject::connect(r, &QNetworkReply::readyRead, r, [&] {
        if (body.size() + r->bytesAvailable() > kMaxResponseBytes) {
            tooLarge = true;
            r->abort();
            return;
        }
        body += r->readAll();
    });
    QObject::connect(r, &QNetworkReply::sslErrors, r, [&](const QList<QSslError>& errors) { sslErrors = errors; });
    const auto askUser = [&](const QString& host, bool forProxy, QAuthenticator* auth) {
        if (!askForLogin(QApplication::activeWindow(), host, forProxy, auth))
            loginCancelled = true;
    };
    const auto serverLogin = QObject::connect(
        m_network.get(), &QNetworkAccessManager::authenticationRequired, r,
        [&](QNetworkReply* which, QAuthenticator* auth) {
            if (which == r)
                askUser(which->url().host(), false, auth);
        });
    const auto proxyLogin = QObject::connect(
        m_network.get(), &QNetworkAccessManager::proxyAuthenticationRequired, r,
        [&](const QNetworkProxy& proxy, QAuthenticator* auth) { askUser(proxy.hostName(), true, auth); });

    if (!r->isFinished()) {
        QEventLoop loop;
        QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QObject::disconnect(serverLogin);
    QObject::disconnect(proxyLogin);
    if (!tooLarge)
        body += r->readAll();

    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = status.toInt();
    const QNetworkReply::NetworkError networkError = r->error();

    // Every failure of the exchange leaves the connection in doubt, so the
    // next call starts on a fresh one.
    const auto fail = [&](const QString& message) {
        reply.reset();
        m_network->clearConnectionCache();
        throw db::Error(message);
    };

    if (loginCancelled) {
        reply.reset();
        m_network->clearConnectionCache();
        throw db::Abort();
    }
    // The transfer timeout cancels the reply; nothing else here cancels one
    // without saying why.
    if (networkError == QNetworkReply::OperationCanceledError && !tooLarge)
        fail(QStringLiteral("Der Comic-Dienst hat %1 Sekunden lang nichts gesendet; die Verbindung wurde getrennt"
                            " - URL:%2 - SOAPAction:%3")
                 .arg(QLocale(QLocale::German).toString(m_timeoutMs / 1000.0, 'g', 3), m_urlText, m_soapAction));
    if (!sslErrors.isEmpty())
        fail(certificateMessage(sslErrors, m_urlText));
    if (tooLarge)
        fail(QStringLiteral("Die Antwort des Comic-Dienstes ist größer als %1 MB; der Empfang wurde abgebrochen - URL:%2")
                 .arg(QString::number(kMaxResponseBytes / (1024 * 1024)), m_urlText));
    if (status.isValid() && code >= 300 && code != 500)
        fail(QStringLiteral("%1 (%2) - '%3'")
                 .arg(QString::fromUtf8(r->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()),
                      QString::number(code), m_urlText));
    // A 500 is the fault's usual carrier; anything else gone wrong is the transport.
    if (networkError != QNetworkReply::NoError
        && !(code == 500 && networkError == QNetworkReply::InternalServerError))
        fail(QStringLiteral("%1 - URL:%2 - SOAPAction:%3")
                 .arg(withoutTrailingLineBreaks(r->errorString()), m_urlText, m_soapAction));
    // An answer that ends before its announced length can still finish
    // without an error: what arrived is a fragment, not the answer.
    const QVariant announced = r->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = r->rawHeader("Content-Encoding").trimmed().toLower();
    if (!tooLarge && announced.isValid() && (encoding.isEmpty() || encoding == "identity")
        && body.size() != announced.toLongLong())
        fail(QStringLiteral("Die Antwort des Comic-Dienstes ist unvollständig: %1 von %2 Bytes empfangen"
                            " - URL:%3 - SOAPAction:%4")
                 .arg(body.size())
                 .arg(announced.toLongLong())
                 .arg(m_urlText, m_soapAction));
    // Without a length to check against (a chunked answer), Qt 6.4 finishes
    // an answer broken off mid-body without an error, too.
    if (!announced.isValid() && endsPrematurely(body))
        fail(QStringLiteral("Die Antwort des Comic-Dienstes brach mitten im Text ab; die Verbindung wurde getrennt"
                            " - URL:%1 - SOAPAction:%2")
                 .arg(m_urlText, m_soapAction));
    const QByteArray contentType = r->rawHeader("Content-Type");
    if (isPlainOrHtml(contentType))
        fail(QStringLiteral("Empfang von Inhalt mit ungültigen Einstellungen für Inhaltstyp: %1 - SOAP erwartet \"text/xml\"")
                 .arg(QString::fromLatin1(contentType)));
    return body;
}

} // namespace service
