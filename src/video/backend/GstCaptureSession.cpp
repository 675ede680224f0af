#include "video/backend/GstCaptureSession.h"

#include "video/FrameTrace.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

namespace kelvo::video::backend {

namespace {

struct MappedSample {
    GstSamplePtr sample;
    GstVideoFrame frame{};
    bool mapped = false;

    ~MappedSample()
    {
        if (mapped)
            gst_video_frame_unmap(&frame);
    }
};

struct ElementRequest {
    GstObjectPtr<GstElement> &owner;
    const char *factory;
    const char *name = nullptr;
};

// Makes the requested elements in order; false with the message of the first
// one that cannot be made (those made before it are dropped with their owners).
bool makeAll(const GstElementFactory &factory, std::initializer_list<ElementRequest> requests, QString *error)
{
    for (const ElementRequest &request : requests) {
        request.owner = makeElement(factory, request.factory, request.name, error);
        if (!request.owner)
            return false;
    }
    return true;
}

// Sets an element to READY and back, which opens a device source, and tells
// whether that worked.
bool opensCleanly(GstElement *element)
{
    const bool ok = gst_element_set_state(element, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(element, GST_STATE_NULL);
    return ok;
}

} // namespace

VideoFrame videoFrameFromSample(GstSample *sample)
{
    VideoFrame frame;
    GstVideoInfo info;
    GstCaps *caps = gst_sample_get_caps(sample);
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return frame;
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
    if (format != GST_VIDEO_FORMAT_UYVY && format != GST_VIDEO_FORMAT_NV12)
        return frame;

    auto holder = std::make_shared<MappedSample>();
    holder->sample.reset(gst_sample_ref(sample));
    if (!gst_video_frame_map(&holder->frame, &info, buffer, GST_MAP_READ))
        return frame;
    holder->mapped = true;

    frame.format = format == GST_VIDEO_FORMAT_UYVY ? PixelFormat::UYVY : PixelFormat::NV12;
    frame.range = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255 ? ColourRange::Full : ColourRange::Video;
    frame.width = GST_VIDEO_INFO_WIDTH(&info);
    frame.height = GST_VIDEO_INFO_HEIGHT(&info);
    const int planes = format == GST_VIDEO_FORMAT_NV12 ? 2 : 1;
    for (int i = 0; i < planes; ++i) {
        frame.planes[i] = static_cast<const std::uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&holder->frame, i));
        frame.strides[i] = GST_VIDEO_FRAME_PLANE_STRIDE(&holder->frame, i);
    }
    frame.timestampNs = GST_BUFFER_PTS_IS_VALID(buffer) ? std::int64_t(GST_BUFFER_PTS(buffer)) : 0;
    frame.storage = std::move(holder);
    return frame;
}

GstCaptureSession::GstCaptureSession(const Options &options, Callbacks callbacks, GstElementFactory makeElement)
    : m_options(options), m_callbacks(std::move(callbacks)), m_makeElement(std::move(makeElement))
{}

GstCaptureSession::~GstCaptureSession()
{
    stop();
}

bool GstCaptureSession::start(QString *error)
{
    stop();
    m_frameDelivered = false;
    m_pipeline = sinkFloating(gst_pipeline_new("capture-session"));
    {
        const GstObjectPtr<GstBus> bus(gst_pipeline_get_bus(GST_PIPELINE(m_pipeline.get())));
        gst_bus_set_sync_handler(bus.get(), onBusMessage, this, nullptr);
    }

    if ((m_videoSource && !buildVideoBranch(error)) || (m_audioSource && !buildAudioBranch(error))) {
        stop();
        return false;
    }
    {
        std::lock_guard lock(m_recordingMutex);
        m_recording =
            std::make_unique<GstMovieRecording>(m_pipeline.get(), m_makeElement, [this](const QString &error) {
                if (m_callbacks.onRecordingFinished)
                    m_callbacks.onRecordingFinished(error);
            });
    }
    if (gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        if (error)
            *error = QStringLiteral("The capture pipeline could not be started.");
        stop();
        return false;
    }
    applyVideoHold();
    return true;
}

