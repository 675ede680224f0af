#pragma once

#include "video/ColourCurve.h"
#include "video/ImageFilter.h"
#include "video/LivePictureScaler.h"
#include "video/RenderPathChoice.h"
#include "video/VideoFrame.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QPainter;
class QRegion;
class QWindow;

namespace kelvo::ui {

class VideoViewGlSurface;

// The live camera picture: draws each frame with the current colour mode,
// digital zoom, orientation and mirroring. On the GPU with a hardware OpenGL
// renderer (a shader converts the planes and applies the colour curve);
// otherwise on the CPU, which converts only the frame pixels the view shows
// and scales them in the same pass, straight into the window's backing
// store. Both give the same picture: pixel for pixel at the frame's own
// size, and smoothed after the colour mode when it is scaled or zoomed. An
// overlay widget (the reading guides) may lie above it.
//
// Never lags behind the camera: it keeps only the newest frame, and a frame
// that arrives before the previous one was drawn replaces it. Each paint
// converts at most one frame. Costs nothing while nothing new can be seen:
// frames that arrive under a still picture, or while the window is hidden,
// minimised or covered, are kept but not drawn until the picture can be
// seen again. Lives on the main thread.
class VideoView : public QWidget {
    Q_OBJECT
public:
    enum class RenderPath {
        Automatic, // the process's choice (chosenRenderPath)
        Gpu,       // the GPU whenever an OpenGL context can be had
        Cpu,       // always the CPU conversion
    };

    explicit VideoView(QWidget *parent = nullptr, RenderPath path = RenderPath::Automatic);
    ~VideoView() override;

    // Shows a camera frame, replacing any frame not yet drawn. Frames that
    // cannot be read are dropped. Main thread.
    void presentFrame(const kelvo::video::VideoFrame &frame);

    // The preview's filters as ImageFilterChain installs them: the colour
    // chain and the digital zoom.
    void setPreviewFilters(const kelvo::video::ImageFilterList &filters);
    const kelvo::video::ImageFilterList &previewFilters() const { return m_filters; }

    // Shows a still picture (the frozen or deinterlaced picture, already
    // converted and turned) in place of the live frames, through the same
    // colour mode and zoom and mirrored by the freeze-frame filters, as the
    // freeze-frame view beneath the preview is. A null image returns to the
    // live picture. Frames presented meanwhile are kept, not drawn.
    void setStillPicture(const QImage &picture);
    bool isShowingStill() const { return !m_still.isNull(); }
    // The freeze-frame view's own filters (ImageFilterState::freezeFrameFilters).
    void setFreezeFrameFilters(const kelvo::video::ImageFilterList &filters);

    // The capture connection's settings for the live picture.
    void setVideoOrientation(std::int64_t orientation);
    std::int64_t videoOrientation() const { return m_orientation; }
    void setMirrored(bool mirrored);
    bool isMirrored() const { return m_mirrored; }

    // Puts a widget above the picture, covering all of it; the view keeps
    // its size in step. Replaces (without deleting) a previous overlay.
    void setOverlayWidget(QWidget *overlay);
    QWidget *overlayWidget() const { return m_overlay; }

    // Whether the GPU draws the frames.
    bool isUsingGpu() const { return m_gl != nullptr; }
    // The size of the newest frame; empty before the first.
    QSize frameSize() const;
    // How many frames have been converted for drawing.
    int framesDrawn() const { return m_framesDrawn; }
    // How many times any frame was converted (a repaint of a frame already
    // drawn counts again): the work the picture has cost.
    int conversions() const { return m_conversions; }

    // Whether this process can create an OpenGL context at all.
    static bool canUseOpenGl();
    // The GL_RENDERER string of a context made for the test; nothing when
    // none can be made.
    static std::optional<std::string> openGlRenderer();
    // What views built with RenderPath::Automatic use; set before the first
    // view is built (the command line, the settings).
    static void setRenderPreference(kelvo::video::RenderPreference preference);
    // The path of Automatic views, chosen once and logged once.
    static kelvo::video::RenderPath chosenRenderPath();

    // Whether a repaint now could be seen: shown, and its window exposed
    // (not minimised, and on X11 not unmapped).
    bool canBeSeen() const;

signals:
    // The camera's picture size changed (the window may need a new aspect).
    void frameSizeChanged(QSize size);
    // canBeSeen() changed.
    void visibilityChanged(bool canBeSeen);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void useCpu();
    void paintStill(QPainter &painter);
    void paintLive(QPainter &painter, const QRegion &region);
    bool paintIntoBackingStore(QPainter &painter, const QRegion &region, const kelvo::video::AxisAlignedPlacement &at);
    void paintThroughImage(QPainter &painter, const QRegion &region, const kelvo::video::AxisAlignedPlacement &at);
    void paintTurned(QPainter &painter);
    void noteConverted();
    void noteVisibility();
    void watchWindow();
    void layOutChildren();
    // A frame was converted for drawing; timestampNs names it for the trace.
    void frameDrawn(std::int64_t timestampNs);

    friend class VideoViewGlSurface;

    kelvo::video::ImageFilterList m_filters;
    std::shared_ptr<const kelvo::video::ColourCurve> m_curve;
    std::int64_t m_orientation = 1;
    bool m_mirrored = false;

    // The newest frame; its bytes stay alive through its shared storage.
    kelvo::video::VideoFrame m_frame;
    // m_frame has not been converted since it came.
    bool m_frameIsNew = false;
    // A frame came while the picture could not be seen.
    bool m_frameWaiting = false;
    // What visibilityChanged last said.
    bool m_seen = false;
    // Turned pictures: the whole frame converted, then drawn turned.
    bool m_cpuImageStale = false;
    QImage m_cpuImage;
    // The view's pixels when the backing store cannot be written directly.
    QImage m_viewImage;
    kelvo::video::LivePictureScaler m_scaler;
    int m_framesDrawn = 0;
    int m_conversions = 0;
    QPointer<QWindow> m_watchedWindow;

    QImage m_still;         // as given, 32-bit
    QImage m_stillColoured; // through the colour curve
    bool m_stillStale = false;
    kelvo::video::ImageFilterList m_freezeFrameFilters;

    VideoViewGlSurface *m_gl = nullptr;
    QPointer<QWidget> m_overlay;
};

} // namespace kelvo::ui
