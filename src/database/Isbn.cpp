#include "database/Isbn.h"

namespace db {

QString ReduceIsbn(const QString& isbn)
{
    QString reduced;
    reduced.reserve(isbn.size());
    for (QChar c : isbn) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            reduced.append(QChar(u - u'a' + u'A'));
        else if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z'))
            reduced.append(c);
    }
    return reduced;
}

} // namespace db
