#pragma once

#include "service/ComicsInterface.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;

namespace service {

// The comics service. Every parameter and result is text; out-parameters are
// only set when the call succeeds. Every failure throws (see ComicsClient).
class ComicsPort {
public:
    virtual ~ComicsPort() = default;

    virtual QString Login(const QString& login, const QString& password) = 0;
    virtual QString TitleByISBN(const QString& isbn) = 0;
    virtual void ComicByISBN(const QString& isbn, QString& Titel1, QString& Titel2, QString& Titel3,
                             QString& Verlag, QString& Serie, QString& Band, QString& Seiten,
                             QString& ISBNNR, QString& Gruppe, QString& Sparte) = 0;
};

// The SOAP client behind a ComicsPort: one endpoint and one network manager,
// whose kept-alive connection serves all calls of this client. Calls block
// the caller (a local event loop that lets no user input through) until the
// answer is decoded.
class ComicsClient : public ComicsPort {
public:
    ComicsClient();
    ~ComicsClient() override;
    ComicsClient(const ComicsClient&) = delete;
    ComicsClient& operator=(const ComicsClient&) = delete;

    // Throws for any scheme other than http and https.
    void setURL(const QString& url);
    QString url() const { return m_urlText; }

    QString Login(const QString& login, const QString& password) override;
    QString TitleByISBN(const QString& isbn) override;
    void ComicByISBN(const QString& isbn, QString& Titel1, QString& Titel2, QString& Titel3,
                     QString& Verlag, QString& Serie, QString& Band, QString& Seiten, QString& ISBNNR,
                     QString& Gruppe, QString& Sparte) override;

    // A body larger than this ends the call; no honest answer comes near it.
    static constexpr qint64 kMaxResponseBytes = 4 * 1024 * 1024;

    // A call blocks the program while it waits; a server that falls silent
    // must not freeze it for good. The limit is on silence: an answer that
    // keeps arriving, however slowly, is not cut.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }

private:
    SoapResponse call(const Operation& op, const QStringList& inValues);
    QByteArray post(const QByteArray& request);

    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_urlText;
    QUrl m_url;
    QString m_soapAction;
    int m_timeoutMs = 60'000;
};

// The endpoint used when none is given: $STRIPOTHEK_COMICS_URL if set,
// otherwise the service on this machine.
QString defaultComicsUrl();

// A ComicsPort bound to location (default endpoint when empty), on the given
// client or a new one. Throws when the location is refused.
std::shared_ptr<ComicsPort> NewComicsPort(const QString& location = {},
                                          std::shared_ptr<ComicsClient> client = {});

} // namespace service