void GstCaptureSession::setVideoWanted(bool wanted)
{
    m_videoWanted = wanted;
    applyVideoHold();
}

void GstCaptureSession::applyVideoHold()
{
    holdVideo(m_pipeline != nullptr && !m_videoWanted && !isRecording());
}

void GstCaptureSession::holdVideo(bool hold)
{
    if (hold == (m_holdProbe != 0))
        return;
    const GstObjectPtr<GstElement> source{m_pipeline ? gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "videosource")
                                                     : nullptr};
    const GstObjectPtr<GstPad> pad{source ? gst_element_get_static_pad(source.get(), "src") : nullptr};
    if (!hold) {
        if (pad)
            gst_pad_remove_probe(pad.get(), m_holdProbe);
        m_holdProbe = 0;
        return;
    }
    if (!pad)
        return;
    // A blocking probe keeps the source's thread waiting at its first push,
    // so a live source stops producing (a camera's driver drops into its own
    // buffers meanwhile). Removing it lets that one frame through and the
    // source runs on at once; flushing at stop() wakes it as well. Until a
    // first frame has arrived it lets frames pass: the picture's size comes
    // from it, and the window's shape from that.
    m_holdProbe = gst_pad_add_probe(
        pad.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
        [](GstPad *, GstPadProbeInfo *, gpointer data) {
            const auto *self = static_cast<const GstCaptureSession *>(data);
            return self->m_frameDelivered.load() ? GST_PAD_PROBE_OK : GST_PAD_PROBE_PASS;
        },
        this, nullptr);
}

bool GstCaptureSession::buildVideoBranch(QString *error)
{
    const GstObjectPtr<GstElement> source = m_videoSource(error);
    if (!source)
        return false;
    GstObjectPtr<GstElement> tee, queue, convert, filter, sink;
    if (!makeAll(m_makeElement, {{tee, "tee", "videotee"}}, error))
        return false;
    if (m_frameOutput && !makeAll(m_makeElement,
                                  {{queue, "queue", "framequeue"},
                                   {convert, "videoconvert"},
                                   {filter, "capsfilter"},
                                   {sink, "appsink", "frames"}},
                                  error))
        return false;

    gst_element_set_name(source.get(), "videosource");
    g_object_set(tee.get(), "allow-not-linked", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(m_pipeline.get()), source.get(), tee.get(), nullptr);
    bool linked = gst_element_link(source.get(), tee.get());
    if (FrameTrace::instance().isEnabled()) {
        if (const GstObjectPtr<GstPad> pad{gst_element_get_static_pad(source.get(), "src")}) {
            gst_pad_add_probe(
                pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
                [](GstPad *, GstPadProbeInfo *info, gpointer) {
                    FrameTrace::instance().noteLeftSource(
                        std::int64_t(GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info))));
                    return GST_PAD_PROBE_OK;
                },
                nullptr, nullptr);
        }
    }

    if (m_frameOutput) {
        g_object_set(queue.get(), "leaky", 2 /* downstream: drop the oldest */, "max-size-buffers", 1u,
                     "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
        const char *formats = !m_options.frameFormat                        ? "{ UYVY, NV12 }"
                              : *m_options.frameFormat == PixelFormat::UYVY ? "UYVY"
                                                                            : "NV12";
        const GstCapsPtr caps(gst_caps_from_string((std::string("video/x-raw, format=(string)") + formats).c_str()));
        g_object_set(filter.get(), "caps", caps.get(), nullptr);
        g_object_set(sink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "wait-on-eos", FALSE,
                     "enable-last-sample", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink *s, gpointer data) { return onNewSample(GST_ELEMENT(s), data); };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        gst_bin_add_many(GST_BIN(m_pipeline.get()), queue.get(), convert.get(), filter.get(), sink.get(), nullptr);
        linked =
            linked && gst_element_link_many(tee.get(), queue.get(), convert.get(), filter.get(), sink.get(), nullptr);
    }
    if (!linked && error)
        *error = QStringLiteral("The video source cannot deliver pictures.");
    return linked;
}

