#include "update/UpdateInstaller.h"

#include "common/SystemLog.h"
#include "update/Sha512Checksum.h"
#include "update/UpdateHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace kelvo::update {
namespace {

QByteArray local(const QString &path)
{
    return QFile::encodeName(path);
}

// A fresh, private folder for one unpacking, so that nothing left from an
// earlier attempt or put there by someone else mixes in.
QString makeFreshFolder(const QString &parent)
{
    QByteArray pattern = local(parent + QStringLiteral("/install-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return {};
    return QFile::decodeName(pattern);
}

} // namespace

bool exchangeFolders(const QString &running, const QString &fresh)
{
    const QByteArray from = local(fresh);
    const QByteArray to = local(running);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return true;
    // Only a file system without the exchange gets the two renames; any
    // other refusal (another file system, no rights) would fail them too.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    return replaceByTwoRenames(running, fresh);
}

bool replaceByTwoRenames(const QString &running, const QString &fresh)
{
    const QByteArray from = local(fresh);
    const QByteArray to = local(running);
    QByteArray aside = local(running + QStringLiteral(".old-XXXXXX"));
    if (!::mkdtemp(aside.data()))
        return false;
    if (::rename(to.constData(), aside.constData()) != 0) {
        ::rmdir(aside.constData());
        return false;
    }
    if (::rename(from.constData(), to.constData()) != 0) {
        ::rename(aside.constData(), to.constData());
        return false;
    }
    return ::rename(aside.constData(), from.constData()) == 0 || QDir(QFile::decodeName(aside)).removeRecursively();
}

bool startChildProcess(const QString &program, const QStringList &arguments)
{
    std::vector<QByteArray> storage{local(program)};
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);
    // The relauncher must know which process to outlive even when it starts
    // after this one has ended and it has been adopted.
    QByteArray self = "KELVO_RELAUNCH_AFTER_PID=" + QByteArray::number(::getpid());
    std::vector<char *> envp{self.data()};
    for (char **variable = environ; *variable; ++variable) {
        if (!QByteArray(*variable).startsWith("KELVO_RELAUNCH_AFTER_PID="))
            envp.push_back(*variable);
    }
    envp.push_back(nullptr);
    pid_t child = 0;
    return ::posix_spawn(&child, storage.front().constData(), nullptr, nullptr, argv.data(), envp.data()) == 0;
}

ReadyUpdateRecord ReadyUpdateRecord::of(UpdateHost &host)
{
    return {[&host] { return host.updateBookkeeping(); },
            [&host](const settings::UpdateBookkeeping &bookkeeping) { host.setUpdateBookkeeping(bookkeeping); },
            [&host] { host.savePreferences(); }};
}

UpdateInstaller::UpdateInstaller(ReadyUpdateRecord record, Config config)
    : m_record(std::move(record)), m_config(std::move(config))
{}

bool UpdateInstaller::installReadyUpdate()
{
    const settings::UpdateBookkeeping bookkeeping = m_record.bookkeeping();
    if (!bookkeeping.appVersionReadyToInstall)
        return false;
    const QString &version = *bookkeeping.appVersionReadyToInstall;
    const QString archive =
        m_config.archiveForVersion ? m_config.archiveForVersion(version) : appArchiveFor(m_config.cacheFolder, version);
    if (!verifySHA512ChecksumForFile(bookkeeping.appDownloadExpectedChecksum, archive)) {
        systemLog("Checksums do not match.  Deleting file.\n");
        QFile::remove(archive);
        forgetReadyVersion();
        return false;
    }
    installAppUpdate(archive);
    return true;
}

void UpdateInstaller::installAppUpdate(const QString &archivePath)
{
    const QString target = m_config.cacheFolder;
    QDir().mkpath(target);
    systemLog("Extracting to %s\n", local(target).constData());

    const QString fresh = makeFreshFolder(target);
    const QString newBundle = fresh + u'/' + QLatin1String(kBundleName);
    bool unpacked = false;
    if (!fresh.isEmpty()) {
        if (const std::optional<QString> refused = extractArchiveSafely(archivePath, fresh, m_config.limits))
            systemLog("Unpacking refused: %s\n", escapedForLog(refused->toUtf8()).constData());
        else
            unpacked = QFileInfo(newBundle + QStringLiteral("/bin/kelvo-viewer")).isExecutable() &&
                       !QFileInfo(newBundle).isSymLink();
    }
    QFile::remove(archivePath);
    if (!unpacked) {
        systemLog("Unzip failed.\n");
        if (!fresh.isEmpty())
            QDir(fresh).removeRecursively();
        forgetReadyVersion();
    }
    systemLog("App at %s\n", local(newBundle).constData());

    // Started before the swap, from the running folder: the program stays
    // readable after its folder is replaced and removed.
    const QString relauncher = m_config.installFolder + u'/' + QLatin1String(kRelauncherPath);
    if (!m_config.startProcess(relauncher, {m_config.installFolder}))
        systemLog("Could not start %s\n", local(relauncher).constData());

    if (unpacked && m_config.exchange(m_config.installFolder, newBundle)) {
        // The old program is now at newBundle's path.
        QDir(fresh).removeRecursively();
    } else {
        systemLog("App upgrade failed\n");
        if (!fresh.isEmpty())
            QDir(fresh).removeRecursively();
    }
    if (m_config.terminate)
        m_config.terminate();
}

void UpdateInstaller::forgetReadyVersion()
{
    settings::UpdateBookkeeping bookkeeping = m_record.bookkeeping();
    bookkeeping.appVersionReadyToInstall.reset();
    m_record.setBookkeeping(bookkeeping);
    m_record.save();
}

} // namespace kelvo::update
