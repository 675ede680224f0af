// Real pipelines with GStreamer test sources standing in for cameras and
// microphones: frames reach the main thread in the viewer's layouts, only the
// newest one when the main thread is busy, and the controller's decisions
// hold with the real device list.
#include "CaptureFakes.h"
#include "SpinUntil.h"

#include "common/SystemLog.h"
#include "video/CaptureController.h"
#include "video/CaptureQtScheduler.h"
#include "video/backend/GstCaptureBackend.h"
#include "video/backend/SimulatedCameraSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace kelvo::video::backend {
namespace {

using namespace kelvo::video::testing;

// What a frame looked like when it arrived. Only the newest frame itself is
// kept: holding many would starve the sources' buffer pools.
struct SeenFrame {
    VideoFrame frame; // without planes or storage
    bool onMainThread;
};

class FrameHost : public RecordingHost {
public:
    std::vector<SeenFrame> frames;
    VideoFrame latest;
    void processCapturedFrame(const VideoFrame &f) override
    {
        VideoFrame header = f;
        header.planes = {};
        header.storage.reset();
        frames.push_back({header, QThread::currentThread() == QCoreApplication::instance()->thread()});
        latest = f;
    }
};

std::vector<std::uint8_t> lumaRow(const VideoFrame &f, int row)
{
    const int bytes = f.format == PixelFormat::UYVY ? 2 * f.width : f.width;
    const std::uint8_t *start = f.planes[0] + std::ptrdiff_t(row) * f.strides[0];
    return {start, start + bytes};
}

GstCaptureBackend::Options testOptions(std::optional<PixelFormat> format = std::nullopt)
{
    GstCaptureBackend::Options o;
    o.devices.systemDevices = false;
    o.devices.environmentSource = false;
    o.session.audioSinkDescription = "fakesink sync=false";
    o.session.frameFormat = format;
    return o;
}

CaptureDevice testCamera(const char *id = "testcam", std::uint32_t transport = kTransportTypeBuiltIn)
{
    return makeDevice(id, "Test Camera", transport);
}

const char *const kTestMicrophone = "audiotestsrc is-live=true wave=sine volume=0.5 ! audio/x-raw,channels=2";

class GstCaptureBackendTest : public ::testing::Test {
protected:
    FrameHost host;
    CaptureQtScheduler scheduler;
    ScopedLogCapture log;
};

TEST_F(GstCaptureBackendTest, DeliversFramesInTheViewersLayoutsOnTheMainThread)
{
    struct Case {
        const char *name;
        const char *source;
        std::optional<PixelFormat> forced;
        PixelFormat expected;
        ColourRange range;
        std::uint8_t luma; // of the test pattern, in that range
    };
    const Case cases[] = {
        {"UYVY camera", "videotestsrc is-live=true pattern=white ! video/x-raw,format=UYVY,width=320,height=240",
         std::nullopt, PixelFormat::UYVY, ColourRange::Video, 235},
        {"NV12 camera", "videotestsrc is-live=true pattern=black ! video/x-raw,format=NV12,width=320,height=240",
         std::nullopt, PixelFormat::NV12, ColourRange::Video, 16},
        {"I420 converted to NV12",
         "videotestsrc is-live=true pattern=white ! video/x-raw,format=I420,width=160,height=120", PixelFormat::NV12,
         PixelFormat::NV12, ColourRange::Video, 235},
        // videotestsrc paints video-range white whatever the caps say; the
        // frame must still report the range the caps declare.
        {"full-range UYVY",
         "videotestsrc is-live=true pattern=white ! "
         "video/x-raw,format=UYVY,width=320,height=240,colorimetry=(string)1:4:0:0",
         std::nullopt, PixelFormat::UYVY, ColourRange::Full, 235},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        host.frames.clear();
        GstCaptureBackend backend(testOptions(c.forced));
        backend.deviceMonitor().addDescribedDevice(testCamera(), c.source);
        CaptureController capture(backend, host, scheduler);
        capture.initializeVideoCapture();
        ASSERT_EQ(capture.selectedVideoDevice()->uniqueID, "testcam");
        spinUntil([&] { return host.frames.size() >= 3; });
        ASSERT_GE(host.frames.size(), 3u);

        const VideoFrame &f = host.latest;
        EXPECT_TRUE(host.frames.back().onMainThread);
        EXPECT_EQ(f.format, c.expected);
        EXPECT_EQ(f.range, c.range);
        EXPECT_GT(f.width, 0);
        EXPECT_GE(f.strides[0], f.format == PixelFormat::UYVY ? 2 * f.width : f.width);
        const std::uint8_t centreLuma = f.format == PixelFormat::UYVY
                                            ? f.planes[0][(f.height / 2) * f.strides[0] + (f.width / 2) * 2 + 1]
                                            : f.planes[0][(f.height / 2) * f.strides[0] + f.width / 2];
        EXPECT_EQ(centreLuma, c.luma);
        if (f.format == PixelFormat::NV12) {
            ASSERT_NE(f.planes[1], nullptr);
            EXPECT_EQ(f.planes[1][(f.height / 4) * f.strides[1] + f.width / 2], 128) << "neutral chroma";
        } else {
            EXPECT_EQ(f.planes[0][(f.height / 2) * f.strides[0] + (f.width / 2) * 2], 128) << "neutral chroma";
        }
        EXPECT_EQ(capture.getVideoDimensionsWithRotation(false), QRect(0, 0, f.width, f.height));
        capture.windowWillClose();
    }
}

TEST_F(GstCaptureBackendTest, BusyMainThreadGetsOnlyTheNewestFrame)
{
    GstCaptureBackend backend(testOptions());
    backend.deviceMonitor().addDescribedDevice(
        testCamera(), "videotestsrc is-live=true ! video/x-raw,format=UYVY,width=320,height=240,framerate=30/1");
    CaptureController capture(backend, host, scheduler);
    capture.initializeVideoCapture();
    spinUntil([&] { return host.frames.size() >= 2; });
    ASSERT_GE(host.frames.size(), 2u);

    const std::int64_t before = host.frames.back().frame.timestampNs;
    const std::size_t count = host.frames.size();
    const std::uint64_t replacedBefore = backend.frameMailbox().replacedCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(400)); // about twelve frames go by unseen
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    ASSERT_GE(host.frames.size(), count + 1);
    EXPECT_LE(host.frames.size(), count + 2) << "no backlog of stale frames";
    // The first frame after the pause is from its end, not its start.
    EXPECT_GE(host.frames[count].frame.timestampNs - before, std::int64_t(250'000'000));
    EXPECT_GE(backend.frameMailbox().replacedCount() - replacedBefore, 5u);

