#pragma once

#include "video/CaptureScheduler.h"

#include <QObject>

#include <map>
#include <memory>

class QTimer;

namespace kelvo::video {

// CaptureScheduler on QTimers. Qt keeps delivering timers while a menu or a
// drag is tracked (the tracking runs a nested event loop), which is what the
// level meter needs.
// Thread: create, use and destroy on the main thread.
class CaptureQtScheduler final : public CaptureScheduler {
public:
    CaptureQtScheduler();
    ~CaptureQtScheduler() override;

    TimerId scheduleOnce(std::chrono::milliseconds delay, std::function<void()> action) override;
    TimerId scheduleRepeating(std::chrono::milliseconds interval, std::function<void()> action) override;
    void cancel(TimerId timer) override;
    int activeTimerCount() const { return int(m_timers.size()); }

private:
    TimerId start(std::chrono::milliseconds interval, bool repeating, std::function<void()> action);

    QObject m_context;
    std::map<TimerId, std::unique_ptr<QTimer>> m_timers;
    TimerId m_nextId = 1;
};

} // namespace kelvo::video
