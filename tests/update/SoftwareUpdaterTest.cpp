// The update check and its downloads against a real web server on this
// machine, with the settings kept in a real settings file.

#include "UpdateTestSupport.h"

#include "common/SystemLog.h"
#include "settings/PreferenceKeys.h"
#include "update/Sha512Checksum.h"
#include "update/SoftwareUpdater.h"
#include "update/UpdateTransfer.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>

namespace kelvo::update {
namespace {

using settings::PlistValue;
using test::ScriptedQuestions;
using test::StoreBackedHost;
using test::UpdateTestServer;
namespace keys = settings::keys;

constexpr char kListPath[] = "/linux_autoupdate.plist";

QByteArray payload(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u + quint32(seed);
    for (char &b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = char(x);
    }
    return bytes;
}

bool hasLineStartingWith(const ScopedLogCapture &log, const std::string &prefix)
{
    const std::vector<std::string> lines = log.lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string &line) { return line.rfind(prefix, 0) == 0; });
}

QByteArray plist(const std::vector<std::pair<QString, QString>> &entries)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n";
    for (const auto &[key, value] : entries)
        xml += "<key>" + key.toUtf8() + "</key><string>" + value.toHtmlEscaped().toUtf8() + "</string>\n";
    return xml + "</dict></plist>\n";
}

// One run of the viewer: its settings as loaded from the file, its
// questions and its updater.
struct Launch {
    Launch(const QString &settingsPath, UpdaterConfig config) : host(settingsPath), updater(host, questions, config) {}
    StoreBackedHost host;
    ScriptedQuestions questions;
    SoftwareUpdater updater;
};

class SoftwareUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.filePath(QStringLiteral("www"));
        m_cache = m_dir.filePath(QStringLiteral("cache/kelvo-viewer"));
        m_settingsPath = m_dir.filePath(QStringLiteral("config/settings.plist"));
        QDir().mkpath(m_root);
        QDir().mkpath(QFileInfo(m_settingsPath).absolutePath());
        m_server = std::make_unique<UpdateTestServer>(m_root);
        ASSERT_TRUE(m_server->running());
        settings::SettingsStore store(m_settingsPath);
        store.setValue(QString::fromLatin1(keys::kUserHasSetPreferences), PlistValue::boolean(true));
        store.synchronize();
    }

    UpdaterConfig config() const
    {
        UpdaterConfig c;
        c.updateHost = m_server->base();
        c.cacheFolder = m_cache;
        c.installFolder = m_dir.path();
        return c;
    }
    std::unique_ptr<Launch> launch(const UpdaterConfig &c) { return std::make_unique<Launch>(m_settingsPath, c); }
    std::unique_ptr<Launch> launch() { return launch(config()); }

    void setSetting(const char *key, const std::optional<PlistValue> &value)
    {
        settings::SettingsStore store(m_settingsPath);
        store.setObject(QString::fromLatin1(key), value);
        store.synchronize();
    }
    std::optional<PlistValue> setting(const char *key) const
    {
        return settings::SettingsStore(m_settingsPath).objectForKey(QString::fromLatin1(key));
    }
    std::optional<QString> stringSetting(const char *key) const
    {
        const auto value = setting(key);
        return value && value->asString() ? std::optional<QString>(*value->asString()) : std::nullopt;
    }
    QByteArray settingsFile() const
    {
        QFile file(m_settingsPath);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    // Runs one check to its end: the evaluation, and every download it started.
    static bool check(Launch &run, int downloads = 0)
    {
        QSignalSpy finished(&run.updater, &SoftwareUpdater::checkFinished);
        QSignalSpy ended(&run.updater, &SoftwareUpdater::downloadEnded);
        run.updater.checkForUpdates();
        if (!finished.wait(15000))
            return false;
        while (ended.count() < downloads) {
            if (!ended.wait(15000))
                return false;
        }
        QTest::qWait(20); // queued work of the check (the firmware offer)
        return true;
    }

    void publishApp(const QString &version, const QString &name, const QByteArray &content)
    {
        m_server->putFile(name, content);
        m_server->putFile(QString::fromLatin1(kListPath).mid(1),
                          plist({{QStringLiteral("LatestAppVersion"), version},
                                 {QStringLiteral("LatestAppURL"), m_server->url(u'/' + name)},
                                 {QStringLiteral("LatestAppChecksum"), sha512ChecksumText(content)}}));
    }
    QByteArray cacheFile(const QString &name) const
    {
        QFile file(m_cache + u'/' + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_root;
    QString m_cache;
    QString m_settingsPath;
    std::unique_ptr<UpdateTestServer> m_server;
};

TEST_F(SoftwareUpdaterTest, NothingIsFetchedOrOfferedWhenDisabledOrOnFirstLaunch)
{
    const QByteArray firmware = payload(1000, 1);
    QDir().mkpath(m_cache);
    QFile file(m_cache + QStringLiteral("/quadrel_firmware_update_2.2.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(firmware);
    file.close();
    setSetting(keys::kDeviceFirmwareVersionReadyToInstall, PlistValue::string(QStringLiteral("2.2")));
    setSetting(keys::kDeviceFirmwareDownloadExpectedChecksum, PlistValue::string(sha512ChecksumText(firmware)));
    setSetting(keys::kAutomaticUpdateBehavior, PlistValue::integer(2));
    publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), payload(100, 2));
    {
        auto run = launch();
        run->host.firmwareVersion = QStringLiteral("2.1.7");
        ScopedLogCapture log;
        run->updater.checkForUpdates();
        QTest::qWait(300);
        EXPECT_EQ(log.lines(), (std::vector<std::string>{"CFU: In checkForUpdates\n", "CFU: Updates are disabled.\n"}));
        EXPECT_EQ(run->host.firmwareOffers, 0);
    }
    EXPECT_TRUE(m_server->requests().empty());

    setSetting(keys::kUserHasSetPreferences, std::nullopt);
    setSetting(keys::kAutomaticUpdateBehavior, std::nullopt);
    auto run = launch();
    ScopedLogCapture log;
    run->updater.checkForUpdates();
    QTest::qWait(300);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Not checking for updates because this is the first launch.\n"});
    EXPECT_TRUE(m_server->requests().empty());
    EXPECT_EQ(run->host.saves, 0);
}

TEST_F(SoftwareUpdaterTest, NewerAppIsDownloadedKeptWhileItVerifiesAndFetchedAgainWhenNot)
{
    const QByteArray archive = payload(300000, 3);
    publishApp(QStringLiteral("1.10"), QStringLiteral("kelvo-1.10.zip"), archive);
    {
        auto run = launch();
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run, 1));
        EXPECT_TRUE(log.contains("CFU: App version: 1.9; Latest: 1.10\n"));
        EXPECT_TRUE(log.contains("CFU: appNeedsUpdate: YES\n"));
        EXPECT_TRUE(log.contains("NSURLSession app download succeeded.\n"));
        EXPECT_TRUE(log.contains("App download downloaded 300000 bytes out of 300000.\n"));
        EXPECT_TRUE(run->questions.asked.empty()); // behaviour 0 downloads without asking
        EXPECT_FALSE(run->updater.downloadingAppUpdate());
    }
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_app_update_1.10.zip")), archive);
    EXPECT_EQ(stringSetting(keys::kAppVersionReadyToInstall), QStringLiteral("1.10"));
    EXPECT_EQ(stringSetting(keys::kAppDownloadExpectedChecksum), sha512ChecksumText(archive));
    EXPECT_FALSE(setting(keys::kAppVersionCurrentlyDownloading));
    EXPECT_FALSE(setting(keys::kAppURLCurrentlyDownloading));
    ASSERT_TRUE(setting(keys::kLastCheckedForSoftwareUpdates));
    EXPECT_LE(setting(keys::kLastCheckedForSoftwareUpdates)->asDate()->secsTo(QDateTime::currentDateTimeUtc()), 60);
    EXPECT_EQ(m_server->requestsFor(QStringLiteral("/kelvo-1.10.zip")).size(), 1u);

    // A later launch with the check due again: the archive verifies, so it
    // is neither deleted nor fetched again.
    setSetting(keys::kLastCheckedForSoftwareUpdates, std::nullopt);
    {
        auto run = launch();
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run));
        EXPECT_TRUE(log.contains("CFU: App update download already finished.\n"));
        EXPECT_FALSE(log.contains("Checksums do not match.  Deleting app update file.\n"));
    }
    EXPECT_EQ(m_server->requestsFor(QStringLiteral("/kelvo-1.10.zip")).size(), 1u);
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_app_update_1.10.zip")), archive);

    // A damaged archive is deleted, forgotten and downloaded again.
    QFile damaged(m_cache + QStringLiteral("/quadrel_app_update_1.10.zip"));
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    damaged.seek(1000);
    damaged.write("x");
    damaged.close();
    setSetting(keys::kLastCheckedForSoftwareUpdates, std::nullopt);
    {
        auto run = launch();
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run, 1));
        EXPECT_TRUE(log.contains("Checksums do not match.  Deleting app update file.\n"));
        EXPECT_TRUE(log.contains("NSURLSession app download succeeded.\n"));
    }
    EXPECT_EQ(m_server->requestsFor(QStringLiteral("/kelvo-1.10.zip")).size(), 2u);
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_app_update_1.10.zip")), archive);
    EXPECT_EQ(stringSetting(keys::kAppVersionReadyToInstall), QStringLiteral("1.10"));
}

