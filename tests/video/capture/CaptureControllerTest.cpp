#include "CaptureFakes.h"

#include "common/SystemLog.h"
#include "video/CaptureController.h"

#include <gtest/gtest.h>

namespace kelvo::video {
namespace {

using namespace testing;

class CaptureControllerTest : public ::testing::Test {
protected:
    FakeCaptureBackend backend;
    RecordingHost host;
    ManualScheduler scheduler;
    std::unique_ptr<CaptureController> controller;
    ScopedLogCapture log;

    void start(std::vector<CaptureDevice> video, std::vector<CaptureDevice> audio,
               std::vector<CaptureDevice> muxed = {})
    {
        backend.videoList = std::move(video);
        backend.audioList = std::move(audio);
        backend.muxedList = std::move(muxed);
        if (!backend.audioList.empty())
            backend.defaultAudio = backend.audioList.front();
        controller = std::make_unique<CaptureController>(backend, host, scheduler);
        controller->initializeVideoCapture();
        controller->refreshDevices();
        host.calls.clear();
        log.clear();
    }
    std::string selectedVideo() const
    {
        return controller->selectedVideoDevice() ? controller->selectedVideoDevice()->uniqueID : "none";
    }
    std::string selectedAudio() const
    {
        return controller->selectedAudioDevice() ? controller->selectedAudioDevice()->uniqueID : "none";
    }
    VideoFrame frame() const
    {
        static const std::uint8_t pixels[4] = {128, 16, 128, 235};
        VideoFrame f;
        f.width = 2;
        f.height = 1;
        f.planes[0] = pixels;
        f.strides[0] = 4;
        return f;
    }
};

struct StartCase {
    const char *name;
    std::vector<CaptureDevice> video, audio, muxed;
    const char *expectedVideo;
    const char *expectedAudio;
    bool deviceLinkStarted;
};

TEST_F(CaptureControllerTest, StartUpChoosesQuadrelThenBuiltInThenMuxed)
{
    const StartCase cases[] = {
        {"quadrel and built-in", {builtInCamera(), quadrelCamera()}, {builtInMicrophone()}, {}, "quadrel", "mic", true},
        {"only built-in", {usbWebcam(), builtInCamera()}, {builtInMicrophone()}, {}, "facetime", "mic", false},
        {"nothing", {}, {builtInMicrophone()}, {}, "none", "none", false},
        {"only a USB webcam", {usbWebcam()}, {builtInMicrophone()}, {}, "none", "none", false},
        {"built-in muxed deck", {}, {builtInMicrophone()}, {builtInTapeDeck()}, "dv", "none", false},
    };
    for (const StartCase &c : cases) {
        SCOPED_TRACE(c.name);
        backend = FakeCaptureBackend();
        host = RecordingHost();
        backend.videoList = c.video;
        backend.audioList = c.audio;
        backend.muxedList = c.muxed;
        backend.defaultAudio = c.audio.front();
        CaptureController capture(backend, host, scheduler);
        log.clear();
        capture.initializeVideoCapture();

        EXPECT_TRUE(capture.isRunning());
        EXPECT_TRUE(backend.running);
        EXPECT_EQ(capture.selectedVideoDevice() ? capture.selectedVideoDevice()->uniqueID : "none", c.expectedVideo);
        EXPECT_EQ(capture.selectedAudioDevice() ? capture.selectedAudioDevice()->uniqueID : "none", c.expectedAudio);
        EXPECT_EQ(backend.videoInput ? backend.videoInput->uniqueID : "none", c.expectedVideo);
        EXPECT_EQ(backend.audioInput ? backend.audioInput->uniqueID : "none", c.expectedAudio);
        EXPECT_EQ(capture.isRecordMenuItemEnabled(), std::string(c.expectedVideo) != "none");
        EXPECT_EQ(host.count("doHIDRescan"), c.deviceLinkStarted ? 1 : 0);
        EXPECT_EQ(capture.enableDeinterlaceMenuItem(), c.deviceLinkStarted);
        EXPECT_EQ(host.deinterlaceItemEnabled, c.deviceLinkStarted);
        EXPECT_FALSE(capture.enableDeinterlacing());
        if (!c.deviceLinkStarted) {
            EXPECT_GE(host.count("terminateAllUSBThreads"), 1);
            EXPECT_GE(host.count("setQuadrelPhysicalOrientation:0"), 1);
            EXPECT_GE(host.count("hideBatteryLevelIndicator"), 1);
            EXPECT_GE(log.count("Terminating HID threads!\n"), 1);
        }
        EXPECT_EQ(scheduler.repeatingCount(), 1);
        EXPECT_EQ(backend.center.observerCount(), 6);
        EXPECT_TRUE(backend.outputs);
        ASSERT_NE(capture.previewLayer(), nullptr);
        EXPECT_TRUE(capture.previewLayer()->isInLayerTree());
        EXPECT_EQ(capture.previewLayer()->frame(), host.viewBounds);
        EXPECT_EQ(host.calls.front(), "resetDeviceInfo");
        EXPECT_EQ(host.calls.back(), "setImageFilters");
        capture.windowWillClose();
    }
}

TEST_F(CaptureControllerTest, InitializeWhileRunningDoesNothing)
{
    start({quadrelCamera()}, {builtInMicrophone()});
    controller->initializeVideoCapture();
    EXPECT_EQ(backend.sessionsCreated, 1);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(CaptureControllerTest, DeviceLookupsWriteTheirLogLines)
{
    start({}, {});
    backend.videoList = {usbWebcam(), builtInCamera()};
    backend.audioList = {quadrelMicrophone()};

    log.clear();
    EXPECT_FALSE(controller->deviceWithModelID(kQuadrelModelID));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Device List:\n\n", "    Device: \"UVC Camera VendorID_1133 ProductID_2085\"\n",
                                        "    Device: \"Integrated Webcam\"\n", "    Device: \"Quadrel Audio\"\n",
                                        "\nEnd Device List:\n", "WARNING: No Quadrel found\n"}));

