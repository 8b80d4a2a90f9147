#include "server/SoapRequest.h"

#include "service/SoapMessage.h"

#include <QXmlStreamReader>

namespace server {
namespace {

[[noreturn]] void refuse(const QString& message, const QString& code = QStringLiteral("Client"))
{
    throw RequestFault(kFaultStatus, code, message);
}

[[noreturn]] void refuseMalformed(const QXmlStreamReader& xml)
{
    refuse(QStringLiteral("Die Anfrage ist kein wohlgeformtes XML: %1 (Zeile %2, Spalte %3)")
               .arg(xml.errorString(), QString::number(xml.lineNumber()), QString::number(xml.columnNumber())));
}

// Moves to the document element. A document type declaration can only come
// before it, so refusing one here keeps every entity declaration, and with it
// every expansion bomb, away from the parser.
void readToDocumentElement(QXmlStreamReader& xml)
{
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            refuse(QStringLiteral("Die Anfrage enthält eine Dokumenttypdeklaration (DTD). Solche Anfragen werden "
                                  "abgelehnt, weil ihre Entitäten den Speicher erschöpfen können"));
        case QXmlStreamReader::StartElement:
            return;
        default:
            break;
        }
    }
    if (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        refuseMalformed(xml);
    refuse(QStringLiteral("Die Anfrage enthält kein XML-Dokument"));
}

void checkEnvelope(const QXmlStreamReader& xml)
{
    const QString ns = xml.namespaceUri().toString();
    const QString soap11 = QString::fromLatin1(service::kSoapEnvelopeNs);
    if (xml.name() == u"Envelope" && ns == QLatin1String(service::kSoap12EnvelopeNs))
        refuse(QStringLiteral("Dieser Dienst versteht nur SOAP 1.1 (Namensraum %1); die Anfrage verwendet SOAP 1.2")
                   .arg(soap11),
               QStringLiteral("VersionMismatch"));
    if (xml.name() != u"Envelope" || ns != soap11)
        refuse(QStringLiteral("Dokumentelement %1:%2 erwartet, %3:%4 gefunden")
                   .arg(soap11, QStringLiteral("Envelope"), ns, xml.name().toString()),
               ns.isEmpty() || ns == soap11 ? QStringLiteral("Client") : QStringLiteral("VersionMismatch"));
}

// The comics operations know no header entries: one that insists on being
// understood cannot be served.
void readHeader(QXmlStreamReader& xml)
{
    const QString envNs = QString::fromLatin1(service::kSoapEnvelopeNs);
    while (xml.readNextStartElement()) {
        const QStringView mustUnderstand = xml.attributes().value(envNs, QStringLiteral("mustUnderstand"));
        if (mustUnderstand == u"1" || mustUnderstand == u"true")
            refuse(QStringLiteral("Der Kopfeintrag „%1“ muss verstanden werden; dieser Dienst kennt ihn nicht")
                       .arg(xml.qualifiedName().toString()),
                   QStringLiteral("MustUnderstand"));
        xml.skipCurrentElement();
    }
}

// The first element of the body is the call; its children are the parameters.
void readBody(QXmlStreamReader& xml, SoapCall& call)
{
    if (!xml.readNextStartElement())
        return;
    call.nameSpace = xml.namespaceUri().toString();
    call.operation = xml.name().toString();
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        const QString value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        if (!call.params.contains(name))
            call.params.insert(name, value);
    }
    while (xml.readNextStartElement())
        xml.skipCurrentElement();
}

} // namespace

SoapCall decodeRequest(const QByteArray& body)
{
    QXmlStreamReader xml(body);
    readToDocumentElement(xml);
    checkEnvelope(xml);

    SoapCall call;
    bool sawHeader = false;
    bool sawBody = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"Header") {
            if (sawHeader || sawBody)
                refuse(QStringLiteral("Ungültige SOAP-Anforderung: der Kopf steht zweimal oder nach dem Body"));
            sawHeader = true;
            readHeader(xml);
        } else if (xml.name() == u"Body") {
            if (sawBody)
                refuse(QStringLiteral("Ungültige SOAP-Anforderung: der Body steht zweimal"));
            sawBody = true;
            readBody(xml, call);
        } else {
            xml.skipCurrentElement();
        }
    }
    // The rest must be well-formed too: nothing is answered from a broken document.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        refuseMalformed(xml);
    if (call.operation.isEmpty())
        refuse(QStringLiteral("Die Anfrage enthält keinen SOAP-Body mit einer Operation"));
    return call;
}

} // namespace server