TEST_F(SoftwareUpdaterTest, OnlyANumericallyNewerAppVersionIsDownloaded)
{
    struct Case {
        const char *running;
        QByteArray list;
        const char *logLine;
        bool downloads;
    };
    const QString url = m_server->url(QStringLiteral("/app.zip"));
    const QString checksum = sha512ChecksumText(payload(5000, 4));
    m_server->putFile(QStringLiteral("app.zip"), payload(5000, 4));
    const std::vector<Case> cases = {
        {"1.9", plist({{"LatestAppVersion", "1.10"}, {"LatestAppURL", url}, {"LatestAppChecksum", checksum}}),
         "CFU: App version: 1.9; Latest: 1.10\n", true},
        {"2.0", plist({{"LatestAppVersion", "2.0"}, {"LatestAppURL", url}, {"LatestAppChecksum", checksum}}),
         "CFU: App version: 2.0; Latest: 2.0\n", false},
        {"1.9", plist({{"LatestAppURL", url}, {"LatestAppChecksum", checksum}}), "CFU: App version: 1.9; Latest: 1.9\n",
         false},
        // A value that is not a string counts as missing.
        {"1.9",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>LatestAppVersion</key><integer>99</integer>"
         "<key>LatestAppURL</key><array/></dict></plist>",
         "CFU: App version: 1.9; Latest: 1.9\n", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.logLine);
        setSetting(keys::kLastCheckedForSoftwareUpdates, std::nullopt);
        setSetting(keys::kAppVersionReadyToInstall, std::nullopt);
        m_server->putFile(QStringLiteral("linux_autoupdate.plist"), c.list);
        const size_t before = m_server->requestsFor(QStringLiteral("/app.zip")).size();
        auto run = launch();
        run->host.appVersion = QString::fromLatin1(c.running);
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run, c.downloads ? 1 : 0));
        EXPECT_TRUE(log.contains(c.logLine));
        EXPECT_TRUE(log.contains(c.downloads ? "CFU: appNeedsUpdate: YES\n" : "CFU: appNeedsUpdate: NO\n"));
        EXPECT_EQ(m_server->requestsFor(QStringLiteral("/app.zip")).size() - before, c.downloads ? 1u : 0u);
        EXPECT_EQ(stringSetting(keys::kAppVersionReadyToInstall).has_value(), c.downloads);
        EXPECT_TRUE(setting(keys::kLastCheckedForSoftwareUpdates));
    }
}

