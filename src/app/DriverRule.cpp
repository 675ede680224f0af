#include "app/DriverRule.h"

#include "app/UdevRuleBlob.h"
#include "common/Localization.h"
#include "common/SystemLog.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <memory>

#include <unistd.h>

namespace kelvo::app {
namespace {

// pkexec's own exit codes: the user dismissed the password dialog, or no
// authorisation (or no authentication agent) was available.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

// Runs as root: copy the rule in place, then have udev re-read its rules,
// re-apply them to the camera's nodes and finish doing so, so that the camera
// can be opened again at once, without a replug.
constexpr const char *kInstallScript =
    "install -D -m 0644 \"$1\" \"$2\" && "
    "{ udevadm control --reload-rules; "
    "udevadm trigger --action=change --subsystem-match=usb --subsystem-match=hidraw; "
    "udevadm settle --timeout=5; true; }";

DriverRule::InstallResult interpret(int status, const QString &output, bool installedNow)
{
    if (status == 0 && installedNow)
        return {true, {}};
    if (status == kPkexecDismissed)
        return {false, localized("The administrator password was not given, so the rule was not installed.")};
    if (status == kPkexecNotAuthorized)
        return {false, localized("You are not allowed to install the rule, or no password dialog is available. "
                                 "Ask an administrator to install it.")};
    return {false, localized("Installing the rule failed (status %1). %2").arg(status).arg(output)};
}

} // namespace

DriverRule::DriverRule()
    : m_installedPath(QStringLiteral("/etc/udev/rules.d/") + QString::fromLatin1(kUdevRuleFileName)),
      m_pkexec(QStringLiteral("pkexec")), m_packagedFolders{QStringLiteral("/usr/local/lib/udev/rules.d"),
                                                            QStringLiteral("/usr/lib/udev/rules.d"),
                                                            QStringLiteral("/lib/udev/rules.d")},
      m_runningAsRoot(::geteuid() == 0)
{}

QByteArray DriverRule::shippedRule()
{
    return QByteArray(kShippedUdevRule);
}

namespace {
DriverRule::State stateOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return DriverRule::State::Missing;
    return file.readAll() == DriverRule::shippedRule() ? DriverRule::State::Installed : DriverRule::State::Outdated;
}
} // namespace

DriverRule::State DriverRule::state() const
{
    if (const State own = stateOf(m_installedPath); own != State::Missing)
        return own;
    const QString name = QFileInfo(m_installedPath).fileName();
    for (const QString &folder : m_packagedFolders) {
        if (const State packaged = stateOf(folder + QLatin1Char('/') + name); packaged != State::Missing)
            return packaged;
    }
    return State::Missing;
}

QString DriverRule::administratorCommand() const
{
    return QStringLiteral("kelvo-viewer --udev-rule | sudo tee %1 >/dev/null && sudo udevadm control --reload-rules "
                          "&& sudo udevadm trigger")
        .arg(m_installedPath);
}

void DriverRule::startInstall(InstallDone done)
{
    auto source = std::make_shared<QTemporaryFile>();
    if (!source->open() || source->write(shippedRule()) != shippedRule().size() || !source->flush()) {
        done({false, localized("The rule could not be written to a temporary file: %1").arg(source->errorString())});
        return;
    }
    // root must be able to read it even where the temporary folder is private.
    source->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                           QFileDevice::ReadGroup);

    QStringList arguments{QStringLiteral("-c"), QString::fromLatin1(kInstallScript),
                          QStringLiteral("kelvo-install-rule"), source->fileName(), m_installedPath};
    auto *process = new QProcess;
    if (m_runningAsRoot) {
        process->setProgram(QStringLiteral("/bin/sh"));
    } else {
        process->setProgram(m_pkexec);
        arguments.prepend(QStringLiteral("/bin/sh"));
    }
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // The process reports once: either it never started, or it finished.
    QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        systemLog("Result code %d errno %d\n", -1, static_cast<int>(error));
        process->deleteLater();
        done({false, localized("The program that asks for the administrator password (pkexec) could not be "
                               "started. Install the \"pkexec\" package, or copy the rule yourself as root.")});
    });
    QObject::connect(process, &QProcess::finished, process,
                     [path = m_installedPath, process, source, done](int exitCode, QProcess::ExitStatus exitStatus) {
                         const int status = exitStatus == QProcess::NormalExit ? exitCode : -1;
                         systemLog("Result code %d\n", status);
                         const QString output = QString::fromLocal8Bit(process->readAll()).trimmed();
                         process->deleteLater();
                         done(interpret(status, output, stateOf(path) == State::Installed));
                     });
    process->start();
}

} // namespace kelvo::app
