#pragma once

#include <QString>

#include <chrono>

class QTextStream;

namespace kelvo::app {

struct FirmwareInstallOptions {
    // The firmware image and its SHA-512 (128 hexadecimal digits).
    QString imagePath;
    QString sha512;
    // How long to wait for the camera in its update mode, and for its return
    // after it took the image.
    std::chrono::milliseconds waitForUpdateMode{std::chrono::minutes(10)};
    std::chrono::milliseconds waitForReturn{std::chrono::minutes(2)};
    // How long the returned camera has to report its firmware version.
    std::chrono::milliseconds identityTimeout{std::chrono::seconds(10)};
};

// kelvo-viewer --install-firmware IMAGE --sha512 HEX: the guided firmware
// update without windows, for support. Checks the image first, then tells
// the user how to put the camera into its update mode, waits for it,
// uploads with a progress line, waits for the camera to come back in camera
// mode and prints the firmware version it reports. Answers the exit status:
// 0 only once the camera is back; 1 for a failed update, 2 for a bad image
// or checksum.
// Thread: the main thread; runs the Qt event loop while it waits (creates a
// QCoreApplication when none exists).
int runFirmwareInstall(QTextStream &out, const FirmwareInstallOptions &options);

} // namespace kelvo::app
