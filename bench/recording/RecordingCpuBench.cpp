// What recording costs: the capture pipeline of a live 1080p30 test picture
// and a test tone, first only showing (frames delivered and dropped as the
// viewer's preview takes them), then showing and recording a movie; and a
// plain gst-launch-1.0 pipeline encoding the same source with the same
// encoder settings into a file. Prints CPU seconds of each and "ratio"
// lines, then the movie's frame count against the frames offered.
//
// Usage: bench_recording_cpu [seconds]   (30 by default)
#include "video/backend/GstCaptureSession.h"
#include "video/backend/GstHandles.h"
#include "video/capture/MovieFrames.h"

#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

using namespace kelvo::video::backend;

namespace {

constexpr const char *kVideo = "videotestsrc is-live=true pattern=ball ! "
                               "capsfilter caps=video/x-raw,width=1920,height=1080,framerate=30/1";
constexpr const char *kAudio = "audiotestsrc is-live=true wave=sine ! capsfilter caps=audio/x-raw,channels=2";

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

GstCaptureSession::SourceFactory launch(const char *description)
{
    return [description](QString *error) { return parseBin(description, error); };
}

} // namespace

int main(int argc, char **argv)
{
    gst_init(&argc, &argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    const std::string folder = g_get_tmp_dir();
    const std::string movie = folder + "/bench-recording-" + std::to_string(getpid()) + ".mov";
    const std::string plain = folder + "/bench-plain-" + std::to_string(getpid()) + ".mov";

    std::atomic<int> shown{0};
    std::atomic<bool> finished{false};
    GstCaptureSession::Options options;
    options.audioSinkDescription = "fakesink sync=false";
    GstCaptureSession::Callbacks callbacks;
    callbacks.onFrame = [&](const kelvo::video::VideoFrame &) { ++shown; };
    callbacks.onRecordingFinished = [&](const QString &error) {
        if (!error.isEmpty())
            std::fprintf(stderr, "movie error: %s\n", error.toUtf8().constData());
        finished = true;
    };
    GstCaptureSession session(options, callbacks);
    session.setVideoSource(launch(kVideo));
    session.setAudioSource(launch(kAudio));
    QString error;
    if (!session.start(&error)) {
        std::fprintf(stderr, "capture: %s\n", error.toUtf8().constData());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));

    double before = cpuSeconds(RUSAGE_SELF);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double showing = cpuSeconds(RUSAGE_SELF) - before;

    before = cpuSeconds(RUSAGE_SELF);
    if (!session.startRecording(movie, 1, &error)) {
        std::fprintf(stderr, "recording: %s\n", error.toUtf8().constData());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    session.stopRecording();
    while (!finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double recording = cpuSeconds(RUSAGE_SELF) - before;
    session.stop();

    // The same source, encoder and muxer settings, without the viewer.
    const std::string buffers = std::to_string(seconds * 30);
    const std::string command =
        "gst-launch-1.0 -q videotestsrc is-live=true pattern=ball num-buffers=" + buffers +
        " ! video/x-raw,width=1920,height=1080,framerate=30/1 ! queue ! videoconvert ! video/x-raw,format=I420"
        " ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=30 ! h264parse ! mux."
        " audiotestsrc is-live=true wave=sine num-buffers=" +
        std::to_string(seconds * 44100 / 1024) +
        " ! audio/x-raw,channels=2 ! queue ! audioconvert ! audioresample ! avenc_aac ! aacparse ! mux."
        " qtmux name=mux fragment-duration=1000 ! filesink location=\"" +
        plain + "\" > /dev/null";
    const double childBefore = cpuSeconds(RUSAGE_CHILDREN);
    const int status = std::system(command.c_str());
    const double plainCpu = cpuSeconds(RUSAGE_CHILDREN) - childBefore;
    if (status != 0)
        std::fprintf(stderr, "gst-launch-1.0 failed (%d)\n", status);

    const int frames = kelvo::video::test::countDemuxedVideoFrames(movie, 60);
    std::printf("seconds %d\n", seconds);
    std::printf("cpu_showing_s %.2f\n", showing);
    std::printf("cpu_recording_s %.2f\n", recording);
    std::printf("cpu_gst_launch_s %.2f\n", plainCpu);
    std::printf("ratio recording_over_showing %.2f\n", showing > 0 ? recording / showing : 0.0);
    std::printf("ratio recording_over_gst_launch %.2f\n", plainCpu > 0 ? recording / plainCpu : 0.0);
    std::printf("movie_frames %d of %d (dropped %d)\n", frames, seconds * 30, seconds * 30 - frames);
    std::remove(movie.c_str());
    std::remove(plain.c_str());
    return 0;
}
