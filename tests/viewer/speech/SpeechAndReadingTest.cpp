#include "common/SystemLog.h"
#include "speech/Speaker.h"
#include "speech/SpokenPhrases.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/ReadingLineOutline.h"
#include "ui/SpeechCaption.h"
#include "video/capture/CaptureFakes.h"
#include "video/text/CharacterErrorRate.h"
#include "video/text/PageText.h"
#include "viewer/PageReader.h"
#include "viewer/SpeechFeedback.h"
#include "viewer/ViewerRig.h"
#include "viewer/ViewerWindows.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QMenuBar>
#include <QTest>

using namespace kelvo;
using namespace kelvo::testing;
using namespace kelvo::video::testing;

namespace {

// A voice that records what it is asked; it finishes a text only when told.
struct FakeVoice {
    std::vector<std::string> calls;
    QString reason;
    int created = 0;
};

class FakeEngine final : public speech::SpeechEngine {
public:
    explicit FakeEngine(FakeVoice &voice) : m_voice(voice) { ++voice.created; }
    QString unavailableReason() const override { return m_voice.reason; }
    void say(const QString &text) override { m_voice.calls.push_back("say " + text.toStdString()); }
    void stop() override { m_voice.calls.push_back("stop"); }
    void pause() override { m_voice.calls.push_back("pause"); }
    void resume() override { m_voice.calls.push_back("resume"); }
    void setRate(double) override {}
    void finishText() { finished(); }

private:
    FakeVoice &m_voice;
};

struct SpeechRig : ViewerRig {
    FakeVoice voice;
    FakeEngine *engine = nullptr;
    explicit SpeechRig(bool withCamera = true) : ViewerRig(withCamera)
    {
        speaker().setEngineFactory([this] {
            auto made = std::make_unique<FakeEngine>(voice);
            engine = made.get();
            return made;
        });
        QWidget *window = static_cast<QWidget *>(controller.videoWindow());
        window->show();
        QApplication::setActiveWindow(window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    }
    viewer::ViewerWindows &windows() { return *controller.windows(); }
    speech::Speaker &speaker() { return windows().speech().speaker(); }
    ui::SpeechCaption *caption() { return windows().speech().caption(); }
    viewer::PageReader &reader() { return windows().pageReader(); }
    // A key pressed in the video window, as the user would.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget();
        if (!target)
            target = static_cast<QWidget *>(controller.videoWindow());
        QTest::keyClick(target, key, modifiers);
        QCoreApplication::processEvents();
    }
    std::vector<std::string> said()
    {
        std::vector<std::string> out;
        for (const std::string &call : std::exchange(voice.calls, {}))
            if (call.rfind("say ", 0) == 0)
                out.push_back(call.substr(4));
        return out;
    }
};

std::vector<std::string> spokenLines(const ScopedLogCapture &log)
{
    std::vector<std::string> out;
    for (const std::string &line : log.lines())
        if (line.rfind("Spoken: ", 0) == 0)
            out.push_back(line.substr(8, line.size() - 9));
    return out;
}

} // namespace

namespace {

// The viewer with a scripted capture session whose camera looks at `page`.
struct ReadingRig : SpeechRig {
    video::testing::FakeCaptureBackend backend;
    video::testing::ManualScheduler scheduler;
    ReadingRig() : SpeechRig(false)
    {
        controller.attachCapture(backend, scheduler);
        backend.videoList = {video::testing::quadrelCamera()};
        controller.initializeVideoCapture();
        settle();
    }
    ~ReadingRig() { controller.detachCapture(); }

    // The Quadrel's head sees the page upside down; its default
    // orientation turns it back.
    void showCamera(const QImage &page)
    {
        const QImage rgb = page.convertToFormat(QImage::Format_RGB888).mirrored(true, true);
        auto bytes = std::make_shared<std::vector<std::uint8_t>>(size_t(rgb.width()) * rgb.height() * 2);
        for (int y = 0; y < rgb.height(); ++y) {
            const uchar *in = rgb.constScanLine(y);
            std::uint8_t *out = bytes->data() + size_t(y) * rgb.width() * 2;
            for (int x = 0; x < rgb.width(); ++x) {
                const int luma = (66 * in[3 * x] + 129 * in[3 * x + 1] + 25 * in[3 * x + 2] + 128) / 256 + 16;
                out[2 * x] = 128;
                out[2 * x + 1] = std::uint8_t(luma);
            }
        }
        video::VideoFrame frame;
        frame.format = video::PixelFormat::UYVY;
        frame.width = rgb.width();
        frame.height = rgb.height();
        frame.planes[0] = bytes->data();
        frame.strides[0] = rgb.width() * 2;
        frame.storage = bytes;
        backend.frameHandler(frame);
    }
    bool recognised()
    {
        return waitFor(
            [&] {
                return !reader().isRecognising() &&
                       reader().session().state() != video::text::ReadingSession::State::Recognising;
            },
            60000);
    }
};

} // namespace

