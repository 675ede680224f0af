#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace kelvo::video::testing {

// Runs the main thread's event loop until done() holds or the time is up;
// the caller checks done() again to tell which.
inline void spinUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace kelvo::video::testing
