#pragma once

#include "service/SoapMessage.h"

#include <QString>

// The comics interface as both ends of the wire know it: its registration
// (namespace and SOAP action) and its three operations. Free of widgets and of
// the table engine, so that a client and a server can share it.
namespace service {

// How the comics interface is known on the wire.
struct Registration {
    QString interfaceName;
    QString nameSpace;
    QString soapActionTemplate;

    // The template with its first "%operationName%" replaced by the operation.
    QString soapAction(const QString& operationName) const;
};
const Registration& comicsPortRegistration();

const Operation& loginOperation();
const Operation& titleByIsbnOperation();
// Its out-parameters are the ten answer elements, in their wire order.
const Operation& comicByIsbnOperation();

// The endpoint path of the service on its host.
inline constexpr auto kComicsEndpointPath = "/soaptest/server.php";

} // namespace service
