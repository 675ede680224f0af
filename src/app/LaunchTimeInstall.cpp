#include "app/LaunchTimeInstall.h"

#include "app/InstallLocation.h"
#include "update/UpdateInstaller.h"
#include "viewer/MainWindowDelegate.h"

#include <QFileInfo>

namespace kelvo::app {

bool canReplaceItself(const QString &executablePath)
{
    if (installLocationOf(executablePath) != InstallLocation::Writable)
        return false;
    const QString folder = applicationFolder(executablePath);
    // Replacing is a rename of the whole folder: it must be the viewer's
    // own, never a prefix such as /usr/local shared with other programs.
    return folder.endsWith(QLatin1String(".app")) &&
           QFileInfo(folder + QStringLiteral("/bin/kelvo-viewer")).isExecutable() &&
           QFileInfo(folder + u'/' + QLatin1String(update::UpdateInstaller::kRelauncherPath)).isExecutable();
}

bool installReadyUpdateAtLaunch(viewer::MainWindowDelegate &controller, const QString &executablePath,
                                const std::function<void()> &terminate)
{
    if (!controller.appVersionReadyToInstall() || !canReplaceItself(executablePath))
        return false;
    update::ReadyUpdateRecord record{
        [&controller] { return controller.updateBookkeeping(); },
        [&controller](const settings::UpdateBookkeeping &bookkeeping) { controller.setUpdateBookkeeping(bookkeeping); },
        [&controller] { controller.savePreferences(); }};
    update::UpdateInstaller::Config config;
    config.installFolder = applicationFolder(executablePath);
    config.cacheFolder = update::defaultUpdateCacheFolder();
    config.terminate = terminate;
    update::UpdateInstaller installer(std::move(record), std::move(config));
    return installer.installReadyUpdate();
}

} // namespace kelvo::app
