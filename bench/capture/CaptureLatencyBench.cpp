// Frame latency of the capture path: a pad probe stamps each buffer as it
// leaves the source element; the main thread's frame handler looks the stamp
// up when the frame is delivered. Each iteration waits for one delivery and
// reports its latency as the iteration time.
#include "video/backend/GstCaptureBackend.h"
#include "video/backend/SimulatedCameraSource.h"

#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

using namespace kelvo::video;
using namespace kelvo::video::backend;
using Clock = std::chrono::steady_clock;

namespace {

struct Stamps {
    std::mutex mutex;
    std::map<std::int64_t, Clock::time_point> left; // by PTS; guarded by mutex
};

GstPadProbeReturn stampBuffer(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *stamps = static_cast<Stamps *>(data);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    std::lock_guard lock(stamps->mutex);
    stamps->left[std::int64_t(GST_BUFFER_PTS(buffer))] = Clock::now();
    while (stamps->left.size() > 256)
        stamps->left.erase(stamps->left.begin());
    return GST_PAD_PROBE_OK;
}

void measure(benchmark::State &state, GstCaptureBackend &backend, const CaptureDevice &camera)
{
    Stamps stamps;
    std::vector<double> latenciesMs;
    bool delivered = false;
    double lastMs = 0;

    backend.createSession();
    backend.beginConfiguration();
    QString error;
    if (!backend.setVideoInput(&camera, &error)) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    backend.commitConfiguration();
    backend.addOutputs([&](const VideoFrame &frame) {
        std::lock_guard lock(stamps.mutex);
        auto it = stamps.left.find(frame.timestampNs);
        if (it == stamps.left.end())
            return;
        lastMs = std::chrono::duration<double, std::milli>(Clock::now() - it->second).count();
        delivered = true;
    });
    backend.startRunning();

    GstElement *source = gst_bin_get_by_name(GST_BIN(backend.session()->pipeline()), "videosource");
    GstPad *pad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, stampBuffer, &stamps, nullptr);
    gst_object_unref(pad);
    gst_object_unref(source);

    // Let the pipeline settle before measuring.
    QElapsedTimer warmUp;
    warmUp.start();
    while (warmUp.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    for (auto _ : state) {
        delivered = false;
        QElapsedTimer timeout;
        timeout.start();
        while (!delivered && timeout.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (!delivered) {
            state.SkipWithError("no frame within 2 s");
            break;
        }
        state.SetIterationTime(lastMs / 1000.0);
        latenciesMs.push_back(lastMs);
    }
    backend.stopRunning();

    if (!latenciesMs.empty()) {
        std::sort(latenciesMs.begin(), latenciesMs.end());
        state.counters["median_ms"] = latenciesMs[latenciesMs.size() / 2];
        state.counters["p95_ms"] = latenciesMs[latenciesMs.size() * 95 / 100];
        state.counters["max_ms"] = latenciesMs.back();
    }
}

GstCaptureBackend::Options benchOptions()
{
    GstCaptureBackend::Options o;
    o.devices.systemDevices = false;
    o.devices.environmentSource = false;
    o.session.audioSinkDescription = "fakesink sync=false";
    return o;
}

// A 720p test source of the given raw format, delivered as frameFormat (or
// as it comes).
void measureTestSource(benchmark::State &state, const char *sourceFormat, std::optional<PixelFormat> frameFormat)
{
    GstCaptureBackend::Options options = benchOptions();
    options.session.frameFormat = frameFormat;
    GstCaptureBackend backend(options);
    CaptureDevice camera;
    camera.uniqueID = "bench";
    camera.modelID = "Bench Camera";
    camera.hasVideo = true;
    backend.deviceMonitor().addDescribedDevice(
        camera, std::string("videotestsrc is-live=true pattern=ball ! video/x-raw,format=") + sourceFormat +
                    ",width=1280,height=720,framerate=30/1");
    measure(state, backend, camera);
}

void BM_TestSourceUyvy720p(benchmark::State &state)
{
    measureTestSource(state, "UYVY", std::nullopt);
}

void BM_TestSourceI420ToNv12_720p(benchmark::State &state)
{
    measureTestSource(state, "I420", PixelFormat::NV12);
}

void BM_SimulatedQuadrel720p(benchmark::State &state)
{
    GstCaptureBackend backend(benchOptions(), std::make_shared<SimulatedCameraSource>());
    const std::vector<CaptureDevice> cameras = backend.devices(CaptureMediaType::Video);
    measure(state, backend, cameras.front());
}

} // namespace

BENCHMARK(BM_TestSourceUyvy720p)->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestSourceI420ToNv12_720p)->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatedQuadrel720p)->UseManualTime()->Iterations(150)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the simulated camera draws its page with fonts
    gst_init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
