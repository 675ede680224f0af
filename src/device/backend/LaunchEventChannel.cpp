#include "device/backend/LaunchEventChannel.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "common/SystemLog.h"

namespace kelvo::device {
namespace {

// Parses "<service ID> <text>\n"; false for anything else.
bool parseLine(const QByteArray &line, AttachEvent &event)
{
    if (!line.endsWith('\n'))
        return false;
    const QByteArray body = line.chopped(1);
    const qsizetype space = body.indexOf(' ');
    if (space <= 0)
        return false;
    bool ok = false;
    const qulonglong id = body.left(space).toULongLong(&ok);
    if (!ok)
        return false;
    event.serviceID = id;
    event.deviceAttach = QString::fromUtf8(body.mid(space + 1));
    return true;
}

// A folder that only this user can enter: a real folder (not a link), owned
// by the user, with no permission for group or others.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid() &&
           (status.st_mode & 077) == 0;
}

QString privateRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(QFile::encodeName(runtime)))
        return runtime;
    // The temporary folder is shared: the folder is made with mode 0700 and
    // then checked, so one that another user made first (or a link) is never
    // used.
    const QString folder = QDir::tempPath() + QStringLiteral("/kelvo-viewer-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        systemLog("Could not create %s: %s\n", escapedForLog(path).constData(), std::strerror(errno));
        return {};
    }
    if (!isPrivateFolder(path)) {
        systemLog("%s is not a private folder of this user; another viewer cannot be found.\n",
                  escapedForLog(path).constData());
        return {};
    }
    return folder;
}

// The user ID of the process at the other end of a connected local socket.
bool peerIsThisUser(int fd)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.uid == ::getuid();
}

// The lock files this process holds, by path: a launch that found no viewer
// keeps its lock until its own listener takes it over, so that two launches
// at the same moment cannot both become the viewer.
struct HeldLock {
    int fd = -1;
    bool listening = false;
};

std::mutex &locksMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<QString, HeldLock> &heldLocks() // guarded by locksMutex()
{
    static std::map<QString, HeldLock> locks;
    return locks;
}

enum class LockResult { Taken, HeldElsewhere, Failed };

// Takes the lock at lockPath for a launch (forListener false) or for the
// listener of this process (true), which takes over a launch's lock.
LockResult takeLock(const QString &lockPath, bool forListener)
{
    std::lock_guard guard(locksMutex());
    const auto held = heldLocks().find(lockPath);
    if (held != heldLocks().end()) {
        // A viewer of this very process listens: a launch hands over to it.
        if (held->second.listening)
            return LockResult::HeldElsewhere;
        held->second.listening = forListener;
        return LockResult::Taken;
    }
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        systemLog("Could not open %s: %s\n", escapedForLog(QFile::encodeName(lockPath)).constData(),
                  std::strerror(errno));
        return LockResult::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Failed;
    }
    heldLocks()[lockPath] = {fd, forListener};
    return LockResult::Taken;
}

void releaseLock(const QString &lockPath)
{
    std::lock_guard guard(locksMutex());
    const auto it = heldLocks().find(lockPath);
    if (it == heldLocks().end())
        return;
    ::close(it->second.fd);
    heldLocks().erase(it);
}

bool fillAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray bytes = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (bytes.isEmpty() || static_cast<std::size_t>(bytes.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

} // namespace

// The listening socket, served from the main loop. QLocalServer is not used:
// it closes itself for good when accept() fails once, which running out of
// file descriptors makes any local process able to cause.
struct LaunchEventChannel::Listener {
    QString socketPath;
    QString lockPath;
    int fd = -1;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    std::unique_ptr<QSocketNotifier> notifier;
    int clients = 0;
    bool acceptFailureLogged = false;
    std::function<void(const AttachEvent &)> deliver;

    ~Listener()
    {
        notifier.reset();
        context.reset(); // closes the clients
        if (fd >= 0) {
            ::close(fd);
            ::unlink(QFile::encodeName(socketPath).constData());
        }
        releaseLock(lockPath);
    }

    void acceptAll()
    {
        for (;;) {
            const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (client < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    pauseAccepting(errno);
                return;
            }
            if (!peerIsThisUser(client) || clients >= kMaxClients) {
                ::close(client);
                continue;
            }
            serve(client);
        }
    }

    // Out of descriptors (or memory): the pending connection stays queued and
    // readable, so listening on at once would spin. Try again a little later.
    void pauseAccepting(int error)
    {
        if (!acceptFailureLogged)
            systemLog("Could not accept a device-attach connection: %s\n", std::strerror(error));
        acceptFailureLogged = true;
        notifier->setEnabled(false);
        QTimer::singleShot(200, context.get(), [this] {
            notifier->setEnabled(true);
            acceptAll();
        });
    }

    void serve(int descriptor)
    {
        auto *socket = new QLocalSocket(context.get());
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(descriptor);
            delete socket;
            return;
        }
        ++clients;
        QObject::connect(socket, &QObject::destroyed, context.get(), [this] { --clients; });
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that connects and says nothing would otherwise hold its
        // descriptor for as long as the viewer runs.
        QTimer::singleShot(kIdleClientMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxLineBytes) {
                    socket->abort();
                    socket->deleteLater();
                }
                return;
            }
            const QByteArray line = socket->readLine(kMaxLineBytes + 1);
            AttachEvent event;
            if (!parseLine(line, event)) {
                socket->abort();
                socket->deleteLater();
                return;
            }
            socket->write("OK\n");
            socket->flush();
            socket->disconnectFromServer();
            if (deliver)
                deliver(event);
        });
    }
};