TEST_F(SoftwareUpdaterTest, NoToTheQuestionDownloadsNothingAndIsNotAskedAgainThisRun)
{
    setSetting(keys::kAutomaticUpdateBehavior, PlistValue::integer(1));
    publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), payload(1000, 5));
    auto run = launch();
    run->questions.answerYes = false;
    {
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run));
        EXPECT_TRUE(log.contains("User cancelled\n"));
    }
    ASSERT_EQ(run->questions.asked.size(), 1u);
    EXPECT_EQ(run->questions.asked[0].kind, UpdateQuestions::Kind::AppDownload);
    EXPECT_EQ(run->questions.asked[0].message, QStringLiteral("A newer version of this application is available for "
                                                              "download.  Would you like to download it now?"));
    EXPECT_EQ(run->questions.asked[0].defaultTitle, QStringLiteral("Yes"));
    EXPECT_EQ(run->questions.asked[0].alternateTitle, QStringLiteral("No"));
    // The date is set all the same, so the question comes back after the
    // interval, not at the next launch.
    EXPECT_TRUE(setting(keys::kLastCheckedForSoftwareUpdates));

    setSetting(keys::kLastCheckedForSoftwareUpdates, std::nullopt);
    ASSERT_TRUE(check(*run));
    EXPECT_EQ(run->questions.asked.size(), 1u);
    EXPECT_TRUE(m_server->requestsFor(QStringLiteral("/app.zip")).empty());
    EXPECT_FALSE(setting(keys::kAppVersionCurrentlyDownloading));
}

TEST_F(SoftwareUpdaterTest, TwoChecksInQuickSuccessionFetchOnce)
{
    publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), payload(1000, 6));
    auto run = launch();
    QSignalSpy finished(&run->updater, &SoftwareUpdater::checkFinished);
    QSignalSpy ended(&run->updater, &SoftwareUpdater::downloadEnded);
    run->updater.checkForUpdates();
    EXPECT_TRUE(run->updater.retrievingVersionInfo());
    run->updater.checkForUpdates();
    ASSERT_TRUE(finished.wait(10000));
    ASSERT_TRUE(ended.count() == 1 || ended.wait(10000));
    QTest::qWait(200);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(m_server->requestsFor(QString::fromLatin1(kListPath)).size(), 1u);
    EXPECT_EQ(m_server->requestsFor(QStringLiteral("/app.zip")).size(), 1u);
    EXPECT_FALSE(run->updater.retrievingVersionInfo());
}

enum class OnResume { Continues, IgnoresRange, FileChanged };

class InterruptedDownloadTest : public SoftwareUpdaterTest, public ::testing::WithParamInterface<OnResume> {};

