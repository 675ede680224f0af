#include "device/sim/QuadrelSimulator.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace kelvo::device::sim {

QuadrelSimulator::QuadrelSimulator(QuadrelIdentity identity) : m_identity(std::move(identity)) {}

QuadrelSimulator::~QuadrelSimulator()
{
    stopScript();
}

void QuadrelSimulator::setReportSink(ReportSink sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void QuadrelSimulator::deliver(const Report &report)
{
    ReportSink sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
    }
    if (sink)
        sink(report);
}

void QuadrelSimulator::receiveHostReport(const Report &report)
{
    std::vector<Report> answers;
    std::function<void()> notify;
    {
        std::lock_guard lock(m_mutex);
        m_receivedReports.push_back({report, std::chrono::steady_clock::now()});
        const bool wasLightOn = m_lightOn;
        const bool wasFrozen = m_frozen;
        const std::uint16_t oldLens = m_lensPosition;
        switch (report[0]) {
        case 0xA2: // first of the power-up sequence: the camera wakes with its light on
            m_poweredUp = true;
            m_lightOn = true;
            break;
        case 0xA3: // power down
            m_poweredUp = false;
            m_lightOn = false;
            break;
        case 0xCC:
            m_frozen = true;
            break;
        case 0xCD:
            m_frozen = false;
            break;
        case 0x96:
            m_lightOn = !m_lightOn;
            break;
        case 0xC8:
        case 0xC9:
        case 0xCA:
            m_colorBalance = report[0] - 0xC8;
            break;
        case 0xCF:
            if (report[1] == 0x02)
                m_lensPosition = lensPositionOf(report);
            break;
        case HIDReportDeviceSerialNumber:
            answers.push_back(wideTextReport(HIDReportDeviceSerialNumber, m_identity.deviceSerialNumber));
            break;
        case HIDReportBoardSerialNumber:
            answers.push_back(wideTextReport(HIDReportBoardSerialNumber, m_identity.boardSerialNumber));
            break;
        case HIDReportDeviceFirmwareVersion:
            answers.push_back(narrowTextReport(HIDReportDeviceFirmwareVersion, m_identity.deviceFirmwareVersion));
            break;
        case HIDReportBootFirmwareVersion:
            answers.push_back(narrowTextReport(HIDReportBootFirmwareVersion, m_identity.bootFirmwareVersion));
            break;
        default: // the other commands change nothing the host can see
            break;
        }
        if (m_lightOn != wasLightOn) {
            Report light{};
            light[0] = m_lightOn ? HIDReportLightOn : HIDReportLightOff;
            answers.push_back(light);
        }
        auto lightObserver = m_lightObserver;
        auto frozenObserver = m_frozenObserver;
        auto lensObserver = m_lensObserver;
        auto receivedObserver = m_receivedObserver;
        const bool lightOn = m_lightOn, frozen = m_frozen;
        const std::uint16_t lens = m_lensPosition;
        notify = [=] {
            if (lightOn != wasLightOn && lightObserver)
                lightObserver(lightOn);
            if (frozen != wasFrozen && frozenObserver)
                frozenObserver(frozen);
            if (lens != oldLens && lensObserver)
                lensObserver(lens);
            if (receivedObserver)
                receivedObserver(report);
        };
    }
    m_received.notify_all();
    notify();
    for (const Report &answer : answers)
        deliver(answer);
}

std::vector<QuadrelSimulator::ReceivedReport> QuadrelSimulator::receivedReports() const
{
    std::lock_guard lock(m_mutex);
    return m_receivedReports;
}

void QuadrelSimulator::clearReceivedReports()
{
    std::lock_guard lock(m_mutex);
    m_receivedReports.clear();
}

bool QuadrelSimulator::waitForReceivedCount(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_received.wait_for(lock, timeout, [&] { return m_receivedReports.size() >= count; });
}

bool QuadrelSimulator::isPoweredUp() const
{
    std::lock_guard lock(m_mutex);
    return m_poweredUp;
}

bool QuadrelSimulator::lightIsOn() const
{
    std::lock_guard lock(m_mutex);
    return m_lightOn;
}

bool QuadrelSimulator::isFrozen() const
{
    std::lock_guard lock(m_mutex);
    return m_frozen;
}

std::uint16_t QuadrelSimulator::lensPosition() const
{
    std::lock_guard lock(m_mutex);
    return m_lensPosition;
}

int QuadrelSimulator::zoomStep() const
{
    const int lens = lensPosition();
    int best = 1;
    for (int step = 1; step <= 8; ++step) {
        if (std::abs(kZoomLensPositions[step - 1] - lens) < std::abs(kZoomLensPositions[best - 1] - lens))
            best = step;
    }
    return best;
}

