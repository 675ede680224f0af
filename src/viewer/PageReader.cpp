#include "viewer/PageReader.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "speech/Speaker.h"
#include "ui/KeyDelivery.h"
#include "ui/ReadingLineOutline.h"
#include "ui/SpeechCaption.h"
#include "video/ColourCurve.h"
#include "video/ImageFilterGeometry.h"
#include "viewer/model/ViewerModel.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QtConcurrent/QtConcurrentRun>

namespace kelvo::viewer {

using video::text::ReadingSession;
using video::text::RecognitionResult;

PageReader::PageReader(Parts parts, QObject *parent)
    : QObject(parent), m_model(parts.model), m_speaker(parts.speaker), m_caption(parts.caption),
      m_videoWindow(parts.videoWindow), m_pictureView(parts.pictureView),
      m_outline(new ui::ReadingLineOutline(parts.videoContainer))
{
    m_options.languages = video::text::languagesForLocale(QLocale(), video::text::defaultLanguageDataPath());
    connect(&m_speaker, &speech::Speaker::readingFinished, this, [this] { m_session.lineSpoken(); });
    connect(&m_model, &ViewerModel::frozenChanged, this, [this](bool frozen) {
        if (!frozen)
            stop();
    });
    qApp->installEventFilter(this);
}

PageReader::~PageReader()
{
    qApp->removeEventFilter(this);
    // The worker keeps its own copies and the flag; it stops at its next
    // check and its answer goes nowhere.
    cancelRecognition();
}

void PageReader::setFilters(const video::ImageFilterList &preview, const video::ImageFilterList &freezeFrame)
{
    m_previewFilters = preview;
    m_freezeFrameFilters = freezeFrame;
    const auto curve = video::ColourCurve::compile(preview);
    const auto colour = [](std::uint32_t argb) { return QColor::fromRgb(argb); };
    m_outline->setColours(colour(curve->apply(0, 0, 0)), colour(curve->apply(255, 255, 255)));
    if (m_session.isActive())
        showLine(m_session.currentLine());
}

void PageReader::readPage()
{
    cancelRecognition();
    m_session.begin();
    m_caption->showCaption(localized("Reading page"));
    systemLog("Reading the page aloud\n");
    const video::FreezeFrameImage picture = m_picture ? m_picture() : video::FreezeFrameImage();
    if (m_model.isFrozen() && !picture.isNull()) {
        recognise(picture);
        return;
    }
    m_waitingForPicture = true;
    if (!m_model.isFrozen() && !m_model.waitingToFreeze())
        m_model.freezeFrame();
}

void PageReader::pictureShown()
{
    if (!m_model.isFrozen())
        return;
    const bool turnedWhileReading = m_session.isActive() && !m_waitingForPicture;
    if (!m_waitingForPicture && !turnedWhileReading)
        return;
    m_waitingForPicture = false;
    // The picture was turned: its lines are elsewhere now; read it again.
    if (turnedWhileReading) {
        cancelRecognition();
        m_session.begin();
    }
    const video::FreezeFrameImage picture = m_picture ? m_picture() : video::FreezeFrameImage();
    recognise(picture);
}

void PageReader::recognise(const video::FreezeFrameImage &picture)
{
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_running = cancel;
    m_pictureWidth = picture.width;
    m_pictureHeight = picture.height;
    m_watcher = new QFutureWatcher<RecognitionResult>(this);
    QFutureWatcher<RecognitionResult> *watcher = m_watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, cancel] {
        watcher->deleteLater();
        if (*cancel)
            return;
        m_running.reset();
        m_watcher = nullptr;
        RecognitionResult result = watcher->result();
        switch (result.outcome) {
        case RecognitionResult::Outcome::Text:
            systemLog("Recognised %zu lines of text\n", result.lines.size());
            for (const auto &line : result.lines)
                systemLog("Recognised: %s\n", escapedForLog(line.text.toStdString()).c_str());
            break;
        case RecognitionResult::Outcome::NoText:
            systemLog("Recognised no text\n");
            break;
        case RecognitionResult::Outcome::Failed:
            systemLog("%s\n", qPrintable(result.message));
            break;
        case RecognitionResult::Outcome::Cancelled:
            break;
        }
        m_session.recognised(std::move(result));
        emit recognitionFinished();
    });
    const video::text::RecognitionOptions options = m_options;
    watcher->setFuture(QtConcurrent::run(
        [picture, options, cancel] { return video::text::recogniseText(picture, options, *cancel); }));
}

