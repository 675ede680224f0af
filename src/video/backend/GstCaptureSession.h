#pragma once

#include "video/VideoFrame.h"
#include "video/backend/GstElementFactory.h"
#include "video/backend/GstHandles.h"
#include "video/backend/GstMovieRecording.h"

#include <QSize>
#include <QString>

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::video::backend {

// One capture session as one GStreamer pipeline:
//
//   video source ! tee name=videotee
//     videotee. ! queue (leaky) ! videoconvert ! UYVY or NV12 ! appsink (newest frame only)
//   audio source ! queue (leaky) ! volume name=audiogain ! level ! tee name=audiotee
//     audiotee. ! queue (leaky) ! volume name=previewvolume ! audio sink
//
// The tees take further branches (movie recording) on request pads. Queues
// leak and the appsink keeps only its newest frame (max-buffers=1,
// drop=true, sync=false), so a slow consumer loses old frames instead of
// delaying new ones.
// Thread: main thread. The callbacks run on GStreamer's streaming threads
// and must only post onwards.
class GstCaptureSession {
public:
    struct Options {
        // Where the audio preview plays; a sink that cannot open falls back to
        // a fakesink, so a machine without sound still shows the picture.
        std::string audioSinkDescription = "autoaudiosink";
        // Force one of the two frame layouts; otherwise the source's own one
        // where it is UYVY or NV12, else UYVY.
        std::optional<PixelFormat> frameFormat;
    };

    struct Callbacks {
        std::function<void(const QString &message)> onError;
        std::function<void()> onStarted;
        std::function<void(const VideoFrame &frame)> onFrame;
        // A movie's file is closed; error is empty for a complete movie.
        // Called on a GStreamer thread.
        std::function<void(const QString &error)> onRecordingFinished;
    };

    // Makes a new source element, or null with a message.
    using SourceFactory = std::function<GstObjectPtr<GstElement>(QString *error)>;

    // The pipeline's own elements come from makeElement; an element it cannot
    // make fails start() with a message that names the package to install.
    GstCaptureSession(const Options &options, Callbacks callbacks,
                      GstElementFactory makeElement = installedElementFactory());
    ~GstCaptureSession();
    GstCaptureSession(const GstCaptureSession &) = delete;
    GstCaptureSession &operator=(const GstCaptureSession &) = delete;

    // Take effect at the next start().
    void setVideoSource(SourceFactory factory) { m_videoSource = std::move(factory); }
    void setAudioSource(SourceFactory factory) { m_audioSource = std::move(factory); }
    void setFrameOutputEnabled(bool enabled) { m_frameOutput = enabled; }

    // Builds the pipeline and sets it playing. False with a message when it
    // cannot be built or refuses to start; errors found later go to onError.
    bool start(QString *error);
    void stop();
    bool isRunning() const { return m_pipeline != nullptr; }
    GstElement *pipeline() const { return m_pipeline.get(); }

    double previewVolume() const { return m_previewVolume; }
    void setPreviewVolume(double volume);
    // Before the meter and the tee, so it reaches every branch.
    double audioGain() const { return m_audioGain; }
    void setAudioGain(double gain);
    std::vector<float> audioChannelPowerLevels() const;

    // A movie of the running pipeline's picture and sound, turned to the
    // viewer's orientation; stopRecording ends it without touching the live
    // picture, and onRecordingFinished follows once the file is closed.
    bool startRecording(const std::string &path, int orientation, QString *error);
    void stopRecording();
    // The movie's file is closed (onRecordingFinished has run); main thread.
    void recordingClosed();
    bool isRecording() const { return m_recording && m_recording->isActive(); }
    // Size of the last frame delivered; empty before the first.
    QSize negotiatedVideoSize() const;

    // Whether anybody needs the picture. While nobody does, and no movie is
    // being recorded, the video source is held at its pad: its streaming
    // thread waits, so neither the source nor the conversion spends anything.
    // The sound goes on. Kept across start() and stop().
    void setVideoWanted(bool wanted);
    bool isVideoHeld() const { return m_holdProbe != 0; }

private:
    static GstBusSyncReply onBusMessage(GstBus *bus, GstMessage *message, gpointer data);
    static GstFlowReturn onNewSample(GstElement *sink, gpointer data);
    bool buildVideoBranch(QString *error);
    bool buildAudioBranch(QString *error);
    void setElementVolume(const char *name, double volume);
    // Holds or releases the video source as setVideoWanted and the
    // recording ask.
    void applyVideoHold();
    void holdVideo(bool hold);

    Options m_options;
    Callbacks m_callbacks;
    GstElementFactory m_makeElement;
    SourceFactory m_videoSource;
    SourceFactory m_audioSource;
    bool m_frameOutput = true;
    double m_previewVolume = 0.0;
    double m_audioGain = 1.0;
    bool m_videoWanted = true;
    gulong m_holdProbe = 0;
    // The running pipeline has delivered a frame; read by the hold probe.
    std::atomic<bool> m_frameDelivered{false};
    GstObjectPtr<GstElement> m_pipeline;
    // Lives as long as the pipeline; the bus handler reads it. Written only
    // on the main thread, so the main thread reads it without the lock.
    std::unique_ptr<GstMovieRecording> m_recording; // written under m_recordingMutex
    std::mutex m_recordingMutex;
    // How long a movie may take to close when the pipeline stops under it.
    static constexpr std::chrono::seconds kMovieDrainTimeout{3};

    mutable std::mutex m_statusMutex;
    std::vector<float> m_levels; // guarded by m_statusMutex
    QSize m_frameSize;           // guarded by m_statusMutex
};

// Wraps a mapped appsink sample as a frame. The frame's storage keeps the
// sample and its mapping until the last copy of the frame is gone. Answers
// an invalid frame for a layout other than UYVY and NV12.
VideoFrame videoFrameFromSample(GstSample *sample);

} // namespace kelvo::video::backend
