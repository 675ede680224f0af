#include "update/SoftwareUpdater.h"

#include "common/Localization.h"
#include "common/SystemLog.h"
#include "update/Sha512Checksum.h"
#include "update/UpdateCache.h"
#include "update/UpdateHost.h"
#include "update/UpdateQuestions.h"
#include "update/UrlPolicy.h"
#include "update/VersionOrder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

namespace kelvo::update {

namespace {

constexpr std::int64_t kProgressLogStep = 1 << 20;

const char *yesNo(bool value)
{
    return value ? "YES" : "NO";
}

// How an absent text is written in the log lines.
QByteArray text(const std::optional<QString> &value)
{
    return value ? value->toUtf8() : QByteArrayLiteral("(null)");
}

double updateIntervalSeconds(std::int32_t frequency)
{
    switch (frequency) {
    case 0:
        return 2592000.0; // 30 days
    case 1:
        return 604800.0; // 7 days
    default:
        return 86400.0; // 1 day
    }
}

bool isDue(const std::optional<QDateTime> &lastChecked, double interval, const QDateTime &now, bool resumeDataExists)
{
    if (!lastChecked)
        return true;
    if (lastChecked->addMSecs(qint64(interval * 1000.0)) <= now)
        return true;
    return resumeDataExists;
}

} // namespace

SoftwareUpdater::SoftwareUpdater(UpdateHost &host, UpdateQuestions &questions, UpdaterConfig config, QObject *parent)
    : QObject(parent), m_host(host), m_questions(questions), m_config(std::move(config)),
      m_now([] { return QDateTime::currentDateTimeUtc(); })
{
    // Transfers stop at the first TLS problem; nothing here ever ignores one.
    m_network.setAutoDeleteReplies(false);
}

SoftwareUpdater::~SoftwareUpdater()
{
    delete m_appDownload.data();
    delete m_deviceFirmwareDownload.data();
}

// ---- Where things are ------------------------------------------------------------------------

QString SoftwareUpdater::cacheFolder() const
{
    return m_config.cacheFolder.isEmpty() ? defaultUpdateCacheFolder() : m_config.cacheFolder;
}

QString SoftwareUpdater::getDestinationFilenameForVersion(const QString &version, bool isApp) const
{
    return updateFileFor(cacheFolder(), version, isApp);
}

QUrl SoftwareUpdater::controlListUrl() const
{
    QString host;
    if (m_config.updateHost)
        host = *m_config.updateHost;
    else if (const QString fromEnvironment = qEnvironmentVariable("KELVO_UPDATE_HOST"); !fromEnvironment.isEmpty())
        host = fromEnvironment;
    else if (const std::optional<QString> configured = m_host.configuredUpdateHost();
             configured && !configured->isEmpty())
        host = *configured;
    else
        host = QString::fromLatin1(UpdaterConfig::kDefaultUpdateHost);
    QUrl url(host.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return QUrl();
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + QLatin1String(UpdaterConfig::kControlListPath));
    return url;
}

bool SoftwareUpdater::appIsInstalledOnReadOnlyVolume() const
{
    QString folder = m_config.installFolder;
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const QFileInfo info(folder);
    return !info.exists() || !info.isWritable();
}

bool SoftwareUpdater::retrievingVersionInfo() const
{
    std::lock_guard lock(m_mutex);
    return m_retrievingVersionInfo;
}

bool SoftwareUpdater::downloadingAppUpdate() const
{
    std::lock_guard lock(m_mutex);
    return m_downloadingAppUpdate;
}

bool SoftwareUpdater::downloadingDeviceFirmwareUpdate() const
{
    std::lock_guard lock(m_mutex);
    return m_downloadingDeviceFirmwareUpdate;
}

// ---- The check ---------------------------------------------------------------------------------

void SoftwareUpdater::checkForUpdates()
{
    m_host.loadPreferences();
    if (m_host.firstLaunch()) {
        systemLog("Not checking for updates because this is the first launch.\n");
        return;
    }
    m_host.resetStuckVideoDevice();
    systemLog("CFU: In checkForUpdates\n");
    const settings::UpdateBookkeeping bookkeeping = m_host.updateBookkeeping();
    if (bookkeeping.automaticUpdateBehavior.intValue() == 2) {
        systemLog("CFU: Updates are disabled.\n");
        return;
    }
    const double interval = updateIntervalSeconds(bookkeeping.automaticUpdateFrequency.intValue());
    systemLog("CFU: Update interval: %lf.\n", interval);

    CheckContext context;
    const QDateTime now = m_now();
    context.appResumeDataExisted = bookkeeping.appDownloadResumeData.has_value();
    context.firmwareResumeDataExisted = bookkeeping.deviceFirmwareDownloadResumeData.has_value();
    context.timeToCheckApp =
        isDue(bookkeeping.lastCheckedForSoftwareUpdates, interval, now, context.appResumeDataExisted);
    context.timeToCheckFirmware =
        isDue(bookkeeping.lastCheckedForFirmwareUpdates, interval, now, context.firmwareResumeDataExisted);
    systemLog("CFU: timeToCheckForSoftwareUpdates: %s\n", yesNo(context.timeToCheckApp));
    systemLog("CFU: timeToCheckForFirmwareUpdates: %s\n", yesNo(context.timeToCheckFirmware));

    const bool deviceReady = m_host.deviceReady();
    if (!deviceReady) {
        systemLog("CFU: Device not ready.  Disabling firmware checks\n");
        context.timeToCheckFirmware = false;
    }
    QMetaObject::invokeMethod(
        this, [this, deviceReady] { offerDownloadedFirmware(deviceReady); }, Qt::QueuedConnection);

    if (!context.timeToCheckApp && !context.timeToCheckFirmware) {
        systemLog("Nothing to do.\n");
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_retrievingVersionInfo)
            return;
        m_retrievingVersionInfo = true;
    }