void PageReader::cancelRecognition()
{
    if (m_running)
        *m_running = true;
    m_running.reset();
    m_watcher = nullptr;
}

void PageReader::stop()
{
    m_waitingForPicture = false;
    cancelRecognition();
    m_session.stop();
}

void PageReader::copyText()
{
    if (!hasText())
        return;
    QGuiApplication::clipboard()->setText(m_session.result().plainText());
    m_caption->showCaption(localized("Text copied"));
}

void PageReader::setDialogPresenter(ui::SaveDialogPresenter presenter)
{
    m_presentDialog = presenter ? std::move(presenter) : ui::SaveDialogPresenter(ui::showSaveDialog);
}

void PageReader::saveText()
{
    if (!hasText())
        return;
    const bool fullScreen = m_videoWindow && m_videoWindow->isFullScreen();
    QFileDialog *dialog = ui::makeSaveDialog({QStringLiteral("textSavePanel"), localized("Save Text"),
                                              localized("Text"), QStringLiteral("txt"), localized("Page")},
                                             m_videoWindow, fullScreen);
    // The text as it is now: a new reading may start while the dialog is up.
    const QString text = m_session.result().plainText();
    ui::whenSaveDialogEnds(dialog, this, [this, text](int result, const QString &chosen) {
        if (result == 0)
            return;
        QString path = chosen;
        if (!path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
            path += QStringLiteral(".txt");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8() + '\n') < 0) {
            systemLog("Could not save the text to %s\n", escapedForLog(path.toStdString()).c_str());
            m_caption->showCaption(localized("The text could not be saved"));
            return;
        }
        systemLog("Saved the text to %s\n", escapedForLog(path.toStdString()).c_str());
    });
    m_presentDialog(dialog, fullScreen);
}

bool PageReader::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_session.isActive() || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return QObject::eventFilter(watched, event);
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_videoWindow)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return QObject::eventFilter(watched, event);
    const int code = key->key();
    if (code != Qt::Key_Space && code != Qt::Key_Escape && code != Qt::Key_Up && code != Qt::Key_Down)
        return QObject::eventFilter(watched, event);
    // Reading owns these keys: their menu meanings (freeze, unfreeze) wait.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (!ui::keyPressAtFirstReceiver(watched, event))
        return true;
    switch (code) {
    case Qt::Key_Space:
        m_session.pauseOrResume();
        break;
    case Qt::Key_Escape:
        stop();
        break;
    case Qt::Key_Down:
        m_session.nextLine();
        break;
    case Qt::Key_Up:
        m_session.previousLine();
        break;
    }
    return true;
}

QPolygonF PageReader::outlineInContainer(int line) const
{
    const auto &lines = m_session.result().lines;
    if (line < 0 || line >= static_cast<int>(lines.size()) || m_pictureWidth <= 0)
        return {};
    // As the still is drawn: fitted upright into the view, then moved by
    // the freeze-frame filters (mirror) and the preview's (zoom).
    const video::SizeD view{double(m_pictureView->width()), double(m_pictureView->height())};
    video::AffineTransform t =
        video::framePresentationTransform(m_pictureWidth, m_pictureHeight, 1, false, view, video::ImageFilterList());
    for (const video::ImageFilterList *list : {&m_freezeFrameFilters, &m_previewFilters}) {
        for (const video::ImageFilter &filter : *list) {
            if (const auto *affine = std::get_if<video::AffineTransformFilter>(&filter))
                t = t.then(video::filterTransformInViewCoordinates(affine->inputTransform, view.height));
        }
    }
    const QPointF offset = m_pictureView->geometry().topLeft();
    QPolygonF polygon;
    for (const QPointF &corner : lines[size_t(line)].corners) {
        const auto mapped = t.map(corner.x(), corner.y());
        polygon << QPointF(mapped[0], mapped[1]) + offset;
    }
    return polygon;
}

void PageReader::say(const QString &text)
{
    m_speaker.read(text);
}

void PageReader::stopSpeaking()
{
    m_speaker.stop();
}

void PageReader::pauseSpeaking()
{
    m_speaker.pause();
}

void PageReader::resumeSpeaking()
{
    m_speaker.resume();
}

void PageReader::showLine(int index)
{
    const QPolygonF outline = outlineInContainer(index);
    m_outline->setOutline(outline);
    m_caption->setAvoidedArea(outline.boundingRect());
}

void PageReader::showMessage(const QString &text)
{
    m_caption->showCaption(text);
    m_speaker.read(text);
}

} // namespace kelvo::viewer