TEST_P(InterruptedDownloadTest, ResumesWithRangeOrRestartsCleanly)
{
    setSetting(keys::kAutomaticUpdateBehavior, PlistValue::integer(1));
    const QByteArray archive = payload(200001, 7);
    publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), archive);
    m_server->setRoutes({{"/app.zip", QJsonObject{{"mode", "close-half"}, {"etag", "\"first\""}}}});
    {
        auto run = launch();
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run, 1));
        EXPECT_TRUE(hasLineStartingWith(log, "NSURLSession app download failed with error "));
        EXPECT_EQ(run->questions.asked.size(), 1u);
        EXPECT_FALSE(run->updater.downloadingAppUpdate());
    }
    ASSERT_TRUE(setting(keys::kAppDownloadResumeData));
    const auto resume = ResumeData::decode(*setting(keys::kAppDownloadResumeData)->asData());
    ASSERT_TRUE(resume);
    EXPECT_EQ(resume->bytes, 100000);
    EXPECT_EQ(resume->validator, QByteArray("\"first\""));
    EXPECT_EQ(QFileInfo(m_cache + QStringLiteral("/quadrel_app_update_1.10.zip")).size(), 100000);
    EXPECT_FALSE(setting(keys::kAppVersionReadyToInstall));

    QByteArray expected = archive;
    switch (GetParam()) {
    case OnResume::Continues:
        m_server->setRoutes({{"/app.zip", QJsonObject{{"etag", "\"first\""}}}});
        break;
    case OnResume::IgnoresRange:
        m_server->setRoutes({{"/app.zip", QJsonObject{{"etag", "\"first\""}, {"mode", "ignore-range"}}}});
        break;
    case OnResume::FileChanged:
        expected = payload(150000, 8);
        publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), expected);
        m_server->setRoutes({{"/app.zip", QJsonObject{{"etag", "\"second\""}}}});
        break;
    }
    // Qt sends a request once more by itself when a reused connection
    // closes early, so the first launch may have asked twice; what counts is
    // the one request of the second launch.
    const auto before = m_server->requestsFor(QStringLiteral("/app.zip")).size();
    // The date is recent, but the resume data makes the check due at once,
    // and the download continues without asking again.
    auto run = launch();
    ScopedLogCapture log;
    ASSERT_TRUE(check(*run, 1));
    EXPECT_TRUE(run->questions.asked.empty());
    const auto requests = m_server->requestsFor(QStringLiteral("/app.zip"));
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().value("range").toString(), QStringLiteral("bytes=100000-"));
    EXPECT_EQ(requests.back().value("if_range").toString(), QStringLiteral("\"first\""));
    EXPECT_EQ(log.contains("NSURLSession resumed downloading " + m_server->url("/app.zip").toStdString() +
                           " at offset 100000"),
              GetParam() == OnResume::Continues);
    EXPECT_TRUE(log.contains("NSURLSession app download succeeded.\n"));
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_app_update_1.10.zip")), expected);
    EXPECT_TRUE(verifySHA512ChecksumForFile(stringSetting(keys::kAppDownloadExpectedChecksum),
                                            m_cache + QStringLiteral("/quadrel_app_update_1.10.zip")));
    EXPECT_FALSE(setting(keys::kAppDownloadResumeData));
    EXPECT_EQ(stringSetting(keys::kAppVersionReadyToInstall), QStringLiteral("1.10"));
}

INSTANTIATE_TEST_SUITE_P(Server, InterruptedDownloadTest,
                         ::testing::Values(OnResume::Continues, OnResume::IgnoresRange, OnResume::FileChanged));

TEST_F(SoftwareUpdaterTest, BytesForAnotherPlaceAreRefusedAndTheNextDownloadStartsAfresh)
{
    setSetting(keys::kAutomaticUpdateBehavior, PlistValue::integer(1));
    const QByteArray archive = payload(200001, 9);
    publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), archive);
    m_server->setRoutes({{"/app.zip", QJsonObject{{"mode", "close-half"}, {"etag", "\"first\""}}}});
    {
        auto run = launch();
        ASSERT_TRUE(check(*run, 1));
    }
    ASSERT_TRUE(setting(keys::kAppDownloadResumeData));

    // The server answers the resume with bytes starting one past the offset
    // asked for: appended, they would shift the rest of the file.
    m_server->setRoutes({{"/app.zip", QJsonObject{{"etag", "\"first\""}, {"mode", "wrong-range"}}}});
    {
        auto run = launch();
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run, 1));
        EXPECT_TRUE(hasLineStartingWith(log, "NSURLSession app download failed with error "));
        EXPECT_FALSE(log.contains("NSURLSession app download succeeded.\n"));
    }
    EXPECT_FALSE(setting(keys::kAppVersionReadyToInstall));
    EXPECT_FALSE(setting(keys::kAppDownloadResumeData));

    // Nothing left to resume: the next due check fetches the whole file.
    setSetting(keys::kLastCheckedForSoftwareUpdates, std::nullopt);
    m_server->setRoutes({{"/app.zip", QJsonObject{{"etag", "\"first\""}}}});
    const auto before = m_server->requestsFor(QStringLiteral("/app.zip")).size();
    auto run = launch();
    ASSERT_TRUE(check(*run, 1));
    const auto requests = m_server->requestsFor(QStringLiteral("/app.zip"));
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_TRUE(requests.back().value("range").toString().isEmpty());
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_app_update_1.10.zip")), archive);
    EXPECT_EQ(stringSetting(keys::kAppVersionReadyToInstall), QStringLiteral("1.10"));
}

