#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>

#include "device/DiagnosticSink.h"
#include "device/OSDKeyReceiver.h"
#include "device/ViewerActions.h"

namespace kelvo::device::test {

// Runs the main thread's event loop until the predicate holds or the time is
// up; answers the predicate.
inline bool pumpUntil(const std::function<bool()> &predicate,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline void pumpFor(std::chrono::milliseconds duration)
{
    pumpUntil([] { return false; }, duration);
}

// Records every call of the decoder as one text, e.g. "zoomCameraIn" or
// "setQuadrelPhysicalOrientation 2" or "handleButton aa", with the thread it
// came on.
class RecordingViewer : public ViewerActions, public DiagnosticSink, public OSDKeyReceiver {
public:
    bool osdVisible = false;
    bool scrollsGuides = false;
    bool changesSpacing = false;
    bool hasDiagnosticWindow = true;
    long windowNumber = 77;
    std::function<void(const std::string &)> onCall;

    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }
    std::vector<SyntheticKeyEvent> keys() const
    {
        std::lock_guard lock(m_mutex);
        return m_keys;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
        m_threads.clear();
        m_keys.clear();
    }

    void freezeFrame() override { record("freezeFrame"); }
    void unfreezeFrame() override { record("unfreezeFrame"); }
    void rotateWindowUIAction() override { record("rotateWindowUIAction"); }
    void nextColorMode() override { record("nextColorMode"); }
    void findZoomPositionEnter() override { record("findZoomPositionEnter"); }
    void findZoomPositionExit() override { record("findZoomPositionExit"); }
    void zoomCameraIn() override { record("zoomCameraIn"); }
    void zoomCameraOut() override { record("zoomCameraOut"); }
    void increaseLineSeparation() override { record("increaseLineSeparation"); }
    void decreaseLineSeparation() override { record("decreaseLineSeparation"); }
    void scrollUpwards() override { record("scrollUpwards"); }
    void scrollDownwards() override { record("scrollDownwards"); }
    void setQuadrelPhysicalOrientation(long o) override
    {
        record("setQuadrelPhysicalOrientation " + std::to_string(o));
    }
    void setChosenPreferredColorMode(long i) override { record("setChosenPreferredColorMode " + std::to_string(i)); }
    void factoryReset() override { record("factoryReset"); }
    void setLightIsOn(bool on) override { record(on ? "setLightIsOn 1" : "setLightIsOn 0"); }
    void setBatteryLevel(long level) override { record("setBatteryLevel " + std::to_string(level)); }
    void showBatteryLevelIndicator() override { record("showBatteryLevelIndicator"); }
    void hideBatteryLevelIndicator() override { record("hideBatteryLevelIndicator"); }
    void checkForUpdates() override { record("checkForUpdates"); }
    void showHideOnScreenDisplay() override { record("showHideOnScreenDisplay"); }
    void hideOnScreenDisplay() override { record("hideOnScreenDisplay"); }
    bool OSDIsVisible() const override { return osdVisible; }
    bool zoomScrollsGuides() const override { return scrollsGuides; }
    bool zoomChangesGuideSpacing() const override { return changesSpacing; }
    DiagnosticSink *diagnosticWindow() override { return hasDiagnosticWindow ? this : nullptr; }
    OSDKeyReceiver *OSDTableView() override { return this; }
    long videoWindowNumber() const override { return windowNumber; }

    void handleButton(long code) override
    {
        char text[32];
        std::snprintf(text, sizeof text, "handleButton %lx", code);
        record(text);
    }
    void keyDown(const SyntheticKeyEvent &event) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_keys.push_back(event);
        }
        record("keyDown " + std::to_string(event.keyCode));
    }

private:
    void record(const std::string &call)
    {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(call);
            m_threads.push_back(std::this_thread::get_id());
        }
        if (onCall)
            onCall(call);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<std::thread::id> m_threads;
    std::vector<SyntheticKeyEvent> m_keys;
};

class RecordingApplication : public ApplicationActions {
public:
    std::vector<std::string> calls;
    void startBatteryTimer() override { calls.push_back("startBatteryTimer"); }
    void stopBatteryTimer() override { calls.push_back("stopBatteryTimer"); }
};

} // namespace kelvo::device::test
