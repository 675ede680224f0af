#include "video/backend/GstMovieRecording.h"

#include "common/SystemLog.h"

#include <gst/base/gstbasesink.h>

#include <atomic>
#include <initializer_list>

namespace kelvo::video::backend {

namespace {

constexpr guint64 kFragmentMs = 1000;

GstObjectPtr<GstElement> byName(GstElement *bin, const char *name)
{
    return GstObjectPtr<GstElement>(gst_bin_get_by_name(GST_BIN(bin), name));
}

// A hardware encoder where the driver offers one; it must also open, since
// the plugin registers without a usable device.
GstObjectPtr<GstElement> chooseVideoEncoder(const GstElementFactory &factory, QString *error)
{
    for (const char *hardware : {"vah264enc", "vaapih264enc"}) {
        if (!gst_element_factory_find(hardware))
            continue;
        GstObjectPtr<GstElement> encoder = makeElement(factory, hardware, "videoencoder", nullptr);
        if (encoder && gst_element_set_state(encoder.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(encoder.get(), GST_STATE_NULL);
            return encoder;
        }
    }
    GstObjectPtr<GstElement> encoder = makeElement(factory, "x264enc", "videoencoder", error);
    // Lowest latency and the cheapest preset: two cores hold 1080p30 with
    // room left for the live picture; a keyframe per second matches the
    // fragments, so each one starts decodable.
    if (encoder) {
        gst_util_set_object_arg(G_OBJECT(encoder.get()), "tune", "zerolatency");
        gst_util_set_object_arg(G_OBJECT(encoder.get()), "speed-preset", "ultrafast");
        g_object_set(encoder.get(), "key-int-max", 30u, nullptr);
    }
    return encoder;
}

// Which encoder records is worth knowing once, not at every movie.
GstObjectPtr<GstElement> makeVideoEncoder(const GstElementFactory &factory, QString *error)
{
    GstObjectPtr<GstElement> encoder = chooseVideoEncoder(factory, error);
    static std::atomic<bool> logged{false};
    if (encoder && !logged.exchange(true)) {
        auto *kind = gst_element_get_factory(encoder.get());
        systemLog("Recording movies with %s\n", kind ? GST_OBJECT_NAME(kind) : "an unknown encoder");
    }
    return encoder;
}

void makeLeaky(GstElement *queue)
{
    g_object_set(queue, "leaky", 2, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                 guint64(2 * GST_SECOND), nullptr);
}

// Links a new request pad of the named tee to the bin's ghost pad for
// target; null when the pipeline has no such tee.
GstObjectPtr<GstPad> attachToTee(GstElement *pipeline, const char *teeName, GstElement *bin, GstElement *target,
                                 const char *ghostName)
{
    const GstObjectPtr<GstElement> tee = byName(pipeline, teeName);
    if (!tee)
        return {};
    const GstObjectPtr<GstPad> targetPad(gst_element_get_static_pad(target, "sink"));
    GstPad *ghost = gst_ghost_pad_new(ghostName, targetPad.get());
    gst_pad_set_active(ghost, TRUE);
    gst_element_add_pad(bin, ghost);
    GstObjectPtr<GstPad> teePad(gst_element_request_pad_simple(tee.get(), "src_%u"));
    if (!teePad || gst_pad_link(teePad.get(), ghost) != GST_PAD_LINK_OK) {
        if (teePad)
            gst_element_release_request_pad(tee.get(), teePad.get());
        return {};
    }
    return teePad;
}

} // namespace

int GstMovieRecording::flipMethodForOrientation(int orientation)
{
    switch (orientation) {
    case 2:
        return 2; // rotate-180
    case 3:
        return 3; // counterclockwise
    case 4:
        return 1; // clockwise
    default:
        return 0;
    }
}

GstMovieRecording::GstMovieRecording(GstElement *pipeline, GstElementFactory makeElement, Finished finished)
    : m_pipeline(pipeline), m_makeElement(std::move(makeElement)), m_finished(std::move(finished))
{}

GstMovieRecording::~GstMovieRecording()
{
    finishNow(std::chrono::seconds(3));
}

bool GstMovieRecording::isActive() const
{
    std::lock_guard lock(m_mutex);
    return m_active;
}

bool GstMovieRecording::start(const std::string &path, int orientation, QString *error)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_active || m_bin || !m_pipeline)
            return false;
    }
    const GstObjectPtr<GstElement> videoTee = byName(m_pipeline, "videotee");
    if (!videoTee) {
        if (error)
            *error = QStringLiteral("There is no picture to record.");
        return false;
    }
    const bool withSound = GstObjectPtr<GstElement>(byName(m_pipeline, "audiotee")) != nullptr;

    GstObjectPtr<GstElement> vqueue, vconvert, flip, vcaps, encoder, vparse, mux, sink;
    GstObjectPtr<GstElement> aqueue, aconvert, resample, aencoder, aparse;
    for (auto [owner, factory] :
         std::initializer_list<std::pair<GstObjectPtr<GstElement> *, const char *>>{{&vqueue, "queue"},
                                                                                    {&vconvert, "videoconvert"},
                                                                                    {&flip, "videoflip"},
                                                                                    {&vcaps, "capsfilter"},
                                                                                    {&vparse, "h264parse"},
                                                                                    {&mux, "qtmux"},
                                                                                    {&sink, "filesink"}}) {
        *owner = makeElement(m_makeElement, factory, nullptr, error);
        if (!*owner)
            return false;
    }
    encoder = makeVideoEncoder(m_makeElement, error);
    if (!encoder)
        return false;
    if (withSound) {
        for (auto [owner, factory] :
             std::initializer_list<std::pair<GstObjectPtr<GstElement> *, const char *>>{{&aqueue, "queue"},
                                                                                        {&aconvert, "audioconvert"},
                                                                                        {&resample, "audioresample"},
                                                                                        {&aencoder, "avenc_aac"},
                                                                                        {&aparse, "aacparse"}}) {
            *owner = makeElement(m_makeElement, factory, nullptr, error);
            if (!*owner)
                return false;
        }
    }

    {
        std::lock_guard lock(m_mutex);
        m_bin = sinkFloating(gst_bin_new("recording"));
    }
    g_object_set(m_bin.get(), "message-forward", TRUE, nullptr);
    makeLeaky(vqueue.get());
    g_object_set(flip.get(), "method", flipMethodForOrientation(orientation), nullptr);
    const GstCapsPtr caps(gst_caps_from_string("video/x-raw, format=(string)I420"));
    g_object_set(vcaps.get(), "caps", caps.get(), nullptr);
    g_object_set(mux.get(), "fragment-duration", guint(kFragmentMs), nullptr);
    g_object_set(sink.get(), "location", path.c_str(), "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(m_bin.get()), vqueue.get(), vconvert.get(), flip.get(), vcaps.get(), encoder.get(),
                     vparse.get(), mux.get(), sink.get(), nullptr);
    bool linked = gst_element_link_many(vqueue.get(), vconvert.get(), flip.get(), vcaps.get(), encoder.get(),
                                        vparse.get(), mux.get(), sink.get(), nullptr);
    if (withSound) {
        makeLeaky(aqueue.get());
        gst_bin_add_many(GST_BIN(m_bin.get()), aqueue.get(), aconvert.get(), resample.get(), aencoder.get(),
                         aparse.get(), nullptr);
        linked = linked && gst_element_link_many(aqueue.get(), aconvert.get(), resample.get(), aencoder.get(),
                                                 aparse.get(), mux.get(), nullptr);
    }
    if (!linked) {
        if (error)
            *error = QStringLiteral("The movie could not be prepared.");
        m_bin.reset();
        return false;
    }

    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
        m_closed = false;
        m_finishing = false;
        m_videoFlowed = false;
        m_audioFlowed = !withSound;
        m_framesSinceStop = 0;
        m_error.clear();
    }
    for (auto [queue, probe] : {std::pair{vqueue.get(), &GstMovieRecording::onVideoBuffer},
                                std::pair{withSound ? aqueue.get() : nullptr, &GstMovieRecording::onAudioBuffer}}) {
        if (!queue)
            continue;
        const GstObjectPtr<GstPad> input(gst_element_get_static_pad(queue, "sink"));
        gst_pad_add_probe(input.get(), GST_PAD_PROBE_TYPE_BUFFER, probe, this, nullptr);
    }
    // The branch plays before it is linked: a tee pushing into a pad that is
    // not yet active gets FLUSHING back and passes it upstream, which stops
    // the live source (or the audio queue) for good. An unwritable file
    // fails here, before the live picture is touched.
    gst_bin_add(GST_BIN(m_pipeline), m_bin.get());
    if (gst_element_set_state(m_bin.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        if (error)
            *error = QStringLiteral("The movie file could not be written.");
        abandonStart();
        return false;
    }
    m_videoTeePad = attachToTee(m_pipeline, "videotee", m_bin.get(), vqueue.get(), "video");
    m_branches = m_videoTeePad ? 1 : 0;
    if (withSound) {
        m_audioTeePad = attachToTee(m_pipeline, "audiotee", m_bin.get(), aqueue.get(), "audio");
        m_branches += m_audioTeePad ? 1 : 0;
    }
    if (!m_videoTeePad || (withSound && !m_audioTeePad)) {
        if (error)
            *error = QStringLiteral("The movie could not be started.");
        abandonStart();
        return false;
    }
    // Only now can an error or the end reach the owner: a start that failed
    // is reported by its return value alone.
    std::lock_guard lock(m_mutex);
    m_active = true;
    return true;
}

