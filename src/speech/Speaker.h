#pragma once

#include "speech/SpeechEngine.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace kelvo::speech {

// Whether changes of state are spoken. Automatic speaks unless a screen
// reader runs, which would otherwise talk over the viewer's voice.
enum class SpeakMode { Automatic = 0, On = 1, Off = 2 };

// KELVO_SPEECH=on|off|auto in the environment, over the saved choice.
SpeakMode speakModeWithEnvironment(SpeakMode saved);

// Says short phrases for changes of state, and the lines of a page being
// read. Each phrase cuts off the one before: a quick run of zoom steps says
// only the last. Every phrase said is logged as "Spoken: <text>". The voice
// is started at the first phrase; without one, a single message says so and
// the captions carry on alone (and reading steps through its lines at a
// reading pace, silently).
// Thread: main thread.
class Speaker : public QObject {
    Q_OBJECT
public:
    using EngineFactory = std::function<std::unique_ptr<SpeechEngine>()>;
    explicit Speaker(EngineFactory factory = createDesktopSpeechEngine, QObject *parent = nullptr);
    ~Speaker() override;

    // Replaces the voice before its first use (a fake one in tests).
    void setEngineFactory(EngineFactory factory)
    {
        m_factory = std::move(factory);
        m_engine.reset();
        m_engineTried = false;
    }
    void setMode(SpeakMode mode) { m_mode = mode; }
    SpeakMode mode() const { return m_mode; }
    void setScreenReaderRunning(bool running) { m_screenReaderRunning = running; }
    bool screenReaderRunning() const { return m_screenReaderRunning; }
    bool speaksChanges() const;
    // -10..10, 0 the voice's normal pace.
    void setRate(int rate);
    int rate() const { return m_rate; }

    // A change of state: shown unless the mode is Off, said when changes
    // are spoken.
    void announce(const QString &text);
    // Text the user asked to hear (a page): said whatever the mode.
    void read(const QString &text);
    void stop();
    void pause();
    void resume();

signals:
    // Show these words as a caption.
    void captionRequested(const QString &text);
    // What read() was given has been said to its end.
    void readingFinished();
    // The voice could not start (once per run).
    void speechUnavailable(const QString &message);

private:
    void speak(const QString &text, bool reading);
    bool ensureEngine();

    EngineFactory m_factory;
    std::unique_ptr<SpeechEngine> m_engine;
    bool m_engineTried = false;
    SpeakMode m_mode = SpeakMode::Automatic;
    bool m_screenReaderRunning = false;
    int m_rate = 0;
    bool m_reading = false;
    // Without a voice, how long the text would take to say.
    QTimer m_silentReading;
    int m_silentRemainingMs = 0;
};

} // namespace kelvo::speech
