#include "video/CapturePreviewLayer.h"

namespace kelvo::video {

void CapturePreviewLayer::setFrame(const QRectF &frame)
{
    m_frame = frame;
    m_bounds = QRectF(m_bounds.topLeft(), frame.size());
    if (m_geometryObserver)
        m_geometryObserver(m_frame, m_bounds);
}

void CapturePreviewLayer::setBounds(const QRectF &bounds)
{
    m_bounds = bounds;
    m_frame.setSize(bounds.size());
    if (m_geometryObserver)
        m_geometryObserver(m_frame, m_bounds);
}

void CapturePreviewLayer::display(const VideoFrame &frame)
{
    if (isShowingLiveVideo() && m_sink)
        m_sink(frame);
}

} // namespace kelvo::video
