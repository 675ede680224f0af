#include "QuadrelUmockdevBed.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <linux/usbdevice_fs.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <umockdev.h>

namespace kelvo::device::umock {
namespace {

// A vendor-defined usage with one 64-byte input and one 64-byte output report,
// both without report ID.
const std::uint8_t kReportDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x15, 0x00, 0x26,
                                          0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02, 0x09, 0x03, 0x15, 0x00,
                                          0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x91, 0x02, 0xC0};

// Device descriptor, then one configuration: interface 0 of class HID with
// its HID descriptor, interrupt IN 0x81 and interrupt OUT 0x02, 64 bytes.
const char *kUsbDescriptorsHex = "12 01 00 02 00 00 00 40 2c 20 82 00 00 01 01 02 03 01"
                                 "09 02 29 00 01 01 00 80 32"
                                 "09 04 00 00 02 03 00 00 00"
                                 "09 21 11 01 00 01 22 22 00"
                                 "07 05 81 03 40 00 01"
                                 "07 05 02 03 40 00 01";

std::string compactHex(const char *text)
{
    std::string hex;
    for (const char *c = text; *c; ++c) {
        if (*c != ' ')
            hex += *c;
    }
    return hex;
}

std::string toHex(const std::uint8_t *data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

// The camera with, beside its HID interface, the video control interface
// (class 0x0E, subclass 1) and its interrupt endpoint 0x83.
const char *kUsbWithVideoDescriptorsHex = "12 01 00 02 00 00 00 40 2c 20 82 00 00 01 01 02 03 01"
                                          "09 02 39 00 02 01 00 80 32"
                                          "09 04 00 00 02 03 00 00 00"
                                          "09 21 11 01 00 01 22 22 00"
                                          "07 05 81 03 40 00 01"
                                          "07 05 02 03 40 00 01"
                                          "09 04 01 00 01 0e 01 00 00"
                                          "07 05 83 03 10 00 08";
constexpr unsigned int kVideoInterface = 1;

const char *kFirmwareUpdateDescriptorsHex = "12 01 00 02 00 00 00 40 2c 20 84 00 00 01 01 02 03 01"
                                            "09 02 20 00 01 01 00 80 32"
                                            "09 04 00 00 02 ff 00 ff 00"
                                            "07 05 81 02 40 00 00"
                                            "07 05 01 02 40 00 00";

// One testbed for every bed of the process: a second testbed would move
// UMOCKDEV_DIR away from the first one's devices.
std::mutex g_testbedMutex;
UMockdevTestbed *g_testbed = nullptr; // guarded by g_testbedMutex
int g_testbedUsers = 0;               // guarded by g_testbedMutex

UMockdevTestbed *acquireTestbed()
{
    std::lock_guard lock(g_testbedMutex);
    if (!g_testbed)
        g_testbed = umockdev_testbed_new();
    ++g_testbedUsers;
    return g_testbed;
}

void releaseTestbed()
{
    std::lock_guard lock(g_testbedMutex);
    if (--g_testbedUsers == 0)
        g_clear_object(&g_testbed);
}

} // namespace

struct QuadrelUmockdevBed::Impl {
    enum class Side { None, Usb, Hid };

    std::shared_ptr<sim::QuadrelSimulator> camera;
    Options options;
    UMockdevTestbed *testbed = nullptr;
    // sysfs paths, top-down, and device nodes.
    std::string usbPath, interfacePath, hidPath, hidrawPath, usbNode, hidrawNode;
    std::vector<std::string> diskPaths;
    std::vector<std::string> diskNames;
    UMockdevIoctlBase *handler = nullptr;

    std::mutex mutex;
    std::deque<Report> usbInput;               // guarded by mutex
    std::deque<UMockdevIoctlData *> pendingIn; // guarded by mutex
    std::deque<UMockdevIoctlData *> completed; // guarded by mutex
    std::deque<UMockdevIoctlData *> discarded; // guarded by mutex
    std::deque<UMockdevIoctlData *> heldOut;   // guarded by mutex
    bool holdOut = false;                      // guarded by mutex
    bool gone = false;                         // guarded by mutex
    Side side = Side::None;                    // guarded by mutex
    int usbReceived = 0;                       // guarded by mutex
    int clearHalts = 0;                        // guarded by mutex
    bool videoBound = false;                   // guarded by mutex
    int hidReceived = 0;                       // guarded by mutex