bool GstCaptureSession::buildAudioBranch(QString *error)
{
    const GstObjectPtr<GstElement> source = m_audioSource(error);
    if (!source)
        return false;
    GstObjectPtr<GstElement> queue, convert, gain, level, tee, previewQueue, volume, previewConvert, resample;
    if (!makeAll(m_makeElement,
                 {{queue, "queue"},
                  {convert, "audioconvert"},
                  {gain, "volume", "audiogain"},
                  {level, "level", "level"},
                  {tee, "tee", "audiotee"},
                  {previewQueue, "queue"},
                  {volume, "volume", "previewvolume"},
                  {previewConvert, "audioconvert"},
                  {resample, "audioresample"}},
                 error))
        return false;
    // A sink that cannot open (no sound server) gives way to a fakesink.
    GstObjectPtr<GstElement> sink = parseBin(m_options.audioSinkDescription, nullptr);
    if (sink && !opensCleanly(sink.get()))
        sink.reset();
    if (!sink) {
        if (!makeAll(m_makeElement, {{sink, "fakesink"}}, error))
            return false;
        g_object_set(sink.get(), "sync", FALSE, nullptr);
    }

    gst_element_set_name(source.get(), "audiosource");
    for (GstElement *q : {queue.get(), previewQueue.get()})
        g_object_set(q, "leaky", 2, nullptr);
    g_object_set(level.get(), "interval", guint64(100 * GST_MSECOND), "post-messages", TRUE, nullptr);
    g_object_set(tee.get(), "allow-not-linked", TRUE, nullptr);
    g_object_set(volume.get(), "volume", m_previewVolume, nullptr);
    g_object_set(gain.get(), "volume", m_audioGain, nullptr);
    gst_bin_add_many(GST_BIN(m_pipeline.get()), source.get(), queue.get(), convert.get(), gain.get(), level.get(),
                     tee.get(), previewQueue.get(), volume.get(), previewConvert.get(), resample.get(), sink.get(),
                     nullptr);
    const bool linked =
        gst_element_link_many(source.get(), queue.get(), convert.get(), gain.get(), level.get(), tee.get(), nullptr) &&
        gst_element_link_many(tee.get(), previewQueue.get(), volume.get(), previewConvert.get(), resample.get(),
                              sink.get(), nullptr);
    if (!linked && error)
        *error = QStringLiteral("The audio source cannot deliver sound.");
    return linked;
}

void GstCaptureSession::stop()
{
    if (!m_pipeline)
        return;
    // The movie is closed while the pipeline still plays, so it ends with
    // everything recorded so far. Its end of stream reaches it through the
    // bus handler, so it must still be reachable there while it drains.
    if (m_recording)
        m_recording->finishNow(kMovieDrainTimeout);
    std::unique_ptr<GstMovieRecording> recording;
    {
        std::lock_guard lock(m_recordingMutex);
        recording = std::move(m_recording);
    }
    recording.reset();
    holdVideo(false);
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    if (const GstObjectPtr<GstElement> sink{gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "frames")}) {
        GstAppSinkCallbacks none{};
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &none, nullptr, nullptr);
    }
    {
        const GstObjectPtr<GstBus> bus(gst_pipeline_get_bus(GST_PIPELINE(m_pipeline.get())));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }
    m_pipeline.reset();
    std::lock_guard lock(m_statusMutex);
    m_levels.clear();
}

void GstCaptureSession::setElementVolume(const char *name, double volume)
{
    if (!m_pipeline)
        return;
    if (const GstObjectPtr<GstElement> element{gst_bin_get_by_name(GST_BIN(m_pipeline.get()), name)})
        g_object_set(element.get(), "volume", volume, nullptr);
}

void GstCaptureSession::setPreviewVolume(double volume)
{
    m_previewVolume = volume;
    setElementVolume("previewvolume", volume);
}