    log.clear();
    auto builtIn = controller->defaultDeviceWithMediaType(CaptureMediaType::Video);
    ASSERT_TRUE(builtIn);
    EXPECT_EQ(builtIn->uniqueID, "facetime");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"LOCNAME: webcam name MID: UVC Camera VendorID_1133 "
                                                     "ProductID_2085 CONN " +
                                                     std::to_string(0x75736220) + "\n"}));

    // Built-in is recognised by transport 'pci ' or 'bltn', or by the Apple model name.
    backend.videoList = {makeDevice("a", "Apple Camera VendorID_1452", kTransportTypeUSB),
                         makeDevice("b", "x", kTransportTypePCI)};
    EXPECT_EQ(controller->defaultDeviceWithMediaType(CaptureMediaType::Video)->uniqueID, "a");
    backend.videoList = {makeDevice("v", "x", kTransportTypeVirtual), makeDevice("b", "x", kTransportTypePCI)};
    EXPECT_EQ(controller->defaultDeviceWithMediaType(CaptureMediaType::Video)->uniqueID, "b");

    // A microphone carrying the camera's model identifier is not a video device.
    CaptureDevice mic = quadrelMicrophone();
    mic.modelID = kQuadrelModelID;
    backend.videoList = {};
    backend.audioList = {mic};
    EXPECT_FALSE(controller->deviceWithModelID(kQuadrelModelID));
}

TEST_F(CaptureControllerTest, PluggingTheQuadrelRefreshesMenusAtOnceAndSwitchesSixSecondsLater)
{
    start({builtInCamera()}, {builtInMicrophone()});
    ASSERT_EQ(selectedVideo(), "facetime");

    backend.plug(quadrelCamera());
    backend.plug(quadrelMicrophone()); // the camera's microphone arrives as a second notification
    EXPECT_EQ(host.count("updateCameraMenu"), 2);
    EXPECT_EQ(host.count("updateAudioInputMenu"), 2);
    EXPECT_EQ(host.count("resetDeviceInfo"), 2);
    EXPECT_EQ(controller->videoDevices().size(), 2u);
    EXPECT_EQ(selectedVideo(), "facetime");
    EXPECT_EQ(host.count("doHIDRescan"), 0);

    scheduler.advance(5999);
    EXPECT_EQ(selectedVideo(), "facetime");
    scheduler.advance(1);
    EXPECT_EQ(selectedVideo(), "quadrel");
    EXPECT_EQ(selectedAudio(), "mic");
    EXPECT_EQ(host.count("doHIDRescan"), 1) << "one switch for both notifications";
    EXPECT_TRUE(controller->enableDeinterlaceMenuItem());
    scheduler.advance(60000);
    EXPECT_EQ(host.count("doHIDRescan"), 1);
}