    int hidrawFd = -1;
    std::mutex hidWriteMutex;
    std::atomic<bool> stopHid{false};
    std::thread hidServer;
    bool plugged = false;
    // How long the next plug-in holds back the report node (see
    // FirmwareBehaviour::reportNodeDelayMs).
    std::chrono::milliseconds reportNodeDelay{};

    QuadrelUmockdevBed *owner = nullptr;
    FirmwareBehaviour firmware;
    std::vector<ControlRecord> controls; // guarded by mutex
    std::vector<std::uint8_t> image;     // guarded by mutex
    std::uint8_t dfuState = 0;           // guarded by mutex
    int statusReads = 0;                 // guarded by mutex
    int blocks = 0;                      // guarded by mutex
    int endChunks = 0;                   // guarded by mutex
    bool restarted = false;              // guarded by mutex
    // Leaves the bus (and comes back) away from umockdev's worker thread.
    std::thread mover; // guarded by mutex

    // The sysfs paths and nodes of the mode the camera is in now.
    void computePaths()
    {
        const std::string port = std::to_string(options.port);
        const std::string product = options.firmwareUpdateMode ? "0084" : "0082";
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", 1 + options.port);
        usbPath = "/sys/devices/usb1/1-" + port;
        interfacePath = usbPath + "/1-" + port + ":1.0";
        char hidName[40];
        std::snprintf(hidName, sizeof hidName, "/0003:202C:%s.%04X", product.c_str(), options.port);
        hidPath = interfacePath + hidName;
        hidrawPath = hidPath + "/hidraw/hidraw" + std::to_string(options.port - 1);
        usbNode = node;
        hidrawNode = "/dev/hidraw" + std::to_string(options.port - 1);
        diskPaths.clear();
        diskNames.clear();
        if (options.withDisk) {
            const std::string disk = std::string("sd") + static_cast<char>('a' + options.port);
            const std::string storage = usbPath + "/1-" + port + ":1.1";
            const std::string block =
                storage + "/host" + port + "/target" + port + ":0:0/" + port + ":0:0:0/block/" + disk;
            diskPaths = {storage, block, block + "/" + disk + "1"};
            diskNames = {disk, disk + "1"};
        }
    }

    // Starts the camera's own departure (and, with a version, its return in
    // camera mode); caller holds the mutex.
    void leaveBus(bool comeBack)
    {
        if (mover.joinable())
            return;
        mover = std::thread([this, comeBack] {
            // The request that triggered this completes first.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            owner->unplug();
            if (!comeBack)
                return;
            auto identity = camera->identity();
            identity.deviceFirmwareVersion = firmware.firmwareAfterUpdate;
            camera->setIdentity(identity);
            options.firmwareUpdateMode = false;
            computePaths();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            reportNodeDelay = std::chrono::milliseconds(firmware.reportNodeDelayMs);
            std::string error;
            const bool back = owner->plugIn(&error);
            if (!back)
                std::fprintf(stderr, "quadrel-umockdev: could not come back in camera mode: %s\n", error.c_str());
            std::lock_guard lock(mutex);
            restarted = back;
        });
    }

