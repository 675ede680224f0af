// Runs the real boomerel under parents that live for a while or are already
// gone, and watches what it reopens.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string readAll(const fs::path &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Relauncher : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/boomerel-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        // An install folder whose program only notes that it was started.
        m_app = m_root / "Kelvo Viewer.app";
        fs::create_directories(m_app / "bin");
        std::ofstream(m_app / "bin/kelvo-viewer")
            << "#!/bin/sh\necho started >> \"" << (m_root / "opened").string() << "\"\n";
        fs::permissions(m_app / "bin/kelvo-viewer", fs::perms::owner_all);
    }
    void TearDown() override
    {
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        fs::remove_all(m_root);
    }

    // Starts boomerel as the child of a parent that lives for parentLife,
    // then waits for both; answers boomerel's exit status. This process
    // adopts boomerel when the parent ends, so that the status is seen.
    int runUnderParent(const std::string &argument, std::chrono::milliseconds parentLife)
    {
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        int pidPipe[2];
        if (::pipe(pidPipe) != 0)
            return -1;
        const pid_t parent = ::fork();
        if (parent == 0) {
            const pid_t tool = ::fork();
            if (tool == 0)
                execBoomerel(argument);
            [[maybe_unused]] const ssize_t n = ::write(pidPipe[1], &tool, sizeof tool);
            std::this_thread::sleep_for(parentLife);
            ::_exit(0);
        }
        ::close(pidPipe[1]);
        pid_t tool = -1;
        [[maybe_unused]] const ssize_t n = ::read(pidPipe[0], &tool, sizeof tool);
        ::close(pidPipe[0]);
        int status = 0;
        ::waitpid(parent, &status, 0);
        ::waitpid(tool, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    [[noreturn]] void execBoomerel(const std::string &argument)
    {
        const int errors = ::open((m_root / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(errors, 2);
        ::setenv("HOME", m_root.c_str(), 1);
        ::execl(KELVO_BOOMEREL, KELVO_BOOMEREL, argument.c_str(), static_cast<char *>(nullptr));
        ::_exit(126);
    }

    bool waitForOpened(std::chrono::milliseconds limit)
    {
        const auto end = Clock::now() + limit;
        while (Clock::now() < end) {
            if (readAll(m_root / "opened") == "started\n")
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    fs::path m_root;
    fs::path m_app;
};

TEST_F(Relauncher, WaitsForItsParentThenOpensTheInstallFolderOnce)
{
    const auto start = Clock::now();
    EXPECT_EQ(runUnderParent(m_app.string(), 3500ms), 0);
    ASSERT_TRUE(waitForOpened(3s));
    const auto elapsed = Clock::now() - start;
    // Polled once a second: the parent's end is noticed at the fourth poll.
    EXPECT_GE(elapsed, 3900ms);
    EXPECT_LT(elapsed, 5500ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(readAll(m_root / "opened"), "started\n");
    EXPECT_EQ(readAll(m_root / "stderr"), "");
}

TEST_F(Relauncher, ParentAlreadyGoneOpensAtOnce)
{
    const pid_t parent = ::fork();
    if (parent == 0) {
        const pid_t self = ::getpid();
        if (::fork() == 0) {
            while (::getppid() == self)
                std::this_thread::sleep_for(5ms);
            // Adopted by a process other than init, boomerel could not tell
            // that the viewer is gone; that is not what this test is about.
            if (::getppid() != 1) {
                std::ofstream(m_root / "opened") << "not orphaned\n";
                ::_exit(0);
            }
            execBoomerel(m_app.string());
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(parent, &status, 0);
    if (readAll(m_root / "opened") == "not orphaned\n")
        GTEST_SKIP() << "orphans are not adopted by init here";
    const auto start = Clock::now();
    ASSERT_TRUE(waitForOpened(3s));
    EXPECT_LT(Clock::now() - start, 900ms);
}

TEST_F(Relauncher, FailuresNameTheArgumentAsReceived)
{
    EXPECT_EQ(runUnderParent((m_root / "missing").string(), 200ms), 1);
    EXPECT_EQ(readAll(m_root / "stderr"),
              "Error: could not relaunch application at " + (m_root / "missing").string() + "\n");

    // The tilde is expanded before opening but shown as typed.
    EXPECT_EQ(runUnderParent("~/gone/Kelvo Viewer.app", 200ms), 1);
    EXPECT_EQ(readAll(m_root / "stderr"), "Error: could not relaunch application at ~/gone/Kelvo Viewer.app\n");

    EXPECT_EQ(runUnderParent("~/Kelvo Viewer.app", 200ms), 0);
    EXPECT_TRUE(waitForOpened(3s));
}

TEST_F(Relauncher, WithoutAnArgumentPrintsUsage)
{
    const pid_t tool = ::fork();
    if (tool == 0) {
        const int errors = ::open((m_root / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(errors, 2);
        ::execl(KELVO_BOOMEREL, "boomerel", static_cast<char *>(nullptr));
        ::_exit(126);
    }
    int status = 0;
    ::waitpid(tool, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(readAll(m_root / "stderr"), "usage: boomerel <application folder>\n");
}

} // namespace