TEST_F(CaptureControllerTest, DelayedSwitchChecksAgainWhenItFires)
{
    start({builtInCamera()}, {builtInMicrophone()});
    backend.plug(quadrelCamera());
    backend.videoList = {builtInCamera()}; // gone again before the delay ends, without a notification yet
    scheduler.advance(6000);
    EXPECT_EQ(selectedVideo(), "facetime");
    EXPECT_EQ(host.count("doHIDRescan"), 0);

    // After the graph is dismantled the delayed switch does nothing.
    backend.plug(quadrelCamera());
    controller->cleanupVideoCapture();
    host.calls.clear();
    scheduler.advance(6000);
    EXPECT_EQ(selectedVideo(), "none");
    EXPECT_EQ(host.count("doHIDRescan"), 0);
}

TEST_F(CaptureControllerTest, UnpluggingTheShownQuadrelFallsBackToTheBuiltInCamera)
{
    start({quadrelCamera(), builtInCamera()}, {quadrelMicrophone(), builtInMicrophone()});
    ASSERT_EQ(selectedVideo(), "quadrel");
    ASSERT_EQ(selectedAudio(), "quadrel-mic");
    backend.defaultAudio = builtInMicrophone();

    backend.unplug(quadrelCamera());
    EXPECT_EQ(selectedVideo(), "facetime");
    EXPECT_EQ(selectedAudio(), "quadrel-mic") << "the old microphone is still there";
    EXPECT_EQ(host.count("terminateAllUSBThreads"), 1);
    EXPECT_FALSE(controller->enableDeinterlaceMenuItem());

    backend.unplug(quadrelMicrophone());
    EXPECT_EQ(selectedVideo(), "facetime");
    EXPECT_EQ(selectedAudio(), "mic");
}

TEST_F(CaptureControllerTest, UnpluggingBothCameraAndMicrophoneSelectsBuiltInWithDefaultMicrophone)
{
    start({quadrelCamera(), builtInCamera()}, {quadrelMicrophone(), builtInMicrophone()});
    backend.videoList = {builtInCamera()};
    backend.audioList = {builtInMicrophone()};
    backend.defaultAudio = builtInMicrophone();
    backend.center.post({CaptureNotification::DeviceWasDisconnected, kAnySession, {}});
    EXPECT_EQ(selectedVideo(), "facetime");
    EXPECT_EQ(selectedAudio(), "mic");
    EXPECT_EQ(host.count("setWindowAspectRatio"), 1);
}

TEST_F(CaptureControllerTest, LastRowDeselectsWhenNothingUsableIsLeft)
{
    start({usbWebcam(), builtInCamera()}, {builtInMicrophone()});
    ASSERT_EQ(selectedVideo(), "facetime");
    backend.unplug(builtInCamera());
    backend.unplug(builtInMicrophone());
    EXPECT_EQ(selectedVideo(), "none");
    EXPECT_EQ(selectedAudio(), "none");
    EXPECT_FALSE(controller->isRecordMenuItemEnabled());
    EXPECT_TRUE(backend.running) << "the graph runs on without inputs";
}

TEST_F(CaptureControllerTest, UnrelatedNotificationKeepsTheShownBuiltInCamera)
{
    start({builtInCamera()}, {builtInMicrophone()});
    backend.plug(usbWebcam());
    backend.unplug(usbWebcam());
    EXPECT_EQ(selectedVideo(), "facetime");
    EXPECT_EQ(selectedAudio(), "mic");
    // A rebuild ends with a refresh too; it must not blank the new picture.
    controller->reinitAfterFailure();
    EXPECT_EQ(selectedVideo(), "facetime");
}

TEST_F(CaptureControllerTest, ReplugQuadrelWithNoOtherCameraIsTakenUpAgain)
{
    start({quadrelCamera()}, {builtInMicrophone()});
    backend.unplug(quadrelCamera());
    ASSERT_EQ(selectedVideo(), "none");
    backend.plug(quadrelCamera());
    scheduler.advance(6000);
    EXPECT_EQ(selectedVideo(), "quadrel");
    EXPECT_EQ(selectedAudio(), "mic");
}

