#include "viewer/SpeechFeedback.h"

#include "speech/ScreenReaderStatus.h"
#include "speech/SpokenPhrases.h"
#include "ui/SpeechCaption.h"
#include "viewer/model/ViewerModel.h"

namespace kelvo::viewer {

SpeechFeedback::SpeechFeedback(ViewerModel &model, QWidget *videoContainer, speech::Speaker::EngineFactory engines,
                               QObject *parent)
    : QObject(parent), m_speaker(new speech::Speaker(std::move(engines), this)),
      m_screenReader(new speech::ScreenReaderStatus(this)), m_caption(new ui::SpeechCaption(videoContainer)),
      m_zoom(model.zoomLevel()), m_colourMode(model.currentColorMode()), m_frozen(model.isFrozen()),
      m_orientation(model.videoOrientation()), m_mirrored(model.isMirrored()), m_light(model.lightIsOn())
{
    m_speaker->setMode(speech::speakModeWithEnvironment(speech::SpeakMode::Automatic));
    connect(m_speaker, &speech::Speaker::captionRequested, m_caption, &ui::SpeechCaption::showCaption);
    connect(m_speaker, &speech::Speaker::speechUnavailable, m_caption, &ui::SpeechCaption::showCaption);
    connect(m_screenReader, &speech::ScreenReaderStatus::runningChanged, m_speaker,
            &speech::Speaker::setScreenReaderRunning);
    observe(model);
}

SpeechFeedback::~SpeechFeedback() = default;

void SpeechFeedback::applyPreferences(speech::SpeakMode mode, int rate)
{
    m_speaker->setMode(speech::speakModeWithEnvironment(mode));
    m_speaker->setRate(rate);
}

void SpeechFeedback::announce(const QString &text)
{
    if (m_quiet && m_quiet())
        return;
    m_speaker->announce(text);
}

void SpeechFeedback::observe(ViewerModel &model)
{
    // Each handler keeps the value even while quiet, so that the first
    // change after loading compares with what is on screen.
    auto changed = [](auto &kept, auto value) {
        const bool differs = kept != value;
        kept = value;
        return differs;
    };
    connect(&model, &ViewerModel::zoomLevelChanged, this, [=, this](int level) {
        if (changed(m_zoom, level))
            announce(speech::zoomPhrase(level));
    });
    connect(&model, &ViewerModel::colourModeChanged, this, [=, this, &model] {
        const std::int64_t mode = model.currentColorMode();
        if (changed(m_colourMode, mode))
            announce(speech::colourModePhrase(mode));
    });
    connect(&model, &ViewerModel::frozenChanged, this, [=, this](bool frozen) {
        if (changed(m_frozen, frozen))
            announce(speech::frozenPhrase(frozen));
    });
    connect(&model, &ViewerModel::orientationChanged, this, [=, this](int orientation) {
        if (changed(m_orientation, orientation))
            announce(speech::rotationPhrase(orientation));
    });
    connect(&model, &ViewerModel::mirroredChanged, this, [=, this](bool mirrored) {
        if (changed(m_mirrored, mirrored))
            announce(speech::mirrorPhrase(mirrored));
    });
    connect(&model, &ViewerModel::lightChanged, this, [=, this](bool on) {
        if (changed(m_light, on))
            announce(speech::lightPhrase(on));
    });
    connect(&model, &ViewerModel::guideModeChanged, this,
            [this](bool horizontal, std::int32_t mode) { announce(speech::guidesPhrase(horizontal, mode)); });
}

} // namespace kelvo::viewer