void GstMovieRecording::abandonStart()
{
    teardown();
}

GstPadProbeReturn GstMovieRecording::onTeePadIdle(GstPad *teePad, GstPadProbeInfo *, gpointer)
{
    // Nothing flows on the tee pad now: cut it off and close the branch's
    // input, so the muxer finishes with what it got and the tee goes on
    // feeding the live picture.
    if (const GstObjectPtr<GstPad> peer{gst_pad_get_peer(teePad)}) {
        gst_pad_unlink(teePad, peer.get());
        gst_pad_send_event(peer.get(), gst_event_new_eos());
    }
    return GST_PAD_PROBE_REMOVE;
}

GstPadProbeReturn GstMovieRecording::onVideoBuffer(GstPad *, GstPadProbeInfo *, gpointer data)
{
    auto *self = static_cast<GstMovieRecording *>(data);
    bool close = false;
    {
        std::lock_guard lock(self->m_mutex);
        self->m_videoFlowed = true;
        if (self->m_stopping)
            ++self->m_framesSinceStop;
        // Sound that has not come a second after the stop is not coming
        // (a microphone that went away): the movie ends without it.
        close = self->m_stopping && (self->m_audioFlowed || self->m_framesSinceStop > kFramesToWaitForSound);
    }
    if (!close)
        return GST_PAD_PROBE_OK;
    self->closeInputs();
    return GST_PAD_PROBE_REMOVE;
}

