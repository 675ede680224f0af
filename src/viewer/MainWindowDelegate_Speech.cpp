#include "settings/PreferenceKeys.h"
#include "speech/Speaker.h"
#include "viewer/MainWindowDelegate.h"
#include "viewer/PageReader.h"
#include "viewer/SpeechFeedback.h"
#include "viewer/ViewerWindows.h"

#include <algorithm>

namespace kelvo::viewer {

void MainWindowDelegate::setUpSpeech()
{
    SpeechFeedback &speech = m_windows->speech();
    speech.setQuietWhile([this] { return m_applyingSettings; });
    speech.applyPreferences(static_cast<speech::SpeakMode>(speakChangesMode()), int(speechRate()));
    m_windows->pageReader().setPictureSource([this] { return m_freezeFrames.freezeFramePicture(); });
    // Copying and saving become possible once there is text; their keys
    // act only on enabled items.
    connect(&m_windows->pageReader(), &PageReader::recognitionFinished, this, [this] { revalidateMenus(); });
}

std::int64_t MainWindowDelegate::speakChangesMode() const
{
    const std::int64_t mode = m_settingsStore.integerValueForKey(QLatin1String(settings::keys::kSpeakChanges), 0);
    return mode >= 0 && mode <= 2 ? mode : 0;
}

std::int64_t MainWindowDelegate::speechRate() const
{
    return std::clamp<std::int64_t>(m_settingsStore.integerValueForKey(QLatin1String(settings::keys::kSpeechRate), 0),
                                    -10, 10);
}

void MainWindowDelegate::setSpeechPreferences(std::int64_t mode, std::int64_t rate)
{
    mode = mode >= 0 && mode <= 2 ? mode : 0;
    rate = std::clamp<std::int64_t>(rate, -10, 10);
    m_settingsStore.setValue(QLatin1String(settings::keys::kSpeakChanges), settings::PlistValue::integer(mode));
    m_settingsStore.setValue(QLatin1String(settings::keys::kSpeechRate), settings::PlistValue::integer(rate));
    m_settingsStore.synchronize();
    if (m_windows)
        m_windows->speech().applyPreferences(static_cast<speech::SpeakMode>(mode), int(rate));
}

bool MainWindowDelegate::recognisedTextAvailable() const
{
    return m_windows && m_windows->pageReader().hasText();
}

void MainWindowDelegate::performReadingCommand(ui::MenuCommand command)
{
    if (!m_windows)
        return;
    PageReader &reader = m_windows->pageReader();
    if (command == ui::MenuCommand::ReadPageAloud)
        reader.readPage();
    else if (command == ui::MenuCommand::CopyRecognisedText)
        reader.copyText();
    else if (command == ui::MenuCommand::SaveRecognisedText)
        reader.saveText();
    revalidateMenus();
}

void MainWindowDelegate::stillPictureShownForReading()
{
    if (m_windows)
        m_windows->pageReader().pictureShown();
}

} // namespace kelvo::viewer
