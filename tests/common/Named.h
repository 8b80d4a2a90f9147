#pragma once

#include <QObject>
#include <QtGlobal>

// A named child of a window or page, found as a user's tool finds it. A
// missing one ends the run with its name instead of a null pointer.
template <class T = QWidget>
T* named(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}
