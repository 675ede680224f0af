#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace kelvo::speech {

// A voice. The program's is Qt TextToSpeech; tests give a fake one.
// Thread: main thread.
class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;
    // Empty when the voice can speak; otherwise why it cannot, for the user.
    virtual QString unavailableReason() const = 0;
    // Says the text; whatever was being said is cut off, never queued.
    virtual void say(const QString &text) = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // -1 (slowest) .. 1 (fastest), 0 the voice's normal pace.
    virtual void setRate(double rate) = 0;
    // Called when a text was said to its end (not when it was cut off).
    void setFinishedHandler(std::function<void()> handler) { m_finished = std::move(handler); }

protected:
    void finished()
    {
        if (m_finished)
            m_finished();
    }

private:
    std::function<void()> m_finished;
};

// The desktop's voice: the first Qt TextToSpeech engine that starts.
std::unique_ptr<SpeechEngine> createDesktopSpeechEngine();

} // namespace kelvo::speech
