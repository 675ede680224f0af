// The viewer recording the simulated Quadrel's page and test tone through
// the real pipeline: the menu, the overlay, the temporary file, the save
// dialog's answers (keep, replace, cancel, an unwritable folder), and the
// sound controls acting on the pipeline's own elements.
#include "../ViewerRig.h"

#include "ui/CustomSlider.h"
#include "ui/DraggableImageView.h"
#include "ui/DraggableLevelIndicator.h"
#include "ui/DraggableWindow.h"
#include "ui/MainMenu.h"
#include "ui/MenuTags.h"
#include "ui/SaveDialog.h"
#include "ui/VideoView.h"
#include "video/CaptureQtScheduler.h"
#include "video/backend/GstCaptureBackend.h"
#include "video/backend/SimulatedCameraSource.h"
#include "viewer/VideoWindowPlacement.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsOpacityEffect>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>

#include <gst/pbutils/pbutils.h>

#include <atomic>

using namespace kelvo;
using namespace kelvo::testing;

namespace {

struct MovieStreams {
    int video = 0;
    int audio = 0;
};

// The streams GStreamer's discoverer finds in a movie.
MovieStreams readStreams(const QString &path)
{
    MovieStreams streams;
    GstDiscoverer *discoverer = gst_discoverer_new(10 * GST_SECOND, nullptr);
    gchar *uri = gst_filename_to_uri(path.toUtf8().constData(), nullptr);
    GstDiscovererInfo *info = gst_discoverer_discover_uri(discoverer, uri, nullptr);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        GList *videos = gst_discoverer_info_get_video_streams(info);
        GList *audios = gst_discoverer_info_get_audio_streams(info);
        streams.video = int(g_list_length(videos));
        streams.audio = int(g_list_length(audios));
        gst_discoverer_stream_info_list_free(videos);
        gst_discoverer_stream_info_list_free(audios);
    }
    if (info)
        g_object_unref(info);
    g_free(uri);
    g_object_unref(discoverer);
    return streams;
}

double elementVolume(video::backend::GstCaptureBackend &backend, const char *name)
{
    double volume = -1;
    if (!backend.session() || !backend.session()->pipeline())
        return volume;
    if (GstElement *element = gst_bin_get_by_name(GST_BIN(backend.session()->pipeline()), name)) {
        g_object_get(element, "volume", &volume, nullptr);
        gst_object_unref(element);
    }
    return volume;
}

struct RecordingRig : ViewerRig {
    QTemporaryDir temporary;
    QTemporaryDir destination;
    video::backend::GstCaptureBackend backend{options(), std::make_shared<video::backend::SimulatedCameraSource>()};
    video::CaptureQtScheduler scheduler;
    QFileDialog *dialog = nullptr;
    std::vector<QString> alerts;
    std::vector<QString> opened;

    static video::backend::GstCaptureBackend::Options options()
    {
        video::backend::GstCaptureBackend::Options o;
        o.devices.systemDevices = false;
        o.devices.environmentSource = false;
        o.session.audioSinkDescription = "fakesink sync=false";
        return o;
    }

    RecordingRig() : ViewerRig(false)
    {
        backend.deviceMonitor().setSimulationForced(true);
        controller.attachCapture(backend, scheduler);
        controller.movieRecorder().setTemporaryDirectory(temporary.path());
        ui::MovieSavePanel &panel = controller.movieSavePanel();
        panel.setDialogPresenter([this](QFileDialog *d, bool) { dialog = d; });
        panel.setAlertPresenter([this](QMessageBox *alert) {
            alerts.push_back(alert->text());
            alert->deleteLater();
        });
        panel.setFileOpener([this](const QString &path) { opened.push_back(path); });
        controller.setShowingAudioLevelIndicator(true);
    }
    ~RecordingRig() { controller.detachCapture(); }

    QAction *recordItem()
    {
        return ui::findMenuItem(controller.mainMenu()->menuBar(), ui::MenuTag::Recording,
                                ui::MenuTag::StartStopRecording);
    }
    QWidget *overlay() { return controller.outlets().recordOverlayView; }
    ui::DraggableLevelIndicator *meter() { return controller.outlets().audioLevelIndicator; }
    QSlider *gain() { return controller.outlets().audioGainControl; }
    QStringList temporaryMovies() { return QDir(temporary.path()).entryList({"Camloom_temp.*.mov"}, QDir::Files); }

