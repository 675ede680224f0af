// The simulated Quadrel: listed like the real camera, zooming to the lens
// position it is given, holding still while frozen, with a test tone as its
// microphone.
#include "CaptureFakes.h"
#include "SpinUntil.h"

#include "video/CaptureController.h"
#include "video/CaptureQtScheduler.h"
#include "video/backend/GstCaptureBackend.h"
#include "video/backend/SimulatedCameraSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace kelvo::video::backend {
namespace {

using namespace kelvo::video::testing;

SimulatedCameraSource::Options smallCamera()
{
    SimulatedCameraSource::Options o;
    o.frameSize = QSize(320, 180);
    o.pageSize = QSize(620, 877);
    return o;
}

GstCaptureBackend::Options noSystemDevices()
{
    GstCaptureBackend::Options o;
    o.devices.systemDevices = false;
    o.devices.environmentSource = false;
    o.session.audioSinkDescription = "fakesink sync=false";
    return o;
}

// Share of dark pixels: print covers more of the picture as the lens zooms
// into the text, until single letters fill it.
double darkShare(const QImage &image)
{
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            dark += qGray(image.pixel(x, y)) < 100;
    return double(dark) / (image.width() * image.height());
}

TEST(SimulatedCaptureSource, ConvertsToVideoRangeBt601)
{
    // Reference values of ITU-R BT.601 in 8 bits: white 235, black 16,
    // red Y 81 Cb 90 Cr 240, blue Y 41 Cb 240 Cr 110.
    struct Case {
        QColor colour;
        int u, y, v;
    };
    const Case cases[] = {
        {Qt::white, 128, 235, 128}, {Qt::black, 128, 16, 128}, {Qt::red, 90, 81, 240}, {Qt::blue, 240, 41, 110}};
    for (const Case &c : cases) {
        QImage image(4, 1, QImage::Format_RGB888);
        image.fill(c.colour);
        const std::vector<std::uint8_t> uyvy = rgbToUyvy(image);
        ASSERT_EQ(uyvy.size(), 8u);
        EXPECT_NEAR(uyvy[0], c.u, 1) << c.colour.name().toStdString();
        EXPECT_NEAR(uyvy[1], c.y, 1) << c.colour.name().toStdString();
        EXPECT_NEAR(uyvy[2], c.v, 1) << c.colour.name().toStdString();
        EXPECT_EQ(uyvy[3], uyvy[1]);
    }
}

TEST(SimulatedCaptureSource, LensPositionsZoomFromOneToEightTimes)
{
    EXPECT_DOUBLE_EQ(SimulatedCameraSource::magnificationForLensPosition(0), 1.0);
    EXPECT_DOUBLE_EQ(SimulatedCameraSource::magnificationForLensPosition(10636), 8.0);
    EXPECT_DOUBLE_EQ(SimulatedCameraSource::magnificationForLensPosition(65535), 8.0);
    double previous = 0;
    for (std::uint16_t lens : SimulatedCameraSource::kLensPositions) {
        const double m = SimulatedCameraSource::magnificationForLensPosition(lens);
        EXPECT_GT(m, previous);
        previous = m;
    }

    SimulatedCameraSource camera(smallCamera());
    const QImage page = camera.page();
    EXPECT_EQ(page.size(), QSize(620, 877));
    EXPECT_GT(darkShare(page), 0.01) << "the page carries print";
    const QImage wide = camera.viewAt(0);
    const QImage close = camera.viewAt(10636);
    EXPECT_EQ(wide.size(), QSize(320, 180));
    EXPECT_NE(wide, close);
    // Zooming in spreads each letter over more pixels: fewer, wider strokes
    // means fewer light-to-dark edges along a row.
    auto edges = [](const QImage &image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 1; x < image.width(); ++x)
                count += (qGray(image.pixel(x - 1, y)) >= 128) != (qGray(image.pixel(x, y)) >= 128);
        return count;
    };
    EXPECT_GT(edges(wide), 2 * edges(close));
}

class SimulatedCaptureStream : public ::testing::Test {
protected:
    RecordingHost host;
    CaptureQtScheduler scheduler;
    std::shared_ptr<SimulatedCameraSource> camera = std::make_shared<SimulatedCameraSource>(smallCamera());
    std::vector<std::vector<std::uint8_t>> frames;

    void collect(CaptureController &capture)
    {
        capture.setPreviewFrameSink([this](const VideoFrame &f) {
            const std::uint8_t *p = f.planes[0];
            std::vector<std::uint8_t> bytes;
            for (int r = 0; r < f.height; ++r)
                bytes.insert(bytes.end(), p + std::ptrdiff_t(r) * f.strides[0],
                             p + std::ptrdiff_t(r) * f.strides[0] + 2 * f.width);
            frames.push_back(std::move(bytes));
            EXPECT_EQ(f.format, PixelFormat::UYVY);
            EXPECT_EQ(f.width, 320);
            EXPECT_EQ(f.height, 180);
        });
    }
    // Frames that arrive in the next ms milliseconds.
    std::vector<std::vector<std::uint8_t>> framesDuring(int ms)
    {
        frames.clear();
        spinUntil([] { return false; }, ms);
        return frames;
    }
};

