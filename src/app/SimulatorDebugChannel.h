#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace kelvo::device::sim {
class QuadrelSimulator;
}

namespace kelvo::app {

// A way into the built-in simulated camera from outside the viewer, for
// acceptance tests and demonstrations that drive the real program the way a
// user and a camera would: the trace file shows what the viewer sent to the
// camera, and the control FIFO presses the camera's buttons. Both are off
// unless their environment variable names a file:
//   KELVO_SIMULATOR_TRACE    a file that gets "rx <hex bytes>" per report the
//                            camera receives, trailing zero bytes left out;
//   KELVO_SIMULATOR_CONTROL  a FIFO whose lines, in the simulator's script
//                            format ("<delay ms> <hex bytes>"), the camera
//                            sends as its own reports; the lines of one read
//                            form one script.
// Thread: lives on the main thread; the trace is written from whichever
// thread hands the camera a report.
class SimulatorDebugChannel : public QObject {
public:
    SimulatorDebugChannel(std::shared_ptr<device::sim::QuadrelSimulator> simulator, const QString &tracePath,
                          const QString &controlPath, QObject *parent = nullptr);
    ~SimulatorDebugChannel() override;

    // The channel the environment asks for, or null when it asks for none.
    static std::unique_ptr<SimulatorDebugChannel>
    fromEnvironment(std::shared_ptr<device::sim::QuadrelSimulator> simulator);

private:
    void openControl();
    void closeControl();
    void readControl();

    std::shared_ptr<device::sim::QuadrelSimulator> m_simulator;
    QString m_controlPath;
    int m_controlFd = -1;
    QSocketNotifier *m_controlNotifier = nullptr;
    QByteArray m_pending; // a line whose end has not arrived yet
};

} // namespace kelvo::app
