#pragma once

#include "cli/Demo.h"
#include "core/Command.h"

#include <QDir>
#include <QKeyEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <QtTest>

// Collects what the central error display would show in a box.
struct ErrorRecorder {
    QStringList messages;
    ui::ErrorSink previous;

    ErrorRecorder()
    {
        previous = ui::setErrorSink([this](const QString& message) { messages << message; });
    }
    ~ErrorRecorder() { ui::setErrorSink(std::move(previous)); }
};

// A fresh working directory, with or without the demo collection below it.
// The main window finds its database relative to the working directory.
class WorkDir {
public:
    explicit WorkDir(bool withDatabase)
    {
        if (withDatabase)
            cli::createDemoDatabase(m_dir.path());
        m_previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    ~WorkDir() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A keystroke as the window system delivers it: to the window, which hands
// it on to its focused control.
inline void sendKey(QWidget* window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    quint32 nativeVirtualKey = 0, const QString& text = QString())
{
    QKeyEvent event(type, key, modifiers, 0, nativeVirtualKey, 0, text);
    QCoreApplication::sendEvent(window->windowHandle(), &event);
}

inline void clickKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    sendKey(window, QEvent::KeyPress, key, modifiers);
    sendKey(window, QEvent::KeyRelease, key, modifiers);
}
