#include "video/MovieRecorder.h"

#include "common/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace kelvo::video {

namespace {

constexpr int kUniqueCharacters = 23;
constexpr int kNameAttempts = 100;

} // namespace

MovieRecorder::MovieRecorder(MovieRecordingUi &ui, FullScreenQuery isFullScreen)
    : m_ui(ui), m_isFullScreen(std::move(isFullScreen)), m_temporaryDirectory(QDir::tempPath())
{}

QString MovieRecorder::makeTemporaryMoviePath(const QString &directory)
{
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        QString unique;
        for (int i = 0; i < kUniqueCharacters; ++i)
            unique += QLatin1Char(kAlphabet[QRandomGenerator::system()->bounded(int(sizeof kAlphabet) - 1)]);
        const QString path = QStringLiteral("%1/Camloom_temp.%2.mov").arg(directory, unique);
        // O_EXCL claims the name: a second viewer, or anyone else, gets
        // another one.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool MovieRecorder::start(int orientation)
{
    if (!m_backend || m_backend->isRecording())
        return false;
    const QString path = makeTemporaryMoviePath(m_temporaryDirectory);
    if (path.isEmpty()) {
        systemLog("Could not create file with unique name.  Giving up.\n");
        m_ui.alertNoTemporaryFile();
        return false;
    }
    QString error;
    const bool started = m_backend->startRecording(
        path, orientation,
        [this](const QString &moviePath, const CaptureBackend::MovieOutcome &outcome) {
            finishRecording(moviePath, outcome);
        },
        &error);
    if (!started) {
        QFile::remove(path);
        m_ui.presentRecordingError(error.isEmpty() ? QStringLiteral("The recording could not be started.") : error,
                                   false);
    }
    return started;
}

void MovieRecorder::stop()
{
    if (m_backend)
        m_backend->stopRecording();
}

bool MovieRecorder::isRecording() const
{
    return m_backend && m_backend->isRecording();
}

void MovieRecorder::finishRecording(const QString &path, const CaptureBackend::MovieOutcome &outcome)
{
    if (m_ended)
        m_ended();
    if (!outcome.error.isEmpty()) {
        // Told before the dialog, as the movie is being closed.
        m_ui.presentRecordingError(outcome.error, false);
        if (!outcome.finishedSuccessfully) {
            QFile::remove(path);
            return;
        }
    }
    m_ui.openMovieSavePanel(m_isFullScreen && m_isFullScreen(), [this, path](int result, const QString &chosen) {
        handleSavePanelCompletion(result, chosen, path);
    });
}

void MovieRecorder::handleSavePanelCompletion(int result, const QString &chosenPath, const QString &originalPath)
{
    if (result != 1 || chosenPath.isEmpty()) {
        QFile::remove(originalPath);
        return;
    }
    // Whatever is there goes first, so that the move replaces it.
    QFile::remove(chosenPath);
    QFile movie(originalPath);
    if (movie.rename(chosenPath)) {
        m_ui.openWithDefaultApplication(chosenPath);
        return;
    }
    const QString reason = movie.errorString();
    m_ui.closeMovieSavePanel();
    m_ui.presentRecordingError(QStringLiteral("The movie could not be saved as \"%1\": %2. It was kept as \"%3\".")
                                   .arg(chosenPath, reason, originalPath),
                               true);
}

float audioMeterValue(const std::vector<float> &channelPowerDb)
{
    if (channelPowerDb.empty())
        return 0.0f;
    float sum = 0.0f;
    for (float level : channelPowerDb)
        sum += level;
    const float average = sum / static_cast<float>(channelPowerDb.size());
    // A muted or silent channel reads minus infinity: an empty meter.
    if (!std::isfinite(average))
        return 0.0f;
    return static_cast<float>(20.0 * std::pow(10.0, static_cast<double>(0.05f * average)));
}

} // namespace kelvo::video
