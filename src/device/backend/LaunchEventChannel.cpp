#include "device/backend/LaunchEventChannel.h"

#include <QLocalServer>
#include <QLocalSocket>

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

} // namespace

QString LaunchEventChannel::defaultServerName()
{
    return QStringLiteral("kelvo-viewer-device-attach-%1").arg(::getuid());
}

LaunchEventChannel::LaunchEventChannel(QString serverName) : m_serverName(std::move(serverName)) {}

LaunchEventChannel::~LaunchEventChannel() = default;

bool LaunchEventChannel::isListening() const
{
    return m_server && m_server->isListening();
}

bool LaunchEventChannel::listen(std::function<void(const AttachEvent &)> deliver)
{
    if (isListening())
        return true;
    m_deliver = std::move(deliver);
    // Listening replaces the socket file (it is made elsewhere and renamed
    // into place), so a viewer that still answers on it must be found first.
    {
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(200)) {
            systemLog("Another viewer already receives device-attach events\n");
            return false;
        }
    }
    // What is left is a socket file of a viewer that crashed.
    QLocalServer::removeServer(m_serverName);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_serverName)) {
        systemLog("Could not listen for device-attach events: %s\n", qPrintable(server->errorString()));
        return false;
    }
    QLocalServer *raw = server.get();
    QObject::connect(raw, &QLocalServer::newConnection, raw, [this, raw] {
        while (QLocalSocket *socket = raw->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > kMaxLineBytes)
                        socket->abort();
                    return;
                }
                const QByteArray line = socket->readLine(kMaxLineBytes + 1);
                AttachEvent event;
                if (!parseLine(line, event)) {
                    socket->abort();
                    return;
                }
                socket->write("OK\n");
                socket->flush();
                socket->disconnectFromServer();
                if (m_deliver)
                    m_deliver(event);
            });
        }
    });
    m_server = std::move(server);
    return true;
}

bool LaunchEventChannel::handOffToRunningInstance(const AttachEvent &event, const QString &serverName, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray text = event.deviceAttach.toUtf8();
    text.replace('\n', ' ');
    const QByteArray line = QByteArray::number(static_cast<qulonglong>(event.serviceID)) + ' ' + text + '\n';
    if (line.size() > kMaxLineBytes)
        return false;
    socket.write(line);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine(16) == "OK\n";
}

} // namespace kelvo::device