    const QUrl url = controlListUrl();
    systemLog("CFU: Requesting update control plist\n");
    if (!isAcceptedUpdateUrl(url)) {
        const QByteArray reason =
            QStringLiteral("the update host %1 is refused: it must use https").arg(url.toString()).toUtf8();
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
                systemLog("CFU: Could not fetch update control plist.  Error %s, HTTP status code %ld\n",
                          reason.constData(), 0L);
                finishCheck();
            },
            Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_config.downloadLimits.maxRedirects);
    request.setTransferTimeout(m_config.controlListTimeoutMs);
    QNetworkReply *reply = m_network.get(request);
    const std::int64_t maxBytes = m_config.maxControlListBytes;
    connect(reply, &QNetworkReply::redirected, this, [reply](const QUrl &target) {
        if (isAcceptedUpdateUrl(reply->url().resolved(target))) {
            emit reply->redirectAllowed();
            return;
        }
        reply->setProperty("refusal", QStringLiteral("refused a redirect to %1").arg(target.toString()));
        reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, maxBytes] {
        // The list is a few hundred bytes; a server that sends more is not
        // an update host, and its body is not kept in memory.
        if (reply->bytesAvailable() > maxBytes) {
            reply->setProperty("refusal", QStringLiteral("the control list is larger than %1 bytes").arg(maxBytes));
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, context] { evaluate(reply, context); });
}

void SoftwareUpdater::evaluate(QNetworkReply *reply, const CheckContext &context)
{
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> owner(reply,
                                                                          [](QNetworkReply *r) { r->deleteLater(); });
    const long status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString refusal = reply->property("refusal").toString();
    if (!refusal.isEmpty() || reply->error() != QNetworkReply::NoError || status != 200) {
        // An HTTP answer is reported by its status alone, as the platform's
        // loader does; only a failed transfer has an error to show.
        QString error = refusal;
        if (error.isEmpty())
            error = status != 0 ? QStringLiteral("(null)") : reply->errorString();
        systemLog("CFU: Could not fetch update control plist.  Error %s, HTTP status code %ld\n",
                  error.toUtf8().constData(), status);
        finishCheck();
        return;
    }
    const ControlListReading reading = readControlList(reply->readAll());
    switch (reading.outcome) {
    case ControlListReading::Outcome::NotAPropertyList:
        systemLog("CFU: Could not decode automatic update property list: %s\n", reading.error.toUtf8().constData());
        finishCheck();
        return;
    case ControlListReading::Outcome::NotADictionary:
        systemLog("CFU: Automatic update property list is in the wrong format.\n");
        finishCheck();
        return;
    case ControlListReading::Outcome::Read:
        break;
    }
    evaluateControlList(reading.list, context);
}