    // Answers a DFU request of the camera in firmware-update mode; false
    // when the URB stays in flight. Caller holds the mutex.
    bool answerFirmwareRequest(UMockdevIoctlData *urbData, usbdevfs_urb *urb)
    {
        UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                                static_cast<gsize>(urb->buffer_length), nullptr);
        auto *bytes = reinterpret_cast<std::uint8_t *>(buffer->data);
        const ControlRecord record{bytes[0], bytes[1], static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8),
                                   static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8),
                                   static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8)};
        controls.push_back(record);
        std::uint8_t *payload = bytes + 8;
        const int payloadRoom = std::max(0, urb->buffer_length - 8);
        urb->status = 0;
        urb->actual_length = 0;
        bool complete = true;
        if (record.requestType == 0xC0 && record.request == 3) {
            const std::uint8_t status[6] = {
                0, 0, 0, 0, statusReads == firmware.wrongStatusAtRead ? std::uint8_t(10) : dfuState, 0};
            const bool acknowledged = status[4] == dfuState;
            ++statusReads;
            const int length = std::min<int>({record.length, payloadRoom, 6});
            std::memcpy(payload, status, static_cast<std::size_t>(length));
            urb->actual_length = length;
            if (acknowledged && endChunks == 2)
                leaveBus(!firmware.firmwareAfterUpdate.empty());
        } else if (record.requestType == 0x40 && record.request == 0) {
            dfuState = 2;
        } else if (record.requestType == 0x40 && record.request == 1 && record.length > 0) {
            const int block = blocks;
            if (block == firmware.failAtBlock) {
                urb->status = -EPIPE;
            } else if (block == firmware.vanishAtBlock) {
                heldOut.push_back(urbData);
                complete = false;
                leaveBus(false);
            } else {
                image.insert(image.end(), payload, payload + std::min<int>(record.length, payloadRoom));
                urb->actual_length = record.length;
                ++blocks;
                dfuState = 5;
            }
        } else if (record.requestType == 0x40 && record.request == 1) {
            ++endChunks;
            dfuState = 5;
        } else {
            urb->status = -EPIPE;
        }
        umockdev_ioctl_data_unref(buffer);
        if (complete)
            completed.push_back(urbData);
        return complete;
    }

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        return static_cast<Impl *>(self)->handleIoctl(client);
    }

    gboolean handleIoctl(UMockdevIoctlClient *client)
    {
        const std::string node = umockdev_ioctl_client_get_devnode(client);
        if (node == hidrawNode)
            return handleHidrawIoctl(client);
        return handleUsbIoctl(client);
    }

    gboolean handleHidrawIoctl(UMockdevIoctlClient *client)
    {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        if (request == HIDIOCGRDESCSIZE) {
            UMockdevIoctlData *size = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
            *reinterpret_cast<int *>(size->data) = sizeof kReportDescriptor;
            umockdev_ioctl_client_complete(client, 0, 0);
            umockdev_ioctl_data_unref(size);
            return TRUE;
        }
        if (request == HIDIOCGRDESC) {
            UMockdevIoctlData *descriptor =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), nullptr);
            auto *out = reinterpret_cast<hidraw_report_descriptor *>(descriptor->data);
            out->size = sizeof kReportDescriptor;
            std::memcpy(out->value, kReportDescriptor, sizeof kReportDescriptor);
            umockdev_ioctl_client_complete(client, 0, 0);
            umockdev_ioctl_data_unref(descriptor);
            return TRUE;
        }
        if (request == HIDIOCGRAWINFO) {
            UMockdevIoctlData *info = umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_devinfo), nullptr);
            auto *out = reinterpret_cast<hidraw_devinfo *>(info->data);
            out->bustype = BUS_USB;
            out->vendor = 0x202C;
            out->product = 0x0082;
            umockdev_ioctl_client_complete(client, 0, 0);
            umockdev_ioctl_data_unref(info);
            return TRUE;
        }
        return FALSE;
    }

    // Hands one finished URB back to the reaping client; takes our reference.
    void reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg, UMockdevIoctlData *urbData)
    {
        UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
        umockdev_ioctl_data_set_ptr(pointer, 0, urbData);
        umockdev_ioctl_client_complete(client, 0, 0);
        umockdev_ioctl_data_unref(pointer);
        umockdev_ioctl_data_unref(urbData);
    }

    // Fills the oldest waiting IN URB with the oldest camera report; caller
    // holds the mutex.
    void matchInput()
    {
        while (!pendingIn.empty() && !usbInput.empty()) {
            UMockdevIoctlData *urbData = pendingIn.front();
            pendingIn.pop_front();
            auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
            const Report report = usbInput.front();
            usbInput.pop_front();
            const int length = std::min<int>(urb->buffer_length, static_cast<int>(kReportSize));
            UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                                    static_cast<gsize>(urb->buffer_length), nullptr);
            std::memcpy(buffer->data, report.data(), static_cast<std::size_t>(length));
            umockdev_ioctl_data_unref(buffer);
            urb->actual_length = length;
            urb->status = 0;
            completed.push_back(urbData);
        }
    }

    // Completes a host-to-camera URB and answers the report it carries;
    // caller holds the mutex.
    Report takeOut(UMockdevIoctlData *urbData)
    {
        auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
        UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                                static_cast<gsize>(urb->buffer_length), nullptr);
        Report report{};
        std::memcpy(report.data(), buffer->data,
                    std::min<std::size_t>(static_cast<std::size_t>(urb->buffer_length), kReportSize));
        umockdev_ioctl_data_unref(buffer);
        urb->actual_length = urb->buffer_length;
        urb->status = 0;
        completed.push_back(urbData);
        side = Side::Usb;
        ++usbReceived;
        return report;
    }

    gboolean handleUsbIoctl(UMockdevIoctlClient *client)
    {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        std::unique_lock lock(mutex);

        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
            UMockdevIoctlData *next = nullptr;
            if (!discarded.empty()) {
                next = discarded.front();
                discarded.pop_front();
                reinterpret_cast<usbdevfs_urb *>(next->data)->status = -ENOENT;
            } else {
                matchInput();
                if (!completed.empty()) {
                    next = completed.front();
                    completed.pop_front();
                } else if (gone && (!pendingIn.empty() || !heldOut.empty())) {
                    auto &list = heldOut.empty() ? pendingIn : heldOut;
                    next = list.front();
                    list.pop_front();
                    reinterpret_cast<usbdevfs_urb *>(next->data)->status = -ESHUTDOWN;
                }
            }
            if (!next) {
                umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : EAGAIN);
                return TRUE;
            }
            reap(client, arg, next);
            return TRUE;
        }
        if (request == USBDEVFS_DISCARDURB) {
            const auto address = reinterpret_cast<gulong>(*reinterpret_cast<void **>(arg->data));
            for (auto *list : {&pendingIn, &completed, &heldOut}) {
                for (auto it = list->begin(); it != list->end(); ++it) {
                    if ((*it)->client_addr == address) {
                        discarded.push_back(*it);
                        list->erase(it);
                        umockdev_ioctl_client_complete(client, 0, 0);
                        return TRUE;
                    }
                }
            }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        if (gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            *reinterpret_cast<guint32 *>(caps->data) =
                USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
            umockdev_ioctl_client_complete(client, 0, 0);
            umockdev_ioctl_data_unref(caps);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE: {
            // The video interface is the video driver's while it is bound.
            UMockdevIoctlData *number = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
            const unsigned int interface = *reinterpret_cast<unsigned int *>(number->data);
            umockdev_ioctl_data_unref(number);
            if (interface == kVideoInterface && videoBound)
                umockdev_ioctl_client_complete(client, -1, EBUSY);
            else
                umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLEAR_HALT:
            ++clearHalts;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:
        case USBDEVFS_RESET:
        case USBDEVFS_RESETEP:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_IOCTL: {
            // Detaching and reattaching the kernel driver of an interface.
            UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
            const auto *command = reinterpret_cast<const usbdevfs_ioctl *>(data->data);
            if (command->ifno == static_cast<int>(kVideoInterface) && options.withVideoInterface) {
                if (command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT))
                    videoBound = false;
                else if (command->ioctl_code == static_cast<int>(USBDEVFS_CONNECT))
                    videoBound = true;
            }
            umockdev_ioctl_data_unref(data);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER: {
            UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
            auto *driver = reinterpret_cast<usbdevfs_getdriver *>(data->data);
            const bool bound = driver->interface == kVideoInterface && videoBound;
            if (bound)
                std::snprintf(driver->driver, sizeof driver->driver, "uvcvideo");
            umockdev_ioctl_data_unref(data);
            if (bound)
                umockdev_ioctl_client_complete(client, 0, 0);
            else
                umockdev_ioctl_client_complete(client, -1, ENODATA);
            return TRUE;
        }
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData *urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
            if (urb->type == USBDEVFS_URB_TYPE_CONTROL && options.firmwareUpdateMode) {
                answerFirmwareRequest(urbData, urb);
            } else if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
                // No control requests in camera mode: the control pipe stalls.
                urb->status = -EPIPE;
                urb->actual_length = 0;
                completed.push_back(urbData);
            } else if (urb->endpoint & 0x80) {
                pendingIn.push_back(urbData);
                matchInput();
            } else if (holdOut) {
                heldOut.push_back(urbData);
            } else {
                const Report report = takeOut(urbData);
                umockdev_ioctl_client_complete(client, 0, 0);
                lock.unlock();
                // The camera answers through deliver(), which takes the lock.
                camera->receiveHostReport(report);
                return TRUE;
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        default:
            return FALSE;
        }
    }

    void deliver(const Report &report)
    {
        Side current;
        {
            std::lock_guard lock(mutex);
            current = side;
            if (current != Side::Hid && !gone)
                usbInput.push_back(report);
        }
        if (current != Side::Usb) {
            std::lock_guard lock(hidWriteMutex);
            if (hidrawFd >= 0) {
                const ssize_t written = ::write(hidrawFd, report.data(), report.size());
                (void)written;
            }
        }
    }

    void serveHidraw()
    {
        std::uint8_t buffer[kReportSize + 1];
        std::size_t filled = 0;
        while (!stopHid.load()) {
            pollfd descriptor{hidrawFd, POLLIN, 0};
            const int ready = ::poll(&descriptor, 1, 20);
            if (ready <= 0 || !(descriptor.revents & POLLIN)) {
                // Until the client opens the node the master end hangs up.
                if (ready > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            const ssize_t got = ::read(hidrawFd, buffer + filled, sizeof buffer - filled);
            if (got <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            filled += static_cast<std::size_t>(got);
            if (filled < sizeof buffer)
                continue;
            filled = 0;
            // Byte 0 is the report ID (0): the report follows it.
            Report report;
            std::memcpy(report.data(), buffer + 1, kReportSize);
            {
                std::lock_guard lock(mutex);
                side = Side::Hid;
                ++hidReceived;
            }
            camera->receiveHostReport(report);
        }
    }
};

bool QuadrelUmockdevBed::inMockEnvironment()
{
    // umockdev_in_mock_environment() only answers true once a testbed exists.
    const char *preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "umockdev-preload");
}

QuadrelUmockdevBed::QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera)
    : QuadrelUmockdevBed(std::move(camera), Options{})
{}

QuadrelUmockdevBed::QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera, Options options)
    : QuadrelUmockdevBed(std::move(camera), options, FirmwareBehaviour{})
{}