// Changes made by key, by menu and by the model (as camera buttons do) are
// said once each, cutting off the phrase before, shown as a caption and
// logged; a screen reader silences the automatic mode but not the captions.
TEST(SpokenChanges, KeysAndMenusSayShowAndLogEachChange)
{
    ReadingRig rig;
    rig.controller.setSpeechPreferences(1, 0);
    rig.controller.setPreferredFilters({0, 1});
    const bool light = !rig.controller.lightIsOn();
    ScopedLogCapture log;

    rig.press(Qt::Key_Equal, Qt::ControlModifier); // Zoom In
    rig.controller.setColorModeFromTag(1);         // Colour > All Colour Modes
    rig.press(Qt::Key_H);                          // Horizontal Guides
    rig.press(Qt::Key_M);                          // Mirror
    rig.press(Qt::Key_R);                          // Rotate
    rig.controller.setLightIsOn(light);            // the camera's light report
    rig.controller.model().freezeFrame();
    rig.controller.setZoomLevel(2); // the same level again is no news

    const std::vector<std::string> expected{"Zoom 2",
                                            speech::colourModePhrase(1).toStdString(),
                                            "Horizontal lines",
                                            "Mirrored",
                                            speech::rotationPhrase(rig.controller.videoOrientation()).toStdString(),
                                            speech::lightPhrase(light).toStdString(),
                                            "Frozen"};
    const std::vector<std::string> calls = rig.voice.calls;
    EXPECT_EQ(rig.said(), expected);
    EXPECT_EQ(spokenLines(log), expected);
    // Never queued: every text is preceded by a stop.
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].rfind("say ", 0) == 0) {
            EXPECT_EQ(calls.at(i - 1), "stop");
        }
    }
    EXPECT_TRUE(rig.caption()->isShowing());
    EXPECT_EQ(rig.caption()->text(), QStringLiteral("Frozen"));
    // At the top edge, away from the middle of the picture.
    EXPECT_LT(rig.caption()->plateRect().bottom(), rig.caption()->height() / 2.0);
    QTest::qWait(ui::SpeechCaption::kHoldMs + ui::SpeechCaption::kFadeMs + 200);
    EXPECT_FALSE(rig.caption()->isShowing());

    // Automatic: silent while a screen reader runs, captions still shown.
    rig.controller.setSpeechPreferences(0, 0);
    rig.speaker().setScreenReaderRunning(true);
    rig.press(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_TRUE(rig.said().empty());
    EXPECT_EQ(rig.caption()->text(), QStringLiteral("Zoom 1"));
    rig.speaker().setScreenReaderRunning(false);
    rig.press(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(rig.said(), std::vector<std::string>{"Zoom 2"});
    rig.controller.setSpeechPreferences(2, 0);
    rig.press(Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_TRUE(rig.said().empty());
    EXPECT_EQ(rig.caption()->text(), QStringLiteral("Zoom 2")) << "off shows nothing either";
    EXPECT_EQ(rig.controller.speakChangesMode(), 2);
}

TEST(SpokenChanges, WithoutAVoiceOneMessageSaysSoAndCaptionsCarryOn)
{
    ReadingRig rig;
    rig.voice.reason = QStringLiteral("Speech is not available: no speech engine is installed.");
    rig.controller.setSpeechPreferences(1, 0);
    ScopedLogCapture log;
    rig.press(Qt::Key_Equal, Qt::ControlModifier);
    rig.press(Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(rig.voice.created, 1);
    EXPECT_TRUE(rig.voice.calls.empty());
    int messages = 0;
    for (const std::string &line : log.lines())
        messages += line.find("Speech is not available") != std::string::npos;
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(rig.caption()->text(), QStringLiteral("Zoom 3"));
}

// T freezes the live page, recognises it off the main thread and reads it
// line by line with the line outlined; the keys steer; the text can be
// copied and saved; unfreezing drops a reading under way.
TEST(ReadingAloud, TheReadKeyFreezesRecognisesAndReadsThePage)
{
    ReadingRig rig;
    ASSERT_TRUE(rig.backend.frameHandler);
    ScopedLogCapture log;
    rig.press(Qt::Key_T);
    EXPECT_TRUE(rig.controller.waitingToFreeze());
    rig.showCamera(printSizesFrame());
    ASSERT_TRUE(rig.recognised());
    EXPECT_TRUE(rig.controller.isFrozen());
    ASSERT_TRUE(rig.reader().hasText());
    const QString text = rig.reader().session().result().plainText();
    EXPECT_LT(video::text::passageErrorRate(pageParagraph(24), text), 0.02) << text.toStdString();

    // The first line is said and outlined inside the picture; the caption
    // keeps off it.
    const auto &lines = rig.reader().session().result().lines;
    EXPECT_EQ(rig.said().back(), lines[0].text.toStdString());
    ui::ReadingLineOutline *outline = rig.reader().outline();
    EXPECT_TRUE(outline->isVisible());
    EXPECT_TRUE(QRectF(outline->rect()).contains(outline->outline().boundingRect()));
    EXPECT_FALSE(rig.caption()->plateRect().intersects(outline->outline().boundingRect()));

    rig.engine->finishText();
    EXPECT_EQ(rig.reader().session().currentLine(), 1);
    rig.press(Qt::Key_Down);
    EXPECT_EQ(rig.said().back(), lines[2].text.toStdString());
    rig.press(Qt::Key_Up);
    EXPECT_EQ(rig.reader().session().currentLine(), 1);
    rig.press(Qt::Key_Space); // pauses, and does not unfreeze
    EXPECT_EQ(rig.voice.calls.back(), "pause");
    EXPECT_TRUE(rig.controller.isFrozen());
    rig.press(Qt::Key_Space);
    EXPECT_EQ(rig.voice.calls.back(), "resume");
    rig.press(Qt::Key_Escape); // stops the reading, the picture stays
    EXPECT_FALSE(rig.reader().session().isActive());
    EXPECT_FALSE(outline->isVisible());
    EXPECT_TRUE(rig.controller.isFrozen());
    bool spokeLine = false;
    for (const std::string &line : spokenLines(log))
        spokeLine = spokeLine || line == lines[0].text.toStdString();
    EXPECT_TRUE(spokeLine);

    rig.press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), text);
    QTemporaryDir dir;
    rig.reader().setDialogPresenter([&](QFileDialog *dialog, bool) {
        dialog->selectFile(dir.filePath(QStringLiteral("page")));
        static_cast<QDialog *>(dialog)->accept();
    });
    rig.press(Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QFile saved(dir.filePath(QStringLiteral("page.txt")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()).trimmed(), text);

    // Escape again, with no reading, unfreezes as ever; a new reading is
    // dropped by unfreezing while it recognises, and nothing comes of it.
    rig.press(Qt::Key_T);
    EXPECT_TRUE(rig.reader().isRecognising());
    rig.controller.unfreezeFrame();
    EXPECT_FALSE(rig.reader().session().isActive());
    EXPECT_FALSE(rig.reader().isRecognising());
    rig.voice.calls.clear();
    QTest::qWait(3000);
    EXPECT_TRUE(rig.said().empty());
}

TEST(ReadingAloud, ABlackPictureSaysNoTextFound)
{
    ReadingRig rig;
    rig.press(Qt::Key_T);
    QImage black(1280, 720, QImage::Format_RGB888);
    black.fill(Qt::black);
    rig.showCamera(black);
    ASSERT_TRUE(rig.recognised());
    EXPECT_EQ(rig.said(), (std::vector<std::string>{"Frozen", "No text found"}));
    EXPECT_EQ(rig.caption()->text(), QStringLiteral("No text found"));
    EXPECT_FALSE(rig.reader().hasText());
    // Closing while a recognition runs leaves nothing behind.
    rig.controller.unfreezeFrame();
    rig.press(Qt::Key_T);
    rig.showCamera(printSizesFrame());
    ASSERT_TRUE(rig.waitFor([&] { return rig.reader().isRecognising(); }));
}