void SoftwareUpdater::evaluateControlList(const ControlList &list, const CheckContext &context)
{
    const QString appVersion = m_host.bundleVersion();
    const std::optional<QString> firmwareVersion = m_host.deviceFirmwareVersion();
    const QString latestAppVersion = list.latestAppVersion.value_or(appVersion);
    const std::optional<QString> latestFirmwareVersion =
        list.latestDeviceFirmwareVersion ? list.latestDeviceFirmwareVersion : firmwareVersion;

    bool appNeedsUpdate = versionOrdersBefore(appVersion, latestAppVersion);
    bool firmwareNeedsUpdate = versionOrdersBefore(firmwareVersion, latestFirmwareVersion);
    systemLog("CFU: App version: %s; Latest: %s\n", appVersion.toUtf8().constData(),
              latestAppVersion.toUtf8().constData());
    systemLog("CFU: Device firmware version: %s; Latest: %s\n", text(firmwareVersion).constData(),
              text(latestFirmwareVersion).constData());
    systemLog("CFU: appNeedsUpdate: %s\n", yesNo(appNeedsUpdate));
    systemLog("CFU: deviceFirmwareNeedsUpdate: %s\n", yesNo(firmwareNeedsUpdate));

    {
        std::lock_guard lock(m_mutex);
        if (context.timeToCheckApp) {
            settings::UpdateBookkeeping b = m_host.updateBookkeeping();
            if (m_downloadingAppUpdate) {
                appNeedsUpdate = false;
                systemLog("CFU: App update download already in progress.\n");
            } else if (b.appVersionReadyToInstall) {
                systemLog("CFU: App update download already finished.\n");
                const QString file = getDestinationFilenameForVersion(*b.appVersionReadyToInstall, true);
                if (verifySHA512ChecksumForFile(b.appDownloadExpectedChecksum, file)) {
                    appNeedsUpdate = false;
                } else {
                    systemLog("Checksums do not match.  Deleting app update file.\n");
                    QFile::remove(file);
                    b.appVersionReadyToInstall.reset();
                    m_host.setUpdateBookkeeping(b);
                    m_host.savePreferences();
                }
            } else {
                m_downloadingAppUpdate = true;
            }
        }
        if (context.timeToCheckFirmware) {
            settings::UpdateBookkeeping b = m_host.updateBookkeeping();
            if (m_downloadingDeviceFirmwareUpdate) {
                firmwareNeedsUpdate = false;
                systemLog("CFU: Device firmware update download already in progress.\n");
            } else if (b.deviceFirmwareVersionReadyToInstall) {
                systemLog("CFU: Device firmware update download already finished.\n");
                const QString file = getDestinationFilenameForVersion(*b.deviceFirmwareVersionReadyToInstall, false);
                if (!verifySHA512ChecksumForFile(b.deviceFirmwareDownloadExpectedChecksum, file)) {
                    systemLog("Checksums do not match.  Deleting firmware update file.\n");
                    QFile::remove(file);
                    b.deviceFirmwareVersionReadyToInstall.reset();
                    m_host.setUpdateBookkeeping(b);
                    m_host.savePreferences();
                }
            } else {
                m_downloadingDeviceFirmwareUpdate = true;
            }
        }
    }

    const settings::UpdateBookkeeping afterReservations = m_host.updateBookkeeping();
    if (afterReservations.deviceFirmwareVersionReadyToInstall &&
        versionsEqual(afterReservations.deviceFirmwareVersionReadyToInstall, latestFirmwareVersion)) {
        firmwareNeedsUpdate = false;
        systemLog("******%s = %s\n", text(afterReservations.deviceFirmwareVersionReadyToInstall).constData(),
                  text(latestFirmwareVersion).constData());
    }

    const int behavior = afterReservations.automaticUpdateBehavior.intValue();
    bool downloadApp = false;
    if (!versionsEqual(afterReservations.appVersionReadyToInstall, latestAppVersion) && appNeedsUpdate) {
        std::lock_guard lock(m_mutex);
        if (!m_askedAboutAppDownloadThisLaunch) {
            m_askedAboutAppDownloadThisLaunch = true;
            downloadApp = true;
        }
    }
    if (appIsInstalledOnReadOnlyVolume()) {
        systemLog("Not downloading app update because app is on a read-only volume.\n");
        downloadApp = false;
    } else if (downloadApp && !context.appResumeDataExisted && behavior == 1) {
        if (!m_questions.askToDownload(UpdateQuestions::Kind::AppDownload,
                                       localized("A newer version of this application is available for download.  "
                                                 "Would you like to download it now?"),
                                       localized("Yes"), localized("No"))) {
            systemLog("User cancelled\n");
            downloadApp = false;
        }
    }

    bool downloadFirmware = false;
    if (firmwareNeedsUpdate) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_askedAboutFirmwareDownloadThisLaunch) {
                m_askedAboutFirmwareDownloadThisLaunch = true;
                downloadFirmware = true;
            }
        }
        if (downloadFirmware && !context.firmwareResumeDataExisted && behavior == 1 &&
            !m_questions.askToDownload(UpdateQuestions::Kind::FirmwareDownload,
                                       localized("A newer version of the device firmware is available for download.  "
                                                 "Would you like to download it now?"),
                                       localized("Yes"), localized("No"))) {
            systemLog("User cancelled\n");
            downloadFirmware = false;
        }
    }

    m_host.bringVideoWindowForward();

    if (downloadApp) {
        settings::UpdateBookkeeping b = m_host.updateBookkeeping();
        if (b.appVersionCurrentlyDownloading != latestAppVersion)
            b.appDownloadResumeData.reset();
        const std::optional<QByteArray> resume = b.appDownloadResumeData;
        b.appDownloadResumeData.reset();
        m_host.setUpdateBookkeeping(b);
        if (startDownload(list.latestAppURL, latestAppVersion, true, resume)) {
            b = m_host.updateBookkeeping();
            b.appURLCurrentlyDownloading = list.latestAppURL;
            b.appVersionCurrentlyDownloading = latestAppVersion;
            b.appDownloadExpectedChecksum = list.latestAppChecksum;
            m_host.setUpdateBookkeeping(b);
        } else {
            std::lock_guard lock(m_mutex);
            m_downloadingAppUpdate = false;
        }
    }
    if (downloadFirmware && latestFirmwareVersion) {
        settings::UpdateBookkeeping b = m_host.updateBookkeeping();
        if (b.deviceFirmwareVersionCurrentlyDownloading != latestFirmwareVersion)
            b.deviceFirmwareDownloadResumeData.reset();
        const std::optional<QByteArray> resume = b.deviceFirmwareDownloadResumeData;
        b.deviceFirmwareDownloadResumeData.reset();
        m_host.setUpdateBookkeeping(b);
        if (startDownload(list.latestDeviceFirmwareURL, *latestFirmwareVersion, false, resume)) {
            b = m_host.updateBookkeeping();
            b.deviceFirmwareURLCurrentlyDownloading = list.latestDeviceFirmwareURL;
            b.deviceFirmwareVersionCurrentlyDownloading = latestFirmwareVersion;
            b.deviceFirmwareDownloadExpectedChecksum = list.latestDeviceFirmwareChecksum;
            m_host.setUpdateBookkeeping(b);
        } else {
            std::lock_guard lock(m_mutex);
            m_downloadingDeviceFirmwareUpdate = false;
        }
    }

    settings::UpdateBookkeeping b = m_host.updateBookkeeping();
    const QDateTime now = m_now();
    if (context.timeToCheckFirmware)
        b.lastCheckedForFirmwareUpdates = now;
    if (context.timeToCheckApp)
        b.lastCheckedForSoftwareUpdates = now;
    m_host.setUpdateBookkeeping(b);
    m_host.savePreferences();
    finishCheck();
}

