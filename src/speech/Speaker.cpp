#include "speech/Speaker.h"

#include "common/SystemLog.h"

#include <algorithm>

namespace kelvo::speech {

SpeakMode speakModeWithEnvironment(SpeakMode saved)
{
    const QString forced = qEnvironmentVariable("KELVO_SPEECH").toLower();
    if (forced == QLatin1String("on"))
        return SpeakMode::On;
    if (forced == QLatin1String("off"))
        return SpeakMode::Off;
    if (forced == QLatin1String("auto"))
        return SpeakMode::Automatic;
    return saved;
}

Speaker::Speaker(EngineFactory factory, QObject *parent) : QObject(parent), m_factory(std::move(factory))
{
    m_silentReading.setSingleShot(true);
    connect(&m_silentReading, &QTimer::timeout, this, [this] {
        m_reading = false;
        emit readingFinished();
    });
}

Speaker::~Speaker() = default;

bool Speaker::speaksChanges() const
{
    return m_mode == SpeakMode::On || (m_mode == SpeakMode::Automatic && !m_screenReaderRunning);
}

void Speaker::setRate(int rate)
{
    m_rate = std::clamp(rate, -10, 10);
    if (m_engine)
        m_engine->setRate(m_rate / 10.0);
}

bool Speaker::ensureEngine()
{
    if (!m_engineTried) {
        m_engineTried = true;
        m_engine = m_factory ? m_factory() : nullptr;
        const QString reason = m_engine ? m_engine->unavailableReason() : QStringLiteral("Speech is not available.");
        if (!reason.isEmpty()) {
            m_engine.reset();
            systemLog("%s\n", qPrintable(reason));
            emit speechUnavailable(reason);
        } else {
            m_engine->setRate(m_rate / 10.0);
            m_engine->setFinishedHandler([this] {
                if (!m_reading)
                    return;
                m_reading = false;
                emit readingFinished();
            });
        }
    }
    return m_engine != nullptr;
}

void Speaker::announce(const QString &text)
{
    // Off is the user's choice of no feedback at all; a screen reader only
    // takes the voice, the caption stays.
    if (m_mode == SpeakMode::Off)
        return;
    emit captionRequested(text);
    if (speaksChanges())
        speak(text, false);
}

void Speaker::read(const QString &text)
{
    speak(text, true);
}

void Speaker::speak(const QString &text, bool reading)
{
    systemLog("Spoken: %s\n", escapedForLog(text.toStdString()).c_str());
    m_silentReading.stop();
    m_reading = reading;
    if (ensureEngine()) {
        m_engine->stop();
        m_engine->say(text);
        return;
    }
    if (reading) {
        // About fifteen characters a second at the normal pace.
        m_silentReading.start(std::max(300, int(text.size() * 66 / (1.0 + m_rate / 20.0))));
    }
}

void Speaker::stop()
{
    m_reading = false;
    m_silentReading.stop();
    if (m_engine)
        m_engine->stop();
}

void Speaker::pause()
{
    if (m_silentReading.isActive()) {
        m_silentRemainingMs = m_silentReading.remainingTime();
        m_silentReading.stop();
    }
    if (m_engine)
        m_engine->pause();
}

void Speaker::resume()
{
    if (m_reading && !m_engine)
        m_silentReading.start(std::max(1, m_silentRemainingMs));
    if (m_engine)
        m_engine->resume();
}

} // namespace kelvo::speech
