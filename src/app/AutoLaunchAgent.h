#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace kelvo::app {

// The user's service manager, as far as the auto-launch unit needs it.
// Thread: whichever thread owns the AutoLaunchAgent (the main thread).
class UserServiceManager {
public:
    virtual ~UserServiceManager() = default;
    // Whether a service manager runs for this user; when it does not, why
    // (a text for the log).
    virtual bool isRunning(QString *whyNot) const = 0;
    // Runs the manager's control tool with arguments (no shell) and waits
    // for it. Answers its exit status, or none when it could not be started
    // (errorText then says why). discardErrorOutput sends its standard error
    // to /dev/null.
    virtual std::optional<int> run(const QStringList &arguments, bool discardErrorOutput, QString *errorText) = 0;
};

// The per-user unit that makes the service manager start the viewer when the
// camera is plugged in (the camera's udev rule asks for it by name). The
// unit is copied once from the template shipped with the viewer, its
// ExecStart= is pointed at the running executable on every start-up, and it
// is enabled or disabled by the user's choice. The user's file is only ever
// replaced whole (atomically), never truncated or deleted.
// Thread: main thread; it blocks while the control tool runs.
class AutoLaunchAgent {
public:
    static constexpr const char *kUnitName = "com.morvane.quadrel.autolaunch.service";

    struct Paths {
        // Where the service manager reads the user's units:
        // $XDG_CONFIG_HOME/systemd/user. Never created here.
        QString unitFolder;
        // The template shipped with the viewer.
        QString templateFile;
        // What ExecStart= must start: the running executable.
        QString executable;
    };

    AutoLaunchAgent(Paths paths, std::shared_ptr<UserServiceManager> manager);

    // The user's unit folder under XDG_CONFIG_HOME (or ~/.config).
    static QString defaultUnitFolder();
    // The template beside the executable (<bin>/../share/...), else under the
    // install prefix, else in the source tree of a build that was not
    // installed; empty when there is none.
    static QString findTemplate(const QString &executableDir);

    QString unitFilePath() const;

    // Start-up: refreshes an existing unit; otherwise, where the unit folder
    // exists, installs it from the template and registers it by `wanted`.
    void installAutoLaunchPropertyList(bool wanted);
    // Points ExecStart= at the running executable; answers whether the unit
    // now does (logging why not).
    bool updatePropertyList();
    // Enables the unit when wanted; logs and does nothing otherwise.
    void loadPropertyListIfNeeded(bool wanted);
    // Disables the unit.
    void unloadPropertyList();

    // The unit text with ExecStart='s program replaced by executable. Answers
    // none and logs the described text when the unit cannot be understood or
    // the path cannot be written into it.
    static std::optional<QByteArray> rewriteExecStart(const QByteArray &unit, const QString &executable);

private:
    bool serviceManagerRuns() const;

    Paths m_paths;
    std::shared_ptr<UserServiceManager> m_manager;
};

} // namespace kelvo::app
