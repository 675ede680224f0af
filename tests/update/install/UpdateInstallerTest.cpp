// The launch-time installation of a downloaded application, end to end in a
// temporary home: real archives, a real install folder, the real relauncher.
#include "update/UpdateInstaller.h"
#include "common/SystemLog.h"
#include "update/Sha512Checksum.h"
#include "update/UpdateTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelvo::update {
namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeProgram(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

ino_t inodeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// Every file below folder with its content, to see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readFile(path));
    }
    return files;
}

class UpdateInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_cache = m_root.filePath(QStringLiteral("cache/kelvo-viewer"));
        QDir().mkpath(m_cache);
        m_opened = m_root.filePath(QStringLiteral("opened"));
        qputenv("KELVO_TEST_OPENED", QFile::encodeName(m_opened));
        qputenv("KELVO_TEST_RELAUNCHED", QFile::encodeName(m_root.filePath(QStringLiteral("relaunched"))));
        qputenv("KELVO_TEST_BOOMEREL", KELVO_BOOMEREL);
        createInstallFolder(m_root.filePath(QStringLiteral("apps")));
    }

    void createInstallFolder(const QString &parent)
    {
        m_install = parent + QStringLiteral("/Kelvo Viewer.app");
        writeProgram(m_install + QStringLiteral("/bin/kelvo-viewer"),
                     "#!/bin/sh\necho old >> \"$KELVO_TEST_OPENED\"\n");
        // The relauncher notes each start, then does the real work (the
        // archive's is the same).
        writeProgram(m_install + QStringLiteral("/libexec/kelvo-viewer/boomerel"),
                     "#!/bin/sh\necho \"$@\" >> \"$KELVO_TEST_RELAUNCHED\"\nexec \"$KELVO_TEST_BOOMEREL\" \"$@\"\n");
    }

    QString archivePath(const QString &version) const { return appArchiveFor(m_cache, version); }

    // Makes the archive of a case and records it as ready, verified by its
    // real checksum.
    void prepareReadyArchive(const QString &zipCase, const QString &version = QStringLiteral("2.0"))
    {
        QProcess maker;
        maker.start(QStringLiteral("python3"), {QStringLiteral(KELVO_MAKE_UPDATE_ZIP), zipCase, archivePath(version)});
        ASSERT_TRUE(maker.waitForFinished(20000));
        ASSERT_EQ(maker.exitCode(), 0) << maker.readAllStandardError().toStdString();
        settings::UpdateBookkeeping bookkeeping = m_host.updateBookkeeping();
        bookkeeping.appVersionReadyToInstall = version;
        bookkeeping.appDownloadExpectedChecksum = sha512ChecksumText(readFile(archivePath(version)));
        m_host.setUpdateBookkeeping(bookkeeping);
        m_host.savePreferences();
    }

    // An installer whose process start and quit are only recorded.
    UpdateInstaller::Config recordingConfig()
    {
        UpdateInstaller::Config config;
        config.installFolder = m_install;
        config.cacheFolder = m_cache;
        config.archiveForVersion = [this](const QString &version) { return archivePath(version); };
        config.startProcess = [this](const QString &program, const QStringList &arguments) {
            m_started.append(QStringList{program} + arguments);
            return true;
        };
        config.terminate = [this] { ++m_terminations; };
        config.limits.maxEntries = 200;
        config.limits.maxTotalBytes = 1 << 20;
        return config;
    }

    QStringList leftoversInCache() const
    {
        return QDir(m_cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir m_root;
    test::StoreBackedHost m_host{m_root.filePath(QStringLiteral("settings.plist"))};
    QString m_cache;
    QString m_install;
    QString m_opened;
    QList<QStringList> m_started;
    int m_terminations = 0;
};

TEST_F(UpdateInstall, ReadyUpdateReplacesTheFolderAndComesBackThroughTheRelauncher)
{
    prepareReadyArchive(QStringLiteral("good"));
    const ino_t oldInode = inodeOf(m_install);

    // The viewer's side runs in a process of its own that ends as the
    // viewer would; this one adopts the relauncher to see it finish.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t viewer = ::fork();
    if (viewer == 0) {
        test::StoreBackedHost host(m_root.filePath(QStringLiteral("settings.plist")));
        host.loadPreferences();
        UpdateInstaller::Config config;
        config.installFolder = m_install;
        config.cacheFolder = m_cache;
        config.archiveForVersion = [this](const QString &version) { return archivePath(version); };
        bool terminated = false;
        config.terminate = [&terminated] { terminated = true; };
        UpdateInstaller installer(ReadyUpdateRecord::of(host), config);
        const bool installed = installer.installReadyUpdate();
        ::_exit(installed && terminated ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(viewer, &status, 0), viewer);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // Swapped in one step: a different folder at the same path, the old
    // one and the archive gone, nothing left beside either.
    EXPECT_NE(inodeOf(m_install), oldInode);
    EXPECT_TRUE(readFile(m_install + QStringLiteral("/bin/kelvo-viewer")).contains("echo new"));
    EXPECT_EQ(readFile(m_install + QStringLiteral("/share/link")), "<p>manual</p>");
    EXPECT_TRUE(QFileInfo(m_install + QStringLiteral("/bin/kelvo-viewer")).isExecutable());
    EXPECT_EQ(QDir(m_root.filePath(QStringLiteral("apps"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Kelvo Viewer.app")});
    EXPECT_EQ(leftoversInCache(), QStringList());

    // The relauncher waits for the viewer's end, then opens the new program.
    QElapsedTimer waited;
    waited.start();
    while (readFile(m_opened).isEmpty() && waited.elapsed() < 5000)
        QThread::msleep(20);
    // Reap the adopted relauncher once it has exited.
    for (int tries = 0; tries < 100 && ::waitpid(-1, &status, WNOHANG) >= 0; ++tries)
        QThread::msleep(20);
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_EQ(readFile(m_opened), "new\n");
    EXPECT_EQ(readFile(m_root.filePath(QStringLiteral("relaunched"))), QFile::encodeName(m_install) + "\n");

    // The record stays: the next launch finds no archive and forgets it.
    m_host.loadPreferences();
    EXPECT_EQ(m_host.updateBookkeeping().appVersionReadyToInstall, QStringLiteral("2.0"));
    ScopedLogCapture log;
    UpdateInstaller nextLaunch(ReadyUpdateRecord::of(m_host), recordingConfig());
    EXPECT_FALSE(nextLaunch.installReadyUpdate());
    EXPECT_TRUE(log.contains("Checksums do not match.  Deleting file.\n"));
    EXPECT_FALSE(m_host.updateBookkeeping().appVersionReadyToInstall);
}

TEST_F(UpdateInstall, AnArchiveThatDoesNotVerifyIsDeletedAndTheLaunchGoesOn)
{
    UpdateInstaller installer(ReadyUpdateRecord::of(m_host), recordingConfig());
    EXPECT_FALSE(installer.installReadyUpdate());

    prepareReadyArchive(QStringLiteral("good"));
    settings::UpdateBookkeeping bookkeeping = m_host.updateBookkeeping();
    bookkeeping.appDownloadExpectedChecksum = bookkeeping.appDownloadExpectedChecksum->toUpper();
    m_host.setUpdateBookkeeping(bookkeeping);
    ScopedLogCapture log;
    EXPECT_FALSE(installer.installReadyUpdate());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Checksums do not match.  Deleting file.\n"});
    EXPECT_FALSE(QFile::exists(archivePath(QStringLiteral("2.0"))));
    m_host.loadPreferences();
    EXPECT_FALSE(m_host.updateBookkeeping().appVersionReadyToInstall);
    EXPECT_TRUE(m_started.isEmpty());
    EXPECT_EQ(m_terminations, 0);
}

TEST_F(UpdateInstall, HostileOrBrokenArchivesLeaveTheRunningProgramAlone)
{
    const QMap<QString, QByteArray> before = snapshot(m_install);
    const QStringList cases{QStringLiteral("dotdot"),      QStringLiteral("absolute"),
                            QStringLiteral("symlink-out"), QStringLiteral("relative-link-out"),
                            QStringLiteral("device"),      QStringLiteral("huge"),
                            QStringLiteral("many"),        QStringLiteral("no-viewer"),
                            QStringLiteral("empty"),       QStringLiteral("corrupt")};
    for (const QString &zipCase : cases) {
        SCOPED_TRACE(zipCase.toStdString());
        m_started.clear();
        m_terminations = 0;
        prepareReadyArchive(zipCase);
        ScopedLogCapture log;
        UpdateInstaller installer(ReadyUpdateRecord::of(m_host), recordingConfig());
        EXPECT_TRUE(installer.installReadyUpdate());

        // Each is stopped while unpacking, except the one that unpacks
        // without a program in it.
        const std::vector<std::string> lines = log.lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string &line) { return line.starts_with("Unpacking refused: "); }),
                  zipCase == QLatin1String("no-viewer") ? 0 : 1);
        EXPECT_EQ(log.count("Unzip failed.\n"), 1);
        EXPECT_EQ(log.count("App upgrade failed\n"), 1);
        // The relauncher still reopens the unchanged program.
        EXPECT_EQ(m_started,
                  (QList<QStringList>{{m_install + QStringLiteral("/libexec/kelvo-viewer/boomerel"), m_install}}));
        EXPECT_EQ(m_terminations, 1);
        EXPECT_EQ(snapshot(m_install), before);
        EXPECT_EQ(leftoversInCache(), QStringList());
        m_host.loadPreferences();
        EXPECT_FALSE(m_host.updateBookkeeping().appVersionReadyToInstall);
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp/kelvo-absolute-entry")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("/etc/kelvo-written")));
    EXPECT_EQ(QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("apps"), QStringLiteral("cache"), QStringLiteral("settings.plist")}));
}

TEST_F(UpdateInstall, AnExchangeTheFileSystemRefusesKeepsTheOldProgram)
{
    // Another file system than the cache's: the folders cannot be swapped.
    QTemporaryDir elsewhere(QStringLiteral("/dev/shm/kelvo-install-XXXXXX"));
    struct stat cacheInfo {
    }, elsewhereInfo{};
    if (!elsewhere.isValid() || ::stat(QFile::encodeName(m_cache).constData(), &cacheInfo) != 0 ||
        ::stat(QFile::encodeName(elsewhere.path()).constData(), &elsewhereInfo) != 0 ||
        cacheInfo.st_dev == elsewhereInfo.st_dev)
        GTEST_SKIP() << "no second file system";
    createInstallFolder(elsewhere.path());
    const QMap<QString, QByteArray> before = snapshot(m_install);
    prepareReadyArchive(QStringLiteral("good"));

    ScopedLogCapture log;
    UpdateInstaller installer(ReadyUpdateRecord::of(m_host), recordingConfig());
    EXPECT_TRUE(installer.installReadyUpdate());
    EXPECT_EQ(log.count("Unzip failed.\n"), 0);
    EXPECT_EQ(log.count("App upgrade failed\n"), 1);
    EXPECT_EQ(m_started.size(), 1);
    EXPECT_EQ(m_terminations, 1);
    EXPECT_EQ(snapshot(m_install), before);
    EXPECT_EQ(leftoversInCache(), QStringList());
}

TEST_F(UpdateInstall, TheTwoRenamesLeaveAWholeProgramInPlace)
{
    // For file systems without the single-step exchange.
    const QString fresh = m_root.filePath(QStringLiteral("apps/new"));
    writeProgram(fresh + QStringLiteral("/bin/kelvo-viewer"), "new");
    const QMap<QString, QByteArray> before = snapshot(m_install);
    ASSERT_TRUE(replaceByTwoRenames(m_install, fresh));
    EXPECT_EQ(readFile(m_install + QStringLiteral("/bin/kelvo-viewer")), "new");
    EXPECT_EQ(readFile(fresh + QStringLiteral("/bin/kelvo-viewer")),
              before.value(m_install + QStringLiteral("/bin/kelvo-viewer")));

    // The new folder vanished before its move: the old one is put back.
    QDir(fresh).removeRecursively();
    const QMap<QString, QByteArray> current = snapshot(m_install);
    EXPECT_FALSE(replaceByTwoRenames(m_install, fresh));
    EXPECT_EQ(snapshot(m_install), current);
    EXPECT_EQ(QDir(m_root.filePath(QStringLiteral("apps"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Kelvo Viewer.app")});
}

} // namespace
} // namespace kelvo::update
