#include "video/backend/GstCaptureDeviceMonitor.h"

#include "common/SystemLog.h"
#include "video/backend/GstDeviceProperties.h"
#include "video/backend/GstElementFactory.h"
#include "video/backend/SimulatedCameraSource.h"

#include <gst/gst.h>

#include <QMetaObject>

#include <cstdlib>
#include <set>

namespace kelvo::video::backend {

namespace {

CaptureDevice simulatedDevice(const char *id, const char *model, const char *name, CaptureMediaType type)
{
    CaptureDevice d;
    d.uniqueID = id;
    d.modelID = model;
    d.localizedName = QString::fromUtf8(name);
    d.transportType = kTransportTypeUSB;
    d.hasVideo = type == CaptureMediaType::Video;
    d.hasAudio = type == CaptureMediaType::Audio;
    return d;
}

} // namespace

GstBusSyncReply GstCaptureDeviceMonitor::onMonitorMessage(GstBus *, GstMessage *message, gpointer data)
{
    // A sync handler that answers GST_BUS_DROP releases the message itself.
    const GstMessagePtr dropped(message);
    auto *self = static_cast<GstCaptureDeviceMonitor *>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_DEVICE_ADDED || type == GST_MESSAGE_DEVICE_REMOVED || type == GST_MESSAGE_DEVICE_CHANGED) {
        // Only report here; the list is rebuilt on the main thread. The
        // context's deletion drops a request still queued.
        QMetaObject::invokeMethod(
            &self->m_context, [self] { self->rebuild(); }, Qt::QueuedConnection);
    }
    return GST_BUS_DROP;
}

GstCaptureDeviceMonitor::GstCaptureDeviceMonitor(const Options &options, ChangeHandler onChange)
    : m_options(options), m_onChange(std::move(onChange))
{
    if (m_options.environmentSource) {
        if (const char *description = std::getenv(kEnvironmentVariable); description && *description) {
            CaptureDevice d;
            d.uniqueID = kEnvironmentSourceID;
            d.modelID = "GStreamer Video Source";
            d.localizedName = QString::fromUtf8(description);
            // Counts as a built-in camera: chosen when there is no Quadrel.
            d.transportType = kTransportTypeBuiltIn;
            d.hasVideo = true;
            m_describedEntries.push_back({d, CaptureMediaType::Video, nullptr, description, false});
        }
    }
    if (m_options.systemDevices) {
        m_monitor.reset(gst_device_monitor_new());
        gst_device_monitor_add_filter(m_monitor.get(), "Video/Source", nullptr);
        gst_device_monitor_add_filter(m_monitor.get(), "Audio/Source", nullptr);
        const GstObjectPtr<GstBus> bus(gst_device_monitor_get_bus(m_monitor.get()));
        gst_bus_set_sync_handler(bus.get(), onMonitorMessage, this, nullptr);
        // Without start() the providers only probe, and report no USB ids.
        if (!gst_device_monitor_start(m_monitor.get()))
            systemLog("Could not start the capture device monitor.\n");
    }
    rebuild();
}