    // Records for a while, stops, and waits for the save dialog.
    bool record(int milliseconds)
    {
        dialog = nullptr;
        controller.startStopRecording();
        if (!controller.movieRecorder().isRecording())
            return false;
        waitFor([] { return false; }, milliseconds);
        controller.startStopRecording();
        return waitFor([this] { return dialog != nullptr; }, 15000);
    }
    void answer(const QString &path)
    {
        QFileDialog *d = std::exchange(dialog, nullptr);
        if (path.isEmpty()) {
            d->reject();
            return;
        }
        // The dialog's own question before replacing a file is the
        // toolkit's; the answer here is yes.
        d->setOption(QFileDialog::DontConfirmOverwrite);
        d->selectFile(path);
        static_cast<QDialog *>(d)->accept();
    }
};

} // namespace

TEST(ViewerRecording, RecordsThePageAndToneAndKeepsOrDiscardsTheMovieAsTheUserAnswers)
{
    RecordingRig rig;
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.waitFor([&] { return rig.backend.isRunning() && rig.controller.model().audioLevel() > 0; }, 15000));
    EXPECT_TRUE(rig.meter()->isVisible() || !rig.meter()->window()->isVisible());
    EXPECT_TRUE(rig.controller.model().soundInputPresent());
    EXPECT_EQ(rig.backend.previewVolume(), 0.0) << "the room must not be played back at set-up";

    // A frozen picture lets go when the movie starts; the item and the
    // overlay say it runs, and the movie goes to a claimed temporary name.
    rig.controller.freezeThaw();
    rig.controller.startStopRecording();
    ASSERT_TRUE(rig.controller.movieRecorder().isRecording());
    EXPECT_FALSE(rig.controller.isFrozen());
    EXPECT_EQ(rig.recordItem()->text().remove('&'), "Stop Recording");
    EXPECT_FALSE(rig.overlay()->isHidden());
    ASSERT_EQ(rig.temporaryMovies().size(), 1);
    EXPECT_EQ(rig.temporaryMovies()[0].size(), QStringLiteral("Camloom_temp..mov").size() + 23);
    rig.waitFor([] { return false; }, 1500);
    rig.controller.startStopRecording();
    EXPECT_EQ(rig.recordItem()->text().remove('&'), "Start Recording");
    EXPECT_TRUE(rig.overlay()->isHidden());
    ASSERT_TRUE(rig.waitFor([&] { return rig.dialog != nullptr; }, 15000));

    // Saved over an existing file: replaced, then opened.
    const QString kept = rig.destination.filePath("kept.mov");
    {
        QFile old(kept);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older file");
    }
    rig.answer(kept);
    ASSERT_EQ(rig.opened, std::vector<QString>{kept});
    EXPECT_TRUE(rig.temporaryMovies().isEmpty());
    const MovieStreams streams = readStreams(kept);
    EXPECT_EQ(streams.video, 1);
    EXPECT_EQ(streams.audio, 1);
    EXPECT_TRUE(rig.alerts.empty());

    // Stopped at once and cancelled: the temporary movie goes.
    ASSERT_TRUE(rig.record(0));
    EXPECT_EQ(rig.temporaryMovies().size(), 1);
    rig.answer({});
    EXPECT_TRUE(rig.temporaryMovies().isEmpty());

    // A folder nobody can write to, not even root (a read-only file
    // system): the movie stays where it is and the user is told, with the
    // dialog closed.
    ASSERT_TRUE(rig.record(300));
    QFileDialog *failing = rig.dialog;
    rig.answer("/proc/kelvo-movie.mov");
    EXPECT_EQ(rig.opened.size(), 1u);
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_TRUE(rig.alerts[0].contains("kelvo-movie.mov")) << rig.alerts[0].toStdString();
    EXPECT_EQ(rig.temporaryMovies().size(), 1);
    EXPECT_TRUE(failing == nullptr || !failing->isVisible());

    // No temporary name to be had: the alert, and nothing starts.
    rig.controller.movieRecorder().setTemporaryDirectory(rig.destination.filePath("missing"));
    rig.controller.startStopRecording();
    EXPECT_FALSE(rig.controller.movieRecorder().isRecording());
    EXPECT_EQ(rig.recordItem()->text().remove('&'), "Start Recording");
    ASSERT_EQ(rig.alerts.size(), 2u);
    EXPECT_EQ(rig.alerts[1], "Could not create a temporary file.");
}

