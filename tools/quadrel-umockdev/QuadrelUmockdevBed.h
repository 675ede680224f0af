#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/sim/QuadrelSimulator.h"

namespace kelvo::device::umock {

// An emulated Quadrel on an emulated USB bus (umockdev): the USB device
// 202c:0082 with its HID interface (interrupt IN endpoint 0x81, OUT 0x02),
// the HID device and its hidraw node. usbfs requests and hidraw reads and
// writes are answered by the simulated camera. Only works inside a umockdev
// environment (run the program under umockdev-wrapper).
// Thread: construct, plug and unplug from one thread; umockdev serves the
// device nodes on threads of its own.
class QuadrelUmockdevBed {
public:
    // True when the process runs under umockdev's preload library.
    static bool inMockEnvironment();

    // Where and how the camera is plugged in. Several beds may exist at once
    // on different ports; they share one testbed.
    struct Options {
        // Port on bus 1: the device is "1-<port>" with address 1 + port and
        // hidraw node port - 1.
        int port = 1;
        // Plugged in as 202c:0084 with one vendor interface (class 0xFF,
        // protocol 0xFF, bulk endpoints 0x81 and 0x01) and no HID device.
        bool firmwareUpdateMode = false;
        // A mass-storage interface with a disk and one partition below it.
        bool withDisk = false;
        // The video control interface (number 1, class 0x0E) beside the HID
        // interface; while the video driver is bound (usbfs reports
        // "uvcvideo" until a program detaches it), claiming it fails with
        // EBUSY.
        bool withVideoInterface = false;
        bool videoDriverBound = true;
    };

    // How the camera in firmware-update mode answers the vendor DFU requests
    // on its control pipe (status reads 0xC0/3, detach 0x40/0, blocks
    // 0x40/1), and whether it restarts in camera mode once it holds an image.
    struct FirmwareBehaviour {
        // The download request of this block (0-based, counting data blocks
        // only) stalls.
        int failAtBlock = -1;
        // This status read (0-based, counting every one) answers the error
        // state 10 instead of what the camera's state calls for.
        int wrongStatusAtRead = -1;
        // The download request of this block stays in flight, and the camera
        // then leaves the bus by itself.
        int vanishAtBlock = -1;
        // After the second zero-length block is acknowledged, the camera
        // leaves and comes back on the same port in camera mode reporting
        // this firmware version. Empty: it stays.
        std::string firmwareAfterUpdate;
        // On that return, the camera's report interface and hidraw node
        // appear this long after the USB device itself, as they do when the
        // kernel's HID driver takes a moment to bind.
        int reportNodeDelayMs = 0;
    };

    // One control request the camera took, in order.
    struct ControlRecord {
        std::uint8_t requestType;
        std::uint8_t request;
        std::uint16_t value;
        std::uint16_t index;
        std::uint16_t length;
    };

    explicit QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera);
    QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera, Options options);
    QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera, Options options, FirmwareBehaviour firmware);
    ~QuadrelUmockdevBed();
    QuadrelUmockdevBed(const QuadrelUmockdevBed &) = delete;
    QuadrelUmockdevBed &operator=(const QuadrelUmockdevBed &) = delete;

    // Adds the camera to the bus (with its "add" events). False with a
    // reason on failure.
    bool plugIn(std::string *error = nullptr);
    // Pulls the camera out: pending transfers end as shut down, further
    // requests fail with ENODEV, the hidraw node hangs up, and "remove"
    // events are sent.
    void unplug();

    // Bus, address and location of a bed on port 1.
    static constexpr std::uint8_t kBus = 1;
    static constexpr std::uint8_t kAddress = 2;
    static constexpr std::uint32_t kLocationID = 0x01100000; // bus 1, port 1
    std::uint8_t address() const;
    std::uint32_t locationID() const;
    std::string hidrawPath() const;
    std::string usbNode() const;
    // The block devices' kernel names ("sdb", "sdb1") when plugged with a disk.
    std::vector<std::string> diskNames() const;

    // While held, host-to-camera URBs stay in flight (neither delivered nor
    // completed); releasing delivers them. An unplug ends them as shut down.
    void holdUsbWrites(bool hold);
    // Number of OUT URBs in flight.
    int usbWritesInFlight() const;

    // Number of usbfs URBs and hidraw writes the camera has taken (tests).
    int usbReportsReceived() const;
    int hidReportsReceived() const;
    // Number of endpoint halts cleared through usbfs.
    int clearHaltCount() const;
    // Whether the video driver is bound to the video interface now (a
    // program may detach it).
    bool videoDriverBound() const;

    // The firmware-update mode's side (tests): the control requests taken,
    // the image assembled from the download blocks so far, and whether the
    // camera has come back in camera mode after an update.
    std::vector<ControlRecord> controlRequests() const;
    std::vector<std::uint8_t> receivedImage() const;
    bool restartedInCameraMode() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kelvo::device::umock
