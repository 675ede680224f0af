// The pieces that hand work to the main thread: Qt timers and the frame
// mailbox between a streaming thread and the main thread.
#include "SpinUntil.h"
#include "video/CaptureFrameMailbox.h"
#include "video/CaptureQtScheduler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace kelvo::video {
namespace {

using testing::spinUntil;

TEST(CaptureQtScheduler, OneShotFiresOnceRepeatingKeepsGoingAndCancelStops)
{
    CaptureQtScheduler scheduler;
    int once = 0, repeated = 0;
    scheduler.scheduleOnce(std::chrono::milliseconds(20), [&] { ++once; });
    CaptureScheduler::TimerId repeating = CaptureScheduler::kNoTimer;
    repeating = scheduler.scheduleRepeating(std::chrono::milliseconds(10), [&] {
        if (++repeated == 3)
            scheduler.cancel(repeating); // cancelling itself from inside its action
    });
    const auto cancelled = scheduler.scheduleOnce(std::chrono::milliseconds(5), [&] { ADD_FAILURE(); });
    scheduler.cancel(cancelled);

    spinUntil([&] { return once == 1 && repeated >= 3; });
    spinUntil([] { return false; }, 80);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(repeated, 3);
    EXPECT_EQ(scheduler.activeTimerCount(), 0);

    // A one-shot may schedule the next one from inside its action.
    int chained = 0;
    scheduler.scheduleOnce(std::chrono::milliseconds(1), [&] {
        ++chained;
        scheduler.scheduleOnce(std::chrono::milliseconds(1), [&] { ++chained; });
    });
    spinUntil([&] { return chained == 2; });
    EXPECT_EQ(chained, 2);
}

VideoFrame numberedFrame(std::int64_t n)
{
    VideoFrame f;
    f.timestampNs = n;
    return f;
}

TEST(CaptureFrameMailbox, MainThreadGetsOnlyTheNewestOfFramesPostedMeanwhile)
{
    std::vector<std::int64_t> delivered;
    std::vector<bool> onMainThread;
    CaptureFrameMailbox mailbox([&](const VideoFrame &f) {
        delivered.push_back(f.timestampNs);
        onMainThread.push_back(QThread::currentThread() == QCoreApplication::instance()->thread());
    });

    std::thread streaming([&] {
        for (int i = 1; i <= 5; ++i)
            mailbox.post(numberedFrame(i));
    });
    streaming.join();
    EXPECT_TRUE(delivered.empty()) << "delivery waits for the main thread's event loop";
    spinUntil([&] { return !delivered.empty(); });
    spinUntil([] { return false; }, 20);
    EXPECT_EQ(delivered, std::vector<std::int64_t>{5});
    EXPECT_EQ(mailbox.replacedCount(), 4u);

    // Once delivered, the next post queues a new delivery.
    std::thread again([&] { mailbox.post(numberedFrame(6)); });
    again.join();
    spinUntil([&] { return delivered.size() == 2; });
    EXPECT_EQ(delivered, (std::vector<std::int64_t>{5, 6}));
    EXPECT_EQ(onMainThread, (std::vector<bool>{true, true}));
    EXPECT_EQ(mailbox.deliveredCount(), 2u);
}

TEST(CaptureFrameMailbox, FrameKeepsItsStorageAliveUntilDelivered)
{
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(8, 42);
    std::weak_ptr<std::vector<std::uint8_t>> watch = bytes;
    std::uint8_t seen = 0;
    {
        CaptureFrameMailbox mailbox([&](const VideoFrame &f) { seen = f.planes[0][0]; });
        VideoFrame f;
        f.width = 2;
        f.height = 1;
        f.planes[0] = bytes->data();
        f.storage = bytes;
        mailbox.post(f);
        bytes.reset();
        EXPECT_FALSE(watch.expired());
        spinUntil([&] { return seen != 0; });
    }
    EXPECT_EQ(seen, 42);
    EXPECT_TRUE(watch.expired());

    // A mailbox destroyed with an undelivered frame drops the delivery.
    {
        CaptureFrameMailbox mailbox([&](const VideoFrame &) { ADD_FAILURE(); });
        mailbox.post(numberedFrame(1));
    }
    spinUntil([] { return false; }, 20);
}

} // namespace
} // namespace kelvo::video
