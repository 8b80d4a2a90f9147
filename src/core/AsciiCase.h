#pragma once

#include <QString>

// Case of the letters A to Z alone, for names that are ASCII by definition
// (tables, files, command-line switches): the result does not depend on the
// locale, and no other character changes (Unicode would turn "ß" into "SS").
namespace ascii {

inline QString upper(QString s)
{
    for (QChar& c : s)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    return s;
}

inline QString lower(QString s)
{
    for (QChar& c : s)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return s;
}

} // namespace ascii
