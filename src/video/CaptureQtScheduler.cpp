#include "video/CaptureQtScheduler.h"

#include <QTimer>

namespace kelvo::video {

CaptureQtScheduler::CaptureQtScheduler() = default;

CaptureQtScheduler::~CaptureQtScheduler() = default;

CaptureScheduler::TimerId CaptureQtScheduler::scheduleOnce(std::chrono::milliseconds delay,
                                                           std::function<void()> action)
{
    return start(delay, false, std::move(action));
}

CaptureScheduler::TimerId CaptureQtScheduler::scheduleRepeating(std::chrono::milliseconds interval,
                                                                std::function<void()> action)
{
    return start(interval, true, std::move(action));
}

CaptureScheduler::TimerId CaptureQtScheduler::start(std::chrono::milliseconds interval, bool repeating,
                                                    std::function<void()> action)
{
    const TimerId id = m_nextId++;
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(!repeating);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    QObject::connect(timer.get(), &QTimer::timeout, &m_context, [this, id, repeating, action = std::move(action)] {
        if (repeating) {
            action();
            return;
        }
        // Forget the one-shot before running it: the action may schedule or
        // cancel timers, and the QTimer must not be deleted inside its own
        // signal.
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        it->second.release()->deleteLater();
        m_timers.erase(it);
        std::function<void()> run = action;
        run();
    });
    timer->start();
    m_timers.emplace(id, std::move(timer));
    return id;
}

void CaptureQtScheduler::cancel(TimerId timer)
{
    auto it = m_timers.find(timer);
    if (it == m_timers.end())
        return;
    it->second->stop();
    it->second.release()->deleteLater();
    m_timers.erase(it);
}

} // namespace kelvo::video
