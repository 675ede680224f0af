#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/ReportProtocol.h"

namespace kelvo::device::sim {

// What the simulated camera answers to the identity requests.
struct QuadrelIdentity {
    std::string deviceSerialNumber = "QDL-SIM-0001";
    std::string boardSerialNumber = "QBRD-SIM-0001";
    std::string deviceFirmwareVersion = "2.1.7";
    std::string bootFirmwareVersion = "1.0.3";
};

// One step of a scripted session: after delayMs, the camera sends report.
struct ScriptStep {
    int delayMs = 0;
    Report report{};
};

// The camera's side of the report protocol: it takes the host's command
// reports, keeps the state they set (power, light, lens position and zoom
// step, freeze, colour balance), answers the identity requests with its
// identity reports, and sends button, head-position, light, battery and AC
// reports on demand or from a script.
// Thread: every operation from any thread. Reports the camera sends go to the
// report sink, called without the simulator's lock held; observers likewise.
class QuadrelSimulator {
public:
    using ReportSink = std::function<void(const Report &)>;

    struct ReceivedReport {
        Report report;
        std::chrono::steady_clock::time_point at;
    };

    explicit QuadrelSimulator(QuadrelIdentity identity = {});
    ~QuadrelSimulator();
    QuadrelSimulator(const QuadrelSimulator &) = delete;
    QuadrelSimulator &operator=(const QuadrelSimulator &) = delete;

    // Where the camera's reports go: the transport that carries them to the
    // host. Reports sent while none is set are dropped.
    void setReportSink(ReportSink sink);

    // ---- Host to camera ----------------------------------------------------
    // Handles one command report from the host.
    void receiveHostReport(const Report &report);
    // Every report received so far, with its arrival time.
    std::vector<ReceivedReport> receivedReports() const;
    void clearReceivedReports();
    // Waits until at least count reports have been received; false on timeout.
    bool waitForReceivedCount(std::size_t count, std::chrono::milliseconds timeout) const;

    // ---- State ---------------------------------------------------------------
    bool isPoweredUp() const;
    bool lightIsOn() const;
    bool isFrozen() const;
    std::uint16_t lensPosition() const;
    // The zoom step 1..8 whose lens position is nearest the current one.
    int zoomStep() const;
    // 0 normal, 1 cool, 2 warm.
    int colorBalance() const;
    QuadrelIdentity identity() const;
    void setIdentity(const QuadrelIdentity &identity);

    // Observers: the simulated video source follows the lens and freeze.
    void setLensPositionObserver(std::function<void(std::uint16_t)> observer);
    void setFrozenObserver(std::function<void(bool)> observer);
    void setLightObserver(std::function<void(bool)> observer);
    // Sees every report the host sends, after the camera has acted on it.
    void setReceivedReportObserver(std::function<void(const Report &)> observer);

    // ---- Camera to host ------------------------------------------------------
    void sendReport(const Report &report);
    // A report that carries only a code (buttons, positions, power, battery).
    void sendCode(std::uint8_t code);
    // 0 document, 1 far, 2 self.
    void setHeadPosition(int position);
    // The light's own button: changes the state and reports it.
    void setLight(bool on);
    // 3 (full), 2 or 1.
    void reportBatteryLevel(int level);
    void reportACPower();

    // Runs a script on a thread of its own; a running script is stopped first.
    void runScript(std::vector<ScriptStep> steps);
    void stopScript();
    // Parses a script: one step per line, "<delay ms> <hex bytes>", e.g.
    // "250 86" or "0 99 00 51 00". Blank lines and lines starting with '#'
    // are skipped. Returns false (and no steps) on a malformed line.
    static bool parseScript(const std::string &text, std::vector<ScriptStep> &steps);

    // The identity reports the camera sends.
    static Report wideTextReport(std::uint8_t code, const std::string &text);
    static Report narrowTextReport(std::uint8_t code, const std::string &text);

private:
    void deliver(const Report &report);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_received;
    QuadrelIdentity m_identity;                        // guarded by m_mutex
    std::vector<ReceivedReport> m_receivedReports;     // guarded by m_mutex
    bool m_poweredUp = false;                          // guarded by m_mutex
    bool m_lightOn = false;                            // guarded by m_mutex
    bool m_frozen = false;                             // guarded by m_mutex
    std::uint16_t m_lensPosition = 0;                  // guarded by m_mutex
    int m_colorBalance = 0;                            // guarded by m_mutex
    ReportSink m_sink;                                 // guarded by m_mutex
    std::function<void(std::uint16_t)> m_lensObserver; // guarded by m_mutex
    std::function<void(bool)> m_frozenObserver;        // guarded by m_mutex
    std::function<void(bool)> m_lightObserver;         // guarded by m_mutex

    std::function<void(const Report &)> m_receivedObserver; // guarded by m_mutex

    std::mutex m_scriptMutex;
    std::condition_variable m_scriptWake;
    bool m_scriptStop = false; // guarded by m_scriptMutex
    std::thread m_script;
};

} // namespace kelvo::device::sim
