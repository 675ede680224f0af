#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace kelvo::app {

// The udev rule that gives the logged-in user the camera's USB and HID nodes,
// which its buttons, head position and firmware mode need (the picture does
// not). "Installed" means present with exactly the content this viewer ships.
// Thread: main thread.
class DriverRule {
public:
    enum class State {
        Missing,  // no rule, or a rules folder this user cannot read
        Outdated, // a rule with other content than the shipped one
        Installed,
    };
    struct InstallResult {
        bool installed = false;
        // For the user when the install failed: what happened and what to do.
        QString message;
    };
    using InstallDone = std::function<void(const InstallResult &)>;

    DriverRule();
    virtual ~DriverRule() = default;

    // Where the rule is installed, which program grants the privilege, and
    // whether this process is already privileged. All can be changed for
    // tests.
    QString installedPath() const { return m_installedPath; }
    void setInstalledPath(const QString &path) { m_installedPath = path; }
    QString pkexecProgram() const { return m_pkexec; }
    void setPkexecProgram(const QString &program) { m_pkexec = program; }
    void setRunningAsRoot(bool root) { m_runningAsRoot = root; }
    // Where a package puts the rule; a rule of the same name at
    // installedPath() overrides these, as it does for udev.
    void setPackagedRuleFolders(const QStringList &folders) { m_packagedFolders = folders; }
    static QByteArray shippedRule();

    virtual State state() const;
    bool isInstalled() const { return state() == State::Installed; }
    bool needsInstalling() const { return !isInstalled(); }
    // What an administrator can type instead of letting the viewer do it.
    QString administratorCommand() const;

    // Installs the shipped rule and makes udev apply it to a camera that is
    // already plugged in: through pkexec, or directly when running as root.
    // Returns at once; `done` runs on this thread when it has finished, and
    // never reports success unless the installed file then matches.
    virtual void startInstall(InstallDone done);

private:
    QString m_installedPath;
    QString m_pkexec;
    QStringList m_packagedFolders;
    bool m_runningAsRoot;
};

} // namespace kelvo::app