QuadrelUmockdevBed::QuadrelUmockdevBed(std::shared_ptr<sim::QuadrelSimulator> camera, Options options,
                                       FirmwareBehaviour firmware)
    : m_impl(std::make_unique<Impl>())
{
    Impl &impl = *m_impl;
    impl.owner = this;
    impl.camera = std::move(camera);
    impl.options = options;
    impl.firmware = std::move(firmware);
    impl.computePaths();
    impl.videoBound = options.withVideoInterface && options.videoDriverBound;
    impl.testbed = acquireTestbed();
    impl.handler = umockdev_ioctl_base_new();
    g_signal_connect_after(impl.handler, "handle-ioctl", G_CALLBACK(&Impl::onIoctl), m_impl.get());
    impl.camera->setReportSink([raw = m_impl.get()](const Report &report) { raw->deliver(report); });
}

QuadrelUmockdevBed::~QuadrelUmockdevBed()
{
    std::thread mover;
    {
        std::lock_guard lock(m_impl->mutex);
        mover = std::move(m_impl->mover);
    }
    if (mover.joinable())
        mover.join();
    unplug();
    m_impl->camera->setReportSink(nullptr);
    m_impl->stopHid.store(true);
    if (m_impl->hidServer.joinable())
        m_impl->hidServer.join();
    if (m_impl->hidrawFd >= 0)
        ::close(m_impl->hidrawFd);
    releaseTestbed();
    m_impl->testbed = nullptr;
    g_clear_object(&m_impl->handler);
    std::lock_guard lock(m_impl->mutex);
    for (auto *list : {&m_impl->pendingIn, &m_impl->completed, &m_impl->discarded, &m_impl->heldOut}) {
        for (UMockdevIoctlData *data : *list)
            umockdev_ioctl_data_unref(data);
        list->clear();
    }
}

