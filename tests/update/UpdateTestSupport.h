#pragma once

// A real web server for the update tests, the settings file as the viewer
// keeps it, and scripted answers to the update questions.

#include "settings/SettingsStore.h"
#include "settings/ViewerPreferences.h"
#include "update/UpdateHost.h"
#include "update/UpdateQuestions.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>
#include <vector>

namespace kelvo::update::test {

// update_test_server.py on a free port of this machine, serving `root`.
class UpdateTestServer {
public:
    explicit UpdateTestServer(const QString &root) : m_root(root)
    {
        m_process.setProgram(QStringLiteral("python3"));
        m_process.setArguments({QStringLiteral(KELVO_UPDATE_TEST_SERVER), QStringLiteral("--root"), root});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return;
        while (m_port == 0 && m_process.waitForReadyRead(5000)) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("PORT "))
                m_port = line.mid(5).toInt();
        }
    }
    ~UpdateTestServer()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(2000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    bool running() const { return m_port != 0; }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString url(const QString &path) const { return base() + path; }

    void putFile(const QString &name, const QByteArray &content) const
    {
        QFile file(m_root + u'/' + name);
        QDir().mkpath(QFileInfo(file).absolutePath());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content);
    }
    // Replaces the misbehaviour table (see the server's description).
    void setRoutes(const QJsonObject &routes) const
    {
        putFile(QStringLiteral("routes.json"), QJsonDocument(routes).toJson());
    }

    // Every request so far, oldest first.
    std::vector<QJsonObject> requests() const
    {
        std::vector<QJsonObject> result;
        QFile file(m_root + QStringLiteral("/requests.log"));
        if (!file.open(QIODevice::ReadOnly))
            return result;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                result.push_back(QJsonDocument::fromJson(line).object());
        }
        return result;
    }
    std::vector<QJsonObject> requestsFor(const QString &path) const
    {
        std::vector<QJsonObject> result;
        for (const QJsonObject &request : requests()) {
            if (request.value(QStringLiteral("path")).toString() == path)
                result.push_back(request);
        }
        return result;
    }

private:
    QString m_root;
    QProcess m_process;
    int m_port = 0;
};

// The controller's side of the updater, kept in a real settings file the way
// the viewer loads and saves its global keys.
class StoreBackedHost : public UpdateHost {
public:
    explicit StoreBackedHost(const QString &settingsPath) : m_store(settingsPath) {}

    void loadPreferences() override
    {
        ++loads;
        // The test changes the file between checks, as another run would.
        m_store.reload();
        const settings::LoadPlan plan = settings::readViewerPreferences(m_store, settings::PreferencesContext());
        m_preferences = plan.preferences;
        if (!m_preferences.userHasSetPreferences)
            m_firstLaunch = true;
    }
    void savePreferences() override
    {
        ++saves;
        settings::writeUpdatePart(m_store, m_preferences);
        m_store.synchronize();
    }
    bool firstLaunch() const override { return m_firstLaunch; }
    settings::UpdateBookkeeping updateBookkeeping() const override { return m_preferences.update; }
    void setUpdateBookkeeping(const settings::UpdateBookkeeping &bookkeeping) override
    {
        m_preferences.update = bookkeeping;
    }
    std::optional<QString> configuredUpdateHost() const override { return std::nullopt; }
    QString bundleVersion() const override { return appVersion; }
    std::optional<QString> deviceFirmwareVersion() const override { return firmwareVersion; }
    bool deviceReady() const override { return firmwareVersion.has_value(); }
    void resetStuckVideoDevice() override {}
    void bringVideoWindowForward() override {}
    bool displayReadyToUpdateAlert() override
    {
        ++firmwareOffers;
        return true;
    }

    settings::SettingsStore &store() { return m_store; }

    QString appVersion = QStringLiteral("1.9");
    std::optional<QString> firmwareVersion;
    int loads = 0;
    int saves = 0;
    int firmwareOffers = 0;

private:
    settings::SettingsStore m_store;
    settings::ViewerPreferences m_preferences;
    bool m_firstLaunch = false;
};

class ScriptedQuestions : public UpdateQuestions {
public:
    bool askToDownload(Kind kind, const QString &message, const QString &defaultTitle,
                       const QString &alternateTitle) override
    {
        asked.push_back({kind, message, defaultTitle, alternateTitle});
        return answerYes;
    }
    struct Question {
        Kind kind;
        QString message;
        QString defaultTitle;
        QString alternateTitle;
    };
    std::vector<Question> asked;
    bool answerYes = true;
};

} // namespace kelvo::update::test
