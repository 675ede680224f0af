#include "common/SerialQueue.h"
#include "common/SystemLog.h"

#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <thread>
#include <vector>

using kelvo::SerialQueue;

TEST(SerialQueue, RunsTasksInSubmissionOrderOnItsOwnNamedThread)
{
    std::vector<int> order;
    std::thread::id worker;
    char name[16] = {};
    {
        SerialQueue queue("com.morvane.hidsendqueue");
        for (int i = 0; i < 100; ++i)
            queue.async([&, i] { order.push_back(i); });
        queue.sync([&] {
            worker = std::this_thread::get_id();
            pthread_getname_np(pthread_self(), name, sizeof name);
        });
        EXPECT_EQ(queue.label(), "com.morvane.hidsendqueue");
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_STREQ(name, "com.morvane.hid");
}

TEST(SerialQueue, DestructionRunsWhatWasAlreadyQueued)
{
    std::atomic<int> ran{0};
    {
        SerialQueue queue("HID dispatch queue");
        for (int i = 0; i < 10; ++i)
            queue.async([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++ran;
            });
    }
    EXPECT_EQ(ran.load(), 10);
}

TEST(SerialQueue, SyncFromItsOwnThreadDoesNotDeadlock)
{
    SerialQueue queue("nested");
    bool inner = false;
    queue.sync([&] { queue.sync([&] { inner = queue.isCurrent(); }); });
    EXPECT_TRUE(inner);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SystemLog, CaptureReceivesExactTextsPerChannelAndNests)
{
    kelvo::ScopedLogCapture outer;
    kelvo::systemLog("Unknown command %ld\n", -1L);
    {
        kelvo::ScopedLogCapture inner;
        kelvo::standardOutput("Sent %d bytes\n", 64);
        kelvo::systemLog("didFinishLaunching\n");
        EXPECT_EQ(inner.lines(), std::vector<std::string>{"didFinishLaunching\n"});
        ASSERT_EQ(inner.entries().size(), 2u);
        EXPECT_EQ(inner.entries()[0].channel, kelvo::LogChannel::StandardOutput);
        EXPECT_EQ(inner.entries()[0].text, "Sent 64 bytes\n");
    }
    EXPECT_EQ(outer.lines(), std::vector<std::string>{"Unknown command -1\n"});
    EXPECT_EQ(outer.count("Unknown command -1\n"), 1);
}

TEST(SystemLog, LinesFromManyThreadsAreNeitherLostNorTorn)
{
    kelvo::ScopedLogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i)
                kelvo::systemLog("thread %d line %d\n", t, i);
        });
    for (auto &thread : threads)
        thread.join();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1000u);
    EXPECT_EQ(capture.count("thread 3 line 249\n"), 1);
}
