#pragma once

#include "update/ControlList.h"
#include "update/UpdateTransfer.h"

#include <QByteArray>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

class QNetworkReply;

namespace kelvo::update {

class UpdateHost;
class UpdateQuestions;

// Where the updater looks and what it allows itself; the defaults are the
// viewer's, tests shorten the time-outs and sizes.
struct UpdaterConfig {
    // The update host; when none, $KELVO_UPDATE_HOST, then the host from the
    // settings, then kDefaultUpdateHost.
    std::optional<QString> updateHost;
    // Downloads go here; empty means $XDG_CACHE_HOME/kelvo-viewer (~/.cache
    // when unset or not absolute).
    QString cacheFolder;
    // The folder the viewer is installed in; when the user cannot write it
    // (a system package) the viewer cannot replace itself, so application
    // updates are not downloaded. Empty means the folder above the
    // executable's.
    QString installFolder;
    int controlListTimeoutMs = 30000;
    std::int64_t maxControlListBytes = 1 << 20;
    UpdateTransfer::Limits downloadLimits;

    static constexpr const char *kDefaultUpdateHost = "https://updates.morvane.com";
    static constexpr const char *kControlListPath = "/linux_autoupdate.plist";
};

// The update check and the update downloads of the viewer controller: fetches
// the control list, compares versions, asks when the settings say so,
// downloads into the cache folder with resume, verifies what was downloaded,
// and offers a downloaded firmware image for installation. The persistent
// part of its state is the host's update bookkeeping; the flags below live
// for one run.
// Thread: main thread; network events arrive there too. m_mutex guards the
// run's reservation flags, as the controller's own lock does.
class SoftwareUpdater : public QObject {
    Q_OBJECT
public:
    enum class DownloadKind { App = 0, Firmware = 1, Unknown = 2 };

    SoftwareUpdater(UpdateHost &host, UpdateQuestions &questions, UpdaterConfig config = {}, QObject *parent = nullptr);
    ~SoftwareUpdater() override;

    // Starts a check: decides what is due, fetches the control list
    // asynchronously and evaluates it when it arrives (checkFinished()).
    void checkForUpdates();
    // Stops running downloads and keeps their resume data in the settings,
    // so the next launch continues them.
    void pauseDownloadsOnQuit();
    // Offers a downloaded, newer firmware image for installation after
    // verifying it; answers whether it was handed over.
    bool checkForNewerFirmwareReadyToInstall();
    bool appIsInstalledOnReadOnlyVolume() const;

    // The cache file of a version of the application or the firmware.
    QString getDestinationFilenameForVersion(const QString &version, bool isApp) const;
    QString cacheFolder() const;
    // The control list's URL for the configured host; invalid when none.
    QUrl controlListUrl() const;

    bool retrievingVersionInfo() const;
    bool downloadingAppUpdate() const;
    bool downloadingDeviceFirmwareUpdate() const;
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

signals:
    // The control list was evaluated, or the fetch failed; a check that
    // stopped before fetching does not emit it.
    void checkFinished();
    void downloadEnded(kelvo::update::SoftwareUpdater::DownloadKind kind, bool succeeded);

private:
    struct CheckContext {
        bool timeToCheckApp = false;
        bool timeToCheckFirmware = false;
        bool appResumeDataExisted = false;
        bool firmwareResumeDataExisted = false;
    };
    void evaluate(QNetworkReply *reply, const CheckContext &context);
    void evaluateControlList(const ControlList &list, const CheckContext &context);
    void finishCheck();
    bool startDownload(const std::optional<QString> &url, const QString &version, bool isApp,
                       const std::optional<QByteArray> &resumeData);
    DownloadKind downloadType(const QUrl &url) const;
    void forgetTransfer(UpdateTransfer *transfer);
    void transferFinished(UpdateTransfer *transfer);
    void transferFailed(UpdateTransfer *transfer, const QString &error, const std::optional<QByteArray> &resumeData);
    void offerDownloadedFirmware(bool deviceReady);

    UpdateHost &m_host;
    UpdateQuestions &m_questions;
    const UpdaterConfig m_config;
    QNetworkAccessManager m_network;
    std::function<QDateTime()> m_now;
    QPointer<UpdateTransfer> m_appDownload;
    QPointer<UpdateTransfer> m_deviceFirmwareDownload;

    mutable std::mutex m_mutex;
    bool m_retrievingVersionInfo = false;                // guarded by m_mutex
    bool m_downloadingAppUpdate = false;                 // guarded by m_mutex
    bool m_downloadingDeviceFirmwareUpdate = false;      // guarded by m_mutex
    bool m_askedAboutAppDownloadThisLaunch = false;      // guarded by m_mutex
    bool m_askedAboutFirmwareDownloadThisLaunch = false; // guarded by m_mutex
    bool m_askedAboutFirmwareInstallThisLaunch = false;  // guarded by m_mutex
};

} // namespace kelvo::update
