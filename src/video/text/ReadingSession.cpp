#include "video/text/ReadingSession.h"

#include <algorithm>

namespace kelvo::video::text {

QString ReadingSession::noTextMessage()
{
    return QStringLiteral("No text found");
}

void ReadingSession::begin()
{
    if (m_state == State::Reading || m_state == State::Paused)
        m_output.stopSpeaking();
    m_result = {};
    m_current = -1;
    m_output.showLine(-1);
    m_state = State::Recognising;
}

void ReadingSession::recognised(RecognitionResult result)
{
    if (m_state != State::Recognising)
        return;
    m_result = std::move(result);
    switch (m_result.outcome) {
    case RecognitionResult::Outcome::Text:
        readLine(0);
        return;
    case RecognitionResult::Outcome::Cancelled:
        m_state = State::Idle;
        return;
    case RecognitionResult::Outcome::NoText:
        m_state = State::Finished;
        m_output.showMessage(noTextMessage());
        return;
    case RecognitionResult::Outcome::Failed:
        m_state = State::Finished;
        m_output.showMessage(m_result.message);
        return;
    }
}

void ReadingSession::readLine(int index)
{
    m_current = index;
    m_state = State::Reading;
    m_output.showLine(index);
    m_output.say(m_result.lines[size_t(index)].text);
}

void ReadingSession::lineSpoken()
{
    if (m_state != State::Reading)
        return;
    if (m_current + 1 < static_cast<int>(m_result.lines.size())) {
        readLine(m_current + 1);
        return;
    }
    // The outline stays on the last line, so Up can go back from there.
    m_state = State::Finished;
}

void ReadingSession::pauseOrResume()
{
    switch (m_state) {
    case State::Reading:
        m_state = State::Paused;
        m_output.pauseSpeaking();
        return;
    case State::Paused:
        m_state = State::Reading;
        m_output.resumeSpeaking();
        return;
    case State::Finished:
        // After the last line, Space reads the page again from the top.
        if (hasText())
            readLine(0);
        return;
    case State::Idle:
    case State::Recognising:
        return;
    }
}

void ReadingSession::nextLine()
{
    if ((m_state == State::Reading || m_state == State::Paused || m_state == State::Finished) &&
        m_current + 1 < static_cast<int>(m_result.lines.size()))
        readLine(m_current + 1);
}

void ReadingSession::previousLine()
{
    if ((m_state == State::Reading || m_state == State::Paused || m_state == State::Finished) && hasText())
        readLine(std::max(0, m_current - 1));
}

void ReadingSession::stop()
{
    if (m_state == State::Idle)
        return;
    if (m_state == State::Reading || m_state == State::Paused)
        m_output.stopSpeaking();
    m_output.showLine(-1);
    m_state = State::Idle;
}

} // namespace kelvo::video::text