int QuadrelSimulator::colorBalance() const
{
    std::lock_guard lock(m_mutex);
    return m_colorBalance;
}

QuadrelIdentity QuadrelSimulator::identity() const
{
    std::lock_guard lock(m_mutex);
    return m_identity;
}

void QuadrelSimulator::setIdentity(const QuadrelIdentity &identity)
{
    std::lock_guard lock(m_mutex);
    m_identity = identity;
}

void QuadrelSimulator::setLensPositionObserver(std::function<void(std::uint16_t)> observer)
{
    std::lock_guard lock(m_mutex);
    m_lensObserver = std::move(observer);
}

void QuadrelSimulator::setFrozenObserver(std::function<void(bool)> observer)
{
    std::lock_guard lock(m_mutex);
    m_frozenObserver = std::move(observer);
}

void QuadrelSimulator::setLightObserver(std::function<void(bool)> observer)
{
    std::lock_guard lock(m_mutex);
    m_lightObserver = std::move(observer);
}

void QuadrelSimulator::setReceivedReportObserver(std::function<void(const Report &)> observer)
{
    std::lock_guard lock(m_mutex);
    m_receivedObserver = std::move(observer);
}

void QuadrelSimulator::sendReport(const Report &report)
{
    deliver(report);
}

void QuadrelSimulator::sendCode(std::uint8_t code)
{
    Report report{};
    report[0] = code;
    deliver(report);
}

void QuadrelSimulator::setHeadPosition(int position)
{
    sendCode(static_cast<std::uint8_t>(HIDReportPositionDocument + std::clamp(position, 0, 2)));
}

void QuadrelSimulator::setLight(bool on)
{
    std::function<void(bool)> observer;
    {
        std::lock_guard lock(m_mutex);
        if (m_lightOn != on)
            observer = m_lightObserver;
        m_lightOn = on;
    }
    if (observer)
        observer(on);
    sendCode(on ? HIDReportLightOn : HIDReportLightOff);
}

void QuadrelSimulator::reportBatteryLevel(int level)
{
    // 3 → A0, 2 → A1, 1 → A2.
    sendCode(static_cast<std::uint8_t>(HIDReportBatteryLevel3 + 3 - std::clamp(level, 1, 3)));
}

void QuadrelSimulator::reportACPower()
{
    sendCode(HIDReportACPower);
}

void QuadrelSimulator::runScript(std::vector<ScriptStep> steps)
{
    stopScript();
    {
        std::lock_guard lock(m_scriptMutex);
        m_scriptStop = false;
    }
    m_script = std::thread([this, steps = std::move(steps)] {
        for (const ScriptStep &step : steps) {
            std::unique_lock lock(m_scriptMutex);
            if (m_scriptWake.wait_for(lock, std::chrono::milliseconds(step.delayMs), [this] { return m_scriptStop; }))
                return;
            lock.unlock();
            deliver(step.report);
        }
    });
}

void QuadrelSimulator::stopScript()
{
    {
        std::lock_guard lock(m_scriptMutex);
        m_scriptStop = true;
    }
    m_scriptWake.notify_all();
    if (m_script.joinable())
        m_script.join();
}

bool QuadrelSimulator::parseScript(const std::string &text, std::vector<ScriptStep> &steps)
{
    std::vector<ScriptStep> parsed;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::istringstream words(line);
        ScriptStep step;
        if (!(words >> step.delayMs) || step.delayMs < 0)
            return false;
        std::string byte;
        std::size_t index = 0;
        while (words >> byte) {
            if (index >= kReportSize || byte.size() > 2)
                return false;
            char *end = nullptr;
            const unsigned long value = std::strtoul(byte.c_str(), &end, 16);
            if (*end != '\0')
                return false;
            step.report[index++] = static_cast<std::uint8_t>(value);
        }
        if (index == 0)
            return false;
        parsed.push_back(step);
    }
    steps = std::move(parsed);
    return true;
}

Report QuadrelSimulator::wideTextReport(std::uint8_t code, const std::string &text)
{
    Report report{};
    report[0] = code;
    for (std::size_t i = 0; i < text.size() && i < 31; ++i)
        report[2 + 2 * i] = static_cast<std::uint8_t>(text[i]);
    return report;
}

Report QuadrelSimulator::narrowTextReport(std::uint8_t code, const std::string &text)
{
    Report report{};
    report[0] = code;
    for (std::size_t i = 0; i < text.size() && i < kReportSize - 2; ++i)
        report[2 + i] = static_cast<std::uint8_t>(text[i]);
    return report;
}

} // namespace kelvo::device::sim