GstPadProbeReturn GstMovieRecording::onAudioBuffer(GstPad *, GstPadProbeInfo *, gpointer data)
{
    auto *self = static_cast<GstMovieRecording *>(data);
    bool close = false;
    {
        std::lock_guard lock(self->m_mutex);
        self->m_audioFlowed = true;
        close = self->m_stopping && self->m_videoFlowed;
    }
    if (close)
        self->closeInputs();
    return GST_PAD_PROBE_REMOVE;
}

void GstMovieRecording::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_active || m_stopping)
            return;
        m_stopping = true;
        // A muxer that saw neither picture nor sound writes no movie: a
        // stop right after the start waits for both to have arrived, and
        // the probe that sees the last of them closes the inputs.
        if (!m_videoFlowed || !m_audioFlowed)
            return;
    }
    closeInputs();
}

void GstMovieRecording::closeInputs()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_closed = true;
    }
    for (GstPad *pad : {m_videoTeePad.get(), m_audioTeePad.get()})
        if (pad)
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_IDLE, onTeePadIdle, this, nullptr);
}

void GstMovieRecording::finishNow(std::chrono::milliseconds timeout)
{
    stop();
    std::unique_lock lock(m_mutex);
    const auto ended = [this] { return !m_active && !m_reporting; };
    if (m_done.wait_for(lock, timeout, ended))
        return;
    if (m_finishing) {
        // The end was seen and its teardown is queued: it refers to this
        // object, so it must run before the object goes.
        m_done.wait(lock, ended);
        return;
    }
    // The branch never drained (a stopped pipeline): close it as it is;
    // the last complete fragment still plays.
    m_finishing = true;
    lock.unlock();
    teardown();
    lock.lock();
    m_active = false;
    lock.unlock();
    if (m_finished)
        m_finished(QStringLiteral("The movie could not be finished."));
}

