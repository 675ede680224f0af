#include "video/text/ReadingSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelvo::video::text;
using State = ReadingSession::State;

namespace {

// Every request of the session, in order, as one word each.
struct RecordingOutput final : ReadingOutput {
    std::vector<std::string> calls;
    void say(const QString &text) override { calls.push_back("say " + text.toStdString()); }
    void stopSpeaking() override { calls.push_back("stop"); }
    void pauseSpeaking() override { calls.push_back("pause"); }
    void resumeSpeaking() override { calls.push_back("resume"); }
    void showLine(int index) override { calls.push_back("line " + std::to_string(index)); }
    void showMessage(const QString &text) override { calls.push_back("message " + text.toStdString()); }
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

RecognitionResult threeLines()
{
    RecognitionResult result;
    result.outcome = RecognitionResult::Outcome::Text;
    for (const char *text : {"one", "two", "three"})
        result.lines.push_back({QString::fromLatin1(text), {}, 90});
    return result;
}

using Calls = std::vector<std::string>;

} // namespace

TEST(ReadingSession, ReadsLineByLineWithPauseSkipAndStop)
{
    RecordingOutput out;
    ReadingSession session(out);
    // No session: the keys are not the reader's.
    session.pauseOrResume();
    session.nextLine();
    EXPECT_FALSE(session.isActive());
    EXPECT_TRUE(out.take().empty());

    session.begin();
    EXPECT_EQ(session.state(), State::Recognising);
    EXPECT_EQ(out.take(), Calls{"line -1"});
    session.pauseOrResume();
    session.nextLine();
    session.lineSpoken();
    EXPECT_TRUE(out.take().empty()) << "keys wait for the text";

    session.recognised(threeLines());
    EXPECT_EQ(out.take(), (Calls{"line 0", "say one"}));
    session.lineSpoken();
    EXPECT_EQ(out.take(), (Calls{"line 1", "say two"}));

    session.pauseOrResume();
    session.lineSpoken(); // a voice's late report while paused moves nothing
    EXPECT_EQ(session.state(), State::Paused);
    session.pauseOrResume();
    EXPECT_EQ(out.take(), (Calls{"pause", "resume"}));

    session.nextLine();
    session.nextLine(); // already on the last line
    EXPECT_EQ(out.take(), (Calls{"line 2", "say three"}));
    session.lineSpoken();
    EXPECT_EQ(session.state(), State::Finished);
    EXPECT_EQ(session.currentLine(), 2);
    EXPECT_TRUE(out.take().empty());

    session.previousLine();
    EXPECT_EQ(out.take(), (Calls{"line 1", "say two"}));
    session.stop();
    EXPECT_EQ(out.take(), (Calls{"stop", "line -1"}));
    EXPECT_FALSE(session.isActive());
    // The text stays for copying after the reading stopped.
    EXPECT_TRUE(session.hasText());

    // A finished reading starts again from the top with Space.
    session.begin();
    session.recognised(threeLines());
    session.lineSpoken();
    session.lineSpoken();
    session.lineSpoken();
    out.take();
    session.pauseOrResume();
    EXPECT_EQ(out.take(), (Calls{"line 0", "say one"}));
}

TEST(ReadingSession, NoTextFailureAndCancelEndTheWaitPlainly)
{
    RecordingOutput out;
    ReadingSession session(out);
    session.begin();
    out.take();
    session.recognised({});
    EXPECT_EQ(out.take(), Calls{"message No text found"});
    EXPECT_EQ(session.state(), State::Finished);
    EXPECT_FALSE(session.hasText());
    session.pauseOrResume();
    session.previousLine();
    EXPECT_TRUE(out.take().empty());

    session.begin();
    RecognitionResult failed;
    failed.outcome = RecognitionResult::Outcome::Failed;
    failed.message = QStringLiteral("no data");
    session.recognised(failed);
    EXPECT_EQ(out.take(), (Calls{"line -1", "message no data"}));

    session.begin();
    RecognitionResult cancelled;
    cancelled.outcome = RecognitionResult::Outcome::Cancelled;
    session.recognised(cancelled);
    EXPECT_EQ(session.state(), State::Idle);
    // An answer that comes after the session stopped is dropped.
    session.recognised(threeLines());
    EXPECT_EQ(session.state(), State::Idle);
    EXPECT_FALSE(session.hasText());
}
