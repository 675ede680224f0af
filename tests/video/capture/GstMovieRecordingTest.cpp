// Movies recorded from a running capture pipeline of test sources, read back
// with GStreamer: both streams, the frame count, the turned picture, an
// unwritable file, and a process killed while recording.
#include "MovieFrames.h"
#include "video/backend/GstCaptureSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>

using namespace kelvo::video::backend;
using kelvo::video::test::countDemuxedVideoFrames;
using namespace std::chrono_literals;

namespace {

struct MovieFacts {
    bool readable = false;
    int videoStreams = 0;
    int audioStreams = 0;
    int width = 0;
    int height = 0;
    int videoFrames = 0;
};

MovieFacts readMovie(const QString &path)
{
    MovieFacts facts;
    GError *error = nullptr;
    GstDiscoverer *discoverer = gst_discoverer_new(10 * GST_SECOND, &error);
    if (!discoverer)
        return facts;
    const GCharPtr uri(gst_filename_to_uri(path.toUtf8().constData(), nullptr));
    GstDiscovererInfo *info = gst_discoverer_discover_uri(discoverer, uri.get(), &error);
    if (error)
        g_error_free(error);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        facts.readable = true;
        GList *videos = gst_discoverer_info_get_video_streams(info);
        GList *audios = gst_discoverer_info_get_audio_streams(info);
        facts.videoStreams = int(g_list_length(videos));
        facts.audioStreams = int(g_list_length(audios));
        if (videos) {
            auto *video = GST_DISCOVERER_VIDEO_INFO(videos->data);
            facts.width = int(gst_discoverer_video_info_get_width(video));
            facts.height = int(gst_discoverer_video_info_get_height(video));
        }
        gst_discoverer_stream_info_list_free(videos);
        gst_discoverer_stream_info_list_free(audios);
    }
    if (info)
        g_object_unref(info);
    g_object_unref(discoverer);
    if (!facts.readable)
        return facts;

    // The frames that actually decode, counted at the demuxer.
    facts.videoFrames = countDemuxedVideoFrames(path.toStdString(), 10);
    return facts;
}

GstCaptureSession::SourceFactory launch(const char *description)
{
    return [description](QString *error) { return parseBin(description, error); };
}

// A live 640×480 camera at 30 frames a second and a stereo test tone.
struct RecordingRig {
    std::atomic<int> liveFrames{0};
    std::atomic<int> finishedCount{0};
    QString finishedError;
    std::mutex mutex;
    GstCaptureSession session;

    RecordingRig() : session(options(), callbacks(this)) {}

    static GstCaptureSession::Options options()
    {
        GstCaptureSession::Options o;
        o.audioSinkDescription = "fakesink";
        return o;
    }
    static GstCaptureSession::Callbacks callbacks(RecordingRig *rig)
    {
        GstCaptureSession::Callbacks c;
        c.onFrame = [rig](const kelvo::video::VideoFrame &) { ++rig->liveFrames; };
        c.onRecordingFinished = [rig](const QString &error) {
            std::lock_guard lock(rig->mutex);
            rig->finishedError = error;
            ++rig->finishedCount;
        };
        return c;
    }
    bool start()
    {
        session.setVideoSource(launch("videotestsrc is-live=true pattern=smpte ! "
                                      "capsfilter caps=video/x-raw,width=640,height=480,framerate=30/1"));
        session.setAudioSource(launch("audiotestsrc is-live=true wave=sine ! capsfilter caps=audio/x-raw,channels=2"));
        QString error;
        return session.start(&error);
    }
    bool waitFinished(int count = 1)
    {
        QElapsedTimer timer;
        timer.start();
        while (finishedCount < count && timer.elapsed() < 10000)
            std::this_thread::sleep_for(10ms);
        return finishedCount >= count;
    }
};

class GstMovieRecordingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(GstMovieRecordingTest, RecordsTurnedPictureAndSoundWhileThePreviewRuns)
{
    RecordingRig rig;
    ASSERT_TRUE(rig.start());
    std::this_thread::sleep_for(500ms);

    QString error;
    // Three seconds in orientation 3: a portrait movie of about 90 frames
    // with sound, while the live picture never stops.
    const QString movie = dir.filePath("three.mov");
    ASSERT_TRUE(rig.session.startRecording(movie.toStdString(), 3, &error)) << error.toStdString();
    EXPECT_TRUE(rig.session.isRecording());
    const int framesBefore = rig.liveFrames;
    std::this_thread::sleep_for(3s);
    rig.session.stopRecording();
    ASSERT_TRUE(rig.waitFinished(1));
    EXPECT_TRUE(rig.finishedError.isEmpty()) << rig.finishedError.toStdString();
    const int framesDuring = rig.liveFrames - framesBefore;
    EXPECT_GT(framesDuring, 75);
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(rig.liveFrames - framesBefore, framesDuring) << "the live picture stalled after the movie ended";

