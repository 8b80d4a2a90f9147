#pragma once

#include <QString>
#include <exception>
#include <functional>

// The message a piece of work fails with, empty when it succeeds.
inline QString errorOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
