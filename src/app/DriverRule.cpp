#include "app/DriverRule.h"

#include "app/UdevRuleBlob.h"
#include "common/Localization.h"
#include "common/SystemLog.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

namespace kelvo::app {
namespace {

// pkexec's own exit codes: the user dismissed the password dialog, or no
// authorisation (or no authentication agent) was available.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

// Runs as root: copy the rule in place, then have udev re-read its rules and
// re-apply them to the camera's nodes so no replug is needed.
constexpr const char *kInstallScript =
    "install -D -m 0644 \"$1\" \"$2\" && "
    "{ udevadm control --reload-rules; "
    "udevadm trigger --action=change --subsystem-match=usb --subsystem-match=hidraw; true; }";

} // namespace

DriverRule::DriverRule()
    : m_installedPath(QStringLiteral("/etc/udev/rules.d/") + QString::fromLatin1(kUdevRuleFileName)),
      m_pkexec(QStringLiteral("pkexec"))
{}

QByteArray DriverRule::shippedRule()
{
    return QByteArray(kShippedUdevRule);
}

bool DriverRule::isInstalled() const
{
    QFile file(m_installedPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll() == shippedRule();
}

DriverRule::InstallResult DriverRule::install()
{
    QTemporaryFile source;
    source.setAutoRemove(true);
    if (!source.open() || source.write(shippedRule()) != shippedRule().size() || !source.flush()) {
        return {false, localized("The rule could not be written to a temporary file: %1").arg(source.errorString())};
    }
    // root must be able to read it even where the temporary folder is private.
    source.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                          QFileDevice::ReadGroup);

    QProcess process;
    process.setProgram(m_pkexec);
    process.setArguments({QStringLiteral("/bin/sh"), QStringLiteral("-c"), QString::fromLatin1(kInstallScript),
                          QStringLiteral("kelvo-install-rule"), source.fileName(), m_installedPath});
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted()) {
        systemLog("Result code %d errno %d\n", -1, static_cast<int>(process.error()));
        return {false, localized("The program that asks for the administrator password (pkexec) could not be "
                                 "started. Install the \"pkexec\" package, or copy the rule yourself as root.")};
    }
    process.waitForFinished(-1);
    const int status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    systemLog("Result code %d\n", status);

    if (status == 0 && isInstalled())
        return {true, {}};
    if (status == kPkexecDismissed)
        return {false, localized("The administrator password was not given, so the rule was not installed.")};
    if (status == kPkexecNotAuthorized)
        return {false, localized("You are not allowed to install the rule, or no password dialog is available. "
                                 "Ask an administrator to install it.")};
    const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return {false, localized("Installing the rule failed (status %1). %2").arg(status).arg(output)};
}

} // namespace kelvo::app
