#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

    explicit QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera);
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

    static constexpr std::uint8_t kBus = 1;
    static constexpr std::uint8_t kAddress = 2;
    static constexpr std::uint32_t kLocationID = 0x01100000; // bus 1, port 1
    std::string hidrawPath() const { return "/dev/hidraw0"; }

    // While held, host-to-camera URBs stay in flight (neither delivered nor
    // completed); releasing delivers them. An unplug ends them as shut down.
    void holdUsbWrites(bool hold);
    // Number of OUT URBs in flight.
    int usbWritesInFlight() const;

    // Number of usbfs URBs and hidraw writes the camera has taken (tests).
    int usbReportsReceived() const;
    int hidReportsReceived() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kelvo::device::umock