TEST_F(SoftwareUpdaterTest, QuitKeepsTheResumeDataAndTheNextLaunchContinues)
{
    const QByteArray archive = payload(3 << 20, 9);
    publishApp(QStringLiteral("1.10"), QStringLiteral("app.zip"), archive);
    m_server->setRoutes({{"/app.zip", QJsonObject{{"mode", "stall-half"}}}});
    {
        auto run = launch();
        ScopedLogCapture log;
        QSignalSpy finished(&run->updater, &SoftwareUpdater::checkFinished);
        run->updater.checkForUpdates();
        ASSERT_TRUE(finished.wait(10000));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const std::vector<std::string> lines = log.lines();
                return std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
                    return line.rfind("App download downloaded ", 0) == 0 && line.ends_with(" bytes out of 3145728.\n");
                });
            },
            10000));
        run->updater.pauseDownloadsOnQuit();
        EXPECT_FALSE(run->updater.downloadingAppUpdate());
    }
    ASSERT_TRUE(setting(keys::kAppDownloadResumeData));
    const auto resume = ResumeData::decode(*setting(keys::kAppDownloadResumeData)->asData());
    ASSERT_TRUE(resume);
    EXPECT_GE(resume->bytes, 1 << 20);
    EXPECT_EQ(QFileInfo(m_cache + QStringLiteral("/quadrel_app_update_1.10.zip")).size(), resume->bytes);

    m_server->setRoutes({});
    auto run = launch();
    ASSERT_TRUE(check(*run, 1));
    const auto requests = m_server->requestsFor(QStringLiteral("/app.zip"));
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].value("range").toString(), QStringLiteral("bytes=%1-").arg(resume->bytes));
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_app_update_1.10.zip")), archive);
}

TEST_F(SoftwareUpdaterTest, ABrokenControlListChangesNothingButTheLog)
{
    struct Case {
        const char *name;
        QJsonObject route;
        QByteArray body;
        std::string logPrefix;
        std::string logSuffix;
    };
    const std::string fetchFailed = "CFU: Could not fetch update control plist.  Error ";
    const std::vector<Case> cases = {
        {"404", {{"status", 404}}, "<html>gone</html>", fetchFailed + "(null), HTTP status code 404\n", ""},
        {"500", {{"status", 500}}, "<html>broken</html>", fetchFailed + "(null), HTTP status code 500\n", ""},
        {"time-out", {{"mode", "hang"}}, "", fetchFailed, ", HTTP status code 0\n"},
        {"html",
         {{"content_type", "text/html"}},
         "<!DOCTYPE html><html><body>Hello</body></html>",
         "CFU: Could not decode automatic update property list: ",
         "\n"},
        {"array root",
         {},
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>1.10</string></array></plist>",
         "CFU: Automatic update property list is in the wrong format.\n",
         ""},
        {"100 MB", {{"mode", "endless"}}, "", fetchFailed, ", HTTP status code 200\n"},
        {"redirect loop", {{"mode", "redirect"}, {"location", m_server->url(kListPath)}}, "", fetchFailed, ""},
        {"redirect to a file", {{"mode", "redirect"}, {"location", "file:///etc/passwd"}}, "", fetchFailed, ""},
    };
    setSetting(keys::kLastCheckedForFirmwareUpdates, PlistValue::date(QDateTime::currentDateTimeUtc().addDays(-30)));
    UpdaterConfig c = config();
    c.controlListTimeoutMs = 500; // stands in for the 30 s
    c.maxControlListBytes = 64 << 10;
    for (const Case &cs : cases) {
        SCOPED_TRACE(cs.name);
        m_server->setRoutes({{kListPath, cs.route}});
        m_server->putFile(QStringLiteral("linux_autoupdate.plist"), cs.body);
        const QByteArray settingsBefore = settingsFile();
        auto run = launch(c);
        run->host.firmwareVersion = QStringLiteral("2.1.7");
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run));
        const std::vector<std::string> lines = log.lines();
        ASSERT_FALSE(lines.empty());
        const std::string &last = lines.back();
        EXPECT_EQ(last.rfind(cs.logPrefix, 0), 0u) << last;
        EXPECT_TRUE(last.size() >= cs.logSuffix.size() &&
                    last.compare(last.size() - cs.logSuffix.size(), cs.logSuffix.size(), cs.logSuffix) == 0)
            << last;
        EXPECT_EQ(lines[lines.size() - 2], "CFU: Requesting update control plist\n");
        EXPECT_EQ(settingsFile(), settingsBefore);
        EXPECT_FALSE(run->updater.retrievingVersionInfo());
        EXPECT_FALSE(QDir(m_cache).exists() && !QDir(m_cache).isEmpty());
    }
}

