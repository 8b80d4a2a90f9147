#pragma once

#include "core/Errors.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// The SOAP 1.1 RPC messages of the comics service: the request a call sends,
// the answer or fault a service sends back, and the rules that turn a response
// body into results or an error. Pure functions
// over bytes, so that they can be tested and fuzzed without a network.
namespace service {

inline constexpr auto kSoapEnvelopeNs = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr auto kSoapEncodingNs = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr auto kXsdNs = "http://www.w3.org/2001/XMLSchema";
inline constexpr auto kXsiNs = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr auto kSoap12EnvelopeNs = "http://www.w3.org/2003/05/soap-envelope";

// What the generic call needs to know of one operation: its wire name, the
// names of its in- and out-parameters in declaration order, and whether it
// returns a result.
struct Operation {
    QString name;
    QStringList inParams;
    QStringList outParams;
    bool hasResult = false;
};

// The decoded answer: the result (if the operation has one) and the
// out-parameters that the answer carried, by name.
struct SoapResponse {
    QString result;
    QHash<QString, QString> outValues;
};

// A SOAP fault of the service. Only the fault string is shown; the rest is
// kept for whoever wants to look closer.
class SoapFault : public db::Error {
public:
    SoapFault(const QString& faultString, QString faultCode, QString faultActor, QString detail)
        : db::Error(faultString), m_code(std::move(faultCode)), m_actor(std::move(faultActor)),
          m_detail(std::move(detail))
    {
    }
    QString faultCode() const { return m_code; }
    QString faultActor() const { return m_actor; }
    QString detail() const { return m_detail; }

private:
    QString m_code;
    QString m_actor;
    QString m_detail;
};

// The request document for one call, UTF-8 without byte-order mark.
// inValues holds one text per in-parameter of op, in the same order.
QByteArray buildRequest(const Operation& op, const QString& nameSpace, const QStringList& inValues);

// The answer to a call of op, as a service sends it: the element
// "<operation>Response" with one child per out-parameter, in declaration order.
QByteArray buildResponse(const Operation& op, const QString& nameSpace, const QStringList& outValues);

// A SOAP 1.1 fault; faultCode is the local name of a SOAP 1.1 fault code
// ("Client", "Server", "VersionMismatch", "MustUnderstand").
QByteArray buildFault(const QString& faultCode, const QString& faultString);

// Decodes a response body for op. Throws SoapFault for a fault and db::Error
// for everything that is not a usable SOAP 1.1 answer.
SoapResponse decodeResponse(const QByteArray& body, const Operation& op);

} // namespace service
