#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace kelvo::video {

// What a capture device delivers. A muxed device brings picture and sound in
// one stream (a tape camera, a file with both tracks).
enum class CaptureMediaType { Video, Audio, Muxed };

// Four-character codes in the byte order the platform's transport types use,
// so that "%d" in the device log prints the familiar numbers.
constexpr std::uint32_t fourCharCode(const char (&code)[5])
{
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

inline constexpr std::uint32_t kTransportTypeBuiltIn = fourCharCode("bltn");
inline constexpr std::uint32_t kTransportTypePCI = fourCharCode("pci ");
inline constexpr std::uint32_t kTransportTypeUSB = fourCharCode("usb ");
inline constexpr std::uint32_t kTransportTypeVirtual = fourCharCode("virt");

// The model identifier by which the Quadrel camera is recognised.
inline constexpr const char *kQuadrelModelID = "UVC Camera VendorID_8236 ProductID_130";

// One capture device as the device list reports it. Two records describe the
// same device when their unique identifiers are equal.
struct CaptureDevice {
    // Stable across plug cycles and restarts: the key of per-camera settings.
    std::string uniqueID;
    // "UVC Camera VendorID_%d ProductID_%d" for USB cameras.
    std::string modelID;
    QString localizedName;
    std::uint32_t transportType = kTransportTypeUSB;
    bool hasVideo = false;
    bool hasAudio = false;
    bool hasMuxed = false;

    bool hasMediaType(CaptureMediaType type) const
    {
        switch (type) {
        case CaptureMediaType::Video:
            return hasVideo;
        case CaptureMediaType::Audio:
            return hasAudio;
        case CaptureMediaType::Muxed:
            return hasMuxed;
        }
        return false;
    }
    bool sameDevice(const CaptureDevice &other) const { return uniqueID == other.uniqueID; }
};

inline bool sameDevice(const std::optional<CaptureDevice> &a, const std::optional<CaptureDevice> &b)
{
    if (!a || !b)
        return !a && !b;
    return a->sameDevice(*b);
}

// "UVC Camera VendorID_%d ProductID_%d" with the decimal USB ids.
std::string uvcModelIdentifier(int vendorID, int productID);

} // namespace kelvo::video
