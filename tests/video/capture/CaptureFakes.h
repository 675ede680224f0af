#pragma once

// Scripted stand-ins for the capture backend, the viewer controller and the
// main-thread timers, so the device decisions run without a camera and the
// 6.0 s and 0.2 s delays run without waiting.

#include "video/CaptureBackend.h"
#include "video/CaptureHost.h"
#include "video/CaptureScheduler.h"
#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kelvo::video::testing {

inline CaptureDevice makeDevice(std::string id, std::string model, std::uint32_t transport,
                                CaptureMediaType type = CaptureMediaType::Video)
{
    CaptureDevice d;
    d.uniqueID = std::move(id);
    d.modelID = std::move(model);
    d.localizedName = QString::fromStdString(d.uniqueID + " name");
    d.transportType = transport;
    d.hasVideo = type == CaptureMediaType::Video;
    d.hasAudio = type == CaptureMediaType::Audio;
    d.hasMuxed = type == CaptureMediaType::Muxed;
    return d;
}

inline CaptureDevice quadrelCamera()
{
    return makeDevice("quadrel", kQuadrelModelID, kTransportTypeUSB);
}
inline CaptureDevice builtInCamera()
{
    return makeDevice("facetime", "Integrated Webcam", kTransportTypeBuiltIn);
}
inline CaptureDevice usbWebcam()
{
    return makeDevice("webcam", "UVC Camera VendorID_1133 ProductID_2085", kTransportTypeUSB);
}
inline CaptureDevice builtInMicrophone()
{
    return makeDevice("mic", "Built-in Microphone", kTransportTypeBuiltIn, CaptureMediaType::Audio);
}
inline CaptureDevice quadrelMicrophone()
{
    return makeDevice("quadrel-mic", "Quadrel Audio", kTransportTypeUSB, CaptureMediaType::Audio);
}
inline CaptureDevice builtInTapeDeck()
{
    return makeDevice("dv", "DV Deck", kTransportTypeBuiltIn, CaptureMediaType::Muxed);
}

class FakeCaptureBackend final : public CaptureBackend {
public:
    std::vector<CaptureDevice> videoList, audioList, muxedList;
    std::optional<CaptureDevice> defaultAudio;
    std::set<std::string> unopenable;
    CaptureNotificationCenter center;
    CaptureSessionId session = kAnySession;
    int sessionsCreated = 0;
    int configurationDepth = 0;
    std::optional<CaptureDevice> videoInput, audioInput;
    bool outputs = false;
    bool running = false;
    FrameHandler frameHandler;
    QSize dimensions{1280, 720};
    double volume = 1.0;

    void plug(const CaptureDevice &d)
    {
        listFor(d).push_back(d);
        center.post({CaptureNotification::DeviceWasConnected, kAnySession, {}});
    }
    void unplug(const CaptureDevice &d)
    {
        std::erase_if(listFor(d), [&](const CaptureDevice &x) { return x.sameDevice(d); });
        if (defaultAudio && defaultAudio->sameDevice(d))
            defaultAudio.reset();
        center.post({CaptureNotification::DeviceWasDisconnected, kAnySession, {}});
    }
    std::vector<CaptureDevice> &listFor(const CaptureDevice &d)
    {
        return d.hasMuxed ? muxedList : d.hasAudio ? audioList : videoList;
    }

    std::vector<CaptureDevice> devices(CaptureMediaType type) const override
    {
        return type == CaptureMediaType::Video ? videoList : type == CaptureMediaType::Audio ? audioList : muxedList;
    }
    std::optional<CaptureDevice> defaultAudioDevice() const override { return defaultAudio; }
    CaptureNotificationCenter &notificationCenter() override { return center; }
    CaptureSessionId createSession() override
    {
        running = false;
        outputs = false;
        videoInput.reset();
        audioInput.reset();
        ++sessionsCreated;
        return session = CaptureSessionId(100 + sessionsCreated);
    }
    CaptureSessionId currentSession() const override { return session; }
    void beginConfiguration() override { ++configurationDepth; }
    void commitConfiguration() override { --configurationDepth; }
    bool setVideoInput(const CaptureDevice *d, QString *error) override { return setInput(videoInput, d, error); }
    bool setAudioInput(const CaptureDevice *d, QString *error) override { return setInput(audioInput, d, error); }
    void addOutputs(FrameHandler handler) override
    {
        outputs = true;
        frameHandler = std::move(handler);
    }
    void removeOutputs() override
    {
        outputs = false;
        frameHandler = nullptr;
    }
    void startRunning() override { running = true; }
    void stopRunning() override
    {
        if (running)
            center.post({CaptureNotification::DidStopRunning, session, {}});
        running = false;
    }
    bool isRunning() const override { return running; }
    double gain = 1.0;
    double audioGain() const override { return gain; }
    void setAudioGain(double g) override { gain = g; }
    double previewVolume() const override { return volume; }
    void setPreviewVolume(double v) override { volume = v; }
    std::vector<float> audioChannelPowerLevels() const override { return {}; }
    QSize activeVideoDimensions() const override { return videoInput ? dimensions : QSize(); }
    bool videoWanted = true;
    void setVideoFramesWanted(bool wanted) override { videoWanted = wanted; }

