#include "device/FirmwareInstaller.h"

#include "common/SystemLog.h"
#include "device/DeviceDiscovery.h"
#include "device/DeviceLink.h"
#include "device/VendorUsbInterface.h"

namespace kelvo::device {
namespace {

const char *entryLine(std::int32_t state)
{
    switch (state) {
    case kWaitingForDeviceInDFUMode:
        return "Changing to waiting for DFU view.\n";
    case kUploadInProgress:
        return "Changing to in-progress view.\n";
    case kUploadDone:
        return "Changing to upload done view.\n";
    case kUploadFailed:
        return "Changing to upload failed view.\n";
    case kWaitingForReset:
    case kWaitingForResetToRetry:
        return "Changing to \"waiting for reset\" view.\n";
    case kFirmwareStateFatal:
        return "Changing to \"fatal firmware failure\" view.\n";
    default:
        return nullptr;
    }
}

} // namespace

FirmwareInstaller::FirmwareInstaller(DeviceLink &link, Hooks hooks, FirmwareUploadSource source)
    : m_link(link), m_hooks(std::move(hooks)), m_source(std::move(source))
{
    m_source.setState = [this](std::int32_t state) { setFirmwareUploadState(state); };
    m_source.setProgress = [this](double percent) {
        m_progress.store(percent);
        if (m_hooks.progressChanged)
            m_hooks.progressChanged(percent);
    };
}

QString FirmwareInstaller::pageIdentifier(std::int32_t state)
{
    switch (state) {
    case kWaitingForDeviceInDFUMode:
        return QStringLiteral("WaitingForDFU");
    case kUploadInProgress:
        return QStringLiteral("InProgress");
    case kUploadDone:
        return QStringLiteral("WaitingForReboot");
    case kUploadFailed:
        return QStringLiteral("UploadFailed");
    case kWaitingForReset:
    case kWaitingForResetToRetry:
        return QStringLiteral("PressReset");
    case kFirmwareStateFatal:
        return QStringLiteral("FatalError");
    default:
        return {};
    }
}

std::int32_t FirmwareInstaller::firmwareUploadState() const
{
    return m_link.firmwareUploadState();
}

void FirmwareInstaller::setFirmwareUploadState(std::int32_t state)
{
    // The watchers read the state on the device-link queue: it must hold the
    // new value before anything else happens.
    m_link.storeFirmwareUploadState(state);
    if (state == kDeviceReappeared) {
        systemLog("Device reappeared.\n");
        m_hooks.postToMain([this] { m_hooks.finished(); });
        return;
    }
    const char *line = entryLine(state);
    if (!line)
        return;
    systemLog("%s", line);
    const QString page = pageIdentifier(state);
    m_hooks.postToMain([this, page] { m_hooks.showPage(page); });
    if (state == kUploadDone || state == kWaitingForReset || state == kWaitingForResetToRetry)
        m_hooks.startWatcher(true);
}

void FirmwareInstaller::begin()
{
    m_progress.store(0.0);
    setFirmwareUploadState(kWaitingForDeviceInDFUMode);
    m_hooks.startWatcher(false);
}

void FirmwareInstaller::cancelFirmwareInstall()
{
    const std::int32_t state = firmwareUploadState();
    // Once the camera may hold part of an image, only its return in camera
    // mode may end the procedure.
    if (state == kUploadInProgress || state == kUploadFailed || state == kFirmwareStateFatal)
        setFirmwareUploadState(kWaitingForReset);
    else
        setFirmwareUploadState(kDeviceReappeared);
}

void FirmwareInstaller::retryFirmwareInstall()
{
    setFirmwareUploadState(kWaitingForResetToRetry);
}

void FirmwareInstaller::quitAfterFirmwareInstallFailure()
{
    m_hooks.quit();
}

void FirmwareInstaller::upload(const std::shared_ptr<VendorUsbInterface> &interface)
{
    const ControlRequest control = [interface](std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                               std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                               std::uint32_t &transferred) {
        return interface->controlRequest(requestType, request, value, index, data, length, transferred);
    };
    performFirmwareUpdate(control, m_source);
    // The camera restarts or is reset from here: nothing more goes to it, and
    // its return is a new attach.
    m_link.removeInterfaceInterface(interface);
    interface->close();
}

} // namespace kelvo::device