TEST_F(SoftwareUpdaterTest, HostileDownloadsStayInTheCacheAndLeaveTheSettingsConsistent)
{
    struct Case {
        const char *name;
        QString version;
        QString url;
        QJsonObject route;
        bool succeeds;
        std::string log;
    };
    m_server->putFile(QStringLiteral("app.zip"), payload(4000, 10));
    m_server->putFile(QStringLiteral("dir with space/\u00fcber.zip"), payload(4000, 10));
    const std::vector<Case> cases = {
        {"endless body",
         "1.10",
         m_server->url("/app.zip"),
         {{"mode", "endless"}},
         false,
         "NSURLSession app download failed with error the file is larger than 1048576 bytes\n"},
        {"redirect to a file",
         "1.11",
         m_server->url("/app.zip"),
         {{"mode", "redirect"}, {"location", "file:///etc/passwd"}},
         false,
         "NSURLSession app download failed with error "},
        {"redirect loop",
         "1.12",
         m_server->url("/app.zip"),
         {{"mode", "redirect"}, {"location", "/app.zip"}},
         false,
         "NSURLSession app download failed with error "},
        {"plain http elsewhere", "1.13", "http://updates.example.com/app.zip", {}, false, "Download of "},
        {"a path in the version",
         "9/../../../escaped",
         m_server->url("/app.zip"),
         {},
         true,
         "NSURLSession app download succeeded.\n"},
        {"spaces and non-ASCII",
         "1.14",
         m_server->url("/dir with space/\u00fcber.zip"),
         {},
         true,
         "NSURLSession app download succeeded.\n"},
    };
    UpdaterConfig c = config();
    c.downloadLimits.maxBytes = 1 << 20;
    for (const Case &cs : cases) {
        SCOPED_TRACE(cs.name);
        m_server->setRoutes({{"/app.zip", cs.route}});
        m_server->putFile(QStringLiteral("linux_autoupdate.plist"),
                          plist({{"LatestAppVersion", cs.version},
                                 {"LatestAppURL", cs.url},
                                 {"LatestAppChecksum", sha512ChecksumText(payload(4000, 10))}}));
        setSetting(keys::kLastCheckedForSoftwareUpdates, std::nullopt);
        setSetting(keys::kAppVersionReadyToInstall, std::nullopt);
        auto run = launch(c);
        ScopedLogCapture log;
        QSignalSpy ended(&run->updater, &SoftwareUpdater::downloadEnded);
        ASSERT_TRUE(check(*run));
        if (ended.isEmpty() && cs.url.startsWith(m_server->base())) {
            ASSERT_TRUE(ended.wait(15000));
        }
        EXPECT_TRUE(hasLineStartingWith(log, cs.log)) << testing::PrintToString(log.lines());
        EXPECT_FALSE(run->updater.downloadingAppUpdate());
        EXPECT_EQ(stringSetting(keys::kAppVersionReadyToInstall).has_value(), cs.succeeds);
        EXPECT_FALSE(setting(keys::kAppDownloadResumeData));
    }
    // Everything written lies in the cache folder, and only update files.
    QDirIterator it(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.startsWith(m_root) || path == m_settingsPath)
            continue;
        EXPECT_TRUE(path.startsWith(m_cache + QStringLiteral("/quadrel_app_update_"))) << path.toStdString();
        EXPECT_FALSE(path.mid(m_cache.size() + 1).contains(u'/')) << path.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("escaped.zip"))));
}