TEST(ViewerRecording, MuteSilencesEveryOutputAndGreysTheSoundControls)
{
    RecordingRig rig;
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.waitFor([&] { return rig.controller.model().audioLevel() > 0; }, 15000));
    auto opacity = [](QWidget *w) {
        auto *effect = qobject_cast<QGraphicsOpacityEffect *>(w->graphicsEffect());
        return effect ? effect->opacity() : 1.0;
    };

    rig.gain()->setValue(80);
    EXPECT_NEAR(elementVolume(rig.backend, "audiogain"), 0.8, 1e-6);
    rig.controller.muteUnmute();
    EXPECT_EQ(elementVolume(rig.backend, "audiogain"), 0.0);
    for (QWidget *control : {static_cast<QWidget *>(rig.meter()), static_cast<QWidget *>(rig.gain())}) {
        EXPECT_FALSE(control->isEnabled());
        EXPECT_DOUBLE_EQ(opacity(control), 0.4);
    }
    // Silence reaches the meter too.
    EXPECT_TRUE(rig.waitFor([&] { return rig.controller.model().audioLevel() < 0.001f; }, 3000));
    // A gain set while muted is kept for later, and nothing is heard.
    rig.controller.setRecordingGain(0.5);
    EXPECT_EQ(elementVolume(rig.backend, "audiogain"), 0.0);
    rig.controller.muteUnmute();
    EXPECT_NEAR(elementVolume(rig.backend, "audiogain"), 0.5, 1e-6);
    for (QWidget *control : {static_cast<QWidget *>(rig.meter()), static_cast<QWidget *>(rig.gain())}) {
        EXPECT_TRUE(control->isEnabled());
        EXPECT_DOUBLE_EQ(opacity(control), 1.0);
    }
    EXPECT_TRUE(rig.waitFor([&] { return rig.controller.model().audioLevel() > 0; }, 3000));
    // The preview's own volume stays the user's, apart from the gain.
    rig.controller.setPreviewVolume(0.25);
    EXPECT_NEAR(elementVolume(rig.backend, "previewvolume"), 0.25, 1e-6);

    // Without a microphone there is nothing to meter: no meter, no gain.
    rig.controller.capture()->setSelectedAudioDevice(std::nullopt);
    EXPECT_TRUE(rig.waitFor([&] { return !rig.controller.model().soundInputPresent(); }, 3000));
    EXPECT_TRUE(rig.meter()->isHidden());
    EXPECT_TRUE(rig.gain()->isHidden());
    EXPECT_EQ(rig.controller.model().audioLevel(), 0.0f);
}

TEST(ViewerRecording, MeterReadsTheAverageChannelPower)
{
    EXPECT_NEAR(video::audioMeterValue({-20.0f, -40.0f}), 0.632, 0.001);
    EXPECT_NEAR(video::audioMeterValue({0.0f}), 20.0, 1e-4);
    EXPECT_NEAR(video::audioMeterValue({-20.0f}), 2.0, 1e-4);
    EXPECT_EQ(video::audioMeterValue({}), 0.0f);
    EXPECT_EQ(video::audioMeterValue({-INFINITY, -INFINITY}), 0.0f);
}

// Counts the buffers leaving one of the capture pipeline's sources.
struct SourceCounter {
    std::atomic<int> buffers{0};
    GstPad *pad = nullptr;
    gulong probe = 0;

