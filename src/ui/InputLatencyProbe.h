#pragma once

#include <QObject>

#include <chrono>
#include <optional>
#include <vector>

namespace kelvo::ui {

// Measures, for support and the acceptance suite, how long a key takes to
// show in the picture: from the key leaving the X server to the end of the
// next paint of the video view. Installed on the application when
// KELVO_TRACE_INPUT_LATENCY is set; logs its summary when it goes away.
//
// A key's start is its server timestamp, put on our clock through the
// smallest lag seen between a timestamp and its arrival: that is the key
// that waited least, so keys held up behind a busy main thread count their
// whole wait.
class InputLatencyProbe : public QObject {
public:
    explicit InputLatencyProbe(QObject *parent = nullptr);
    ~InputLatencyProbe() override;

    // Whether the environment asks for the probe.
    static bool requested();

    bool eventFilter(QObject *watched, QEvent *event) override;

    struct Summary {
        int keys = 0;
        double medianMs = 0;
        double p99Ms = 0;
        double longestMs = 0;
    };
    std::optional<Summary> summary() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Key {
        unsigned long serverMs;
        Clock::time_point arrived;
        std::optional<Clock::time_point> shown;
    };
    void markShown();

    std::vector<Key> m_keys;
    std::size_t m_firstWaiting = 0; // keys before it have been shown
    bool m_shownQueued = false;
};

} // namespace kelvo::ui
