#pragma once

// A viewer controller wired to a real device link whose send queue talks to
// the simulated camera, with a virtual clock so the queue's spacing costs no
// time. Tests read what the camera received.

#include "device/DeviceLink.h"
#include "device/ReportProtocol.h"
#include "device/SendClock.h"
#include "device/sim/QuadrelSimulator.h"
#include "device/sim/SimulatedHidDeviceIo.h"
#include "viewer/MainWindowDelegate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace kelvo::testing {

class VirtualSendClock final : public device::SendClock {
public:
    Microseconds now() override { return Microseconds(m_now.load()); }
    void sleepFor(Microseconds duration) override { m_now += duration.count(); }

private:
    std::atomic<long long> m_now{0};
};

// The first command bytes of each report, as the table writes them.
using Wire = std::vector<std::vector<std::uint8_t>>;

inline std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

struct ViewerRig {
    QTemporaryDir settingsDir;
    device::DeviceLink link;
    std::shared_ptr<device::sim::QuadrelSimulator> camera = std::make_shared<device::sim::QuadrelSimulator>();
    viewer::MainWindowDelegate controller{settingsDir.filePath(QStringLiteral("settings.plist"))};

    explicit ViewerRig(bool withCamera = true)
    {
        link.createSendQueue(std::make_shared<VirtualSendClock>());
        link.startHIDInitialization();
        controller.loadInterface();
        controller.interfaceDidLoad();
        controller.loadPreferences();
        controller.prepareVideoWindow();
        controller.setDeviceLink(&link);
        link.setViewerActions(&controller);
        if (withCamera) {
            link.attachHIDDevice(std::make_unique<device::sim::SimulatedHidDeviceIo>(camera));
            settle();
            // Each identity answer reloads the preferences, as in the running
            // viewer; a test starts once they are all in, or its first
            // changes could be replaced by the camera's stored record.
            waitFor([this] {
                return link.gotDeviceSerialNumber() && link.gotBoardSerialNumber() && link.gotDeviceFirmwareVersion() &&
                       link.gotBootFirmwareVersion();
            });
            settle();
            camera->clearReceivedReports();
        }
    }

    ~ViewerRig()
    {
        link.setViewerActions(nullptr);
        link.waitForSendQueue();
    }

    // Lets the send queue finish and the main thread act on what came back.
    void settle()
    {
        link.waitForSendQueue();
        QCoreApplication::processEvents();
        link.waitForSendQueue();
        QCoreApplication::processEvents();
    }

    // Runs the event loop until condition holds or timeoutMs passes; the
    // camera answers from its own reader thread.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    // What reached the camera since the last call, each report cut after its
    // last non-zero byte.
    Wire sent()
    {
        settle();
        Wire wire;
        for (const auto &received : camera->receivedReports()) {
            size_t length = received.report.size();
            while (length > 1 && received.report[length - 1] == 0)
                --length;
            wire.emplace_back(received.report.begin(), received.report.begin() + static_cast<long>(length));
        }
        camera->clearReceivedReports();
        return wire;
    }
};

// The report of each optical zoom step.
inline std::vector<std::uint8_t> zoomReport(int step)
{
    static const int positions[] = {0, 1880, 3624, 5311, 6803, 8183, 9491, 10636};
    const int p = positions[step - 1];
    std::vector<std::uint8_t> out = bytes({0xCF, 0x02, p & 0xFF, (p >> 8) & 0xFF});
    while (out.size() > 1 && out.back() == 0)
        out.pop_back();
    return out;
}

} // namespace kelvo::testing
