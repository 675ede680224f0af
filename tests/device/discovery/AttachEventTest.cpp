// The device-attach event: it restarts capture (released at once, started
// again after the delay), and a second launch hands it to the running viewer
// over the local socket.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>

#include <atomic>
#include <cstring>
#include <future>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "DeviceTestSupport.h"
#include "common/SystemLog.h"
#include "device/DeviceAttachHandler.h"
#include "device/backend/LaunchEventChannel.h"

using namespace kelvo::device;
using namespace std::chrono_literals;
using kelvo::device::test::pumpFor;
using kelvo::device::test::pumpUntil;

namespace {

QString uniqueServerName()
{
    static int serial = 0;
    return QStringLiteral("kelvo-attach-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
}

// Runs a blocking client call off the main thread while the main thread
// serves the socket.
template <typename Call> auto whileServing(Call call)
{
    auto result = std::async(std::launch::async, call);
    pumpUntil([&] { return result.wait_for(0ms) == std::future_status::ready; }, 5s);
    return result.get();
}

struct KickstartFixture : ::testing::Test {
    void SetUp() override
    {
        handler.setRestartDelay(50ms);
        handler.setCaptureRelease([this] { calls.push_back("release"); });
        handler.setCaptureRestart([this] { calls.push_back("restart"); });
    }
    kelvo::ScopedLogCapture log;
    DeviceAttachHandler handler;
    std::vector<std::string> calls;
};

} // namespace

TEST_F(KickstartFixture, EventReleasesCaptureAndRestartsItAfterTheDelay)
{
    handler.handleEvent({QStringLiteral("/devices/usb1/1-1"), attachServiceId(1, 2)});
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Received event: /devices/usb1/1-1: 258", "Kickstart 1\n"}));
    EXPECT_TRUE(calls.empty()) << "the capture calls run later on the main queue";
    ASSERT_TRUE(pumpUntil([&] { return !calls.empty(); }, 2s));
    EXPECT_EQ(calls, std::vector<std::string>{"release"});
    ASSERT_TRUE(pumpUntil([&] { return calls.size() == 2; }, 2s));
    EXPECT_EQ(calls, (std::vector<std::string>{"release", "restart"}));
}

TEST_F(KickstartFixture, SameArrivalReportedTwiceRestartsOnce)
{
    handler.handleEvent({QStringLiteral("a"), 7});
    handler.handleEvent({QStringLiteral("b"), 7});
    handler.handleEvent({QStringLiteral("c"), 8});
    pumpFor(300ms);
    EXPECT_EQ(log.count("Kickstart 1\n"), 2);
    EXPECT_EQ(log.count("Received event: b: 7"), 1) << "a repeated event is still logged";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "restart"), 2);
}

// Whatever a hand-off line carries reaches the terminal and the journal as
// visible text: no escape sequence, C1 control, stray byte or direction
// override acts on them; printable text of any script passes unchanged.
TEST_F(KickstartFixture, EventTextIsLoggedEscaped)
{
    handler.handleEvent({QString::fromUtf8("\x1b]0;owned\x07\x1b[2J\t\xc2\x9b"
                                           "31m a\\b \xe2\x80\xae"
                                           "gpj.exe é漢"),
                         1});
    handler.handleEvent({QString::fromLatin1("x\x7f\n"), 2});
    EXPECT_EQ(log.count("Received event: \\x1b]0;owned\\x07\\x1b[2J\\x09\\u009b31m a\\\\b \\u202egpj.exe é漢: 1"), 1)
        << log.lines().front();
    EXPECT_EQ(log.count("Received event: x\\x7f\\x0a: 2"), 1);
    // Bytes that are not UTF-8 cannot arrive through QString; they are
    // shown by value.
    EXPECT_EQ(kelvo::escapedForLog(std::string_view("\xff\xc0\x80\xed\xa0\x80ok", 8)),
              "\\xff\\xc0\\x80\\xed\\xa0\\x80ok");
}

