#include "service/ComicsInterface.h"

namespace service {

QString Registration::soapAction(const QString& operationName) const
{
    static const QString placeholder = QStringLiteral("%operationName%");
    QString action = soapActionTemplate;
    const qsizetype at = action.indexOf(placeholder);
    if (at >= 0)
        action.replace(at, placeholder.size(), operationName);
    return action;
}

const Registration& comicsPortRegistration()
{
    static const Registration registration{QStringLiteral("ComicsPort"), QStringLiteral("urn:Comics"),
                                           QStringLiteral("urn:Comics#clservice#%operationName%")};
    return registration;
}

const Operation& loginOperation()
{
    static const Operation op{QStringLiteral("Login"),
                              {QStringLiteral("login"), QStringLiteral("password")}, {}, true};
    return op;
}

const Operation& titleByIsbnOperation()
{
    static const Operation op{QStringLiteral("TitleByISBN"), {QStringLiteral("isbn")}, {}, true};
    return op;
}

const Operation& comicByIsbnOperation()
{
    static const Operation op{
        QStringLiteral("ComicByISBN"),
        {QStringLiteral("isbn")},
        {QStringLiteral("Titel1"), QStringLiteral("Titel2"), QStringLiteral("Titel3"), QStringLiteral("Verlag"),
         QStringLiteral("Serie"), QStringLiteral("Band"), QStringLiteral("Seiten"), QStringLiteral("ISBNNR"),
         QStringLiteral("Gruppe"), QStringLiteral("Sparte")},
        false};
    return op;
}

} // namespace service