    SourceCounter(video::backend::GstCaptureBackend &backend, const char *source)
    {
        GstElement *element = gst_bin_get_by_name(GST_BIN(backend.session()->pipeline()), source);
        pad = gst_element_get_static_pad(element, "src");
        gst_object_unref(element);
        probe = gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad *, GstPadProbeInfo *, gpointer data) {
                ++*static_cast<std::atomic<int> *>(data);
                return GST_PAD_PROBE_OK;
            },
            &buffers, nullptr);
    }
    ~SourceCounter()
    {
        gst_pad_remove_probe(pad, probe);
        gst_object_unref(pad);
    }
};

// Nobody needs the camera's picture while it is frozen or out of sight: the
// source rests and the sound goes on. A movie keeps the picture coming
// whether anyone looks or not, and the rest resumes once its file is closed.
TEST(ViewerRecording, ThePictureRestsWhileFrozenOrUnseenButNeverUnderAMovie)
{
    RecordingRig rig;
    rig.controller.videoWindow()->show();
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.waitFor([&] { return rig.backend.isRunning() && rig.controller.model().audioLevel() > 0; }, 15000));
    SourceCounter video(rig.backend, "videosource");
    SourceCounter sound(rig.backend, "audiosource");
    auto flows = [&](SourceCounter &counter) {
        const int before = counter.buffers;
        return rig.waitFor([&] { return counter.buffers >= before + 5; }, 10000);
    };
    // Held, the source lets through at most the frame it was pushing.
    auto rests = [&] {
        rig.waitFor([] { return false; }, 100);
        const int before = video.buffers;
        rig.waitFor([] { return false; }, 600);
        return video.buffers - before <= 1;
    };
    QAction *freeze = ui::findMenuItem(rig.controller.mainMenu()->menuBar(), ui::MenuTag::Camera, ui::MenuTag::Freeze);
    ASSERT_NE(freeze, nullptr);
    ui::VideoView *view = rig.controller.outlets().previewView;
    EXPECT_TRUE(flows(video)) << "live and on screen";

    freeze->trigger();
    ASSERT_TRUE(rig.waitFor([&] { return view->isShowingStill(); }, 10000)) << "the freeze got its frame";
    EXPECT_TRUE(rests());
    EXPECT_TRUE(flows(sound)) << "the meter goes on under a frozen picture";
    freeze->trigger();
    EXPECT_FALSE(view->isShowingStill());
    EXPECT_TRUE(flows(video));

    rig.controller.videoWindow()->hide();
    EXPECT_TRUE(rests()) << "nobody can see the picture";
    rig.recordItem()->trigger();
    ASSERT_TRUE(rig.controller.movieRecorder().isRecording());
    EXPECT_TRUE(flows(video)) << "the movie needs it";
    rig.recordItem()->trigger();
    ASSERT_TRUE(rig.waitFor([&] { return rig.dialog != nullptr; }, 15000));
    rig.answer({});
    EXPECT_TRUE(rests()) << "the movie is closed and the window still hidden";

    rig.controller.videoWindow()->show();
    EXPECT_TRUE(flows(video));
    const int converted = view->conversions();
    EXPECT_TRUE(rig.waitFor([&] { return view->conversions() > converted; }, 10000)) << "and it is drawn";
}

