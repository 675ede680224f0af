#pragma once

#include "update/UpdateCache.h"

#include "settings/ViewerPreferences.h"
#include "update/SafeArchive.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace kelvo::update {

class UpdateHost;

// The settings' record of a downloaded version, as the installer reads,
// changes and saves it.
struct ReadyUpdateRecord {
    std::function<settings::UpdateBookkeeping()> bookkeeping;
    std::function<void(const settings::UpdateBookkeeping &)> setBookkeeping;
    std::function<void()> save;

    static ReadyUpdateRecord of(UpdateHost &host);
};

// Swaps two folders of the same file system in one step. Where the file
// system cannot exchange, running is moved aside and fresh renamed into its
// place, and moved back if that fails: at every moment one of the two
// folders is complete at running's path. Afterwards the old folder is at
// fresh's path. Answers false, with nothing changed, on failure.
bool exchangeFolders(const QString &running, const QString &fresh);
// The two renames of exchangeFolders() on its own.
bool replaceByTwoRenames(const QString &running, const QString &fresh);

// Starts program as a child of this process without waiting for it, naming
// this process in its environment (KELVO_RELAUNCH_AFTER_PID) as the one the
// relauncher waits for.
bool startChildProcess(const QString &program, const QStringList &arguments);

// Installs a downloaded application update at launch: verifies the archive,
// unpacks it into a fresh folder of the cache, starts the relauncher, swaps
// the running install folder for the new one and asks the application to
// end. Whatever fails, the folder at the install path is either the old
// program or the new one, complete.
// Thread: main thread.
class UpdateInstaller {
public:
    struct Config {
        // The running install folder (holding bin/kelvo-viewer).
        QString installFolder;
        // The downloads' folder; the archive is unpacked below it.
        QString cacheFolder;
        // The downloaded archive of a version; appArchiveFor() in the cache
        // folder when empty.
        std::function<QString(const QString &version)> archiveForVersion;
        std::function<bool(const QString &program, const QStringList &arguments)> startProcess = startChildProcess;
        std::function<void()> terminate;
        std::function<bool(const QString &running, const QString &fresh)> exchange = exchangeFolders;
        ArchiveLimits limits;
    };

    UpdateInstaller(ReadyUpdateRecord record, Config config);

    // The launch-time decision: installs the ready version if its archive
    // verifies, else deletes the archive and forgets the version. Answers
    // whether an installation ran (the application is then ending).
    bool installReadyUpdate();
    // Unpacks, replaces, relaunches, quits.
    void installAppUpdate(const QString &archivePath);

    static constexpr const char *kBundleName = "Kelvo Viewer.app";
    static constexpr const char *kRelauncherPath = "libexec/kelvo-viewer/boomerel";

private:
    void forgetReadyVersion();

    ReadyUpdateRecord m_record;
    Config m_config;
};

} // namespace kelvo::update