GstCaptureDeviceMonitor::~GstCaptureDeviceMonitor()
{
    if (m_monitor) {
        gst_device_monitor_stop(m_monitor.get());
        const GstObjectPtr<GstBus> bus(gst_device_monitor_get_bus(m_monitor.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    }
}

void GstCaptureDeviceMonitor::rescan()
{
    rebuild();
}

void GstCaptureDeviceMonitor::rebuild()
{
    if (m_monitor) {
        m_systemEntries.clear();
        GList *found = gst_device_monitor_get_devices(m_monitor.get());
        for (GList *l = found; l; l = l->next) {
            auto *gstDevice = GST_DEVICE(l->data);
            const CaptureMediaType type =
                gst_device_has_classes(gstDevice, "Video/Source") ? CaptureMediaType::Video : CaptureMediaType::Audio;
            const DeviceFacts facts = deviceFactsFromGstDevice(gstDevice);
            if (facts.deviceClass == "monitor") // what a sound card plays, not a microphone
                continue;
            m_systemEntries.push_back(
                {describeCaptureDevice(facts, type),
                 type,
                 std::shared_ptr<GstDevice>(GST_DEVICE(gst_object_ref(gstDevice)), Release<gst_object_unref>()),
                 {},
                 facts.isDefault});
        }
        g_list_free_full(found, gst_object_unref);
    }

    std::vector<Entry> list;
    const bool anyOtherCamera = std::any_of(m_systemEntries.begin(), m_systemEntries.end(),
                                            [](const Entry &e) { return e.type == CaptureMediaType::Video; }) ||
                                std::any_of(m_describedEntries.begin(), m_describedEntries.end(),
                                            [](const Entry &e) { return e.type == CaptureMediaType::Video; });
    const bool simulate = m_simulated && (m_simulationForced || !anyOtherCamera);
    if (simulate) {
        list.push_back(
            {simulatedDevice(kSimulatedCameraID, kQuadrelModelID, "Quadrel (simulated)", CaptureMediaType::Video),
             CaptureMediaType::Video,
             nullptr,
             {},
             false});
    }
    for (const Entry &e : m_systemEntries)
        list.push_back(e);
    for (const Entry &e : m_describedEntries)
        list.push_back(e);
    if (simulate) {
        list.push_back({simulatedDevice(kSimulatedMicrophoneID, "Quadrel Microphone", "Quadrel Microphone (simulated)",
                                        CaptureMediaType::Audio),
                        CaptureMediaType::Audio,
                        nullptr,
                        {},
                        false});
    }

    std::set<std::string> before, after;
    for (const Entry &e : m_list)
        before.insert(e.device.uniqueID);
    for (const Entry &e : list)
        after.insert(e.device.uniqueID);
    m_list = std::move(list);

    bool connected = false, disconnected = false;
    for (const std::string &id : after)
        connected |= !before.count(id);
    for (const std::string &id : before)
        disconnected |= !after.count(id);
    if ((connected || disconnected) && m_onChange)
        m_onChange(connected, disconnected);
}

std::vector<CaptureDevice> GstCaptureDeviceMonitor::devices(CaptureMediaType type) const
{
    std::vector<CaptureDevice> out;
    for (const Entry &e : m_list) {
        if (e.type == type)
            out.push_back(e.device);
    }
    return out;
}

std::optional<CaptureDevice> GstCaptureDeviceMonitor::defaultAudioDevice() const
{
    std::optional<CaptureDevice> first;
    for (const Entry &e : m_list) {
        if (e.type != CaptureMediaType::Audio)
            continue;
        if (e.isDefault)
            return e.device;
        if (!first)
            first = e.device;
    }
    return first;
}

GstObjectPtr<GstElement> GstCaptureDeviceMonitor::createSourceElement(const CaptureDevice &device, QString *error) const
{
    const Entry *entry = nullptr;
    for (const Entry &e : m_list) {
        if (e.device.sameDevice(device))
            entry = &e;
    }
    GstObjectPtr<GstElement> element;
    QString reason;
    if (!entry) {
        reason = QStringLiteral("The device is no longer connected.");
    } else if (entry->device.uniqueID == kSimulatedCameraID) {
        element = m_simulated->createVideoSourceElement(&reason);
    } else if (entry->device.uniqueID == kSimulatedMicrophoneID) {
        element = m_simulated->createAudioSourceElement(&reason);
    } else if (entry->gstDevice) {
        element = sinkFloating(gst_device_create_element(entry->gstDevice.get(), nullptr));
        if (!element)
            reason = QStringLiteral("The device could not be opened.");
    } else {
        // The launch syntax takes caps ("video/x-raw,...") only between two
        // elements; the identity lets a description end in them.
        element = parseBin(entry->launchDescription + " ! identity silent=true", &reason);
    }
    if (!element && error)
        *error = QStringLiteral("%1: %2").arg(device.localizedName, reason.isEmpty() ? "cannot be used" : reason);
    return element;
}

void GstCaptureDeviceMonitor::addDescribedDevice(const CaptureDevice &device, const std::string &launchDescription)
{
    std::erase_if(m_describedEntries, [&](const Entry &e) { return e.device.sameDevice(device); });
    const CaptureMediaType type = device.hasMuxed   ? CaptureMediaType::Muxed
                                  : device.hasAudio ? CaptureMediaType::Audio
                                                    : CaptureMediaType::Video;
    m_describedEntries.push_back({device, type, nullptr, launchDescription, false});
    rebuild();
}

void GstCaptureDeviceMonitor::removeDevice(const std::string &uniqueID)
{
    std::erase_if(m_describedEntries, [&](const Entry &e) { return e.device.uniqueID == uniqueID; });
    rebuild();
}

void GstCaptureDeviceMonitor::setSimulatedCamera(std::shared_ptr<SimulatedCameraSource> camera)
{
    m_simulated = std::move(camera);
    rebuild();
}

void GstCaptureDeviceMonitor::setSimulationForced(bool forced)
{
    m_simulationForced = forced;
    rebuild();
}

bool GstCaptureDeviceMonitor::isSimulatedCameraListed() const
{
    return std::any_of(m_list.begin(), m_list.end(),
                       [](const Entry &e) { return e.device.uniqueID == kSimulatedCameraID; });
}

} // namespace kelvo::video::backend