bool GstMovieRecording::handleBusMessage(GstMessage *message)
{
    GstObjectPtr<GstElement> bin;
    {
        std::lock_guard lock(m_mutex);
        if (!m_bin)
            return false;
        bin.reset(GST_ELEMENT(gst_object_ref(m_bin.get())));
    }
    GstObject *source = GST_MESSAGE_SRC(message);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ELEMENT && source == GST_OBJECT(bin.get())) {
        const GstStructure *s = gst_message_get_structure(message);
        if (s && gst_structure_has_name(s, "GstBinForwarded")) {
            GstMessage *inner = nullptr;
            gst_structure_get(s, "message", GST_TYPE_MESSAGE, &inner, nullptr);
            const GstMessagePtr owned(inner);
            if (inner && GST_MESSAGE_TYPE(inner) == GST_MESSAGE_EOS && GST_IS_BASE_SINK(GST_MESSAGE_SRC(inner)))
                endBranch({});
        }
        return true;
    }
    if (source != GST_OBJECT(bin.get()) && !gst_object_has_as_ancestor(source, GST_OBJECT(bin.get())))
        return false;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError *rawError = nullptr;
        gst_message_parse_error(message, &rawError, nullptr);
        const GErrorPtr error(rawError);
        endBranch(QString::fromUtf8(error ? error->message : "unknown error"));
    }
    return true;
}

void GstMovieRecording::endBranch(const QString &error)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_active || m_finishing)
            return;
        m_finishing = true;
        m_error = error;
    }
    // The message arrives on the branch's own streaming thread, which
    // cannot shut the branch down itself.
    gst_element_call_async(
        m_pipeline,
        [](GstElement *, gpointer data) {
            auto *self = static_cast<GstMovieRecording *>(data);
            self->teardown();
            QString error;
            {
                // Inactive before the owner hears of it, so that it may
                // start the next movie at once.
                std::lock_guard lock(self->m_mutex);
                error = self->m_error;
                self->m_active = false;
                self->m_reporting = true;
            }
            if (self->m_finished)
                self->m_finished(error);
            std::lock_guard lock(self->m_mutex);
            self->m_reporting = false;
            self->m_done.notify_all();
        },
        this, nullptr);
}

void GstMovieRecording::teardown()
{
    if (!m_bin)
        return;
    for (auto [pad, teeName] : {std::pair{&m_videoTeePad, "videotee"}, std::pair{&m_audioTeePad, "audiotee"}}) {
        if (!*pad)
            continue;
        if (const GstObjectPtr<GstPad> peer{gst_pad_get_peer(pad->get())})
            gst_pad_unlink(pad->get(), peer.get());
        if (const GstObjectPtr<GstElement> tee = byName(m_pipeline, teeName))
            gst_element_release_request_pad(tee.get(), pad->get());
        pad->reset();
    }
    gst_element_set_state(m_bin.get(), GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline), m_bin.get());
    std::lock_guard lock(m_mutex);
    m_bin.reset();
}

} // namespace kelvo::video::backend