void SoftwareUpdater::finishCheck()
{
    {
        std::lock_guard lock(m_mutex);
        m_retrievingVersionInfo = false;
    }
    emit checkFinished();
}

// ---- Firmware offer ------------------------------------------------------------------------------

void SoftwareUpdater::offerDownloadedFirmware(bool deviceReady)
{
    {
        std::lock_guard lock(m_mutex);
        if (!deviceReady || m_askedAboutFirmwareInstallThisLaunch)
            return;
        m_askedAboutFirmwareInstallThisLaunch = true;
    }
    checkForNewerFirmwareReadyToInstall();
}

bool SoftwareUpdater::checkForNewerFirmwareReadyToInstall()
{
    const settings::UpdateBookkeeping b = m_host.updateBookkeeping();
    if (!b.deviceFirmwareVersionReadyToInstall)
        return false;
    if (!versionOrdersBefore(m_host.deviceFirmwareVersion(), b.deviceFirmwareVersionReadyToInstall))
        return false;
    const QString file = getDestinationFilenameForVersion(*b.deviceFirmwareVersionReadyToInstall, false);
    if (!verifySHA512ChecksumForFile(b.deviceFirmwareDownloadExpectedChecksum, file)) {
        // The record stays; the next check sees the file gone and forgets it.
        systemLog("Checksums do not match.  Deleting firmware update file.\n");
        QFile::remove(file);
        return false;
    }
    systemLog("Showing \"ready to update\" alert\n");
    return m_host.displayReadyToUpdateAlert();
}

