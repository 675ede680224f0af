#include "app/SimulatorDebugChannel.h"

#include "common/SystemLog.h"
#include "device/sim/QuadrelSimulator.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace kelvo::app {
namespace {

// Shared with the observer, which may still be running on the sender thread
// while the channel goes away.
struct TraceFile {
    std::mutex mutex;
    std::FILE *file = nullptr; // guarded by mutex

    ~TraceFile()
    {
        if (file)
            std::fclose(file);
    }

    void write(const device::Report &report)
    {
        std::size_t length = report.size();
        while (length > 1 && report[length - 1] == 0)
            --length;
        std::string line = "rx";
        char hex[4];
        for (std::size_t i = 0; i < length; ++i) {
            std::snprintf(hex, sizeof hex, " %02x", report[i]);
            line += hex;
        }
        line += '\n';
        std::lock_guard lock(mutex);
        std::fputs(line.c_str(), file);
        // A test reads the file while the viewer runs.
        std::fflush(file);
    }
};

} // namespace

SimulatorDebugChannel::SimulatorDebugChannel(std::shared_ptr<device::sim::QuadrelSimulator> simulator,
                                             const QString &tracePath, const QString &controlPath, QObject *parent)
    : QObject(parent), m_simulator(std::move(simulator)), m_controlPath(controlPath)
{
    if (!tracePath.isEmpty()) {
        auto trace = std::make_shared<TraceFile>();
        trace->file = std::fopen(QFile::encodeName(tracePath).constData(), "a");
        if (trace->file)
            m_simulator->setReceivedReportObserver([trace](const device::Report &report) { trace->write(report); });
        else
            systemLog("Could not open the simulated camera's trace file %s\n", qPrintable(tracePath));
    }
    if (!m_controlPath.isEmpty())
        openControl();
}

SimulatorDebugChannel::~SimulatorDebugChannel()
{
    m_simulator->setReceivedReportObserver({});
    closeControl();
}

std::unique_ptr<SimulatorDebugChannel>
SimulatorDebugChannel::fromEnvironment(std::shared_ptr<device::sim::QuadrelSimulator> simulator)
{
    const QString trace = qEnvironmentVariable("KELVO_SIMULATOR_TRACE");
    const QString control = qEnvironmentVariable("KELVO_SIMULATOR_CONTROL");
    if (trace.isEmpty() && control.isEmpty())
        return nullptr;
    return std::make_unique<SimulatorDebugChannel>(std::move(simulator), trace, control);
}

void SimulatorDebugChannel::openControl()
{
    // Non-blocking, so that opening does not wait for a writer.
    m_controlFd = ::open(QFile::encodeName(m_controlPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_controlFd < 0) {
        systemLog("Could not open the simulated camera's control FIFO %s\n", qPrintable(m_controlPath));
        return;
    }
    m_controlNotifier = new QSocketNotifier(m_controlFd, QSocketNotifier::Read, this);
    connect(m_controlNotifier, &QSocketNotifier::activated, this, &SimulatorDebugChannel::readControl);
}

void SimulatorDebugChannel::closeControl()
{
    delete m_controlNotifier;
    m_controlNotifier = nullptr;
    if (m_controlFd >= 0)
        ::close(m_controlFd);
    m_controlFd = -1;
    m_pending.clear();
}

void SimulatorDebugChannel::readControl()
{
    char buffer[4096];
    const ssize_t count = ::read(m_controlFd, buffer, sizeof buffer);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (count <= 0) {
        // The writer has gone: the FIFO would report that for ever, so start
        // again and wait for the next writer.
        closeControl();
        openControl();
        return;
    }
    m_pending.append(buffer, count);
    const qsizetype end = m_pending.lastIndexOf('\n');
    if (end < 0)
        return;
    const std::string text = m_pending.left(end + 1).toStdString();
    m_pending.remove(0, end + 1);
    std::vector<device::sim::ScriptStep> steps;
    if (!device::sim::QuadrelSimulator::parseScript(text, steps)) {
        systemLog("Ignoring a malformed simulated camera script\n");
        return;
    }
    m_simulator->runScript(std::move(steps));
}

} // namespace kelvo::app