    capture.windowWillClose();
}

TEST_F(GstCaptureBackendTest, HeldFrameKeepsItsPixelsWhileNewerFramesArrive)
{
    GstCaptureBackend backend(testOptions());
    backend.deviceMonitor().addDescribedDevice(
        testCamera(), "videotestsrc is-live=true pattern=ball ! video/x-raw,format=NV12,width=160,height=120");
    CaptureController capture(backend, host, scheduler);
    capture.initializeVideoCapture();
    spinUntil([&] { return host.frames.size() >= 2; });
    ASSERT_TRUE(host.latest.isValid());

    const VideoFrame kept = host.latest;
    std::vector<std::vector<std::uint8_t>> rows;
    for (int r = 0; r < kept.height; ++r)
        rows.push_back(lumaRow(kept, r));
    const std::size_t count = host.frames.size();
    bool changed = false;
    spinUntil([&] {
        for (int r = 0; r < kept.height && !changed && host.latest.timestampNs != kept.timestampNs; ++r)
            changed = lumaRow(host.latest, r) != rows[r];
        return host.frames.size() >= count + 15 && changed;
    });
    EXPECT_TRUE(changed) << "the ball moves";
    for (int r = 0; r < kept.height; ++r)
        ASSERT_EQ(lumaRow(kept, r), rows[r]) << "row " << r;
    capture.windowWillClose();
}

