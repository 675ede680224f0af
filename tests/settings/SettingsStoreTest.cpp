#include "settings/SettingsStore.h"
#include "SettingsTestSupport.h"
#include "common/SystemLog.h"
#include "settings/AtomicFileWriter.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace kelvo::settings;
using kelvo::ScopedLogCapture;
using kelvo::settings::test::SettingsFolder;

namespace {

QString k(const char *name)
{
    return QString::fromLatin1(name);
}

PlistDictionary everyKind()
{
    PlistDictionary nested;
    nested.setValue(k("ZoomLevel"), PlistValue::integer(12));
    nested.setValue(k("MirrorMode"), PlistValue::boolean(false));
    PlistDictionary d;
    d.setValue(k("flag"), PlistValue::boolean(true));
    d.setValue(k("one"), PlistValue::integer(1));
    d.setValue(k("negative"), PlistValue::integer(-1));
    d.setValue(k("large"), PlistValue::integer(std::int64_t(1) << 40));
    d.setValue(k("real"), PlistValue::real(0.1));
    d.setValue(k("text"), PlistValue::string(QStringLiteral("a<b>&c \"é\" ]]>")));
    d.setValue(k("date"), PlistValue::date(QDateTime(QDate(2026, 12, 7), QTime(23, 10, 5), Qt::UTC)));
    d.setValue(k("data"), PlistValue::data(QByteArray("\0\1\2\xff", 4)));
    d.setValue(k("empty"), PlistValue::data(QByteArray()));
    d.setValue(k("list"), PlistValue::array({PlistValue::integer(3), PlistValue::string(k("x"))}));
    d.setValue(k("0:usb-0000:00:14.0-2 <&>"), PlistValue::dictionary(nested));
    return d;
}

void fillStore(SettingsStore &store, const PlistDictionary &d)
{
    for (const auto &[key, value] : d.entries())
        store.setValue(key, value);
}

} // namespace

TEST(SettingsStoreFile, EveryKindSurvivesTheFileAndBooleansStayDistinctFromIntegers)
{
    SettingsFolder folder;
    {
        SettingsStore store(folder.settingsFile());
        fillStore(store, everyKind());
        ASSERT_TRUE(store.synchronize());
    }
    SettingsStore reread(folder.settingsFile());
    EXPECT_EQ(reread.dictionaryRepresentation(), everyKind());
    EXPECT_TRUE(reread.boolValueForKey(k("flag"), false));
    EXPECT_FALSE(reread.boolValueForKey(k("one"), true));
    EXPECT_EQ(folder.entries(), QStringList{k("com.morvane.KelvoViewer.plist")}); // no temporary file left
}

TEST(SettingsStoreFile, DefaultPathFollowsXdgConfigHome)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QString home = QDir::homePath();
    struct Case {
        const char *value; // nullptr: unset
        QString expectedFolder;
    };
    const Case cases[] = {
        {"/tmp/xdg-test", k("/tmp/xdg-test")},
        {nullptr, home + k("/.config")},
        {"", home + k("/.config")},
        {"relative/path", home + k("/.config")},
    };
    for (const Case &c : cases) {
        if (c.value)
            qputenv("XDG_CONFIG_HOME", c.value);
        else
            qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(SettingsStore::defaultFilePath(),
                  c.expectedFolder + k("/kelvo-viewer/com.morvane.KelvoViewer.plist"));
    }
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