    // A movie is a file holding its path; the test ends it with finishMovie.
    std::optional<QString> moviePath;
    MovieFinished movieFinished;
    int movieOrientation = 0;
    bool movieStopAsked = false;
    bool startRecording(const QString &path, int orientation, MovieFinished finished, QString *error) override
    {
        if (moviePath || !running) {
            if (error)
                *error = QStringLiteral("not running");
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(path.toUtf8()) < 0)
            return false;
        moviePath = path;
        movieFinished = std::move(finished);
        movieOrientation = orientation;
        movieStopAsked = false;
        return true;
    }
    void stopRecording() override { movieStopAsked = moviePath.has_value(); }
    bool isRecording() const override { return moviePath.has_value(); }
    void finishMovie(const MovieOutcome &outcome = {})
    {
        const QString path = *std::exchange(moviePath, std::nullopt);
        std::exchange(movieFinished, nullptr)(path, outcome);
    }

private:
    bool setInput(std::optional<CaptureDevice> &slot, const CaptureDevice *d, QString *error)
    {
        EXPECT_GT(configurationDepth, 0) << "inputs change only inside a configuration";
        slot.reset();
        if (!d)
            return true;
        if (unopenable.count(d->uniqueID)) {
            if (error)
                *error = "cannot open " + QString::fromStdString(d->uniqueID);
            return false;
        }
        slot = *d;
        return true;
    }
};

class RecordingHost : public CaptureHost {
public:
    std::vector<std::string> calls;
    int orientation = 1;
    QRectF viewBounds{0, 0, 640, 360};
    std::vector<QString> errors;
    bool deinterlaceItemEnabled = false;
    bool deinterlaceItemChecked = false;
    int framesProcessed = 0;

    int count(const std::string &name) const { return int(std::count(calls.begin(), calls.end(), name)); }

    void resetDeviceInfo() override { calls.push_back("resetDeviceInfo"); }
    void doHIDRescan() override { calls.push_back("doHIDRescan"); }
    void terminateAllUSBThreads() override { calls.push_back("terminateAllUSBThreads"); }
    void resetStuckVideoDevice() override { calls.push_back("resetStuckVideoDevice"); }
    int videoOrientation() const override { return orientation; }
    void setVideoOrientation(int o) override
    {
        orientation = o;
        calls.push_back("setVideoOrientation");
    }
    void setQuadrelPhysicalOrientation(int p) override
    {
        calls.push_back("setQuadrelPhysicalOrientation:" + std::to_string(p));
    }
    void hideBatteryLevelIndicator() override { calls.push_back("hideBatteryLevelIndicator"); }
    void loadPreferences() override { calls.push_back("loadPreferences"); }
    void savePreferences() override { calls.push_back("savePreferences"); }
    void setImageFilters() override { calls.push_back("setImageFilters"); }
    void setWindowAspectRatio() override { calls.push_back("setWindowAspectRatio"); }
    void updateCameraMenu() override { calls.push_back("updateCameraMenu"); }
    void updateAudioInputMenu() override { calls.push_back("updateAudioInputMenu"); }
    void updateColorModeMenus() override { calls.push_back("updateColorModeMenus"); }
    void updateDeinterlaceMenuItem(bool enabled, bool checked) override
    {
        deinterlaceItemEnabled = enabled;
        deinterlaceItemChecked = checked;
    }
    QRectF previewViewBounds() const override { return viewBounds; }
    void showReadingGuideOverlay() override { calls.push_back("showReadingGuideOverlay"); }
    void clearFreezeFrameView() override { calls.push_back("clearFreezeFrameView"); }
    void presentError(const QString &message) override { errors.push_back(message); }
    void updateAudioLevels() override { calls.push_back("updateAudioLevels"); }
    void stopRecordingIfRecording() override { calls.push_back("stopRecordingIfRecording"); }
    void processCapturedFrame(const VideoFrame &) override { ++framesProcessed; }
};

// Timers on a simulated clock that only moves when the test advances it.
class ManualScheduler final : public CaptureScheduler {
public:
    std::int64_t nowMs = 0;

    TimerId scheduleOnce(std::chrono::milliseconds delay, std::function<void()> action) override
    {
        return add(delay.count(), 0, std::move(action));
    }
    TimerId scheduleRepeating(std::chrono::milliseconds interval, std::function<void()> action) override
    {
        return add(interval.count(), interval.count(), std::move(action));
    }
    void cancel(TimerId timer) override { m_timers.erase(timer); }

    // Runs every timer that falls due up to now + ms, in time order.
    void advance(std::int64_t ms)
    {
        const std::int64_t end = nowMs + ms;
        for (;;) {
            auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                         [](auto &a, auto &b) { return a.second.due < b.second.due; });
            if (next == m_timers.end() || next->second.due > end)
                break;
            nowMs = next->second.due;
            std::function<void()> action = next->second.action;
            if (next->second.interval > 0)
                next->second.due += next->second.interval;
            else
                m_timers.erase(next);
            action();
        }
        nowMs = end;
    }
    int repeatingCount() const
    {
        return int(std::count_if(m_timers.begin(), m_timers.end(), [](auto &t) { return t.second.interval > 0; }));
    }
    int pendingCount() const { return int(m_timers.size()); }

private:
    struct Timer {
        std::int64_t due;
        std::int64_t interval;
        std::function<void()> action;
    };
    TimerId add(std::int64_t delay, std::int64_t interval, std::function<void()> action)
    {
        const TimerId id = m_next++;
        m_timers[id] = {nowMs + delay, interval, std::move(action)};
        return id;
    }
    std::map<TimerId, Timer> m_timers;
    TimerId m_next = 1;
};

} // namespace kelvo::video::testing
