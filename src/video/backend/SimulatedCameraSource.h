#pragma once

#include "video/backend/GstHandles.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvo::video::backend {

// The simulated Quadrel's picture and sound: a document page, rendered once,
// seen through a zoom lens at the lens position the simulated camera reports,
// held still while the camera is frozen; and a test tone as its microphone.
// The device simulator drives it with setLensPosition and setFrozen.
// Thread: construct on the main thread (the page is drawn there); the setters
// may be called from any thread; the elements' streaming threads read them.
class SimulatedCameraSource {
public:
    // Lens positions of the camera's optical zoom steps 1..8.
    static constexpr std::array<std::uint16_t, 8> kLensPositions{0, 1880, 3624, 5311, 6803, 8183, 9491, 10636};

    struct Options {
        QSize frameSize{1280, 720};
        QSize pageSize{2480, 3508}; // A4 at 300 dpi
        int framesPerSecond = 30;
    };

    SimulatedCameraSource();
    explicit SimulatedCameraSource(const Options &options);
    ~SimulatedCameraSource();

    void setLensPosition(std::uint16_t position);
    std::uint16_t lensPosition() const;
    void setFrozen(bool frozen);
    bool isFrozen() const;

    // 1.0 at lens position 0 up to 8.0 at the last step, in proportion.
    static double magnificationForLensPosition(std::uint16_t position);

    QSize frameSize() const;
    const QImage &page() const;
    // What the camera sees at a lens position, frameSize large.
    QImage viewAt(std::uint16_t lensPosition) const;

    // A new source element that serves the picture as live UYVY video, a bin
    // with one "src" pad. Every element made here follows the same lens and
    // freeze state. Null with a message when a plugin is missing.
    GstObjectPtr<GstElement> createVideoSourceElement(QString *error = nullptr) const;
    // A new live test-tone source, a bin with one "src" pad; null with a
    // message when a plugin is missing.
    GstObjectPtr<GstElement> createAudioSourceElement(QString *error = nullptr) const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

// BT.601 video-range UYVY of an RGB888 picture (two pixels share one U and V).
std::vector<std::uint8_t> rgbToUyvy(const QImage &rgb);

} // namespace kelvo::video::backend
