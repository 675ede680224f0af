#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QString>

namespace kelvo::device {

// Unmounts the filesystems of the disk the camera's USB device may present
// (UnmountCameraDisk): finds the block devices below the camera in udev and
// asks UDisks2 over D-Bus to unmount each filesystem, retrying a refusal up
// to a count of 10. Without UDisks2 on the bus it logs and does nothing;
// every D-Bus call has a short timeout, so it never hangs.
// Thread: any one thread at a time (the device-link queue); a
// QCoreApplication must exist.
class UDisksUnmounter {
public:
    // busAddress: a D-Bus address to use instead of the system bus (tests).
    explicit UDisksUnmounter(QString busAddress = {});
    ~UDisksUnmounter();
    UDisksUnmounter(const UDisksUnmounter &) = delete;
    UDisksUnmounter &operator=(const UDisksUnmounter &) = delete;

    // UnmountCameraDisk for every camera (202c:0082) on the bus.
    void unmountCameraDisk();

    // The block devices (sysfs names, the disk before its partitions) below
    // the USB devices with this vendor and product.
    static std::vector<std::string> blockDevicesBelow(std::uint16_t vendorID, std::uint16_t productID);

    static constexpr int kMaxUnmountCount = 10;
    static constexpr int kCallTimeoutMs = 3000;

    // Unmounts the filesystem of one block object; answers the attempts made
    // (at most kMaxUnmountCount + 1).
    int unmount(const QString &objectPath);

private:
    QString m_busAddress;
    QString m_connectionName;
};

} // namespace kelvo::device