void GstCaptureSession::setAudioGain(double gain)
{
    m_audioGain = gain;
    setElementVolume("audiogain", gain);
}

bool GstCaptureSession::startRecording(const std::string &path, int orientation, QString *error)
{
    if (!m_recording) {
        if (error)
            *error = QStringLiteral("The camera is not running.");
        return false;
    }
    // A movie needs the picture whoever else does: the source is let go
    // before the movie's branch waits for its first frame.
    holdVideo(false);
    const bool started = m_recording->start(path, orientation, error);
    applyVideoHold();
    return started;
}

void GstCaptureSession::stopRecording()
{
    if (m_recording)
        m_recording->stop();
}

void GstCaptureSession::recordingClosed()
{
    applyVideoHold();
}

std::vector<float> GstCaptureSession::audioChannelPowerLevels() const
{
    std::lock_guard lock(m_statusMutex);
    return m_levels;
}

QSize GstCaptureSession::negotiatedVideoSize() const
{
    std::lock_guard lock(m_statusMutex);
    return m_frameSize;
}

GstFlowReturn GstCaptureSession::onNewSample(GstElement *sink, gpointer data)
{
    auto *self = static_cast<GstCaptureSession *>(data);
    VideoFrame frame;
    if (const GstSamplePtr sample{gst_app_sink_pull_sample(GST_APP_SINK(sink))})
        frame = videoFrameFromSample(sample.get());
    if (!frame.isValid())
        return GST_FLOW_OK;
    {
        std::lock_guard lock(self->m_statusMutex);
        self->m_frameSize = QSize(frame.width, frame.height);
    }
    self->m_frameDelivered = true;
    if (self->m_callbacks.onFrame)
        self->m_callbacks.onFrame(frame);
    return GST_FLOW_OK;
}

GstBusSyncReply GstCaptureSession::onBusMessage(GstBus *, GstMessage *message, gpointer data)
{
    // A sync handler that answers GST_BUS_DROP releases the message itself;
    // each one holds a reference to its source, the pipeline among them.
    const GstMessagePtr dropped(message);
    auto *self = static_cast<GstCaptureSession *>(data);
    // The movie's own end and errors concern the movie only.
    {
        std::lock_guard lock(self->m_recordingMutex);
        if (self->m_recording && self->m_recording->handleBusMessage(message))
            return GST_BUS_DROP;
    }
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError *rawError = nullptr;
        gchar *rawDebug = nullptr;
        gst_message_parse_error(message, &rawError, &rawDebug);
        const GErrorPtr error(rawError);
        const GCharPtr debug(rawDebug);
        const QString text = QString::fromUtf8(error ? error->message : "unknown error");
        if (self->m_callbacks.onError)
            self->m_callbacks.onError(text);
        break;
    }
    case GST_MESSAGE_STATE_CHANGED:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(self->m_pipeline.get())) {
            GstState oldState, newState;
            gst_message_parse_state_changed(message, &oldState, &newState, nullptr);
            if (newState == GST_STATE_PLAYING && oldState != GST_STATE_PLAYING && self->m_callbacks.onStarted)
                self->m_callbacks.onStarted();
        }
        break;
    case GST_MESSAGE_ELEMENT: {
        const GstStructure *s = gst_message_get_structure(message);
        if (s && gst_structure_has_name(s, "level")) {
            const GValue *rms = gst_structure_get_value(s, "rms");
            if (rms && G_VALUE_HOLDS(rms, G_TYPE_VALUE_ARRAY)) {
                auto *array = static_cast<GValueArray *>(g_value_get_boxed(rms));
                std::vector<float> levels;
                for (guint i = 0; array && i < array->n_values; ++i)
                    levels.push_back(float(g_value_get_double(g_value_array_get_nth(array, i))));
                std::lock_guard lock(self->m_statusMutex);
                self->m_levels = std::move(levels);
            }
        }
        break;
    }
    default:
        break;
    }
    return GST_BUS_DROP;
}

} // namespace kelvo::video::backend