TEST_F(GstCaptureBackendTest, RuntimeErrorRebuildsTheRealPipeline)
{
    GstCaptureBackend backend(testOptions());
    backend.deviceMonitor().addDescribedDevice(
        testCamera(), "videotestsrc is-live=true ! video/x-raw,format=UYVY,width=160,height=120");
    CaptureController capture(backend, host, scheduler);
    capture.initializeVideoCapture();
    spinUntil([&] { return !host.frames.empty(); });
    const CaptureSessionId first = backend.currentSession();

    GstElement *source = gst_bin_get_by_name(GST_BIN(backend.session()->pipeline()), "videosource");
    ASSERT_NE(source, nullptr);
    GError *error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "Could not read from resource.");
    gst_element_post_message(source, gst_message_new_error(GST_OBJECT(source), error, nullptr));
    g_error_free(error);
    gst_object_unref(source);

    spinUntil([&] { return !capture.isRunning(); });
    EXPECT_TRUE(log.contains("Video stream lost: Could not read from resource.\n"));
    spinUntil([&] { return capture.isRunning(); });
    ASSERT_TRUE(capture.isRunning());
    EXPECT_NE(backend.currentSession(), first);
    EXPECT_EQ(host.count("resetStuckVideoDevice"), 1);
    EXPECT_EQ(capture.observerCount(), 6);
    EXPECT_EQ(backend.notificationCenter().observerCount(), 6);
    EXPECT_TRUE(capture.isAudioLevelTimerRunning());
    EXPECT_EQ(scheduler.activeTimerCount(), 1) << "only the level timer is left";

    const std::size_t seen = host.frames.size();
    spinUntil([&] { return host.frames.size() > seen + 2; });
    EXPECT_GT(host.frames.size(), seen + 2) << "frames flow from the rebuilt pipeline";
    capture.windowWillClose();
}

TEST_F(GstCaptureBackendTest, HotPlugThroughTheDeviceListSwitchesCamerasAndSound)
{
    GstCaptureBackend backend(testOptions());
    CaptureDevice mic = makeDevice("testmic", "Test Microphone", kTransportTypeBuiltIn, CaptureMediaType::Audio);
    backend.deviceMonitor().addDescribedDevice(mic, kTestMicrophone);
    backend.deviceMonitor().addDescribedDevice(
        testCamera(), "videotestsrc is-live=true ! video/x-raw,format=UYVY,width=160,height=120");
    CaptureController capture(backend, host, scheduler);
    capture.initializeVideoCapture();
    EXPECT_EQ(capture.selectedVideoDevice()->uniqueID, "testcam");
    EXPECT_EQ(capture.selectedAudioDevice()->uniqueID, "testmic");

    // Sound is measured every 0.1 s while the preview plays silently.
    spinUntil([&] { return !backend.audioChannelPowerLevels().empty(); });
    ASSERT_EQ(backend.audioChannelPowerLevels().size(), 2u);
    EXPECT_GT(backend.audioChannelPowerLevels()[0], -20.f);
    EXPECT_EQ(backend.previewVolume(), 0.0);

    // Muting (gain 0) reaches the meter, which sits on every branch's path.
    backend.setAudioGain(0.0);
    spinUntil([&] {
        auto levels = backend.audioChannelPowerLevels();
        return !levels.empty() && levels[0] < -100.f;
    });
    ASSERT_FALSE(backend.audioChannelPowerLevels().empty());
    EXPECT_LT(backend.audioChannelPowerLevels()[0], -100.f);

    // A second camera that is not built in changes nothing.
    host.calls.clear();
    backend.deviceMonitor().addDescribedDevice(
        testCamera("usbcam", kTransportTypeUSB),
        "videotestsrc is-live=true pattern=black ! video/x-raw,format=NV12,width=160,height=120");
    spinUntil([&] { return host.count("updateCameraMenu") > 0; });
    EXPECT_EQ(capture.videoDevices().size(), 2u);
    EXPECT_EQ(capture.selectedVideoDevice()->uniqueID, "testcam");

    // The shown camera goes: nothing usable is left.
    backend.deviceMonitor().removeDevice("testcam");
    spinUntil([&] { return !capture.selectedVideoDevice(); });
    EXPECT_FALSE(capture.selectedVideoDevice());
    EXPECT_TRUE(backend.isRunning());
    capture.windowWillClose();
}

