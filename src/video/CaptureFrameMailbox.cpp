#include "video/CaptureFrameMailbox.h"

#include <QMetaObject>

namespace kelvo::video {

CaptureFrameMailbox::CaptureFrameMailbox(Handler handler) : m_handler(std::move(handler)) {}

CaptureFrameMailbox::~CaptureFrameMailbox() = default;

void CaptureFrameMailbox::post(VideoFrame frame)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(m_mutex);
        wasEmpty = !m_pending.has_value();
        if (!wasEmpty)
            ++m_replaced;
        m_pending = std::move(frame);
    }
    if (wasEmpty)
        QMetaObject::invokeMethod(
            &m_context, [this] { deliver(); }, Qt::QueuedConnection);
}

void CaptureFrameMailbox::deliver()
{
    std::optional<VideoFrame> frame;
    {
        std::lock_guard lock(m_mutex);
        frame.swap(m_pending);
        if (frame)
            ++m_delivered;
    }
    if (frame && m_handler)
        m_handler(*frame);
}

std::uint64_t CaptureFrameMailbox::replacedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_replaced;
}

std::uint64_t CaptureFrameMailbox::deliveredCount() const
{
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

} // namespace kelvo::video
