#pragma once

#include <QString>

class QAuthenticator;
class QWidget;

namespace service {

// Asks the user for a user name and password when a server (or, with
// forProxy, a proxy) wants a log-in. Fills auth and returns true when the
// user confirms; returns false when the user cancels.
bool askForLogin(QWidget* parent, const QString& host, bool forProxy, QAuthenticator* auth);

} // namespace service
