#include "app/SystemdUserAgent.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace kelvo::app {
namespace {

QString systemctlPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("systemctl"));
}

} // namespace

bool SystemdUserAgent::isRunning(QString *whyNot) const
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
        *whyNot = QStringLiteral("XDG_RUNTIME_DIR is not set");
        return false;
    }
    const QString socket = runtime + QStringLiteral("/systemd/private");
    if (!QFileInfo::exists(socket)) {
        *whyNot = QStringLiteral("%1 does not exist").arg(socket);
        return false;
    }
    if (systemctlPath().isEmpty()) {
        *whyNot = QStringLiteral("systemctl is not on PATH");
        return false;
    }
    return true;
}

std::optional<int> SystemdUserAgent::run(const QStringList &arguments, bool discardErrorOutput, QString *errorText)
{
    const QString program = systemctlPath();
    if (program.isEmpty()) {
        *errorText = QStringLiteral("systemctl is not on PATH");
        return std::nullopt;
    }
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> storage{QByteArrayLiteral("systemctl")};
    for (const QString &argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (discardErrorOutput)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_RDWR, 0);
    // systemctl finds the user's manager through the session's environment
    // (XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS), so it inherits ours.
    pid_t child = 0;
    const int spawned = posix_spawn(&child, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        *errorText = QString::fromLocal8Bit(std::strerror(spawned));
        return std::nullopt;
    }
    int status = 0;
    pid_t waited = 0;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited != child && (waited >= 0 || errno == EINTR));
    if (waited != child) {
        *errorText = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    // A systemctl killed by a signal has failed too, in the shell's numbering.
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace kelvo::app