TEST_F(CaptureControllerTest, RuntimeErrorRebuildsWithOneTimerAndOneObserverSet)
{
    start({quadrelCamera()}, {builtInMicrophone()});
    const CaptureSessionId lost = backend.session;

    backend.center.post({CaptureNotification::RuntimeError, lost, "Internal data stream error."});
    backend.center.post({CaptureNotification::RuntimeError, lost, "Could not read from resource."});
    EXPECT_EQ(log.count("The video stream was lost.  This could be caused by setting a debug breakpoint on HID "
                        "errors, by device removal, etc.\n"),
              2);
    EXPECT_TRUE(log.contains("Video stream lost: Internal data stream error.\n"));
    EXPECT_FALSE(controller->isRunning());
    EXPECT_FALSE(backend.running);
    EXPECT_EQ(selectedVideo(), "none");
    EXPECT_EQ(controller->previewLayer(), nullptr);
    EXPECT_EQ(host.count("clearFreezeFrameView"), 1) << "one cleanup for one failure";
    EXPECT_EQ(host.count("stopRecordingIfRecording"), 1);

    scheduler.advance(199);
    EXPECT_FALSE(controller->isRunning());
    scheduler.advance(1);
    EXPECT_TRUE(controller->isRunning());
    EXPECT_EQ(backend.sessionsCreated, 2);
    EXPECT_NE(backend.session, lost);
    EXPECT_EQ(selectedVideo(), "quadrel");
    EXPECT_EQ(host.count("resetStuckVideoDevice"), 1);
    EXPECT_EQ(scheduler.repeatingCount(), 1);
    EXPECT_EQ(backend.center.observerCount(), 6);
    EXPECT_EQ(controller->observerCount(), 6);
    const int levelsBefore = host.count("updateAudioLevels");
    scheduler.advance(1000);
    EXPECT_EQ(host.count("updateAudioLevels") - levelsBefore, 10);

    // The old session is gone; its late errors reach nobody.
    backend.center.post({CaptureNotification::RuntimeError, lost, "late"});
    EXPECT_TRUE(controller->isRunning());
    // Each new error leads to another rebuild.
    backend.center.post({CaptureNotification::RuntimeError, backend.session, "again"});
    scheduler.advance(200);
    EXPECT_TRUE(controller->isRunning());
    EXPECT_EQ(backend.sessionsCreated, 3);
    EXPECT_EQ(scheduler.repeatingCount(), 1);
    EXPECT_EQ(backend.center.observerCount(), 6);
}

TEST_F(CaptureControllerTest, SessionNotificationsReachTheirHandlers)
{
    start({builtInCamera()}, {builtInMicrophone()});
    backend.center.post({CaptureNotification::DidStartRunning, backend.session, {}});
    EXPECT_EQ(host.count("setWindowAspectRatio"), 1);
    backend.center.post({CaptureNotification::DidStopRunning, backend.session, {}});
    EXPECT_EQ(host.count("stopRecordingIfRecording"), 1);
    backend.center.post({CaptureNotification::DidStopRunning, backend.session + 1, {}});
    EXPECT_EQ(host.count("stopRecordingIfRecording"), 1) << "another session's stop is not ours";
}

TEST_F(CaptureControllerTest, WindowCloseStopsTimerAndObservers)
{
    start({quadrelCamera()}, {builtInMicrophone()});
    controller->windowWillClose();
    EXPECT_EQ(scheduler.repeatingCount(), 0);
    EXPECT_EQ(backend.center.observerCount(), 0);
    EXPECT_FALSE(controller->isRunning());
    EXPECT_EQ(selectedVideo(), "none");
    EXPECT_EQ(host.count("terminateAllUSBThreads"), 1);
    backend.plug(builtInCamera());
    EXPECT_EQ(selectedVideo(), "none") << "no observer left to react";
}

TEST_F(CaptureControllerTest, DeviceThatCannotBeOpenedIsReportedLater)
{
    backend.unopenable = {"facetime"};
    start({builtInCamera()}, {builtInMicrophone()});
    // start() cleared the calls; the error was scheduled during the build.
    EXPECT_EQ(selectedVideo(), "none");
    EXPECT_FALSE(controller->isRecordMenuItemEnabled());
    EXPECT_TRUE(host.errors.empty()) << "shown asynchronously, not inside the selection";
    scheduler.advance(0);
    ASSERT_GE(host.errors.size(), 1u);
    EXPECT_EQ(host.errors.front(), "cannot open facetime");
    EXPECT_TRUE(controller->isRunning());
}

TEST_F(CaptureControllerTest, MuxedVideoDeviceBringsItsOwnSound)
{
    start({}, {builtInMicrophone()}, {builtInTapeDeck()});
    EXPECT_EQ(selectedVideo(), "dv");
    EXPECT_TRUE(controller->selectedVideoDeviceProvidesAudio());
    controller->setSelectedAudioDevice(builtInMicrophone());
    EXPECT_EQ(selectedAudio(), "none");
    EXPECT_TRUE(controller->newlyConfigured());
}