std::uint8_t QuadrelUmockdevBed::address() const
{
    return static_cast<std::uint8_t>(1 + m_impl->options.port);
}

std::uint32_t QuadrelUmockdevBed::locationID() const
{
    return 0x01000000u | (static_cast<std::uint32_t>(m_impl->options.port & 0xF) << 20);
}

std::string QuadrelUmockdevBed::hidrawPath() const
{
    return m_impl->hidrawNode;
}

std::string QuadrelUmockdevBed::usbNode() const
{
    return m_impl->usbNode;
}

std::vector<std::string> QuadrelUmockdevBed::diskNames() const
{
    return m_impl->diskNames;
}

bool QuadrelUmockdevBed::plugIn(std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!inMockEnvironment())
        return fail("not running under umockdev-wrapper");
    Impl &impl = *m_impl;
    {
        std::lock_guard lock(impl.mutex);
        impl.gone = false;
        impl.side = Impl::Side::None;
    }
    const bool camera = !impl.options.firmwareUpdateMode;
    GError *gerror = nullptr;
    if (!umockdev_testbed_attach_ioctl(impl.testbed, impl.usbNode.c_str(), impl.handler, &gerror) ||
        (camera && !umockdev_testbed_attach_ioctl(impl.testbed, impl.hidrawNode.c_str(), impl.handler, &gerror))) {
        const std::string why = gerror ? gerror->message : "attach_ioctl failed";
        g_clear_error(&gerror);
        return fail(why);
    }

    const std::string port = std::to_string(impl.options.port);
    const std::string sysUsb = impl.usbPath.substr(4); // without "/sys"
    const std::string product = camera ? "0082" : "0084";
    const std::string address = std::to_string(1 + impl.options.port);
    const std::string descriptors = compactHex(!camera                           ? kFirmwareUpdateDescriptorsHex
                                               : impl.options.withVideoInterface ? kUsbWithVideoDescriptorsHex
                                                                                 : kUsbDescriptorsHex);
    const std::string reportDescriptor = toHex(kReportDescriptor, sizeof kReportDescriptor);
    std::string tree = "P: " + sysUsb + "\n" + "N: " + impl.usbNode.substr(5) + "\n" +
                       "E: SUBSYSTEM=usb\n"
                       "E: DEVTYPE=usb_device\n"
                       "E: DRIVER=usb\n"
                       "E: BUSNUM=001\n"
                       "E: DEVNUM=" +
                       impl.usbNode.substr(impl.usbNode.size() - 3) + "\n" + "E: DEVNAME=" + impl.usbNode + "\n" +
                       "E: PRODUCT=202c/" + (camera ? "82" : "84") + "/100\n" +
                       "E: ID_VENDOR_ID=202c\n"
                       "E: ID_MODEL_ID=" +
                       product + "\n" + "A: dev=189:" + std::to_string(impl.options.port) + "\\n\n" +
                       "A: busnum=1\\n\n"
                       "A: devnum=" +
                       address + "\\n\n" + "A: devpath=" + port + "\\n\n" +
                       "A: idVendor=202c\\n\n"
                       "A: idProduct=" +
                       product + "\\n\n" +
                       "A: bcdDevice=0100\\n\n"
                       "A: manufacturer=Morvane\\n\n"
                       "A: product=Quadrel\\n\n"
                       "A: serial=QSIM000" +
                       port + "\\n\n" +
                       "A: bConfigurationValue=1\\n\n"
                       "A: bNumConfigurations=1\\n\n"
                       "A: bNumInterfaces= 1\\n\n"
                       "A: speed=480\\n\n"
                       "H: descriptors=" +
                       descriptors + "\n\n";
    // The camera's HID device and hidraw node, below its interface.
    std::string reportTree;
    if (camera) {
        tree += "P: " + impl.interfacePath.substr(4) + "\n" +
                "E: SUBSYSTEM=usb\n"
                "E: DEVTYPE=usb_interface\n"
                "E: DRIVER=usbhid\n"
                "E: INTERFACE=3/0/0\n"
                "A: bInterfaceNumber=00\\n\n"
                "A: bInterfaceClass=03\\n\n"
                "A: bInterfaceSubClass=00\\n\n"
                "A: bInterfaceProtocol=00\\n\n"
                "A: bAlternateSetting= 0\\n\n"
                "A: bNumEndpoints=02\\n\n"
                "\n";
        reportTree = "P: " + impl.hidPath.substr(4) + "\n" +
                     "E: SUBSYSTEM=hid\n"
                     "E: DRIVER=hid-generic\n"
                     "E: HID_ID=0003:0000202C:00000082\n"
                     "E: HID_NAME=Morvane Quadrel\n"
                     "E: HID_PHYS=usb-0000:00:14.0-" +
                     port + "/input0\n" + "E: HID_UNIQ=QSIM000" + port + "\n" +
                     "E: MODALIAS=hid:b0003g0001v0000202Cp00000082\n"
                     "H: report_descriptor=" +
                     reportDescriptor + "\n\n" + "P: " + impl.hidrawPath.substr(4) + "\n" +
                     "N: " + impl.hidrawNode.substr(5) + "\n" +
                     "E: SUBSYSTEM=hidraw\n"
                     "E: DEVNAME=" +
                     impl.hidrawNode + "\n" +
                     "E: MAJOR=241\n"
                     "E: MINOR=" +
                     std::to_string(impl.options.port - 1) + "\n" +
                     "A: dev=241:" + std::to_string(impl.options.port - 1) + "\\n\n" + "L: device=../../../" +
                     impl.hidPath.substr(impl.hidPath.rfind('/') + 1) + "\n\n";
    }
    // The report node comes with the USB device, or as long after it as
    // asked.
    if (impl.reportNodeDelay.count() == 0) {
        tree += reportTree;
        reportTree.clear();
    }
    if (!impl.diskPaths.empty()) {
        tree += "P: " + impl.diskPaths[0].substr(4) + "\n" +
                "E: SUBSYSTEM=usb\n"
                "E: DEVTYPE=usb_interface\n"
                "E: DRIVER=usb-storage\n"
                "E: INTERFACE=8/6/80\n"
                "A: bInterfaceClass=08\\n\n\n" +
                "P: " + impl.diskPaths[1].substr(4) + "\n" + "N: " + impl.diskNames[0] + "\n" +
                "E: SUBSYSTEM=block\n"
                "E: DEVTYPE=disk\n"
                "E: DEVNAME=/dev/" +
                impl.diskNames[0] + "\n\n" + "P: " + impl.diskPaths[2].substr(4) + "\n" + "N: " + impl.diskNames[1] +
                "\n" +
                "E: SUBSYSTEM=block\n"
                "E: DEVTYPE=partition\n"
                "E: DEVNAME=/dev/" +
                impl.diskNames[1] + "\n\n";
    }
    for (const std::string *part : {&tree, &reportTree}) {
        if (part->empty())
            continue;
        if (part == &reportTree)
            std::this_thread::sleep_for(impl.reportNodeDelay);
        if (!umockdev_testbed_add_from_string(impl.testbed, part->c_str(), &gerror)) {
            const std::string why = gerror ? gerror->message : "add_from_string failed";
            g_clear_error(&gerror);
            return fail(why);
        }
    }
    impl.reportNodeDelay = {};

    if (camera) {
        const int master = umockdev_testbed_get_dev_fd(impl.testbed, impl.hidrawNode.c_str());
        if (master < 0)
            return fail("the hidraw node has no pseudo-terminal");
        impl.hidrawFd = ::dup(master);
        // Reports are binary: no line discipline may touch them.
        termios settings{};
        if (tcgetattr(impl.hidrawFd, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(impl.hidrawFd, TCSANOW, &settings);
        }
        impl.stopHid.store(false);
        impl.hidServer = std::thread([raw = m_impl.get()] { raw->serveHidraw(); });
    }
    impl.plugged = true;
    return true;
}