// The microphone the movie records goes away: the movie ends, the user is
// told which input went, the picture carries on, and what was recorded is
// offered for saving as a complete movie.
TEST(ViewerRecording, AMicrophoneUnpluggedMidMovieEndsItAndKeepsWhatWasRecorded)
{
    RecordingRig rig;
    video::CaptureDevice mic;
    mic.uniqueID = "desk-microphone";
    mic.modelID = "Desk Microphone";
    mic.localizedName = QStringLiteral("Desk Microphone");
    mic.hasAudio = true;
    rig.backend.deviceMonitor().addDescribedDevice(
        mic, "audiotestsrc is-live=true wave=sine freq=880 ! audio/x-raw,rate=48000,channels=2");
    rig.controller.videoWindow()->show();
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.waitFor([&] { return rig.backend.isRunning(); }, 15000));

    QAction *audioMenu = ui::findMenuItem(rig.controller.mainMenu()->menuBar(), ui::MenuTag::Audio, ui::MenuTag::Audio);
    ASSERT_TRUE(audioMenu && audioMenu->menu());
    QAction *deskItem = nullptr;
    for (QAction *item : audioMenu->menu()->actions())
        deskItem = item->text() == "Desk Microphone" ? item : deskItem;
    ASSERT_NE(deskItem, nullptr);
    deskItem->trigger();
    ASSERT_TRUE(rig.waitFor([&] { return rig.controller.model().audioLevel() > 0; }, 15000));

    rig.recordItem()->trigger();
    ASSERT_TRUE(rig.controller.movieRecorder().isRecording());
    rig.waitFor([] { return false; }, 1500);
    rig.backend.deviceMonitor().removeDevice("desk-microphone");

    ASSERT_TRUE(rig.waitFor([&] { return rig.dialog != nullptr; }, 15000)) << "the movie is offered for saving";
    ASSERT_EQ(rig.alerts.size(), 1u);
    EXPECT_TRUE(rig.alerts[0].contains("sound input")) << rig.alerts[0].toStdString();
    EXPECT_EQ(rig.recordItem()->text().remove('&'), "Start Recording");
    EXPECT_TRUE(rig.overlay()->isHidden());

    const int converted = rig.controller.outlets().previewView->conversions();
    EXPECT_TRUE(rig.waitFor([&] { return rig.controller.outlets().previewView->conversions() > converted + 3; }, 10000))
        << "the live picture keeps running";

    const QString saved = rig.destination.filePath("unplugged.mov");
    rig.answer(saved);
    const MovieStreams streams = readStreams(saved);
    EXPECT_EQ(streams.video, 1);
    EXPECT_EQ(streams.audio, 1) << "the sound up to the unplugging";
}

// The item of the menu bar with this title, wherever it sits.
static QAction *menuItemTitled(QMenuBar *bar, const QString &title)
{
    QList<QAction *> pending = bar->actions();
    while (!pending.empty()) {
        QAction *item = pending.takeLast();
        if (item->text().remove('&') == title)
            return item;
        if (item->menu())
            pending += item->menu()->actions();
    }
    return nullptr;
}

// In full screen the covered video window cannot carry the movie's save
// dialog: it is a window of its own, modal for the whole viewer; back in the
// window it belongs to the video window again.
TEST(ViewerRecording, InFullScreenTheMovieSaveDialogIsAWindowOfItsOwn)
{
    RecordingRig rig;
    rig.controller.videoWindow()->show();
    rig.controller.initializeVideoCapture();
    ASSERT_TRUE(rig.waitFor([&] { return rig.backend.isRunning(); }, 15000));
    rig.controller.movieSavePanel().setDialogPresenter([&](QFileDialog *d, bool fullScreen) {
        rig.dialog = d;
        ui::showSaveDialog(d, fullScreen);
    });
    QAction *fullScreen = menuItemTitled(rig.controller.mainMenu()->menuBar(), "Full Screen");
    ASSERT_NE(fullScreen, nullptr);
    auto settled = [&](bool on) {
        viewer::VideoWindowPlacement &placement = *rig.controller.placement();
        return rig.waitFor([&] {
            return placement.isFullScreen() == on && !placement.transitioningToFullScreen() &&
                   !placement.transitioningFromFullScreen();
        });
    };

    fullScreen->trigger();
    ASSERT_TRUE(settled(true));
    ASSERT_TRUE(rig.record(300));
    EXPECT_EQ(rig.dialog->parentWidget(), nullptr);
    EXPECT_TRUE(rig.dialog->isVisible());
    EXPECT_EQ(rig.dialog->windowModality(), Qt::ApplicationModal);
    rig.answer({});

    fullScreen->trigger();
    ASSERT_TRUE(settled(false));
    ASSERT_TRUE(rig.record(300));
    EXPECT_EQ(rig.dialog->parentWidget(), rig.controller.videoWindow());
    EXPECT_TRUE(rig.dialog->isVisible());
    EXPECT_EQ(rig.dialog->windowModality(), Qt::WindowModal);
    rig.answer({});
    EXPECT_TRUE(rig.temporaryMovies().isEmpty());
}