TEST_F(CaptureControllerTest, DeinterlacingTakesThePreviewOutOfTheLayerTreeAndBack)
{
    start({quadrelCamera()}, {builtInMicrophone()});
    int drawn = 0;
    controller->setPreviewFrameSink([&](const VideoFrame &) { ++drawn; });
    CapturePreviewLayer *layer = controller->previewLayer();
    ASSERT_NE(layer, nullptr);

    controller->setEnableDeinterlacing(true);
    EXPECT_FALSE(layer->isInLayerTree());
    EXPECT_TRUE(host.deinterlaceItemChecked);
    EXPECT_EQ(host.count("savePreferences"), 1);
    controller->captureOutputDidOutputFrame(frame());
    EXPECT_EQ(drawn, 0) << "the freeze-frame view draws the live picture";
    EXPECT_EQ(host.framesProcessed, 1);

    host.viewBounds = QRectF(0, 0, 800, 450);
    controller->toggleEnableDeinterlacing();
    EXPECT_TRUE(layer->isInLayerTree());
    EXPECT_EQ(layer->frame(), host.viewBounds);
    EXPECT_EQ(layer->bounds(), QRectF(0, 0, 800, 450));
    EXPECT_FALSE(host.deinterlaceItemChecked);
    controller->captureOutputDidOutputFrame(frame());
    EXPECT_EQ(drawn, 1);

    // A rebuilt preview layer honours the switch too.
    controller->setEnableDeinterlacing(true);
    controller->configurePreviewLayer();
    EXPECT_FALSE(controller->previewLayer()->isInLayerTree());

    // Another camera withdraws the offer and switches deinterlacing off.
    controller->setSelectedVideoDevice(builtInCamera());
    EXPECT_FALSE(controller->enableDeinterlacing());
    EXPECT_FALSE(controller->enableDeinterlaceMenuItem());
    EXPECT_FALSE(host.deinterlaceItemEnabled);
    EXPECT_TRUE(controller->previewLayer()->isInLayerTree());
}

TEST_F(CaptureControllerTest, FrameHandlerFitsWindowOnceAndNudgesPreviewAfterASwitch)
{
    start({quadrelCamera()}, {builtInMicrophone()});
    std::vector<QRectF> geometry;
    controller->previewLayer()->setGeometryObserver([&](const QRectF &, const QRectF &b) { geometry.push_back(b); });
    ASSERT_TRUE(controller->newlyConfigured());
    ASSERT_TRUE(controller->previewNeedsResizeCheck());

    controller->captureOutputDidOutputFrame(frame());
    controller->captureOutputDidOutputFrame(frame());
    EXPECT_EQ(host.count("setWindowAspectRatio"), 1);
    EXPECT_EQ(geometry, (std::vector<QRectF>{QRectF(0, 0, 639, 360), QRectF(0, 0, 640, 360)}));
    EXPECT_EQ(host.framesProcessed, 2);

    // A frame without a picture (not video) stops after the window fit.
    controller->setSelectedAudioDevice(builtInMicrophone());
    controller->captureOutputDidOutputFrame(VideoFrame{});
    EXPECT_EQ(host.count("setWindowAspectRatio"), 2);
    EXPECT_EQ(host.framesProcessed, 2);
}

TEST_F(CaptureControllerTest, DimensionsSwapForQuarterTurns)
{
    start({builtInCamera()}, {builtInMicrophone()});
    struct Case {
        int orientation;
        bool withRotation;
        QSize expected;
    };
    const Case cases[] = {
        {1, true, {1280, 720}}, {2, true, {1280, 720}},  {3, true, {720, 1280}},
        {4, true, {720, 1280}}, {3, false, {1280, 720}}, {4, false, {1280, 720}},
    };
    for (const Case &c : cases) {
        host.orientation = c.orientation;
        EXPECT_EQ(controller->getVideoDimensionsWithRotation(c.withRotation), QRect(QPoint(0, 0), c.expected))
            << "orientation " << c.orientation << " rotation " << c.withRotation;
    }
    controller->setSelectedVideoDevice(std::nullopt);
    EXPECT_EQ(controller->getVideoDimensionsWithRotation(true), QRect(0, 0, 0, 0));
}

TEST_F(CaptureControllerTest, TransportControlsAnswerAsUnsupported)
{
    start({builtInCamera()}, {});
    EXPECT_FALSE(controller->transportControlsSupported());
    controller->setFastForwarding(true);
    EXPECT_FALSE(controller->isFastForwarding());
    EXPECT_FALSE(controller->setTransportMode(1, 2.0f, builtInCamera()));
}

} // namespace
} // namespace kelvo::video