void QuadrelUmockdevBed::unplug()
{
    Impl &impl = *m_impl;
    if (!impl.plugged)
        return;
    impl.plugged = false;
    {
        std::lock_guard lock(impl.mutex);
        impl.gone = true;
        impl.usbInput.clear();
    }
    impl.stopHid.store(true);
    if (impl.hidServer.joinable())
        impl.hidServer.join();
    if (!impl.options.firmwareUpdateMode) {
        std::lock_guard lock(impl.hidWriteMutex);
        if (impl.hidrawFd >= 0)
            ::close(impl.hidrawFd);
        impl.hidrawFd = -1;
        // The client's end hangs up only when every master descriptor is
        // closed; the testbed keeps its own, so it is replaced in place (the
        // number stays valid for the testbed to close later).
        const int master = umockdev_testbed_get_dev_fd(impl.testbed, impl.hidrawNode.c_str());
        const int placeholder = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (master >= 0 && placeholder >= 0)
            ::dup2(placeholder, master);
        if (placeholder >= 0)
            ::close(placeholder);
    }
    // Bottom-up, as the kernel removes them.
    std::vector<std::string> paths(impl.diskPaths.rbegin(), impl.diskPaths.rend());
    if (!impl.options.firmwareUpdateMode)
        paths.insert(paths.end(), {impl.hidrawPath, impl.hidPath, impl.interfacePath});
    paths.push_back(impl.usbPath);
    // umockdev maps each pseudo-terminal back to its node, keyed by the
    // terminal's name, and leaves that entry behind when the node goes. Once
    // the terminal is freed the kernel hands its number to the next hidraw
    // node, and umockdev aborts on the stale entry: a camera that comes back
    // after two earlier cameras (a retried update) would end the test.
    std::string ptyMapEntry;
    if (!impl.options.firmwareUpdateMode) {
        // The root's name is the caller's to free.
        gchar *rootName = umockdev_testbed_get_root_dir(impl.testbed);
        const std::string root(rootName);
        g_free(rootName);
        char target[256] = {};
        const std::string node = root + impl.hidrawNode;
        const ssize_t length = ::readlink(node.c_str(), target, sizeof target - 1);
        if (length > 0) {
            std::string pty(target, static_cast<std::size_t>(length));
            std::replace(pty.begin(), pty.end(), '/', '_');
            ptyMapEntry = root + "/dev/.ptymap/" + pty;
        }
    }
    for (const std::string &path : paths)
        umockdev_testbed_uevent(impl.testbed, path.c_str(), "remove");
    for (const std::string &path : paths)
        umockdev_testbed_remove_device(impl.testbed, path.c_str());
    if (!ptyMapEntry.empty())
        ::unlink(ptyMapEntry.c_str());
    // Frees the nodes for a camera plugged into the same port later.
    umockdev_testbed_detach_ioctl(impl.testbed, impl.usbNode.c_str(), nullptr);
    if (!impl.options.firmwareUpdateMode)
        umockdev_testbed_detach_ioctl(impl.testbed, impl.hidrawNode.c_str(), nullptr);
}

