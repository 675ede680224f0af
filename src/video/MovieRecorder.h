#pragma once

#include "video/CaptureBackend.h"

#include <QString>

#include <functional>
#include <vector>

namespace kelvo::video {

// The user-facing half of recording: the save dialog, the alerts, and
// opening the kept movie. ui::MovieSavePanel implements it with Qt widgets.
// Main thread.
class MovieRecordingUi {
public:
    // result is 1 when the user chose a file (OK), 0 when the dialog was
    // cancelled; path is the chosen file, empty on cancel.
    using Completion = std::function<void(int result, const QString &path)>;

    virtual ~MovieRecordingUi() = default;

    // The modal alert "Could not create a temporary file." with one OK button.
    virtual void alertNoTemporaryFile() = 0;
    // The movie's save dialog (QuickTime movies only, the extension may be
    // hidden): its own window in full screen, otherwise window-modal on the
    // video window. Returns at once; completion runs once, when it ends.
    virtual void openMovieSavePanel(bool fullScreen, Completion completion) = 0;
    // Closes the dialog if it is still on screen.
    virtual void closeMovieSavePanel() = 0;
    // Shows an error; onVideoWindow ties it to the video window.
    virtual void presentRecordingError(const QString &message, bool onVideoWindow) = 0;
    // Opens the file with the desktop's default application for it.
    virtual void openWithDefaultApplication(const QString &path) = 0;
};

// Records movies through a temporary file and hands them to the user: the
// unique temporary name, the finish rules (keep or discard), the save
// dialog's answer (replace, then move), and opening the kept movie.
// Thread: main thread.
class MovieRecorder {
public:
    using FullScreenQuery = std::function<bool()>;

    MovieRecorder(MovieRecordingUi &ui, FullScreenQuery isFullScreen);

    void setBackend(CaptureBackend *backend) { m_backend = backend; }
    // Told whenever a movie has ended, asked to or not, before it is kept or
    // discarded: whoever shows that a movie runs can stop saying so.
    void setEndedHandler(std::function<void()> ended) { m_ended = std::move(ended); }
    // The folder of the temporary movies; the user's temporary folder by
    // default.
    void setTemporaryDirectory(const QString &directory) { m_temporaryDirectory = directory; }

    // Starts a movie turned to orientation (1..4). False when no temporary
    // file could be made (the user was told) or the backend refused.
    bool start(int orientation);
    // Ends the movie; the finish follows asynchronously.
    void stop();
    bool isRecording() const;

    // A new, empty file "<directory>/Camloom_temp.<23 unique characters>.mov",
    // made exclusively so that no other process can claim the same name;
    // empty when none could be made.
    static QString makeTemporaryMoviePath(const QString &directory);

    // The backend's end of a movie: keeps or discards it.
    void finishRecording(const QString &path, const CaptureBackend::MovieOutcome &outcome);
    // The save dialog's end: moves the movie into place, or discards it.
    void handleSavePanelCompletion(int result, const QString &chosenPath, const QString &originalPath);

private:
    MovieRecordingUi &m_ui;
    FullScreenQuery m_isFullScreen;
    CaptureBackend *m_backend = nullptr;
    QString m_temporaryDirectory;
    std::function<void()> m_ended;
};

// The meter's reading for the channels' average power in dB:
// 20 × 10^(0.05 × average), 0 dB reading 20. No channel reads 0, an empty
// meter.
float audioMeterValue(const std::vector<float> &channelPowerDb);

} // namespace kelvo::video
