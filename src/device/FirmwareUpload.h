#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "device/TransferStatus.h"

namespace kelvo::device {

// The remaining firmware installer states (0, 4, 6 and 7 are with discovery).
inline constexpr std::int32_t kUploadInProgress = 1;
inline constexpr std::int32_t kUploadDone = 2;
inline constexpr std::int32_t kUploadFailed = 3;
inline constexpr std::int32_t kWaitingForReset = 5;
inline constexpr std::int32_t kWaitingForResetToRetry = 6;

// The camera's update mode speaks DFU, sent as vendor requests to the device.
inline constexpr std::uint8_t kFirmwareReadRequestType = 0xC0;
inline constexpr std::uint8_t kFirmwareWriteRequestType = 0x40;
inline constexpr std::uint8_t kDfuDetach = 0;
inline constexpr std::uint8_t kDfuDownload = 1;
inline constexpr std::uint8_t kDfuGetStatus = 3;
inline constexpr std::uint16_t kFirmwareStatusLength = 6;
inline constexpr std::int64_t kFirmwareChunkSize = 1024;
inline constexpr int kFirmwareEndChunks = 2;
using FirmwareStatus = std::array<std::uint8_t, kFirmwareStatusLength>;
inline constexpr FirmwareStatus kStatusClear{0, 0, 0, 0, 0, 0};
inline constexpr FirmwareStatus kStatusIdle{0, 0, 0, 0, 2, 0};
inline constexpr FirmwareStatus kStatusBlockDone{0, 0, 0, 0, 5, 0};

// One control request on the camera's default pipe, as
// VendorUsbInterface::controlRequest issues it.
using ControlRequest = std::function<TransferStatus(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                                    std::uint16_t index, std::uint8_t *data, std::uint16_t length,
                                                    std::uint32_t &transferred)>;

// A read request (performConfigReadRequest): exactly length bytes, or none
// when the request fails or moves fewer.
std::optional<QByteArray> performConfigReadRequest(const ControlRequest &control, std::uint8_t request,
                                                   std::uint16_t value, std::uint16_t length);

// A write request (performConfigWriteRequest): true only when the request
// succeeded and moved every byte. data may be null (a request without data);
// null with a non-zero length, or 64 KiB or more, is refused unsent.
bool performConfigWriteRequest(const ControlRequest &control, std::uint8_t request, std::uint16_t value,
                               const std::uint8_t *data, std::int64_t length);

// What the exchange takes from the installer around it. Every member must be
// set; they are called on the upload thread.
struct FirmwareUploadSource {
    // The version that is downloaded and waits to be installed.
    std::function<std::optional<QString>()> versionReadyToInstall;
    // Where that version's image was stored; none when no path can be made.
    std::function<std::optional<QString>(const QString &version)> imagePath;
    // Whether the image matches the checksum its download came with.
    std::function<bool(QByteArrayView image)> verifyChecksum;
    // firmwareUpdateProgress, a percentage.
    std::function<void(double percent)> setProgress;
    // setFirmwareUploadState.
    std::function<void(std::int32_t state)> setState;
};

// Sends the stored image to a camera in its update mode
// (performFirmwareUpdateWithReadCompletionData). Blocks the calling thread
// on each request; the outcome is only the state it sets: kUploadInProgress
// while sending, then kUploadDone or kUploadFailed.
void performFirmwareUpdate(const ControlRequest &control, const FirmwareUploadSource &source);

} // namespace kelvo::device