TEST_F(GstCaptureBackendTest, UnopenableDeviceIsReportedAndLeavesNoInput)
{
    GstCaptureBackend backend(testOptions());
    backend.deviceMonitor().addDescribedDevice(testCamera(), "filesrc location=/nonexistent/movie.mov ! decodebin");
    CaptureController capture(backend, host, scheduler);
    capture.initializeVideoCapture();
    EXPECT_FALSE(capture.selectedVideoDevice());
    spinUntil([&] { return !host.errors.empty(); });
    ASSERT_FALSE(host.errors.empty());
    EXPECT_TRUE(host.errors.front().startsWith("testcam name"));
    EXPECT_TRUE(capture.isRunning()) << "the graph stays usable without that input";

    backend.deviceMonitor().addDescribedDevice(testCamera("bad", kTransportTypeUSB), "nosuchelement ! fakesink");
    QString error;
    EXPECT_FALSE(backend.deviceMonitor().createSourceElement(testCamera("bad"), &error));
    EXPECT_EQ(error.toStdString(), "bad name: The GStreamer element \"nosuchelement\" is missing; install the "
                                   "GStreamer plugin package that provides it.");
    EXPECT_FALSE(backend.deviceMonitor().createSourceElement(testCamera("gone"), &error));
    capture.windowWillClose();
}

// An installation without one plugin: that factory is asked for under a
// name no plugin provides, every other one is made as usual.
GstElementFactory withoutElement(std::string missing)
{
    return [missing = std::move(missing)](const char *factory, const char *name) {
        return gst_element_factory_make(missing == factory ? "kelvo-uninstalled-element" : factory, name);
    };
}

// The sanitizer build runs this with G_SLICE=always-malloc, so an element
// made before the missing one and never released shows up as a leak.
TEST_F(GstCaptureBackendTest, MissingElementFailsTheSessionNamingItsPackage)
{
    struct Case {
        const char *element;
        const char *package;
    };
    const Case cases[] = {
        {"appsink", "gstreamer1.0-plugins-base"}, // the last element of the video branch
        {"level", "gstreamer1.0-plugins-good"},   // the middle of the sound branch
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.element);
        log.clear();
        GstCaptureBackend backend(testOptions(), nullptr, withoutElement(c.element));
        backend.deviceMonitor().addDescribedDevice(
            makeDevice("testmic", "Test Microphone", kTransportTypeBuiltIn, CaptureMediaType::Audio), kTestMicrophone);
        backend.deviceMonitor().addDescribedDevice(
            testCamera(), "videotestsrc is-live=true ! video/x-raw,format=UYVY,width=160,height=120");
        CaptureController capture(backend, host, scheduler);
        capture.initializeVideoCapture();

        const std::string message = std::string("The GStreamer element \"") + c.element +
                                    "\" is missing; install the package " + c.package + ".";
        spinUntil([&] { return log.contains("Video stream lost: " + message + "\n"); });
        EXPECT_TRUE(log.contains("Video stream lost: " + message + "\n"));
        EXPECT_GE(log.count(message + "\n"), 1) << "logged where it was found";
        EXPECT_FALSE(backend.session() && backend.session()->isRunning()) << "no half-built pipeline is kept";
        EXPECT_TRUE(host.frames.empty());
        capture.windowWillClose();
    }
}

} // namespace
} // namespace kelvo::video::backend

namespace kelvo::video::backend {
namespace {

TEST(GstCaptureSystemDevices, SimulatedQuadrelStandsInExactlyWhenTheSystemHasNoCamera)
{
    SimulatedCameraSource::Options small;
    small.frameSize = QSize(320, 180);
    small.pageSize = QSize(620, 877);
    GstCaptureBackend::Options options;
    options.devices.environmentSource = false;
    GstCaptureBackend backend(options, std::make_shared<SimulatedCameraSource>(small));
    const std::vector<CaptureDevice> cameras = backend.devices(CaptureMediaType::Video);
    const bool systemCamera = std::any_of(cameras.begin(), cameras.end(), [](const CaptureDevice &d) {
        return d.uniqueID != GstCaptureDeviceMonitor::kSimulatedCameraID;
    });
    EXPECT_EQ(backend.deviceMonitor().isSimulatedCameraListed(), !systemCamera);
    for (const CaptureDevice &d : cameras) {
        EXPECT_FALSE(d.uniqueID.empty());
        EXPECT_FALSE(d.modelID.empty());
        EXPECT_TRUE(d.hasVideo);
    }
}

} // namespace
} // namespace kelvo::video::backend