// ---- Downloads ---------------------------------------------------------------------------------

bool SoftwareUpdater::startDownload(const std::optional<QString> &urlText, const QString &version, bool isApp,
                                    const std::optional<QByteArray> &resumeData)
{
    const QUrl url = urlText ? QUrl(*urlText) : QUrl();
    auto transfer = std::make_unique<UpdateTransfer>(m_network, url, getDestinationFilenameForVersion(version, isApp),
                                                     m_config.downloadLimits, this);
    QString error;
    if (!transfer->start(resumeData, &error)) {
        systemLog("Download of %s could not start: %s\n", text(urlText).constData(), error.toUtf8().constData());
        return false;
    }
    UpdateTransfer *raw = transfer.release();
    (isApp ? m_appDownload : m_deviceFirmwareDownload) = raw;
    auto lastLogged = std::make_shared<qint64>(0);
    connect(raw, &UpdateTransfer::progress, this, [this, raw, lastLogged](qint64 written, qint64 expected) {
        // One line per mebibyte and one at the end keep the journal readable.
        if (written - *lastLogged < kProgressLogStep && written != expected)
            return;
        *lastLogged = written;
        const char *format = "Unknown download downloaded %lld bytes out of %lld.\n";
        switch (downloadType(raw->url())) {
        case DownloadKind::App:
            format = "App download downloaded %lld bytes out of %lld.\n";
            break;
        case DownloadKind::Firmware:
            format = "Firmware download downloaded %lld bytes out of %lld.\n";
            break;
        case DownloadKind::Unknown:
            break;
        }
        systemLog(format, qlonglong(written), qlonglong(expected));
    });
    connect(raw, &UpdateTransfer::resumed, this, [raw](qint64 offset) {
        systemLog("NSURLSession resumed downloading %s at offset %lld", raw->url().toString().toUtf8().constData(),
                  qlonglong(offset));
    });
    connect(raw, &UpdateTransfer::finished, this, [this, raw] { transferFinished(raw); });
    connect(raw, &UpdateTransfer::failed, this,
            [this, raw](const QString &message, const std::optional<QByteArray> &resume) {
                transferFailed(raw, message, resume);
            });
    return true;
}

SoftwareUpdater::DownloadKind SoftwareUpdater::downloadType(const QUrl &url) const
{
    const settings::UpdateBookkeeping b = m_host.updateBookkeeping();
    const QString absolute = url.toString();
    if (b.appURLCurrentlyDownloading && QUrl(*b.appURLCurrentlyDownloading).toString() == absolute)
        return DownloadKind::App;
    if (b.deviceFirmwareURLCurrentlyDownloading &&
        QUrl(*b.deviceFirmwareURLCurrentlyDownloading).toString() == absolute)
        return DownloadKind::Firmware;
    return DownloadKind::Unknown;
}

void SoftwareUpdater::forgetTransfer(UpdateTransfer *transfer)
{
    // A transfer that ended has nothing left to pause at quit.
    if (m_appDownload == transfer)
        m_appDownload = nullptr;
    if (m_deviceFirmwareDownload == transfer)
        m_deviceFirmwareDownload = nullptr;
    transfer->deleteLater();
}