TEST(SettingsStoreFile, ADamagedFileIsMovedAsideLoggedAndNeverOverwritten)
{
    QByteArray valid;
    {
        SettingsFolder scratch;
        SettingsStore store(scratch.settingsFile());
        fillStore(store, everyKind());
        ASSERT_TRUE(store.synchronize());
        valid = scratch.readFile();
    }
    struct Case {
        const char *name;
        QByteArray bytes;
        const char *reason;
    };
    const Case cases[] = {
        {"garbage", "this is not a property list", "is not a property list"},
        {"truncated", valid.left(valid.size() / 2), "is not a property list"},
        {"empty", QByteArray(), "is empty"},
        {"binary garbage", QByteArray("bplist00\xff\xff\xff", 11), "is not a property list"},
        {"array at the top", "<plist version=\"1.0\"><array><integer>1</integer></array></plist>",
         "does not hold a dictionary"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SettingsFolder folder;
        folder.writeFile(c.bytes);
        ScopedLogCapture log;
        SettingsStore store(folder.settingsFile());

        EXPECT_TRUE(store.dictionaryRepresentation().isEmpty()); // the defaults apply
        const std::optional<QString> backup = store.damagedFileBackupPath();
        ASSERT_TRUE(backup.has_value());
        EXPECT_TRUE(QRegularExpression(k("/com\\.morvane\\.KelvoViewer\\.plist\\.damaged-\\d{8}-\\d{6}$"))
                        .match(*backup)
                        .hasMatch())
            << backup->toStdString();
        const QString line = k("Settings file %1 %2; moved it to %3, the defaults apply.\n")
                                 .arg(folder.settingsFile(), k(c.reason), *backup);
        EXPECT_EQ(log.count(line.toStdString()), 1) << (log.lines().empty() ? "" : log.lines().front());

        store.setValue(k("UserHasSetPreferences"), PlistValue::boolean(true));
        ASSERT_TRUE(store.synchronize());
        QFile moved(*backup);
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
        EXPECT_EQ(moved.readAll(), c.bytes);
        EXPECT_TRUE(SettingsStore(folder.settingsFile()).boolValueForKey(k("UserHasSetPreferences"), false));
    }
}

TEST(SettingsStoreFile, ACrashBetweenWriteAndRenameLeavesTheOldFile)
{
    // Forked, not re-executed: the child must write into this test's folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    SettingsFolder folder;
    {
        SettingsStore store(folder.settingsFile());
        store.setValue(k("ZoomLevel"), PlistValue::integer(4));
        ASSERT_TRUE(store.synchronize());
    }
    const QByteArray before = folder.readFile();
    // The process dies at the moment the finished temporary file would be
    // renamed into place.
    AtomicFileWriter dying([](const char *, const char *) -> int { _exit(3); });
    EXPECT_EXIT(
        {
            SettingsStore store(folder.settingsFile(), dying);
            store.setValue(k("ZoomLevel"), PlistValue::integer(9));
            store.synchronize();
        },
        testing::ExitedWithCode(3), "");

    EXPECT_EQ(folder.readFile(), before);
    const QStringList leftovers = folder.entries().filter(QRegularExpression(k("^\\.com\\.morvane.*\\.plist\\.")));
    ASSERT_EQ(leftovers.size(), 1); // the new content was written, but never put in place
    SettingsStore after(folder.settingsFile());
    EXPECT_EQ(after.intValueForKey(k("ZoomLevel"), 0), 4);
}

TEST(SettingsStoreFile, AFailedRenameIsReportedAndRetriedWithTheOldFileIntact)
{
    SettingsFolder folder;
    int attempts = 0;
    AtomicFileWriter flaky([&attempts](const char *from, const char *to) {
        if (++attempts == 1) {
            errno = EIO;
            return -1;
        }
        return ::rename(from, to);
    });
    folder.writeFile(test::plistWithDictionaryBody("<key>ZoomLevel</key><integer>4</integer>"));
    const QByteArray before = folder.readFile();
    SettingsStore store(folder.settingsFile(), flaky);
    store.setValue(k("ZoomLevel"), PlistValue::integer(9));
    {
        ScopedLogCapture log;
        EXPECT_FALSE(store.synchronize());
        EXPECT_EQ(log.count(k("Could not write settings file %1: rename: %2.\n")
                                .arg(folder.settingsFile(), QString::fromLocal8Bit(strerror(EIO)))
                                .toStdString()),
                  1);
    }
    EXPECT_EQ(folder.readFile(), before);
    EXPECT_EQ(folder.entries().size(), 1);
    EXPECT_TRUE(store.synchronize()); // still owed: the change was not dropped
    EXPECT_EQ(SettingsStore(folder.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 9);
}

TEST(SettingsStoreFile, AFullDiskLeavesTheOldFile)
{
    SettingsFolder folder;
    folder.writeFile(test::plistWithDictionaryBody("<key>ZoomLevel</key><integer>4</integer>"));
    const QByteArray before = folder.readFile();
    SettingsStore store(folder.settingsFile());
    store.setValue(k("AppDownloadResumeData"), PlistValue::data(QByteArray(64 * 1024, 'r')));

    // A file-size limit fails the write the way a full disk does.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = true;
    {
        ScopedLogCapture log;
        written = store.synchronize();
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_NE(log.lines().front().find("write: "), std::string::npos) << log.lines().front();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(folder.readFile(), before);
    EXPECT_EQ(folder.entries().size(), 1);
}

TEST(SettingsStoreFile, OnlyAChangedDomainIsWritten)
{
    SettingsFolder folder;
    int renames = 0;
    AtomicFileWriter counting([&renames](const char *from, const char *to) {
        ++renames;
        return ::rename(from, to);
    });
    SettingsStore store(folder.settingsFile(), counting);
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(renames, 0);
    store.setValue(k("ZoomLevel"), PlistValue::integer(3));
    EXPECT_TRUE(store.synchronize());
    store.setValue(k("ZoomLevel"), PlistValue::integer(3));
    store.removeObjectForKey(k("absent"));
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(renames, 1);
    store.removePersistentDomain();
    EXPECT_TRUE(store.synchronize());
    EXPECT_EQ(renames, 2);
    EXPECT_TRUE(SettingsStore(folder.settingsFile()).dictionaryRepresentation().isEmpty());
}

// In the background, saves queued behind a slow one collapse into the
// newest, a failed write is owed until it succeeds, and whatever is still
// waiting reaches the file before the store goes away.
TEST(SettingsStoreFile, BackgroundWritesKeepTheNewestStateAndRetryAFailure)
{
    SettingsFolder folder;
    std::mutex gate;
    std::unique_lock holdFirstWrite(gate);
    std::atomic<int> renames = 0;
    std::atomic<bool> failNext = false;
    AtomicFileWriter slow([&](const char *from, const char *to) {
        if (++renames == 1)
            std::lock_guard wait(gate);
        if (failNext.exchange(false)) {
            errno = EIO;
            return -1;
        }
        return ::rename(from, to);
    });
    {
        SettingsStore store(folder.settingsFile(), slow);
        store.setWritesInBackground(true);
        store.setValue(k("ZoomLevel"), PlistValue::integer(1));
        EXPECT_TRUE(store.synchronize());
        while (renames == 0)
            std::this_thread::yield(); // the first write is now held in its rename
        for (int zoom = 2; zoom <= 40; ++zoom) {
            store.setValue(k("ZoomLevel"), PlistValue::integer(zoom));
            EXPECT_TRUE(store.synchronize()); // never waits for the held write
        }
        holdFirstWrite.unlock();
        EXPECT_TRUE(store.waitForWrites());
        EXPECT_EQ(renames, 2);
        EXPECT_EQ(SettingsStore(folder.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 40);

        failNext = true;
        store.setValue(k("ZoomLevel"), PlistValue::integer(7));
        {
            ScopedLogCapture log;
            EXPECT_TRUE(store.synchronize());
            EXPECT_FALSE(store.waitForWrites());
            EXPECT_EQ(log.count("Synchronization failed.\n"), 1);
        }
        EXPECT_EQ(SettingsStore(folder.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 40);
        EXPECT_TRUE(store.synchronize()); // nothing changed since, but the change is still owed
        EXPECT_TRUE(store.waitForWrites());
        EXPECT_EQ(SettingsStore(folder.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 7);

        store.setValue(k("ZoomLevel"), PlistValue::integer(12));
        EXPECT_TRUE(store.synchronize());
        EXPECT_TRUE(store.keepBackup(k("reset")).has_value());
        store.setValue(k("ZoomLevel"), PlistValue::integer(13));
        EXPECT_TRUE(store.synchronize());
    }
    EXPECT_EQ(SettingsStore(folder.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 13);
    const QStringList backups = folder.entries().filter(QRegularExpression(k("\\.reset-")));
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(SettingsStore(folder.path() + k("/") + backups.front()).intValueForKey(k("ZoomLevel"), 0), 12);
}

// A chain of links ends at the file that is replaced, every link left as it
// was, and the file keeps the permissions the user gave it.
TEST(SettingsStoreFile, WritesThroughAChainOfSymbolicLinks)
{
    SettingsFolder folder;
    SettingsFolder middle;
    SettingsFolder elsewhere;
    ASSERT_TRUE(QFile::link(middle.settingsFile(), folder.settingsFile()));
    ASSERT_TRUE(QFile::link(k("../") + QFileInfo(elsewhere.path()).fileName() + k("/com.morvane.KelvoViewer.plist"),
                            middle.settingsFile()));
    SettingsStore store(folder.settingsFile());
    store.setValue(k("ZoomLevel"), PlistValue::integer(5));
    ASSERT_TRUE(store.synchronize());
    ASSERT_EQ(::chmod(QFile::encodeName(elsewhere.settingsFile()).constData(), 0640), 0);
    store.setValue(k("ZoomLevel"), PlistValue::integer(6));
    ASSERT_TRUE(store.synchronize());

    EXPECT_TRUE(QFileInfo(folder.settingsFile()).isSymLink());
    EXPECT_TRUE(QFileInfo(middle.settingsFile()).isSymLink());
    EXPECT_EQ(SettingsStore(elsewhere.settingsFile()).intValueForKey(k("ZoomLevel"), 0), 6);
    EXPECT_EQ(QFileInfo(elsewhere.settingsFile()).permissions(),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
}

TEST(SettingsStoreFile, PlistutilReadsTheFile)
{
    const QString tool = QStandardPaths::findExecutable(k("plistutil"));
    if (tool.isEmpty())
        GTEST_SKIP() << "plistutil is not installed";
    SettingsFolder folder;
    SettingsStore store(folder.settingsFile());
    store.setValue(k("UserHasSetPreferences"), PlistValue::boolean(true));
    store.setValue(k("0:camera"), PlistValue::dictionary(everyKind()));
    ASSERT_TRUE(store.synchronize());

    const QByteArray command =
        QFile::encodeName(tool) + " -i '" + QFile::encodeName(folder.settingsFile()) + "' -f xml -o -";
    FILE *pipe = ::popen(command.constData(), "r");
    ASSERT_NE(pipe, nullptr);
    QByteArray output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, static_cast<qsizetype>(n));
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_TRUE(output.contains("<key>UserHasSetPreferences</key>\n\t<true/>")) << output.constData();
    EXPECT_TRUE(output.contains("<key>0:camera</key>"));
}
