#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "device/ReportProtocol.h"
#include "device/SendQueue.h"

using namespace kelvo::device;
using std::chrono::microseconds;

namespace {

// Virtual time: sleeping advances it at once.
class VirtualClock : public SendClock {
public:
    Microseconds now() override { return m_now; }
    void sleepFor(Microseconds duration) override
    {
        sleeps.push_back(duration.count());
        m_now += duration;
    }
    std::vector<long long> sleeps;

private:
    Microseconds m_now{1'000'000};
};

struct Sent {
    long command;
    long long atUs;
    bool operator==(const Sent &other) const = default;
};

std::ostream &operator<<(std::ostream &out, const Sent &sent)
{
    return out << "{" << sent.command << " @" << sent.atUs << "}";
}

struct SendQueueFixture : ::testing::Test {
    SendQueueFixture()
        : clock(std::make_shared<VirtualClock>()), queue([this](long command) { return send(command); }, clock)
    {}

    bool send(long command)
    {
        sent.push_back({command, clock->now().count() - 1'000'000});
        if (onSend)
            onSend(command);
        return sendResult;
    }

    // Queues several commands so that they wait in one batch: the first send
    // of the batch is held until all are queued.
    void queueInOneBatch(const std::vector<long> &commands)
    {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<bool> gate{true};
        onSend = [&, released](long) {
            if (gate.exchange(false))
                released.wait();
        };
        queue.sendHIDCommand(HIDCommandC0); // the held command
        for (long command : commands)
            queue.sendHIDCommand(command);
        release.set_value();
        queue.waitUntilIdle();
        onSend = nullptr;
    }

    std::shared_ptr<VirtualClock> clock;
    std::vector<Sent> sent; // send queue only, read after waitUntilIdle
    std::function<void(long)> onSend;
    bool sendResult = true;
    SendQueue queue;
};

} // namespace

TEST_F(SendQueueFixture, CommandsLeaveInOrderTwentyMillisecondsApart)
{
    queueInOneBatch({HIDCommandA8, HIDCommandFreeze, HIDCommandToggleLight});
    EXPECT_EQ(sent, (std::vector<Sent>{{3, 0}, {5, 20'000}, {0, 40'000}, {15, 60'000}}));
    EXPECT_EQ(clock->sleeps, (std::vector<long long>{20'000, 20'000, 20'000, 20'000}));
}

TEST_F(SendQueueFixture, OnlyTheNewestZoomOfABatchIsSentThenTwoHundredMilliseconds)
{
    queueInOneBatch({HIDCommandZoom3, HIDCommandZoom4, HIDCommandZoom5});
    EXPECT_EQ(sent, (std::vector<Sent>{{3, 0}, {HIDCommandZoom5, 20'000}}));
    EXPECT_EQ(clock->sleeps, (std::vector<long long>{20'000, 200'000}));
}

TEST_F(SendQueueFixture, AnEarlierZoomIsSkippedWhenALaterOneWaitsBehindOtherCommands)
{
    queueInOneBatch({HIDCommandZoom2, HIDCommandFreeze, HIDCommandZoom6});
    EXPECT_EQ(sent, (std::vector<Sent>{{3, 0}, {HIDCommandFreeze, 20'000}, {HIDCommandZoom6, 40'000}}));
}

TEST_F(SendQueueFixture, AZoomFollowedByAnotherCommandIsSentWithTheLongPause)
{
    queueInOneBatch({HIDCommandZoom8, HIDCommandFreeze});
    EXPECT_EQ(sent, (std::vector<Sent>{{3, 0}, {HIDCommandZoom8, 20'000}, {HIDCommandFreeze, 220'000}}));
}

TEST_F(SendQueueFixture, CommandsQueuedWhileSendingJoinTheRunningBatch)
{
    // A composite queues further commands from inside its own send; they go
    // out in the same drain. A zoom is judged against what the batch holds
    // when its turn comes: zoom 7 arrives only after zoom 1 went out.
    onSend = [this](long command) {
        if (command == HIDCommandPowerUp) {
            queue.sendHIDCommand(HIDCommandZoom1);
            queue.sendHIDCommand(HIDCommandA2);
        }
        if (command == HIDCommandA2)
            queue.sendHIDCommand(HIDCommandZoom7);
    };
    queue.sendHIDCommand(HIDCommandPowerUp);
    queue.waitUntilIdle();
    EXPECT_EQ(
        sent,
        (std::vector<Sent>{
            {HIDCommandPowerUp, 0}, {HIDCommandZoom1, 20'000}, {HIDCommandA2, 220'000}, {HIDCommandZoom7, 240'000}}));
}

TEST_F(SendQueueFixture, ACommandQueuedDuringThePauseWaitsForIt)
{
    bool queuedDuringPause = false;
    onSend = [&](long command) {
        if (command == HIDCommandZoom4 && !queuedDuringPause) {
            queuedDuringPause = true;
            queue.sendHIDCommand(HIDCommandC4);
        }
    };
    queue.sendHIDCommand(HIDCommandZoom4);
    queue.waitUntilIdle();
    EXPECT_EQ(sent, (std::vector<Sent>{{HIDCommandZoom4, 0}, {HIDCommandC4, 200'000}}));
}

TEST_F(SendQueueFixture, FailedSendsAreNotRetried)
{
    sendResult = false;
    queue.sendHIDCommand(HIDCommandFreeze);
    EXPECT_TRUE(queue.sendHIDCommand(HIDCommandUnfreeze));
    queue.waitUntilIdle();
    EXPECT_EQ(sent.size(), 2u);
}

TEST(SendQueueRealClock, SendsInOrderOnItsLabelledThread)
{
    std::vector<long> sent;
    std::vector<std::string> threadNames;
    SendQueue queue([&](long command) {
        sent.push_back(command);
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        threadNames.emplace_back(name);
        return true;
    });
    EXPECT_EQ(queue.label(), "com.morvane.hidsendqueue");
    for (long command : {HIDCommandA2, HIDCommandC0, HIDCommandCD})
        EXPECT_TRUE(queue.sendHIDCommand(command));
    queue.waitUntilIdle();
    EXPECT_EQ(sent, (std::vector<long>{2, 3, 4}));
    ASSERT_EQ(threadNames.size(), 3u);
    EXPECT_EQ(threadNames[0], std::string("com.morvane.hidsendqueue").substr(0, 15));
}
