#pragma once

#include "video/text/TextRecognizer.h"

#include <QString>

namespace kelvo::video::text {

// What a reading session asks of the voice and the screen.
class ReadingOutput {
public:
    virtual ~ReadingOutput() = default;
    // Stops whatever is being said and says this instead.
    virtual void say(const QString &text) = 0;
    virtual void stopSpeaking() = 0;
    virtual void pauseSpeaking() = 0;
    virtual void resumeSpeaking() = 0;
    // The line to outline on the picture; -1 for none.
    virtual void showLine(int index) = 0;
    // A short message for the caption (spoken too, through say).
    virtual void showMessage(const QString &text) = 0;
};

// The rules of reading a page aloud: recognition first, then one line after
// the other in reading order, with pause and resume, the next and the
// previous line, and stop. Keys act only while a session runs (any state but
// Idle), so the viewer's own meaning of those keys returns once it is over.
// Thread: one thread (the main thread).
class ReadingSession {
public:
    enum class State { Idle, Recognising, Reading, Paused, Finished };

    explicit ReadingSession(ReadingOutput &output) : m_output(output) {}

    State state() const { return m_state; }
    bool isActive() const { return m_state != State::Idle; }
    int currentLine() const { return m_current; }
    const RecognitionResult &result() const { return m_result; }
    // Whether there is recognised text to copy or save.
    bool hasText() const { return !m_result.lines.empty(); }

    // A new reading starts; what was read before is forgotten.
    void begin();
    // The recogniser answered. Ignored unless recognising.
    void recognised(RecognitionResult result);
    // The voice finished the current line: the next one follows.
    void lineSpoken();
    // Space.
    void pauseOrResume();
    // Down and Up.
    void nextLine();
    void previousLine();
    // Escape, unfreezing, closing: silence, no outline, recognition dropped.
    void stop();

    static QString noTextMessage();

private:
    void readLine(int index);

    ReadingOutput &m_output;
    State m_state = State::Idle;
    RecognitionResult m_result;
    int m_current = -1;
};

} // namespace kelvo::video::text