void SoftwareUpdater::transferFinished(UpdateTransfer *transfer)
{
    forgetTransfer(transfer);
    systemLog("NSURLSession finished downloading %s", transfer->url().toString().toUtf8().constData());
    const DownloadKind kind = downloadType(transfer->url());
    if (kind == DownloadKind::Unknown) {
        systemLog("NSURLSession unknown download succeeded.\n");
        emit downloadEnded(kind, true);
        return;
    }
    const bool isApp = kind == DownloadKind::App;
    systemLog(isApp ? "NSURLSession app download succeeded.\n" : "NSURLSession device firmware download succeeded.\n");
    settings::UpdateBookkeeping b = m_host.updateBookkeeping();
    std::optional<QString> &downloadingVersion =
        isApp ? b.appVersionCurrentlyDownloading : b.deviceFirmwareVersionCurrentlyDownloading;
    // The transfer wrote into the file of the version it was started for;
    // should the record name another, the file moves to that one's name.
    const QString destination = getDestinationFilenameForVersion(downloadingVersion.value_or(QString()), isApp);
    if (destination != transfer->destinationPath()) {
        QFile::remove(destination);
        if (!QFile::rename(transfer->destinationPath(), destination))
            systemLog("Failed to move file to its final destination.  Error: %s\n", "rename failed");
    }
    (isApp ? b.appVersionReadyToInstall : b.deviceFirmwareVersionReadyToInstall) = downloadingVersion;
    downloadingVersion.reset();
    (isApp ? b.appURLCurrentlyDownloading : b.deviceFirmwareURLCurrentlyDownloading).reset();
    {
        std::lock_guard lock(m_mutex);
        (isApp ? m_downloadingAppUpdate : m_downloadingDeviceFirmwareUpdate) = false;
    }
    m_host.setUpdateBookkeeping(b);
    m_host.savePreferences();
    emit downloadEnded(kind, true);
}

void SoftwareUpdater::transferFailed(UpdateTransfer *transfer, const QString &error,
                                     const std::optional<QByteArray> &resumeData)
{
    forgetTransfer(transfer);
    systemLog("NSURLSession failed to download %s", transfer->url().toString().toUtf8().constData());
    const DownloadKind kind = downloadType(transfer->url());
    const QByteArray message = error.toUtf8();
    if (kind == DownloadKind::Unknown) {
        systemLog("NSURLSession unknown download failed with error %s.\n", message.constData());
        emit downloadEnded(kind, false);
        return;
    }
    settings::UpdateBookkeeping b = m_host.updateBookkeeping();
    if (kind == DownloadKind::Firmware) {
        systemLog("NSURLSession device firmware download failed with error %s\n", message.constData());
        b.deviceFirmwareDownloadResumeData = resumeData;
    } else {
        systemLog("NSURLSession app download failed with error %s\n", message.constData());
        b.appDownloadResumeData = resumeData;
    }
    {
        std::lock_guard lock(m_mutex);
        (kind == DownloadKind::App ? m_downloadingAppUpdate : m_downloadingDeviceFirmwareUpdate) = false;
    }
    m_host.setUpdateBookkeeping(b);
    // Saved at once: there is no platform service here that would keep the
    // transfer's state should the viewer end before its next save.
    m_host.savePreferences();
    emit downloadEnded(kind, false);
}

void SoftwareUpdater::pauseDownloadsOnQuit()
{
    for (const bool isApp : {true, false}) {
        QPointer<UpdateTransfer> &transfer = isApp ? m_appDownload : m_deviceFirmwareDownload;
        if (!transfer)
            continue;
        const std::optional<QByteArray> resume = transfer->pause();
        delete transfer.data();
        settings::UpdateBookkeeping b = m_host.updateBookkeeping();
        (isApp ? b.appDownloadResumeData : b.deviceFirmwareDownloadResumeData) = resume;
        {
            std::lock_guard lock(m_mutex);
            (isApp ? m_downloadingAppUpdate : m_downloadingDeviceFirmwareUpdate) = false;
        }
        m_host.setUpdateBookkeeping(b);
        m_host.savePreferences();
    }
}

} // namespace kelvo::update
