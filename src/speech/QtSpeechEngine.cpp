#include "common/Localization.h"
#include "common/SystemLog.h"
#include "speech/SpeechEngine.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QTextToSpeech>

namespace kelvo::speech {
namespace {

// Whether connecting to speech-dispatcher can succeed: a daemon is running
// (its socket is there, or the user named another address), or the client
// library can start one because it is installed. Without either, Qt's plugin
// only fails to connect, and leaks on its way out.
bool speechDispatcherReachable()
{
    if (qEnvironmentVariableIsSet("SPEECHD_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/speech-dispatcher/speechd.sock")))
        return true;
    return !QStandardPaths::findExecutable(QStringLiteral("speech-dispatcher")).isEmpty();
}

class QtSpeechEngine final : public SpeechEngine {
public:
    QtSpeechEngine()
    {
        // speech-dispatcher only: it is the desktop's voice, with the user's
        // own settings, and what screen readers speak through. Qt 6.4's Flite
        // engine crashes inside the synthesiser when a phrase is stopped or
        // the voice goes away mid-phrase, which interrupting is all about.
        const QString engine = QStringLiteral("speechd");
        if (speechDispatcherReachable() && QTextToSpeech::availableEngines().contains(engine)) {
            auto voice = std::make_unique<QTextToSpeech>(engine);
            if (voice->state() != QTextToSpeech::Error) {
                m_voice = std::move(voice);
                systemLog("Speech engine: %s\n", qPrintable(engine));
            }
        }
        if (!m_voice)
            return;
        QObject::connect(m_voice.get(), &QTextToSpeech::stateChanged, m_voice.get(),
                         [this](QTextToSpeech::State state) {
                             if (state == QTextToSpeech::Speaking) {
                                 m_saying = m_saying || m_started;
                                 m_started = false;
                             } else if (state == QTextToSpeech::Ready && m_saying) {
                                 m_saying = false;
                                 finished();
                             }
                         });
    }

    QString unavailableReason() const override
    {
        if (m_voice)
            return {};
        return localized("Speech is not available: speech-dispatcher with a voice is not installed "
                         "or not running. Captions are still shown.");
    }
    void say(const QString &text) override
    {
        if (!m_voice)
            return;
        stop();
        // Only a Speaking state seen after this text started may end it: the
        // stop above can still report its Ready.
        m_started = true;
        m_voice->say(text);
    }
    void stop() override
    {
        m_started = m_saying = false;
        if (m_voice)
            m_voice->stop();
    }
    void pause() override
    {
        if (m_voice)
            m_voice->pause();
    }
    void resume() override
    {
        if (m_voice)
            m_voice->resume();
    }
    void setRate(double rate) override
    {
        if (m_voice)
            m_voice->setRate(rate);
    }

private:
    std::unique_ptr<QTextToSpeech> m_voice;
    bool m_started = false;
    bool m_saying = false;
};

} // namespace

std::unique_ptr<SpeechEngine> createDesktopSpeechEngine()
{
    return std::make_unique<QtSpeechEngine>();
}

} // namespace kelvo::speech
