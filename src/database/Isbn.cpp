#include "database/Isbn.h"

namespace db {

namespace {

bool validIsbn10(const QString& isbn)
{
    if (isbn.size() != 10)
        return false;
    int sum = 0;
    for (int i = 0; i < 10; ++i) {
        const char16_t u = isbn[i].unicode();
        int digit = 0;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (i == 9 && u == u'X')
            digit = 10;
        else
            return false;
        sum += (10 - i) * digit;
    }
    return sum % 11 == 0;
}

QString isbn13Of10(const QString& isbn10)
{
    QString isbn = QStringLiteral("978") + isbn10.left(9);
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += (isbn[i].unicode() - u'0') * (i % 2 == 0 ? 1 : 3);
    return isbn + QChar(u'0' + (10 - sum % 10) % 10);
}

} // namespace

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

QString comparableIsbn(const QString& isbn)
{
    QString reduced = ReduceIsbn(isbn);
    if (reduced.startsWith(QLatin1String("ISBN")))
        reduced.remove(0, 4);
    return validIsbn10(reduced) ? isbn13Of10(reduced) : reduced;
}

} // namespace db
