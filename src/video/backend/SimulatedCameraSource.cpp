#include "video/backend/SimulatedCameraSource.h"

#include "video/backend/GstElementFactory.h"
#include "video/backend/SimulatedDocumentPage.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <QPainter>

#include <cmath>
#include <cstring>
#include <mutex>

namespace kelvo::video::backend {

namespace {

// Extra pixels around the served picture, so that the gentle sway of a
// hand-held page can be cut out of one zoomed picture.
constexpr int kSwayMargin = 16;

} // namespace

struct SimulatedCameraSource::State {
    Options options;
    QImage page;

    mutable std::mutex mutex;
    std::uint16_t lensPosition = 0; // guarded by mutex
    bool frozen = false;            // guarded by mutex
    // The zoomed picture with its sway margin, for zoomedLens.
    std::shared_ptr<const std::vector<std::uint8_t>> zoomed; // guarded by mutex
    std::uint16_t zoomedLens = 0;                            // guarded by mutex

    QImage view(std::uint16_t lens, int margin) const
    {
        const double w = options.frameSize.width(), h = options.frameSize.height();
        // At the widest step the camera sees nine tenths of the page width.
        const double viewWidth = page.width() * 0.9 / magnificationForLensPosition(lens);
        const double scale = w / viewWidth;
        const double cropWidth = viewWidth + 2 * margin / scale;
        const double cropHeight = (h + 2 * margin) / scale;
        // The reading point sits in the print-size paragraphs.
        const double cx = page.width() / 2.0, cy = page.height() * 0.33;
        QRectF crop(cx - cropWidth / 2, cy - cropHeight / 2, cropWidth, cropHeight);
        crop.moveTop(std::clamp(crop.top(), 0.0, std::max(0.0, page.height() - crop.height())));
        QImage out(int(w) + 2 * margin, int(h) + 2 * margin, QImage::Format_RGB888);
        out.fill(Qt::white);
        QPainter p(&out);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(out.rect()), page, crop);
        p.end();
        // The Quadrel's head looks at the page upside down in its document
        // and far positions (the viewer turns it back by default), so the
        // simulated camera delivers it the same way.
        return out.mirrored(true, true);
    }

    std::shared_ptr<const std::vector<std::uint8_t>> zoomedPicture()
    {
        std::uint16_t lens;
        {
            std::lock_guard lock(mutex);
            if (zoomed && zoomedLens == lensPosition)
                return zoomed;
            lens = lensPosition;
        }
        // Drawn outside the lock: setLensPosition must not wait for it.
        auto picture = std::make_shared<const std::vector<std::uint8_t>>(rgbToUyvy(view(lens, kSwayMargin)));
        std::lock_guard lock(mutex);
        zoomed = picture;
        zoomedLens = lens;
        return picture;
    }
};

namespace {

// One video element's stream: its frame count and the last frame served.
struct Feeder {
    std::shared_ptr<SimulatedCameraSource::State> state;
    std::uint64_t frameIndex = 0;
    GstBufferPtr last{};
};

GstBuffer *nextFrame(Feeder &feeder)
{
    SimulatedCameraSource::State &s = *feeder.state;
    bool frozen;
    {
        std::lock_guard lock(s.mutex);
        frozen = s.frozen;
    }
    if (frozen && feeder.last)
        return gst_buffer_copy(feeder.last.get()); // shares the memory of the held picture

    const int w = s.options.frameSize.width(), h = s.options.frameSize.height();
    const int fullStride = (w + 2 * kSwayMargin) * 2;
    const std::shared_ptr<const std::vector<std::uint8_t>> zoomed = s.zoomedPicture();

    // A slow sway, as of a page held by hand; x stays even for UYVY pairs.
    const double t = double(feeder.frameIndex) / s.options.framesPerSecond;
    const int dx = kSwayMargin + 2 * int(std::lround(3 * std::sin(2 * M_PI * t / 4.0)));
    const int dy = kSwayMargin + int(std::lround(4 * std::sin(2 * M_PI * t / 6.0)));

    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, gsize(w) * h * 2, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (int row = 0; row < h; ++row)
        std::memcpy(map.data + gsize(row) * w * 2, zoomed->data() + gsize(row + dy) * fullStride + dx * 2,
                    gsize(w) * 2);
    gst_buffer_unmap(buffer, &map);

    feeder.last.reset(gst_buffer_ref(buffer));
    return buffer;
}

void needData(GstAppSrc *source, guint, gpointer data)
{
    Feeder &feeder = *static_cast<Feeder *>(data);
    GstBuffer *buffer = nextFrame(feeder);
    buffer = gst_buffer_make_writable(buffer);
    const GstClockTime duration = gst_util_uint64_scale_int(GST_SECOND, 1, feeder.state->options.framesPerSecond);
    GST_BUFFER_PTS(buffer) = feeder.frameIndex * duration;
    GST_BUFFER_DURATION(buffer) = duration;
    ++feeder.frameIndex;
    gst_app_src_push_buffer(source, buffer);
}

void destroyFeeder(gpointer data)
{
    delete static_cast<Feeder *>(data);
}

} // namespace

