#include "device/DeviceAttachHandler.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include "common/SystemLog.h"

namespace kelvo::device {

std::uint64_t attachServiceId(std::uint8_t bus, std::uint8_t address)
{
    return (static_cast<std::uint64_t>(bus) << 8) | address;
}

DeviceAttachHandler::DeviceAttachHandler() : m_context(std::make_unique<QObject>()) {}

DeviceAttachHandler::~DeviceAttachHandler() = default;

void DeviceAttachHandler::handleEvent(const AttachEvent &event)
{
    // The text arrives over the hand-off socket: whatever it holds is shown
    // escaped.
    systemLog("Received event: %s: %llu", escapedForLog(event.deviceAttach.toUtf8()).constData(),
              static_cast<unsigned long long>(event.serviceID));
    if (m_hasLastEvent && event.serviceID == m_lastServiceID)
        return;
    m_hasLastEvent = true;
    m_lastServiceID = event.serviceID;
    kickstartQuadrel();
}

void DeviceAttachHandler::kickstartQuadrel()
{
    systemLog("Kickstart 1\n");
    QMetaObject::invokeMethod(
        m_context.get(),
        [this] {
            if (m_release)
                m_release();
        },
        Qt::QueuedConnection);
    kickstartQuadrel2();
}

void DeviceAttachHandler::kickstartQuadrel2()
{
    QTimer::singleShot(m_restartDelay, m_context.get(), [this] { kickstartQuadrel3(); });
}

void DeviceAttachHandler::kickstartQuadrel3()
{
    QMetaObject::invokeMethod(
        m_context.get(),
        [this] {
            if (m_restart)
                m_restart();
        },
        Qt::QueuedConnection);
}

} // namespace kelvo::device
