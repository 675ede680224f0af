#include "device/FirmwareUpload.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/SystemLog.h"

namespace kelvo::device {
namespace {

bool isStatus(const std::optional<QByteArray> &reply, const FirmwareStatus &pattern)
{
    return reply && reply->size() == kFirmwareStatusLength &&
           std::memcmp(reply->constData(), pattern.data(), pattern.size()) == 0;
}

std::optional<QByteArray> readStatus(const ControlRequest &control)
{
    return performConfigReadRequest(control, kDfuGetStatus, 0, kFirmwareStatusLength);
}

// The image stays mapped while it is sent, so a large file costs no copy.
class MappedImage {
public:
    explicit MappedImage(const QString &path) : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly) || m_file.size() <= 0)
            return;
        m_data = m_file.map(0, m_file.size());
        if (m_data)
            m_size = m_file.size();
    }
    const std::uint8_t *data() const { return m_data; }
    std::int64_t size() const { return m_size; }

private:
    QFile m_file;
    std::uint8_t *m_data = nullptr;
    std::int64_t m_size = 0;
};

} // namespace

std::optional<QByteArray> performConfigReadRequest(const ControlRequest &control, std::uint8_t request,
                                                   std::uint16_t value, std::uint16_t length)
{
    std::vector<std::uint8_t> buffer(length);
    std::uint32_t transferred = 0;
    const TransferStatus status =
        control(kFirmwareReadRequestType, request, value, 0, buffer.data(), length, transferred);
    if (status != TransferStatus::Success || transferred != length)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), length);
}

bool performConfigWriteRequest(const ControlRequest &control, std::uint8_t request, std::uint16_t value,
                               const std::uint8_t *data, std::int64_t length)
{
    if (length >= 0x10000) {
        systemLog("Illegally long packet (%lld)\n", static_cast<long long>(length));
        return false;
    }
    if (data) {
        systemLog("Request length: %d\n", static_cast<int>(length));
        // Short data shows zeros in the places it does not fill.
        unsigned first[16] = {};
        for (std::int64_t i = 0; i < std::min<std::int64_t>(length, 16); ++i)
            first[i] = data[i];
        systemLog("First bits of data: %x %x %x %x %x %x %x %x %x %x %x %x %x %x %x %x", first[0], first[1], first[2],
                  first[3], first[4], first[5], first[6], first[7], first[8], first[9], first[10], first[11], first[12],
                  first[13], first[14], first[15]);
    } else {
        systemLog("No bytes!\n");
        if (length != 0)
            return false;
    }
    // The request only reads from the buffer; the cast serves the shared signature.
    auto *bytes = const_cast<std::uint8_t *>(data);
    const auto expected = static_cast<std::uint16_t>(length);
    std::uint32_t transferred = 0;
    const TransferStatus status = control(kFirmwareWriteRequestType, request, value, 0, bytes, expected, transferred);
    if (status != TransferStatus::Success) {
        systemLog("Control request returned 0x%x\n", static_cast<unsigned>(status));
        return false;
    }
    if (transferred != expected) {
        systemLog("Control request length %d expected %d\n", static_cast<int>(transferred), static_cast<int>(expected));
        return false;
    }
    return true;
}

void performFirmwareUpdate(const ControlRequest &control, const FirmwareUploadSource &source)
{
    systemLog("In performFirmwareUpdateWithReadCompletionData\n");
    auto fail = [&](const char *line) {
        if (line)
            systemLog("%s", line);
        source.setState(kUploadFailed);
    };
    const std::optional<QString> version = source.versionReadyToInstall();
    if (!version)
        return fail("No firmware ready to install.\n");
    const std::optional<QString> path = source.imagePath(*version);
    if (!path || path->isEmpty())
        return fail("Could not construct file URL for firmware data file.\n");
    const MappedImage image(*path);
    if (!image.data())
        return fail("Could not read firmware data file\n");
    const QByteArrayView bytes(image.data(), image.size());
    if (!source.verifyChecksum(bytes))
        return fail("Firmware data checksum bad.\n");

    if (!isStatus(readStatus(control), kStatusClear))
        return fail("Firmware update failed (device not ready [1]).\n");
    if (!performConfigWriteRequest(control, kDfuDetach, 1, nullptr, 0))
        return fail(nullptr);
    if (!isStatus(readStatus(control), kStatusIdle))
        return fail("Firmware update failed (device not ready [2]).\n");

    source.setProgress(0.0);
    source.setState(kUploadInProgress);
    for (std::int64_t offset = 0; offset < image.size(); offset += kFirmwareChunkSize) {
        systemLog("Sending data at %lld\n", static_cast<long long>(offset));
        const std::int64_t length = std::min(kFirmwareChunkSize, image.size() - offset);
        if (!performConfigWriteRequest(control, kDfuDownload, 1, image.data() + offset, length)) {
            systemLog("Could not send data at location %lld\n", static_cast<long long>(offset));
            return fail(nullptr);
        }
        if (!isStatus(readStatus(control), kStatusBlockDone)) {
            systemLog("Got unexpected response from device when sending location %lld\n",
                      static_cast<long long>(offset));
            return fail(nullptr);
        }
        source.setProgress(static_cast<double>(offset) * 100.0 / static_cast<double>(image.size()));
    }
    for (int chunk = 0; chunk < kFirmwareEndChunks; ++chunk) {
        // The camera may restart as soon as it holds the whole image, so a
        // refused end chunk after every acknowledged block is no failure.
        if (!performConfigWriteRequest(control, kDfuDownload, 1, nullptr, 0)) {
            systemLog("Could not send zero-length end chunk #%d.\n", chunk);
            systemLog("Done sending data.\n");
            source.setState(kUploadDone);
            return;
        }
        if (!isStatus(readStatus(control), kStatusBlockDone)) {
            systemLog("Got unexpected response from device after zero-length end chunk #%d.\n", chunk);
            return fail(nullptr);
        }
    }
    systemLog("Done sending data.\n");
    source.setState(kUploadDone);
}

} // namespace kelvo::device