SimulatedCameraSource::SimulatedCameraSource() : SimulatedCameraSource(Options{}) {}

SimulatedCameraSource::SimulatedCameraSource(const Options &options) : m_state(std::make_shared<State>())
{
    m_state->options = options;
    m_state->page = renderSimulatedDocumentPage(options.pageSize);
}

SimulatedCameraSource::~SimulatedCameraSource() = default;

void SimulatedCameraSource::setLensPosition(std::uint16_t position)
{
    std::lock_guard lock(m_state->mutex);
    m_state->lensPosition = position;
}

std::uint16_t SimulatedCameraSource::lensPosition() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->lensPosition;
}

void SimulatedCameraSource::setFrozen(bool frozen)
{
    std::lock_guard lock(m_state->mutex);
    m_state->frozen = frozen;
}

bool SimulatedCameraSource::isFrozen() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->frozen;
}

double SimulatedCameraSource::magnificationForLensPosition(std::uint16_t position)
{
    const double last = kLensPositions.back();
    return 1.0 + 7.0 * std::min<double>(position, last) / last;
}

QSize SimulatedCameraSource::frameSize() const
{
    return m_state->options.frameSize;
}

const QImage &SimulatedCameraSource::page() const
{
    return m_state->page;
}

QImage SimulatedCameraSource::viewAt(std::uint16_t lensPosition) const
{
    return m_state->view(lensPosition, 0);
}

GstObjectPtr<GstElement> SimulatedCameraSource::createVideoSourceElement(QString *error) const
{
    const Options &o = m_state->options;
    const GstElementFactory factory = installedElementFactory();
    const GstObjectPtr<GstElement> appsrc = makeElement(factory, "appsrc", nullptr, error);
    if (!appsrc)
        return nullptr;
    // Holds each buffer until its time comes, so the picture arrives at the
    // frame rate like a camera's.
    const GstObjectPtr<GstElement> pace = makeElement(factory, "identity", nullptr, error);
    if (!pace)
        return nullptr;
    const GstCapsPtr caps(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "UYVY", "width", G_TYPE_INT, o.frameSize.width(), "height", G_TYPE_INT,
        o.frameSize.height(), "framerate", GST_TYPE_FRACTION, o.framesPerSecond, 1, "colorimetry", G_TYPE_STRING,
        "bt601", "interlace-mode", G_TYPE_STRING, "progressive", nullptr));
    g_object_set(appsrc.get(), "caps", caps.get(), "is-live", TRUE, "format", GST_FORMAT_TIME, "max-buffers",
                 guint64(1), nullptr);
    g_object_set(pace.get(), "sync", TRUE, nullptr);

    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = needData;
    gst_app_src_set_callbacks(GST_APP_SRC(appsrc.get()), &callbacks, new Feeder{m_state}, destroyFeeder);

    GstObjectPtr<GstElement> bin = sinkFloating(gst_bin_new(nullptr));
    gst_bin_add_many(GST_BIN(bin.get()), appsrc.get(), pace.get(), nullptr);
    gst_element_link(appsrc.get(), pace.get());
    const GstObjectPtr<GstPad> pad(gst_element_get_static_pad(pace.get(), "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", pad.get()));
    return bin;
}

GstObjectPtr<GstElement> SimulatedCameraSource::createAudioSourceElement(QString *error) const
{
    return parseBin(
        "audiotestsrc is-live=true wave=sine freq=440 volume=0.1 ! capsfilter caps=audio/x-raw,rate=48000,channels=2",
        error);
}

std::vector<std::uint8_t> rgbToUyvy(const QImage &source)
{
    const QImage rgb =
        source.format() == QImage::Format_RGB888 ? source : source.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width() & ~1, h = rgb.height();
    std::vector<std::uint8_t> out(std::size_t(w) * h * 2);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t *in = rgb.constScanLine(y);
        std::uint8_t *o = out.data() + std::size_t(y) * w * 2;
        for (int x = 0; x < w; x += 2) {
            const int r0 = in[3 * x], g0 = in[3 * x + 1], b0 = in[3 * x + 2];
            const int r1 = in[3 * x + 3], g1 = in[3 * x + 4], b1 = in[3 * x + 5];
            const int r = (r0 + r1) / 2, g = (g0 + g1) / 2, b = (b0 + b1) / 2;
            o[2 * x] = std::uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            o[2 * x + 1] = std::uint8_t(((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16);
            o[2 * x + 2] = std::uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
            o[2 * x + 3] = std::uint8_t(((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16);
        }
    }
    return out;
}

} // namespace kelvo::video::backend
