#include "service/SoapMessage.h"

#include <QDomDocument>
#include <QTextStream>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace service {
namespace {

// Deeper than any honest answer of the service; stops recursion-hungry
// documents before the DOM is built.
constexpr int kMaxElementDepth = 200;

// The parser's own text, with where it stumbled.
QString parserError(const QString& text, qint64 line, qint64 column)
{
    return QStringLiteral("%1 (Zeile %2, Spalte %3)").arg(text, QString::number(line), QString::number(column));
}

QString invalidResponse()
{
    return QStringLiteral("Ungültige SOAP-Antwort");
}

// Walks the body once with the stream reader before the DOM sees it. SOAP
// forbids document type declarations, and refusing them outright is what
// keeps entity-expansion bombs away from the parser.
void checkWellFormed(const QByteArray& body)
{
    QXmlStreamReader reader(body);
    int depth = 0;
    bool sawElement = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            throw db::Error(QStringLiteral(
                "Die Antwort des Comic-Dienstes enthält eine Dokumenttypdeklaration (DTD). "
                "Solche Antworten werden abgelehnt, weil ihre Entitäten den Speicher erschöpfen können"));
        case QXmlStreamReader::StartElement:
            sawElement = true;
            if (++depth > kMaxElementDepth)
                throw db::Error(QStringLiteral(
                    "Die Antwort des Comic-Dienstes ist tiefer als %1 Ebenen verschachtelt und wird abgelehnt")
                                    .arg(kMaxElementDepth));
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (!reader.hasError())
        return;
    if (!sawElement && reader.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        throw db::Error(invalidResponse()); // nothing but a prolog, or no text at all
    throw db::Error(parserError(reader.errorString(), reader.lineNumber(), reader.columnNumber()));
}

QString xmlText(const QDomNode& node)
{
    QString text;
    QTextStream stream(&text);
    node.save(stream, -1);
    return text;
}

// An element's value is its text, unless it holds elements: then the markup
// of its children is the value.
QString elementValue(const QDomElement& element)
{
    if (element.firstChildElement().isNull())
        return element.text();
    QString value;
    for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling())
        value += xmlText(child);
    return value;
}

QList<QDomElement> childElements(const QDomElement& parent)
{
    QList<QDomElement> children;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        children.append(e);
    return children;
}

[[noreturn]] void throwFault(const QDomElement& fault)
{
    QDomElement code, string, detail, actor;
    for (const QDomElement& e : childElements(fault)) {
        const QString name = e.localName().toLower();
        if (name == u"faultcode")
            code = e;
        else if (name == u"faultstring")
            string = e;
        else if (name == u"detail")
            detail = e;
        else if (name == u"faultactor")
            actor = e;
    }
    throw SoapFault(string.text(), code.text(), actor.text(), detail.isNull() ? QString() : xmlText(detail));
}

bool isResultName(const QString& localName)
{
    return localName.compare(u"Result", Qt::CaseInsensitive) == 0
        || localName.compare(u"Return", Qt::CaseInsensitive) == 0;
}

SoapResponse decodeSuccess(const QDomElement& answer, const Operation& op)
{
    SoapResponse response;
    const QList<QDomElement> children = childElements(answer);
    QDomElement resultElement;
    if (op.hasResult) {
        if (children.size() == 1) {
            resultElement = children.first();
        } else {
            for (const QDomElement& e : children) {
                if (isResultName(e.localName())) {
                    resultElement = e;
                    break;
                }
            }
        }
        if (resultElement.isNull())
            throw db::Error(QStringLiteral("SOAP-Antwortpaket: Ergebniselement erwartet, \"%1\" gefunden")
                                .arg(xmlText(answer)));
        response.result = elementValue(resultElement);
    }
    for (const QDomElement& e : children) {
        if (e == resultElement)
            continue;
        const QString name = e.localName();
        if (op.outParams.contains(name) && !response.outValues.contains(name))
            response.outValues.insert(name, elementValue(e));
    }
    return response;
}

} // namespace

