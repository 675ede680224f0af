#include "device/backend/UDisksUnmounter.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

#include "common/SystemLog.h"
#include "device/UsbBus.h"
#include "device/backend/UdevHandles.h"

namespace kelvo::device {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kBlockPrefix = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");

// UDisks2 names block objects after the kernel name, with every byte that is
// not a letter or digit written as "_xx".
QString objectPathFor(const std::string &sysname)
{
    QString path = kBlockPrefix;
    for (unsigned char c : sysname) {
        if (std::isalnum(c))
            path += QChar(c);
        else
            path += QStringLiteral("_%1").arg(c, 2, 16, QChar('0'));
    }
    return path;
}

bool isFinalRefusal(const QDBusMessage &reply)
{
    const QString name = reply.errorName();
    // Nothing to unmount here (not mounted, no filesystem on this block), or
    // no one answering: only a refusal is worth asking again.
    return name == QStringLiteral("org.freedesktop.UDisks2.Error.NotMounted") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.Timeout") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.Disconnected") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.UnknownObject") ||
           name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown");
}

} // namespace

UDisksUnmounter::UDisksUnmounter(QString busAddress) : m_busAddress(std::move(busAddress))
{
    static std::atomic<int> serial{0};
    m_connectionName = QStringLiteral("kelvo-udisks-%1").arg(serial.fetch_add(1));
}

UDisksUnmounter::~UDisksUnmounter()
{
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

std::vector<std::string> UDisksUnmounter::blockDevicesBelow(std::uint16_t vendorID, std::uint16_t productID)
{
    std::vector<std::string> names;
    const UdevPtr context(udev_new());
    if (!context)
        return names;
    char vendor[8], product[8];
    std::snprintf(vendor, sizeof vendor, "%04x", vendorID);
    std::snprintf(product, sizeof product, "%04x", productID);
    const UdevEnumeratePtr cameras(udev_enumerate_new(context.get()));
    udev_enumerate_add_match_subsystem(cameras.get(), "usb");
    udev_enumerate_add_match_property(cameras.get(), "DEVTYPE", "usb_device");
    udev_enumerate_add_match_sysattr(cameras.get(), "idVendor", vendor);
    udev_enumerate_add_match_sysattr(cameras.get(), "idProduct", product);
    udev_enumerate_scan_devices(cameras.get());
    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(cameras.get()))
    {
        const UdevDevicePtr camera(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!camera)
            continue;
        const UdevEnumeratePtr blocks(udev_enumerate_new(context.get()));
        udev_enumerate_add_match_parent(blocks.get(), camera.get());
        udev_enumerate_add_match_subsystem(blocks.get(), "block");
        udev_enumerate_scan_devices(blocks.get());
        std::vector<std::pair<bool, std::string>> found; // (is a partition, name)
        udev_list_entry *blockEntry = nullptr;
        udev_list_entry_foreach(blockEntry, udev_enumerate_get_list_entry(blocks.get()))
        {
            const UdevDevicePtr block(
                udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(blockEntry)));
            if (block) {
                const char *devtype = udev_device_get_devtype(block.get());
                const bool partition = devtype && std::string(devtype) == "partition";
                found.emplace_back(partition, udev_device_get_sysname(block.get()));
            }
        }
        std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &item : found)
            names.push_back(item.second);
    }
    return names;
}

void UDisksUnmounter::unmountCameraDisk()
{
    const std::vector<std::string> blocks = blockDevicesBelow(kQuadrelVendorID, kQuadrelProductID);
    if (blocks.empty()) {
        systemLog("******************* No disk. *******************\n");
        return;
    }
    QDBusConnection bus = m_busAddress.isEmpty() ? QDBusConnection::systemBus()
                                                 : QDBusConnection::connectToBus(m_busAddress, m_connectionName);
    if (!bus.isConnected()) {
        systemLog("UDisks2 is not reachable: %s\n", qPrintable(bus.lastError().message()));
        systemLog("******************* No disk. *******************\n");
        return;
    }
    // The disk object exists when UDisks2 knows the whole disk.
    QDBusMessage probe =
        QDBusMessage::createMethodCall(kService, objectPathFor(blocks.front()),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    probe << QStringLiteral("org.freedesktop.UDisks2.Block") << QStringLiteral("Device");
    const QDBusMessage answer = bus.call(probe, QDBus::Block, kCallTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        systemLog("UDisks2 does not know the camera's disk: %s\n", qPrintable(answer.errorMessage()));
        systemLog("******************* No disk. *******************\n");
        return;
    }
    systemLog("******************* Disk exists. *******************\n");
    for (const std::string &block : blocks)
        unmount(objectPathFor(block));
}

int UDisksUnmounter::unmount(const QString &objectPath)
{
    QDBusConnection bus = m_busAddress.isEmpty() ? QDBusConnection::systemBus() : QDBusConnection(m_connectionName);
    int attempts = 0;
    for (int count = 0;; ++count) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kService, objectPath, QStringLiteral("org.freedesktop.UDisks2.Filesystem"), QStringLiteral("Unmount"));
        call << QVariantMap{};
        const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
        ++attempts;
        // Refused (busy, not authorised, timed out): try again with a count
        // one higher, up to the limit, then give up silently.
        if (reply.type() == QDBusMessage::ReplyMessage || isFinalRefusal(reply) || count >= kMaxUnmountCount)
            return attempts;
    }
}

} // namespace kelvo::device
