#include "app/PreferencesBinding.h"

#include "viewer/MainWindowDelegate.h"

namespace kelvo::app {

PreferencesBinding::PreferencesBinding(viewer::MainWindowDelegate &controller,
                                       std::function<void(bool wanted)> reloadAutoLaunch, InstallLocation location)
    : m_controller(controller), m_reloadAutoLaunch(std::move(reloadAutoLaunch)), m_location(location)
{}

std::vector<std::int64_t> PreferencesBinding::preferredFilters() const
{
    return m_controller.preferredFilters();
}

void PreferencesBinding::commitPreferredFilters(const std::vector<std::int64_t> &modes)
{
    m_controller.setPreferredFilters(modes);
    m_controller.updateColorModeMenus();
    m_controller.savePreferences();
    m_controller.loadPreferences();
    // A changed choice takes effect now, not at the next start-up.
    if (m_reloadAutoLaunch)
        m_reloadAutoLaunch(m_controller.automaticallyLaunchesOnDeviceAttach());
}

std::int64_t PreferencesBinding::automaticUpdateFrequency() const
{
    return m_controller.updateBookkeeping().automaticUpdateFrequency.integerValue();
}

void PreferencesBinding::setAutomaticUpdateFrequency(std::int64_t frequency)
{
    settings::UpdateBookkeeping update = m_controller.updateBookkeeping();
    // The controller keeps the downloaded version apart; keep it as it is.
    update.appVersionReadyToInstall = m_controller.appVersionReadyToInstall();
    update.automaticUpdateFrequency = settings::PlistValue::integer(frequency);
    m_controller.setUpdateBookkeeping(update);
}

std::int64_t PreferencesBinding::automaticUpdateBehavior() const
{
    return m_controller.updateBookkeeping().automaticUpdateBehavior.integerValue();
}

void PreferencesBinding::setAutomaticUpdateBehavior(std::int64_t behavior)
{
    settings::UpdateBookkeeping update = m_controller.updateBookkeeping();
    update.appVersionReadyToInstall = m_controller.appVersionReadyToInstall();
    update.automaticUpdateBehavior = settings::PlistValue::integer(behavior);
    m_controller.setUpdateBookkeeping(update);
}

bool PreferencesBinding::automaticallyLaunchesOnDeviceAttach() const
{
    return m_controller.automaticallyLaunchesOnDeviceAttach();
}

void PreferencesBinding::setAutomaticallyLaunchesOnDeviceAttach(bool launches)
{
    m_controller.setAutomaticallyLaunchesOnDeviceAttach(settings::PlistValue::boolean(launches));
}

std::int64_t PreferencesBinding::speakChanges() const
{
    return m_controller.speakChangesMode();
}

std::int64_t PreferencesBinding::speechRate() const
{
    return m_controller.speechRate();
}

void PreferencesBinding::setSpeech(std::int64_t mode, std::int64_t rate)
{
    m_controller.setSpeechPreferences(mode, rate);
}

ui::PreferencesWindowController::UpdateLocation PreferencesBinding::updateLocation() const
{
    switch (m_location) {
    case InstallLocation::Writable:
        return UpdateLocation::Writable;
    case InstallLocation::ReadOnly:
        return UpdateLocation::ReadOnly;
    case InstallLocation::SystemPackage:
        return UpdateLocation::PackageManager;
    }
    return UpdateLocation::Writable;
}

} // namespace kelvo::app
