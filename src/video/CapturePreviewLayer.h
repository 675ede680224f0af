#pragma once

#include "video/VideoFrame.h"

#include <QRectF>

#include <functional>

namespace kelvo::video {

// The live picture's layer inside the preview view. It shows the session's
// frames while it is in the view's layer tree and not hidden: deinterlacing
// takes it out of the tree (the freeze-frame view then draws the live
// picture), a frozen picture hides it.
// Thread: main thread.
class CapturePreviewLayer {
public:
    using FrameSink = std::function<void(const VideoFrame &)>;
    using GeometryObserver = std::function<void(const QRectF &frame, const QRectF &bounds)>;

    QRectF frame() const { return m_frame; }
    QRectF bounds() const { return m_bounds; }
    void setFrame(const QRectF &frame);
    void setBounds(const QRectF &bounds);

    // "Added as a sublayer of the preview view's layer".
    bool isInLayerTree() const { return m_inLayerTree; }
    void setInLayerTree(bool inTree) { m_inLayerTree = inTree; }
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden) { m_hidden = hidden; }
    bool isShowingLiveVideo() const { return m_inLayerTree && !m_hidden; }

    // The view that draws this layer's frames, and is told of its geometry.
    void setFrameSink(FrameSink sink) { m_sink = std::move(sink); }
    void setGeometryObserver(GeometryObserver observer) { m_geometryObserver = std::move(observer); }

    // Draws the frame if the layer shows live video.
    void display(const VideoFrame &frame);

private:
    QRectF m_frame;
    QRectF m_bounds;
    bool m_inLayerTree = false;
    bool m_hidden = false;
    FrameSink m_sink;
    GeometryObserver m_geometryObserver;
};

} // namespace kelvo::video