    const MovieFacts facts = readMovie(movie);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.videoStreams, 1);
    EXPECT_EQ(facts.audioStreams, 1);
    EXPECT_EQ(facts.width, 480);
    EXPECT_EQ(facts.height, 640);
    EXPECT_NEAR(facts.videoFrames, 90, 10);

    // A file that cannot be written fails the start and leaves the live
    // picture running.
    EXPECT_FALSE(rig.session.startRecording("/nonexistent-folder/movie.mov", 1, &error));
    EXPECT_FALSE(rig.session.isRecording());
    const int framesAfter = rig.liveFrames;
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(rig.liveFrames, framesAfter);

    // Stopped in the same breath as it started, before anything reached
    // the muxer: still a finished movie with both streams.
    const QString brief = dir.filePath("brief.mov");
    ASSERT_TRUE(rig.session.startRecording(brief.toStdString(), 1, &error)) << error.toStdString();
    rig.session.stopRecording();
    ASSERT_TRUE(rig.waitFinished(2));
    EXPECT_TRUE(rig.finishedError.isEmpty()) << rig.finishedError.toStdString();
    const MovieFacts briefFacts = readMovie(brief);
    ASSERT_TRUE(briefFacts.readable);
    EXPECT_EQ(briefFacts.videoStreams, 1);
    EXPECT_EQ(briefFacts.audioStreams, 1);
    EXPECT_EQ(briefFacts.width, 640);
    EXPECT_GE(briefFacts.videoFrames, 1);
}

TEST_F(GstMovieRecordingTest, RecordsPictureAloneWithoutAMicrophone)
{
    RecordingRig rig;
    rig.session.setVideoSource(launch("videotestsrc is-live=true ! "
                                      "capsfilter caps=video/x-raw,width=320,height=240,framerate=30/1"));
    QString error;
    ASSERT_TRUE(rig.session.start(&error)) << error.toStdString();
    const QString movie = dir.filePath("silent.mov");
    ASSERT_TRUE(rig.session.startRecording(movie.toStdString(), 4, &error)) << error.toStdString();
    std::this_thread::sleep_for(1s);
    rig.session.stopRecording();
    ASSERT_TRUE(rig.waitFinished(1));
    EXPECT_TRUE(rig.finishedError.isEmpty()) << rig.finishedError.toStdString();
    const MovieFacts facts = readMovie(movie);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.videoStreams, 1);
    EXPECT_EQ(facts.audioStreams, 0);
    EXPECT_EQ(facts.width, 240);
}

// Run only as the child of AFullDiskEndsTheMovieWithAnError: a file-size
// limit stands in for a full disk.
TEST_F(GstMovieRecordingTest, ChildRecordsIntoAFullDisk)
{
    const char *path = std::getenv("KELVO_RECORD_INTO_FULL_DISK");
    if (!path)
        GTEST_SKIP() << "only run by the full-disk test";
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    RecordingRig rig;
    ASSERT_TRUE(rig.start());
    QString error;
    ASSERT_TRUE(rig.session.startRecording(path, 1, &error)) << error.toStdString();
    // The movie ends by itself, with a message, once the file cannot grow.
    ASSERT_TRUE(rig.waitFinished(1));
    EXPECT_FALSE(rig.finishedError.isEmpty());
    EXPECT_FALSE(rig.session.isRecording());
    const int framesAfter = rig.liveFrames;
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(rig.liveFrames, framesAfter) << "the live picture stopped with the movie";
}

TEST_F(GstMovieRecordingTest, AFullDiskEndsTheMovieWithAnError)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KELVO_RECORD_INTO_FULL_DISK", dir.filePath("full.mov"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QFile::symLinkTarget("/proc/self/exe"),
                {"--gtest_filter=GstMovieRecordingTest.ChildRecordsIntoAFullDisk"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// Run only as the child of KilledMidRecordingLeavesAPlayableMovie: records
// until it is killed.
TEST_F(GstMovieRecordingTest, ChildRecordsUntilKilled)
{
    const char *path = std::getenv("KELVO_RECORD_UNTIL_KILLED");
    if (!path)
        GTEST_SKIP() << "only run by the killing test";
    RecordingRig rig;
    ASSERT_TRUE(rig.start());
    QString error;
    ASSERT_TRUE(rig.session.startRecording(path, 1, &error));
    std::this_thread::sleep_for(60s);
}

TEST_F(GstMovieRecordingTest, KilledMidRecordingLeavesAPlayableMovie)
{
    const QString movie = dir.filePath("killed.mov");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KELVO_RECORD_UNTIL_KILLED", movie);
    child.setProcessEnvironment(env);
    child.start(QFile::symLinkTarget("/proc/self/exe"),
                {"--gtest_filter=GstMovieRecordingTest.ChildRecordsUntilKilled"});
    ASSERT_TRUE(child.waitForStarted());
    // Timed from the first bytes written, not from the launch, which a busy
    // machine stretches.
    QElapsedTimer timer;
    timer.start();
    while (QFileInfo(movie).size() == 0 && timer.elapsed() < 15000)
        std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(2500ms);
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished();

    const MovieFacts facts = readMovie(movie);
    ASSERT_TRUE(facts.readable);
    EXPECT_EQ(facts.videoStreams, 1);
    EXPECT_GE(facts.videoFrames, 30) << "at least the first complete fragment plays";
}
