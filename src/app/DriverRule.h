#pragma once

#include <QByteArray>
#include <QString>

namespace kelvo::app {

// The Linux counterpart of the camera driver: the udev rule that gives the
// logged-in user the camera's USB and HID nodes. "Installed" means present
// with exactly the content this viewer ships.
// Thread: main thread (install() blocks while the user authenticates).
class DriverRule {
public:
    struct InstallResult {
        bool installed = false;
        // For the user when the install failed: what happened and what to do.
        QString message;
    };

    DriverRule();
    virtual ~DriverRule() = default;

    // Where the rule is installed, and which program grants the privilege.
    // Both can be changed for tests.
    QString installedPath() const { return m_installedPath; }
    void setInstalledPath(const QString &path) { m_installedPath = path; }
    QString pkexecProgram() const { return m_pkexec; }
    void setPkexecProgram(const QString &program) { m_pkexec = program; }
    static QByteArray shippedRule();

    // YES when the installed rule exists and matches the shipped one.
    virtual bool isInstalled() const;
    // YES when the rule must be installed (missing or altered).
    virtual bool needsInstalling() const { return !isInstalled(); }
    // Installs the shipped rule through pkexec and makes udev apply it to a
    // camera that is already plugged in. Never reports success unless the
    // installed file then matches.
    virtual InstallResult install();

private:
    QString m_installedPath;
    QString m_pkexec;
};

} // namespace kelvo::app
