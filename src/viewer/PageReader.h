#pragma once

#include "ui/SaveDialog.h"
#include "video/FreezeFrameImage.h"
#include "video/ImageFilter.h"
#include "video/text/ReadingSession.h"
#include "video/text/TextRecognizer.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPolygonF>

#include <atomic>
#include <functional>
#include <memory>

class QWidget;

namespace kelvo::speech {
class Speaker;
}
namespace kelvo::ui {
class ReadingLineOutline;
class SpeechCaption;
} // namespace kelvo::ui

namespace kelvo::viewer {

class ViewerModel;

// Reads the page aloud: freezes the picture if it is live, recognises the
// text of the still on a worker thread, then says it line by line while the
// line is outlined on the picture. While a reading runs, Space pauses and
// resumes, Down and Up move a line, Escape stops; unfreezing or closing
// drops it, and a recognition still running is told to give up.
// Thread: main thread.
class PageReader : public QObject, private video::text::ReadingOutput {
    Q_OBJECT
public:
    struct Parts {
        ViewerModel &model;
        speech::Speaker &speaker;
        ui::SpeechCaption *caption;
        QWidget *videoWindow;    // whose keys it takes while reading
        QWidget *videoContainer; // the outline's parent
        QWidget *pictureView;    // where the still is drawn, in the container
    };
    explicit PageReader(Parts parts, QObject *parent = nullptr);
    ~PageReader() override;

    // The frozen picture as captured and turned (before colour modes).
    void setPictureSource(std::function<video::FreezeFrameImage()> source) { m_picture = std::move(source); }
    // The still's display filters, for the outline's place and colours.
    void setFilters(const video::ImageFilterList &preview, const video::ImageFilterList &freezeFrame);
    // How "Save Text…" puts its dialog on screen (as the picture's and the
    // movie's dialogs do); tests answer it instead. No answer saves nothing.
    void setDialogPresenter(ui::SaveDialogPresenter presenter);
    void setRecognitionOptions(video::text::RecognitionOptions options) { m_options = std::move(options); }

    // The menu's commands.
    void readPage();
    void copyText();
    void saveText();
    bool hasText() const { return m_session.hasText(); }

    // A still picture went on screen.
    void pictureShown();

    const video::text::ReadingSession &session() const { return m_session; }
    bool isRecognising() const { return m_running != nullptr; }
    ui::ReadingLineOutline *outline() const { return m_outline; }

signals:
    // The recogniser answered (whatever the outcome).
    void recognitionFinished();

private:
    void recognise(const video::FreezeFrameImage &picture);
    void cancelRecognition();
    void stop();
    bool eventFilter(QObject *watched, QEvent *event) override;
    QPolygonF outlineInContainer(int line) const;

    // ReadingOutput
    void say(const QString &text) override;
    void stopSpeaking() override;
    void pauseSpeaking() override;
    void resumeSpeaking() override;
    void showLine(int index) override;
    void showMessage(const QString &text) override;

    ViewerModel &m_model;
    speech::Speaker &m_speaker;
    ui::SpeechCaption *m_caption;
    QWidget *m_videoWindow;
    QWidget *m_pictureView;
    ui::ReadingLineOutline *m_outline;
    video::text::ReadingSession m_session{*this};
    video::text::RecognitionOptions m_options;
    std::function<video::FreezeFrameImage()> m_picture;
    ui::SaveDialogPresenter m_presentDialog = ui::showSaveDialog;
    video::ImageFilterList m_previewFilters;
    video::ImageFilterList m_freezeFrameFilters;
    // The picture the lines were found in, for the outline.
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
    bool m_waitingForPicture = false;
    // The running recognition's cancel flag; it shares it with the worker,
    // which may outlive this reader.
    std::shared_ptr<std::atomic<bool>> m_running;
    QFutureWatcher<video::text::RecognitionResult> *m_watcher = nullptr;
};

} // namespace kelvo::viewer
