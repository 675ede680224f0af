// Feeds arbitrary camera reports to the decoder, in ordinary and diagnostic
// mode, with a viewer that records what it is asked to do.
#include "common/SystemLog.h"
#include "device/DeviceLink.h"
#include "device/DeviceTestSupport.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

struct Rig {
    Rig()
    {
        link.setViewerActions(&viewer);
        link.setApplicationActions(&application);
    }
    kelvo::ScopedLogCapture log; // the journal would slow every run down
    kelvo::device::DeviceLink link;
    kelvo::device::test::RecordingViewer viewer;
    kelvo::device::test::RecordingApplication application;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_report_decoder";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static Rig rig;
    // The first byte picks the mode, the rest is the report.
    if (size == 0)
        return 0;
    rig.link.setDiagnosticMode((data[0] & 1) != 0);
    rig.link.parseHIDResponse(std::span<const std::uint8_t>(data + 1, size - 1));
    // Decoded reports act through the main queue: run them, and keep the
    // records from growing without end.
    QCoreApplication::sendPostedEvents();
    rig.log.clear();
    rig.viewer.clear();
    rig.application.calls.clear();
    return 0;
}
