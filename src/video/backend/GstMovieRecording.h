#pragma once

#include "video/backend/GstElementFactory.h"
#include "video/backend/GstHandles.h"

#include <QString>

#include <gst/gst.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

namespace kelvo::video::backend {

// A movie branch hung on a running capture pipeline's tees:
//
//   videotee. ! queue (leaky) ! videoconvert ! videoflip ! H.264 encoder ! h264parse ! qtmux
//   audiotee. ! queue (leaky) ! audioconvert ! audioresample ! AAC encoder ! aacparse ! qtmux
//   qtmux (fragmented) ! filesink
//
// The branch is one bin that forwards its children's messages, so its own
// end of stream can be told apart while the live picture keeps playing.
// qtmux writes a fragment every second: a process that dies mid-recording
// leaves a movie that plays up to the last fragment. The queues leak so a
// slow encoder drops recorded frames rather than stalling the preview.
// Thread: main thread, apart from handleBusMessage (any thread).
class GstMovieRecording {
public:
    // Frames a stop waits for sound that never came before it ends anyway.
    static constexpr int kFramesToWaitForSound = 30;

    // Runs once, on a GStreamer thread, after the branch is gone: the file is
    // closed. error is empty for a complete movie.
    using Finished = std::function<void(const QString &error)>;

    GstMovieRecording(GstElement *pipeline, GstElementFactory makeElement, Finished finished);
    ~GstMovieRecording();
    GstMovieRecording(const GstMovieRecording &) = delete;
    GstMovieRecording &operator=(const GstMovieRecording &) = delete;

    // Adds the branch and starts writing path, turned as the picture is shown
    // (the viewer's orientation 1..4).
    bool start(const std::string &path, int orientation, QString *error);
    // Ends the movie with an end of stream on the branch only; returns at once.
    void stop();
    // Ends the movie and waits (up to timeout) for the file to be closed;
    // used when the whole pipeline is about to stop.
    void finishNow(std::chrono::milliseconds timeout);
    bool isActive() const;

    // True when the message belonged to the branch (and is consumed).
    bool handleBusMessage(GstMessage *message);

    // The videoflip method that shows a frame in the viewer's orientation.
    static int flipMethodForOrientation(int orientation);

private:
    static GstPadProbeReturn onTeePadIdle(GstPad *pad, GstPadProbeInfo *info, gpointer data);
    static GstPadProbeReturn onVideoBuffer(GstPad *pad, GstPadProbeInfo *info, gpointer data);
    static GstPadProbeReturn onAudioBuffer(GstPad *pad, GstPadProbeInfo *info, gpointer data);
    void closeInputs();
    void abandonStart();
    void endBranch(const QString &error);
    void teardown();

    GstElement *m_pipeline;
    GstElementFactory m_makeElement;
    Finished m_finished;
    GstObjectPtr<GstElement> m_bin;
    GstObjectPtr<GstPad> m_videoTeePad;
    GstObjectPtr<GstPad> m_audioTeePad;
    int m_branches = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_active = false;      // guarded by m_mutex
    bool m_stopping = false;    // guarded by m_mutex
    bool m_closed = false;      // guarded by m_mutex: the inputs got their end of stream
    bool m_videoFlowed = false; // guarded by m_mutex: a frame reached the branch
    bool m_audioFlowed = false; // guarded by m_mutex: sound reached the branch (or there is none)
    int m_framesSinceStop = 0;  // guarded by m_mutex
    bool m_reporting = false;   // guarded by m_mutex: the owner is being told of the end
    bool m_finishing = false;   // guarded by m_mutex: the end is being handled
    QString m_error;            // guarded by m_mutex
};

} // namespace kelvo::video::backend