TEST(LaunchEventChannelTest, SecondLaunchHandsItsEventToTheRunningViewer)
{
    const QString name = uniqueServerName();
    LaunchEventChannel running(name);
    std::vector<AttachEvent> received;
    ASSERT_TRUE(running.listen([&](const AttachEvent &event) { received.push_back(event); }));

    const AttachEvent sent{QStringLiteral("/devices/usb1/1-1 é"), 0x1234567890ULL};
    EXPECT_TRUE(whileServing([&] { return LaunchEventChannel::handOffToRunningInstance(sent, name, 2000); }));
    ASSERT_TRUE(pumpUntil([&] { return !received.empty(); }, 2s));
    EXPECT_EQ(received[0].deviceAttach, sent.deviceAttach);
    EXPECT_EQ(received[0].serviceID, sent.serviceID);

    // A third launch finds the socket taken by a live viewer.
    LaunchEventChannel another(name);
    EXPECT_FALSE(another.listen([](const AttachEvent &) {}));
    EXPECT_TRUE(running.isListening());
}

TEST(LaunchEventChannelTest, NoRunningViewerTakesNothing)
{
    EXPECT_FALSE(LaunchEventChannel::handOffToRunningInstance({QStringLiteral("x"), 1}, uniqueServerName(), 500));
}

TEST(LaunchEventChannelTest, MalformedOrOversizedInputIsDropped)
{
    const QString name = uniqueServerName();
    LaunchEventChannel running(name);
    int delivered = 0;
    ASSERT_TRUE(running.listen([&](const AttachEvent &) { ++delivered; }));
    const QByteArray inputs[] = {"no-number-here\n", "12\n", "-5 negative\n",
                                 QByteArray(LaunchEventChannel::kMaxLineBytes + 10, 'a')};
    for (const QByteArray &input : inputs) {
        const bool answered = whileServing([&] {
            QLocalSocket socket;
            socket.connectToServer(LaunchEventChannel::socketPath(name));
            if (!socket.waitForConnected(1000))
                return true;
            socket.write(input);
            socket.waitForBytesWritten(1000);
            return socket.waitForReadyRead(500) && socket.readAll().startsWith("OK");
        });
        EXPECT_FALSE(answered) << input.left(20).constData();
    }
    pumpFor(50ms);
    EXPECT_EQ(delivered, 0);

    // A sender whose text is too long for the wire shortens it rather than
    // lose the arrival.
    EXPECT_TRUE(whileServing([&] {
        return LaunchEventChannel::handOffToRunningInstance({QString(LaunchEventChannel::kMaxLineBytes, QChar('x')), 1},
                                                            name, 2000);
    }));
    ASSERT_TRUE(pumpUntil([&] { return delivered == 1; }, 2s));
}

// The lock decides who the viewer is: a leftover socket file does not, a
// silent client is dropped, and a listener that ran out of descriptors keeps
// listening once some are free again.
TEST(LaunchEventChannelTest, TheListenerSurvivesLeftoversIdleClientsAndRunningOutOfFiles)
{
    const QString name = uniqueServerName();
    const QString path = LaunchEventChannel::socketPath(name);
    ASSERT_FALSE(path.isEmpty());
    {
        QFile leftover(path);
        ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    }
    LaunchEventChannel running(name);
    int delivered = 0;
    ASSERT_TRUE(running.listen([&](const AttachEvent &) { ++delivered; }));

    QLocalSocket idle;
    idle.connectToServer(path);
    ASSERT_TRUE(idle.waitForConnected(1000));
    ASSERT_TRUE(pumpUntil([&] { return idle.state() == QLocalSocket::UnconnectedState; },
                          std::chrono::milliseconds(LaunchEventChannel::kIdleClientMs + 2000)));

#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime opens descriptors of its own to check memory;
    // with none left it reports errors that are not there. The plain build
    // runs the rest.
    GTEST_SKIP() << "running out of descriptors is checked in the build without sanitizers";
#endif
    // Fill every descriptor below a lowered limit, so that accept() fails.
    const int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> fillers;
    for (int fd; (fd = ::dup(client)) >= 0;)
        fillers.push_back(fd);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    pumpFor(300ms);
    for (const int fd : fillers)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(client);

    EXPECT_TRUE(running.isListening());
    EXPECT_TRUE(whileServing([&] {
        return LaunchEventChannel::handOffToRunningInstance({QStringLiteral("x"), 2}, name, 3000);
    }));
    ASSERT_TRUE(pumpUntil([&] { return delivered == 1; }, 2s));
}
