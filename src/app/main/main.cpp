// kelvo-viewer: the viewer for the Quadrel video magnifier.
#include "app/CameraServices.h"
#include "app/CommandLine.h"
#include "app/DriverRule.h"
#include "app/FirmwareInstallCommand.h"
#include "app/KelvoViewerAppDelegate.h"
#include "device/backend/LaunchEventChannel.h"
#include "device/backend/LinuxDeviceDiscovery.h"
#include "device/backend/QuadrelProbe.h"
#include "settings/PlistCodec.h"
#include "settings/PreferenceKeys.h"
#include "settings/SettingsStore.h"
#include "ui/InputLatencyProbe.h"
#include "ui/KelvoViewerApplication.h"
#include "ui/VideoView.h"
#include "viewer/MainWindowDelegate.h"

#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <optional>

#include <malloc.h>

namespace {

// Pictures are megabytes each and change size with the window (a turn, full
// screen), on several threads. With the allocator's default, the threshold
// for giving such blocks their own mapping rises after the first is freed,
// so later pictures land in the threads' heaps, which keep the freed space:
// a minute of full-screen toggling held on to some 50 MB. A fixed threshold
// returns every picture's memory when it is freed.
void keepPictureMemoryReturnable()
{
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);
}

// The command line's choice of render path, else the settings', else the
// automatic one. Needed before the first view is built, so before the viewer
// controller owns the settings; only reads (a damaged file is the
// controller's to set aside).
kelvo::video::RenderPreference renderPreference(const QString &option, const QString &settingsFile)
{
    using namespace kelvo::settings;
    QString text = option;
    QFile file(settingsFile.isEmpty() ? SettingsStore::defaultFilePath() : settingsFile);
    if (text.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const std::optional<PlistValue> root = PlistCodec::fromBytes(file.readAll());
        const PlistDictionary *domain = root ? root->asDictionary() : nullptr;
        const std::optional<PlistValue> value =
            domain ? domain->valueForKey(QString::fromLatin1(keys::kLiveRenderPath), PlistClass::String) : std::nullopt;
        if (value && value->asString())
            text = *value->asString();
    }
    return kelvo::video::parseRenderPreference(text.toStdString()).value_or(kelvo::video::RenderPreference::Automatic);
}

} // namespace

int main(int argc, char **argv)
{
    keepPictureMemoryReturnable();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const kelvo::app::CommandLineOptions options = kelvo::app::parseCommandLine(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "kelvo-viewer: %s\n%s", qPrintable(options.error), qPrintable(kelvo::app::helpText()));
        return 2;
    }
    if (options.showHelp) {
        std::fputs(qPrintable(kelvo::app::helpText()), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("%s\n", qPrintable(kelvo::app::versionText()));
        return 0;
    }

    if (options.printUdevRule) {
        const QByteArray rule = kelvo::app::DriverRule::shippedRule();
        std::fwrite(rule.constData(), 1, static_cast<size_t>(rule.size()), stdout);
        return 0;
    }
    if (options.probe) {
        QTextStream out(stdout);
        kelvo::device::ProbeOptions probe;
        const kelvo::app::DriverRule rule;
        probe.udevRulePath = rule.installedPath();
        probe.administratorCommand = rule.administratorCommand();
        probe.ruleInstalled = rule.state() != kelvo::app::DriverRule::State::Missing;
        return kelvo::device::runProbe(out, probe);
    }
    if (!options.installFirmware.isEmpty()) {
        QTextStream out(stdout);
        return kelvo::app::runFirmwareInstall(out, {options.installFirmware, options.firmwareSha512});
    }

    kelvo::ui::KelvoViewerApplication app(argc, argv);
    // One viewer per user: a second start hands over the camera's arrival
    // (which restarts the running viewer's capture) and ends.
    if (kelvo::device::LaunchEventChannel::handOffToRunningInstance(kelvo::device::attachEventForPresentCamera())) {
        std::fprintf(stderr, "Kelvo Viewer is already running.\n");
        return 0;
    }
    kelvo::app::AppServices services = kelvo::app::KelvoViewerAppDelegate::defaultServices();
    if (options.simulate) {
        // The simulated camera needs no access rule.
        services.driverRule.reset();
    }
    kelvo::ui::VideoView::setRenderPreference(renderPreference(options.render, services.settingsFilePath));
    kelvo::app::KelvoViewerAppDelegate delegate(std::move(services));
    app.setDelegate(&delegate);
    // The capture session must be in place before the interface's start-up
    // shows the window and starts capture.
    kelvo::app::CameraServices cameras({options.simulate});
    cameras.attach(delegate);
    delegate.interfaceDidLoad();
    std::optional<kelvo::ui::InputLatencyProbe> latency;
    if (kelvo::ui::InputLatencyProbe::requested())
        app.installEventFilter(&latency.emplace());
    delegate.showVideoWindow();
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = app.exec();
    // Stop the pipeline before the windows it draws into go away.
    delegate.appWindowDelegate()->detachCapture();
    return status;
}
