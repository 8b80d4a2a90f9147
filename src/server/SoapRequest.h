#pragma once

#include "core/Errors.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace server {

// A request the service refuses: the SOAP fault that answers it and the HTTP
// status that carries the fault.
class RequestFault : public db::Error {
public:
    RequestFault(int httpStatus, QString faultCode, const QString& faultString)
        : db::Error(faultString), m_status(httpStatus), m_code(std::move(faultCode))
    {
    }
    int httpStatus() const { return m_status; }
    QString faultCode() const { return m_code; }

private:
    int m_status;
    QString m_code;
};

// SOAP 1.1 sends its faults with this status.
inline constexpr int kFaultStatus = 500;

// The call a request asks for: the operation element and its parameters.
struct SoapCall {
    QString nameSpace;
    QString operation;
    QHash<QString, QString> params; // by local name; the first element of a name counts
};

// Reads a SOAP 1.1 RPC request body. Throws RequestFault for anything that is
// not one: XML that is not well-formed, a document type declaration (and with
// it every entity but the five predefined ones), another envelope version, a
// header entry that must be understood, no operation in the body.
SoapCall decodeRequest(const QByteArray& body);

} // namespace server