namespace {

// The envelope that every message of the service shares: the four prefixes
// declared on it, no header, and one body whose content writeBody adds.
template <typename WriteBody>
QByteArray envelope(bool encoded, WriteBody writeBody)
{
    const QString envNs = QString::fromLatin1(kSoapEnvelopeNs);
    const QString encNs = QString::fromLatin1(kSoapEncodingNs);

    // Written to a string, the writer leaves the encoding out of the declaration.
    QString text;
    QXmlStreamWriter xml(&text);
    xml.writeStartDocument(QStringLiteral("1.0"));
    xml.writeNamespace(envNs, QStringLiteral("SOAP-ENV"));
    xml.writeNamespace(QString::fromLatin1(kXsdNs), QStringLiteral("xsd"));
    xml.writeNamespace(QString::fromLatin1(kXsiNs), QStringLiteral("xsi"));
    xml.writeNamespace(encNs, QStringLiteral("SOAP-ENC"));
    xml.writeStartElement(envNs, QStringLiteral("Envelope"));
    xml.writeStartElement(envNs, QStringLiteral("Body"));
    if (encoded)
        xml.writeAttribute(envNs, QStringLiteral("encodingStyle"), encNs);
    writeBody(xml);
    // Closed one by one: writeEndDocument() would append a line break.
    xml.writeEndElement(); // body
    xml.writeEndElement(); // envelope
    return text.toUtf8();
}

// An RPC element in nameSpace with one xsd:string child per name.
QByteArray rpcMessage(const QString& elementName, const QString& nameSpace, const QStringList& names,
                      const QStringList& values)
{
    return envelope(true, [&](QXmlStreamWriter& xml) {
        const QString xsiNs = QString::fromLatin1(kXsiNs);
        // NS1 is the first free generated prefix; the document declares no other NSn.
        // Declared after the start tag is opened, it lands on this element
        // rather than on the body.
        xml.writeStartElement(QStringLiteral("NS1:") + elementName);
        xml.writeNamespace(nameSpace, QStringLiteral("NS1"));
        for (qsizetype i = 0; i < names.size(); ++i) {
            xml.writeStartElement(names.at(i));
            xml.writeAttribute(xsiNs, QStringLiteral("type"), QStringLiteral("xsd:string"));
            xml.writeCharacters(values.value(i));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    });
}

} // namespace

QByteArray buildRequest(const Operation& op, const QString& nameSpace, const QStringList& inValues)
{
    return rpcMessage(op.name, nameSpace, op.inParams, inValues);
}

QByteArray buildResponse(const Operation& op, const QString& nameSpace, const QStringList& outValues)
{
    return rpcMessage(op.name + QStringLiteral("Response"), nameSpace, op.outParams, outValues);
}

QByteArray buildFault(const QString& faultCode, const QString& faultString)
{
    return envelope(false, [&](QXmlStreamWriter& xml) {
        xml.writeStartElement(QString::fromLatin1(kSoapEnvelopeNs), QStringLiteral("Fault"));
        xml.writeTextElement(QStringLiteral("faultcode"), QStringLiteral("SOAP-ENV:") + faultCode);
        xml.writeTextElement(QStringLiteral("faultstring"), faultString);
        xml.writeEndElement();
    });
}

SoapResponse decodeResponse(const QByteArray& body, const Operation& op)
{
    checkWellFormed(body);

    QDomDocument doc;
    QString error;
    int line = 0;
    int column = 0;
    if (!doc.setContent(body, true, &error, &line, &column))
        throw db::Error(parserError(error, line, column));

    const QDomElement envelope = doc.documentElement();
    if (envelope.isNull())
        throw db::Error(invalidResponse());
    const QString envNs = QString::fromLatin1(kSoapEnvelopeNs);
    if (envelope.localName() != u"Envelope" || envelope.namespaceURI() != envNs)
        throw db::Error(QStringLiteral("Dokumentelement %1:%2 erwartet, %3:%4 gefunden")
                            .arg(envNs, QStringLiteral("Envelope"), envelope.namespaceURI(),
                                 envelope.localName()));
    if (!envelope.hasChildNodes())
        throw db::Error(QStringLiteral("Ungültige SOAP-Anforderung"));

    QDomElement header;
    QDomElement soapBody;
    QDomElement answer;
    for (const QDomElement& e : childElements(envelope)) {
        // The comics operations carry no header entries; only a second header matters.
        if (e.localName() == u"Header") {
            if (!header.isNull())
                throw db::Error(invalidResponse());
            header = e;
        } else if (e.localName() == u"Body") {
            if (!soapBody.isNull())
                throw db::Error(invalidResponse());
            soapBody = e;
            answer = e.firstChildElement();
        }
    }
    if (answer.isNull())
        return {};
    if (answer.localName() == u"Fault")
        throwFault(answer);
    return decodeSuccess(answer, op);
}

} // namespace service
