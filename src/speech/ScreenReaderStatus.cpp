#include "speech/ScreenReaderStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace kelvo::speech {
namespace {

const QString kService = QStringLiteral("org.a11y.Bus");
const QString kPath = QStringLiteral("/org/a11y/bus");
const QString kInterface = QStringLiteral("org.a11y.Status");
const QString kProperty = QStringLiteral("ScreenReaderEnabled");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

ScreenReaderStatus::ScreenReaderStatus(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    get << kInterface << kProperty;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (!reply.isError())
            set(reply.value().variant().toBool());
        call->deleteLater();
    });
}

void ScreenReaderStatus::propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
{
    if (interface == kInterface && changed.contains(kProperty))
        set(changed.value(kProperty).toBool());
}

void ScreenReaderStatus::set(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    emit runningChanged(running);
}

} // namespace kelvo::speech
