#include "viewer/ViewerUpdater.h"

#include "common/BuildInfo.h"
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "settings/PreferenceKeys.h"
#include "ui/DraggableWindow.h"
#include "ui/PreferencesWindow.h"
#include "viewer/FirmwareUpdateFlow.h"
#include "viewer/MainWindowDelegate.h"

namespace kelvo::viewer {

ViewerUpdater::ViewerUpdater(MainWindowDelegate &controller, update::UpdaterConfig config)
    : m_controller(controller), m_updater(*this, m_questions, std::move(config))
{}

void ViewerUpdater::loadPreferences()
{
    m_controller.loadPreferences();
}

void ViewerUpdater::savePreferences()
{
    m_controller.savePreferences();
}

bool ViewerUpdater::firstLaunch() const
{
    return m_controller.firstLaunch();
}

settings::UpdateBookkeeping ViewerUpdater::updateBookkeeping() const
{
    return m_controller.updateBookkeeping();
}

void ViewerUpdater::setUpdateBookkeeping(const settings::UpdateBookkeeping &bookkeeping)
{
    m_controller.setUpdateBookkeeping(bookkeeping);
}

std::optional<QString> ViewerUpdater::configuredUpdateHost() const
{
    const std::optional<settings::PlistValue> value =
        m_controller.settingsStore().objectForKey(QString::fromLatin1(settings::keys::kUpdateHost));
    if (!value || !value->asString())
        return std::nullopt;
    return *value->asString();
}

QString ViewerUpdater::bundleVersion() const
{
    return QString::fromUtf8(build::kShortVersion);
}

std::optional<QString> ViewerUpdater::deviceFirmwareVersion() const
{
    const device::DeviceLink *link = m_controller.deviceLink();
    if (!link || !link->gotDeviceFirmwareVersion())
        return std::nullopt;
    return link->deviceFirmwareVersion();
}

bool ViewerUpdater::deviceReady() const
{
    const device::DeviceLink *link = m_controller.deviceLink();
    return link && link->gotDeviceFirmwareVersion() && link->gotBootFirmwareVersion();
}

void ViewerUpdater::resetStuckVideoDevice()
{
    m_controller.resetStuckVideoDevice();
}

void ViewerUpdater::bringVideoWindowForward()
{
    const ui::DraggableWindow *video = m_controller.videoWindow();
    const ui::PreferencesWindow *preferences = m_controller.preferencesWindow();
    if (video && video->isVisible() && !(preferences && preferences->isVisible()))
        m_controller.bringVideoWindowForward();
}

bool ViewerUpdater::displayReadyToUpdateAlert()
{
    const settings::UpdateBookkeeping b = m_controller.updateBookkeeping();
    if (!b.deviceFirmwareVersionReadyToInstall || !b.deviceFirmwareDownloadExpectedChecksum)
        return false;
    const QString version = *b.deviceFirmwareVersionReadyToInstall;
    if (!m_questions.askToInstallFirmware(version)) {
        // The image stays recorded and is offered again at the next launch.
        systemLog("User postponed the firmware update\n");
        return false;
    }
    FirmwareUpdateFlow::Image image{version, m_updater.getDestinationFilenameForVersion(version, false),
                                    *b.deviceFirmwareDownloadExpectedChecksum};
    return m_controller.firmwareUpdateFlow().start(std::move(image));
}

} // namespace kelvo::viewer
