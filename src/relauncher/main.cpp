// boomerel: reopens Kelvo Viewer once the viewer that started it has ended,
// so that an update the viewer has just put in place comes up by itself.
// Deliberately self-contained: it runs while the viewer's folder is being
// replaced, so it must not depend on anything inside it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

namespace {

// What identifies a process beyond its pid: the kernel's start time of the
// process. A pid that is recycled for another program has another one.
std::optional<unsigned long long> startTimeOf(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE *file = std::fopen(path, "re");
    if (!file)
        return std::nullopt;
    char buffer[1024];
    const size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = '\0';
    // The command name may itself hold spaces and parentheses: the fields
    // that matter follow the last closing parenthesis.
    const char *rest = std::strrchr(buffer, ')');
    if (!rest)
        return std::nullopt;
    char state = 0;
    unsigned long long startTime = 0;
    // After the name: state, then 18 fields before the start time.
    if (std::sscanf(rest + 1, " %c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu",
                    &state, &startTime) != 2)
        return std::nullopt;
    // A process that has exited but not yet been reaped has ended all the
    // same.
    if (state == 'Z' || state == 'X')
        return std::nullopt;
    return startTime;
}

// The viewer names itself in the environment: when it has ended before
// this program runs, boomerel has already been adopted by another process
// (init, or a session's subreaper that lives on), and the parent it sees is
// not the viewer.
pid_t viewerPid()
{
    if (const char *named = std::getenv("KELVO_RELAUNCH_AFTER_PID"); named && *named) {
        char *end = nullptr;
        const long pid = std::strtol(named, &end, 10);
        if (*end == '\0' && pid > 1)
            return static_cast<pid_t>(pid);
    }
    return ::getppid();
}

class Parent {
public:
    Parent() : m_pid(viewerPid()), m_startTime(m_pid > 1 ? startTimeOf(m_pid) : std::nullopt) {}

    // Init adopts orphans: a parent of 1 means the viewer is gone.
    bool running() const { return m_startTime && startTimeOf(m_pid) == m_startTime; }

private:
    const pid_t m_pid;
    const std::optional<unsigned long long> m_startTime;
};

std::string expandTilde(const std::string &path)
{
    if (path.empty() || path[0] != '~')
        return path;
    const size_t slash = path.find('/');
    const std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    const std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
    if (user.empty()) {
        if (const char *home = std::getenv("HOME"); home && *home)
            return home + rest;
        if (const passwd *entry = ::getpwuid(::getuid()))
            return entry->pw_dir + rest;
        return path;
    }
    if (const passwd *entry = ::getpwnam(user.c_str()))
        return entry->pw_dir + rest;
    return path;
}

bool isExecutableFile(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Starts the program in a session of its own, detached from this one (it
// outlives boomerel), and answers whether it could be executed.
bool startDetached(const std::string &program, const char *const arguments[], bool waitForExit)
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        if (!waitForExit) {
            // The grandchild is adopted at once, so no zombie is left
            // behind and nothing ties it to this process.
            const pid_t grandchild = ::fork();
            if (grandchild != 0)
                ::_exit(grandchild < 0 ? 127 : 0);
        }
        ::execv(program.c_str(), const_cast<char *const *>(arguments));
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int error = 0;
    ssize_t got;
    do
        got = ::read(report[0], &error, sizeof error);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (got > 0)
        return false;
    return !waitForExit || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

bool open(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return false;
    const std::string viewer = path + "/bin/kelvo-viewer";
    if (S_ISDIR(info.st_mode) && isExecutableFile(viewer)) {
        const char *const arguments[] = {viewer.c_str(), nullptr};
        return startDetached(viewer, arguments, false);
    }
    // Anything else is handed to the desktop, which answers with xdg-open's
    // exit status.
    for (const char *folder : {"/usr/local/bin/", "/usr/bin/", "/bin/"}) {
        const std::string opener = std::string(folder) + "xdg-open";
        if (isExecutableFile(opener)) {
            const char *const arguments[] = {opener.c_str(), path.c_str(), nullptr};
            return startDetached(opener, arguments, true);
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const Parent parent;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <application folder>\n", argc > 0 ? argv[0] : "boomerel");
        return 2;
    }
    while (parent.running())
        ::sleep(1);

    const std::string received = argv[1];
    if (open(expandTilde(received)))
        return 0;
    ::openlog("boomerel", LOG_PID, LOG_USER);
    ::syslog(LOG_ERR, "Error: could not relaunch application at %s", received.c_str());
    ::closelog();
    std::fprintf(stderr, "Error: could not relaunch application at %s\n", received.c_str());
    return 1;
}