QString LaunchEventChannel::defaultServerName()
{
    return QStringLiteral("kelvo-viewer-device-attach");
}

QString LaunchEventChannel::socketPath(const QString &serverName)
{
    if (QDir::isAbsolutePath(serverName))
        return serverName;
    const QString folder = privateRuntimeFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + serverName;
}

LaunchEventChannel::LaunchEventChannel(QString serverName) : m_serverName(std::move(serverName)) {}

LaunchEventChannel::~LaunchEventChannel() = default;

bool LaunchEventChannel::isListening() const
{
    return m_listener != nullptr;
}

bool LaunchEventChannel::listen(std::function<void(const AttachEvent &)> deliver)
{
    if (isListening())
        return true;
    const QString path = socketPath(m_serverName);
    sockaddr_un address{};
    if (!fillAddress(path, address)) {
        systemLog("Could not listen for device-attach events: no usable socket path\n");
        return false;
    }
    const QString lockPath = path + QStringLiteral(".lock");
    switch (takeLock(lockPath, true)) {
    case LockResult::Taken:
        break;
    case LockResult::HeldElsewhere:
        systemLog("Another viewer already receives device-attach events\n");
        return false;
    case LockResult::Failed:
        return false;
    }
    auto listener = std::make_unique<Listener>();
    listener->socketPath = path;
    listener->lockPath = lockPath;
    listener->deliver = std::move(deliver);
    // Holding the lock makes whatever is at the path a leftover of a viewer
    // that ended without cleaning up.
    ::unlink(address.sun_path);
    listener->fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener->fd < 0 || ::bind(listener->fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener->fd, 16) != 0) {
        systemLog("Could not listen for device-attach events: %s\n", std::strerror(errno));
        if (listener->fd >= 0)
            ::close(listener->fd);
        listener->fd = -1;
        return false;
    }
    Listener *raw = listener.get();
    raw->notifier = std::make_unique<QSocketNotifier>(raw->fd, QSocketNotifier::Read);
    QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, raw->context.get(), [raw] { raw->acceptAll(); });
    m_listener = std::move(listener);
    return true;
}

bool LaunchEventChannel::handOffToRunningInstance(const AttachEvent &event, const QString &serverName, int timeoutMs)
{
    const QString path = socketPath(serverName);
    sockaddr_un address{};
    if (!fillAddress(path, address))
        return false;
    if (takeLock(path + QStringLiteral(".lock"), false) != LockResult::HeldElsewhere)
        return false;

    // The text is only logged by the viewer: shorten it rather than lose the
    // event.
    QByteArray text = event.deviceAttach.toUtf8();
    text.replace('\n', ' ');
    const QByteArray id = QByteArray::number(static_cast<qulonglong>(event.serviceID)) + ' ';
    if (id.size() + text.size() + 1 > kMaxLineBytes)
        text.truncate(kMaxLineBytes - id.size() - 1);
    const QByteArray line = id + text + '\n';

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto remainingMs = [&] {
        return static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                   .count()));
    };
    // The viewer holding the lock may still be starting, before it listens.
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(remainingMs())) {
            if (!peerIsThisUser(static_cast<int>(socket.socketDescriptor()))) {
                systemLog("The device-attach socket %s belongs to another user\n",
                          escapedForLog(QFile::encodeName(path)).constData());
                return true;
            }
            socket.write(line);
            bool answered = socket.waitForBytesWritten(remainingMs());
            while (answered && !socket.canReadLine())
                answered = socket.waitForReadyRead(remainingMs());
            if (answered && socket.readLine(16) == "OK\n")
                return true;
        }
        if (remainingMs() == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(100, remainingMs())));
    }
    systemLog("The running viewer did not take the device-attach event\n");
    return true;
}

} // namespace kelvo::device