void QuadrelUmockdevBed::holdUsbWrites(bool hold)
{
    std::vector<Report> released;
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->holdOut = hold;
        if (hold || m_impl->gone)
            return;
        while (!m_impl->heldOut.empty()) {
            released.push_back(m_impl->takeOut(m_impl->heldOut.front()));
            m_impl->heldOut.pop_front();
        }
    }
    for (const Report &report : released)
        m_impl->camera->receiveHostReport(report);
}

int QuadrelUmockdevBed::usbWritesInFlight() const
{
    std::lock_guard lock(m_impl->mutex);
    return static_cast<int>(m_impl->heldOut.size());
}

int QuadrelUmockdevBed::usbReportsReceived() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->usbReceived;
}

int QuadrelUmockdevBed::clearHaltCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->clearHalts;
}

bool QuadrelUmockdevBed::videoDriverBound() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->videoBound;
}

std::vector<QuadrelUmockdevBed::ControlRecord> QuadrelUmockdevBed::controlRequests() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->controls;
}

std::vector<std::uint8_t> QuadrelUmockdevBed::receivedImage() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->image;
}

bool QuadrelUmockdevBed::restartedInCameraMode() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->restarted;
}

int QuadrelUmockdevBed::hidReportsReceived() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->hidReceived;
}

} // namespace kelvo::device::umock