TEST_F(SoftwareUpdaterTest, FirmwareWaitsForTheCameraAndIsOfferedOnceVerified)
{
    const QByteArray image = payload(20000, 11);
    m_server->putFile(QStringLiteral("fw.bin"), image);
    m_server->putFile(QStringLiteral("app.zip"), payload(100, 12));
    m_server->putFile(QStringLiteral("linux_autoupdate.plist"),
                      plist({{"LatestAppVersion", "1.10"},
                             {"LatestAppURL", m_server->url("/app.zip")},
                             {"LatestDeviceFirmwareVersion", "2.2"},
                             {"LatestDeviceFirmwareURL", m_server->url("/fw.bin")},
                             {"LatestDeviceFirmwareChecksum", sha512ChecksumText(image)}}));
    // A system package: the viewer cannot replace itself, the firmware is
    // handled all the same.
    UpdaterConfig c = config();
    c.installFolder = m_dir.filePath(QStringLiteral("not-writable"));
    {
        auto run = launch(c);
        ScopedLogCapture log;
        ASSERT_TRUE(check(*run));
        EXPECT_TRUE(log.contains("CFU: Device not ready.  Disabling firmware checks\n"));
        EXPECT_TRUE(log.contains("CFU: Device firmware version: (null); Latest: 2.2\n"));
        EXPECT_TRUE(log.contains("CFU: deviceFirmwareNeedsUpdate: NO\n"));
        EXPECT_TRUE(log.contains("Not downloading app update because app is on a read-only volume.\n"));
        EXPECT_FALSE(setting(keys::kLastCheckedForFirmwareUpdates));

        // The camera reports its versions: a second check evaluates the firmware.
        run->host.firmwareVersion = QStringLiteral("2.1.7");
        log.clear();
        ASSERT_TRUE(check(*run, 1));
        EXPECT_TRUE(log.contains("CFU: timeToCheckForSoftwareUpdates: NO\n"));
        EXPECT_TRUE(log.contains("CFU: deviceFirmwareNeedsUpdate: YES\n"));
        EXPECT_TRUE(log.contains("NSURLSession device firmware download succeeded.\n"));
    }
    EXPECT_TRUE(m_server->requestsFor(QStringLiteral("/app.zip")).empty());
    EXPECT_EQ(cacheFile(QStringLiteral("quadrel_firmware_update_2.2.bin")), image);
    EXPECT_EQ(stringSetting(keys::kDeviceFirmwareVersionReadyToInstall), QStringLiteral("2.2"));

    // The next launch offers the verified image once, and does not fetch it again.
    setSetting(keys::kLastCheckedForFirmwareUpdates, std::nullopt);
    auto run = launch(c);
    run->host.firmwareVersion = QStringLiteral("2.1.7");
    ScopedLogCapture log;
    ASSERT_TRUE(check(*run));
    EXPECT_TRUE(log.contains("Showing \"ready to update\" alert\n"));
    EXPECT_TRUE(log.contains("******2.2 = 2.2\n"));
    EXPECT_EQ(run->host.firmwareOffers, 1);
    EXPECT_EQ(m_server->requestsFor(QStringLiteral("/fw.bin")).size(), 1u);
    setSetting(keys::kLastCheckedForFirmwareUpdates, std::nullopt);
    ASSERT_TRUE(check(*run));
    EXPECT_EQ(run->host.firmwareOffers, 1);
}

} // namespace
} // namespace kelvo::update