TEST_F(SimulatedCaptureStream, AppearsAsTheQuadrelWhenNoCameraIsThereAndRunsThePath)
{
    GstCaptureBackend backend(noSystemDevices(), camera);
    ASSERT_TRUE(backend.deviceMonitor().isSimulatedCameraListed());
    CaptureController capture(backend, host, scheduler);
    collect(capture);
    capture.initializeVideoCapture();

    ASSERT_TRUE(capture.selectedVideoDevice());
    EXPECT_EQ(capture.selectedVideoDevice()->modelID, kQuadrelModelID);
    EXPECT_EQ(host.count("doHIDRescan"), 1) << "the device link starts as for the real camera";
    EXPECT_TRUE(capture.enableDeinterlaceMenuItem());
    ASSERT_TRUE(capture.selectedAudioDevice());
    EXPECT_EQ(capture.selectedAudioDevice()->uniqueID, GstCaptureDeviceMonitor::kSimulatedMicrophoneID);

    // Live: a hand-held page sways a little, so the frames differ.
    std::vector<std::vector<std::uint8_t>> live = framesDuring(700);
    ASSERT_GE(live.size(), 5u);
    EXPECT_NE(live.front(), live.back());
    // It is the page: mostly paper, with print on it.
    int paper = 0, print = 0;
    for (std::size_t i = 1; i < live.back().size(); i += 2) {
        paper += live.back()[i] > 200;
        print += live.back()[i] < 80;
    }
    EXPECT_GT(paper, int(live.back().size() / 2 * 0.6));
    EXPECT_GT(print, int(live.back().size() / 2 * 0.02));

    // Frozen: every frame is the same picture, whatever the lens does.
    camera->setFrozen(true);
    framesDuring(100);
    camera->setLensPosition(SimulatedCameraSource::kLensPositions[7]);
    std::vector<std::vector<std::uint8_t>> still = framesDuring(500);
    ASSERT_GE(still.size(), 3u);
    for (const auto &f : still)
        EXPECT_EQ(f, still.front());

    // Thawed at step 8: the zoomed picture replaces it.
    camera->setFrozen(false);
    framesDuring(300);
    std::vector<std::vector<std::uint8_t>> zoomed = framesDuring(200);
    ASSERT_FALSE(zoomed.empty());
    EXPECT_NE(zoomed.back(), still.front());

    // The test tone is measured like a microphone.
    spinUntil([&] { return !backend.audioChannelPowerLevels().empty(); });
    ASSERT_FALSE(backend.audioChannelPowerLevels().empty());
    EXPECT_GT(backend.audioChannelPowerLevels()[0], -40.f);
    capture.windowWillClose();
}

TEST_F(SimulatedCaptureStream, StandsAsideForAnotherCameraUnlessForced)
{
    struct Case {
        const char *name;
        bool forced;
        bool otherCamera;
        bool simulatedListed;
        const char *chosen;
    };
    const Case cases[] = {
        {"no camera", false, false, true, GstCaptureDeviceMonitor::kSimulatedCameraID},
        {"a built-in camera", false, true, false, "builtin"},
        {"forced", true, true, true, GstCaptureDeviceMonitor::kSimulatedCameraID},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GstCaptureBackend backend(noSystemDevices(), camera);
        backend.deviceMonitor().setSimulationForced(c.forced);
        if (c.otherCamera)
            backend.deviceMonitor().addDescribedDevice(makeDevice("builtin", "Cam", kTransportTypeBuiltIn),
                                                       "videotestsrc is-live=true");
        EXPECT_EQ(backend.deviceMonitor().isSimulatedCameraListed(), c.simulatedListed);
        CaptureController capture(backend, host, scheduler);
        capture.initializeVideoCapture();
        ASSERT_TRUE(capture.selectedVideoDevice());
        EXPECT_EQ(capture.selectedVideoDevice()->uniqueID, c.chosen);
        capture.windowWillClose();
    }
}

TEST_F(SimulatedCaptureStream, EnvironmentSourceCountsAsBuiltInAndHidesTheSimulation)
{
    ::setenv(GstCaptureDeviceMonitor::kEnvironmentVariable,
             "videotestsrc is-live=true ! video/x-raw,format=UYVY,width=320,height=180", 1);
    GstCaptureBackend::Options options = noSystemDevices();
    options.devices.environmentSource = true;
    GstCaptureBackend backend(options, camera);
    ::unsetenv(GstCaptureDeviceMonitor::kEnvironmentVariable);

    EXPECT_FALSE(backend.deviceMonitor().isSimulatedCameraListed());
    CaptureController capture(backend, host, scheduler);
    collect(capture);
    capture.initializeVideoCapture();
    ASSERT_TRUE(capture.selectedVideoDevice());
    EXPECT_EQ(capture.selectedVideoDevice()->uniqueID, GstCaptureDeviceMonitor::kEnvironmentSourceID);
    EXPECT_EQ(capture.selectedVideoDevice()->transportType, kTransportTypeBuiltIn);
    EXPECT_EQ(host.count("doHIDRescan"), 0);
    EXPECT_FALSE(framesDuring(300).empty());

    // When it goes, the simulated Quadrel appears by itself and is taken up
    // after the camera's start-up delay.
    backend.deviceMonitor().removeDevice(GstCaptureDeviceMonitor::kEnvironmentSourceID);
    EXPECT_TRUE(backend.deviceMonitor().isSimulatedCameraListed());
    spinUntil([&] { return capture.isQuadrelSetupPending(); }, 2000);
    EXPECT_TRUE(capture.isQuadrelSetupPending());
    capture.windowWillClose();
}

} // namespace
} // namespace kelvo::video::backend
