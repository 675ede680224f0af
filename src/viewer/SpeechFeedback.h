#pragma once

#include "speech/Speaker.h"

#include <QObject>

#include <cstdint>
#include <functional>

class QWidget;

namespace kelvo::speech {
class ScreenReaderStatus;
}
namespace kelvo::ui {
class SpeechCaption;
}

namespace kelvo::viewer {

class ViewerModel;

// Says and shows each change of what the user sees, however it was asked
// for (key, menu, camera button): it follows the model, not the commands.
// A change to the value already announced says nothing, and nothing is said
// while the settings load (a camera's saved state is not news).
// Thread: main thread.
class SpeechFeedback : public QObject {
    Q_OBJECT
public:
    SpeechFeedback(ViewerModel &model, QWidget *videoContainer, speech::Speaker::EngineFactory engines,
                   QObject *parent = nullptr);
    ~SpeechFeedback() override;

    speech::Speaker &speaker() { return *m_speaker; }
    ui::SpeechCaption *caption() const { return m_caption; }
    // True while changes are not news (the settings loading).
    void setQuietWhile(std::function<bool()> quiet) { m_quiet = std::move(quiet); }
    // The saved choices; the environment may override the mode.
    void applyPreferences(speech::SpeakMode mode, int rate);

private:
    void announce(const QString &text);
    void observe(ViewerModel &model);

    speech::Speaker *m_speaker;
    speech::ScreenReaderStatus *m_screenReader;
    ui::SpeechCaption *m_caption;
    std::function<bool()> m_quiet;
    int m_zoom;
    std::int64_t m_colourMode;
    bool m_frozen;
    int m_orientation;
    bool m_mirrored;
    bool m_light;
};

} // namespace kelvo::viewer
