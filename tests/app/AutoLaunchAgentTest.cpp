#include "app/AutoLaunchAgent.h"
#include "app/SystemdUserAgent.h"
#include "common/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kelvo;
using namespace kelvo::app;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    if (permissions)
        file.setPermissions(permissions);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QByteArray &value)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

// A user with a systemd user instance (its private socket stands in as a
// plain file), a systemd unit folder, and a systemctl on PATH that records
// its arguments and exits with the status the test chooses.
struct UserSession {
    QTemporaryDir dir;
    QString unitFolder = dir.filePath(QStringLiteral("config/systemd/user"));
    QString runtime = dir.filePath(QStringLiteral("runtime"));
    QString calls = dir.filePath(QStringLiteral("systemctl.calls"));
    QString statusFile = dir.filePath(QStringLiteral("systemctl.status"));
    QString executable = dir.filePath(QStringLiteral("Kelvo Viewer.app/bin/kelvo-viewer"));
    std::unique_ptr<ScopedEnv> path, runtimeEnv;

    UserSession()
    {
        QDir().mkpath(unitFolder);
        writeFile(runtime + QStringLiteral("/systemd/private"), {});
        writeFile(dir.filePath(QStringLiteral("bin/systemctl")),
                  QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\necho 'not enabled' >&2\n"
                                 "exit $(cat '%2' 2>/dev/null || echo 0)\n")
                      .arg(calls, statusFile)
                      .toUtf8(),
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A real program, so that the service manager's own check of the
        // unit finds what ExecStart= starts.
        QDir().mkpath(QFileInfo(executable).absolutePath());
        QFile::copy(QStringLiteral("/bin/true"), executable);
        path =
            std::make_unique<ScopedEnv>("PATH", dir.filePath(QStringLiteral("bin")).toUtf8() + ':' + qgetenv("PATH"));
        runtimeEnv = std::make_unique<ScopedEnv>("XDG_RUNTIME_DIR", runtime.toUtf8());
    }

    AutoLaunchAgent agent(const QString &exe = QString())
    {
        return AutoLaunchAgent({unitFolder, AutoLaunchAgent::findTemplate(QCoreApplication::applicationDirPath()),
                                exe.isEmpty() ? executable : exe},
                               std::make_shared<SystemdUserAgent>());
    }
    QString unit() const { return unitFolder + QStringLiteral("/com.morvane.quadrel.autolaunch.service"); }
    QStringList takeCalls()
    {
        QStringList lines = QString::fromUtf8(readAll(calls)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QFile::remove(calls);
        return lines;
    }
    QByteArray execLine() const
    {
        for (const QByteArray &line : readAll(unit()).split('\n'))
            if (line.startsWith("ExecStart="))
                return line;
        return {};
    }
};

} // namespace

TEST(AutoLaunchAgent, FirstStartInstallsTheTemplateAndEnablesItByTheChoice)
{
    for (bool wanted : {true, false}) {
        UserSession session;
        ScopedLogCapture log;
        session.agent().installAutoLaunchPropertyList(wanted);
        EXPECT_EQ(session.execLine(), "ExecStart=\"" + session.executable.toUtf8() + '"');
        // Apart from ExecStart=, the user's unit is the shipped template.
        QByteArray shipped = readAll(AutoLaunchAgent::findTemplate(QCoreApplication::applicationDirPath()));
        ASSERT_FALSE(shipped.isEmpty());
        shipped.replace("ExecStart=/usr/bin/kelvo-viewer", session.execLine());
        EXPECT_EQ(readAll(session.unit()), shipped);
        QStringList expected{QStringLiteral("--user disable com.morvane.quadrel.autolaunch.service")};
        if (wanted)
            expected << QStringLiteral("--user enable com.morvane.quadrel.autolaunch.service");
        EXPECT_EQ(session.takeCalls(), expected);
        EXPECT_EQ(log.count("Not loading property list.\n"), wanted ? 0 : 1);

        // The viewer is moved: its next start points the unit at the new
        // place and leaves the registration alone.
        const QString moved = session.dir.filePath(QStringLiteral("elsewhere/kelvo-viewer"));
        session.agent(moved).installAutoLaunchPropertyList(!wanted);
        EXPECT_EQ(session.execLine(), "ExecStart=" + moved.toUtf8());
        EXPECT_TRUE(session.takeCalls().isEmpty());
    }
}

TEST(AutoLaunchAgent, RefreshRewritesOnlyTheProgramOfTheUsersUnit)
{
    UserSession session;
    const QByteArray edited = "# mine\r\n[Unit]\r\nDescription=edited by hand\r\n[Service]\r\n"
                              "Environment=A=1 \\\r\n  B=2\r\nExecStart=-/old/place/kelvo-viewer --simulate\r\n"
                              "ExecStart=/bin/echo second";
    writeFile(session.unit(), edited);
    session.agent(QStringLiteral("/opt/50% off/$HOME/kelvo-viewer")).installAutoLaunchPropertyList(true);
    QByteArray expected = edited;
    expected.replace("-/old/place/kelvo-viewer", "-\"/opt/50%% off/$$HOME/kelvo-viewer\"");
    EXPECT_EQ(readAll(session.unit()), expected);
    EXPECT_TRUE(session.takeCalls().isEmpty());
}

TEST(AutoLaunchAgent, AUnitItCannotReadIsLoggedAndLeftAsItIs)
{
    const struct {
        const char *content;
        const char *logged;
    } cases[] = {
        {"[Service]\nExecStart=/a\n\xff\xfe\n", "Could not decode property list: the file is not UTF-8 text\n"},
        {"[Service]\nExecStart=/a\ngarbage\n", "Could not decode property list: line 3 is neither a section header "
                                               "nor an assignment\n"},
        {"ExecStart=/a\n[Service]\n", "Could not decode property list: line 1 is an assignment outside of any "
                                      "section\n"},
        {"[Service\nExecStart=/a\n", "Could not decode property list: line 1 is not a complete section header\n"},
        {"[Unit]\nDescription=no service\n", "Property list root is not a dictionary.\n"},
        {"[Service]\nType=exec\n[Unit]\nExecStart=/a\n", "Program arguments is not an array.\n"},
        {"[Service]\nExecStart=  \n", "App path not found.\n"},
        {"[Service]\nExecStart=-\n", "App path not found.\n"},
        {"[Service]\nExecStart=\"/unterminated --flag\n", "App path not a string.\n"},
        {"[Service]\nExecStart=\"/a\"b\n", "App path not a string.\n"},
    };
    for (const auto &c : cases) {
        UserSession session;
        writeFile(session.unit(), c.content);
        ScopedLogCapture log;
        EXPECT_FALSE(session.agent().updatePropertyList()) << c.content;
        EXPECT_EQ(log.lines(), std::vector<std::string>{c.logged}) << c.content;
        EXPECT_EQ(readAll(session.unit()), QByteArray(c.content));
    }

    UserSession session;
    ScopedLogCapture log;
    writeFile(session.unit(), "[Service]\nExecStart=/a\n");
    EXPECT_FALSE(session.agent(QStringLiteral("/two\nlines")).updatePropertyList());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Could not encode property list: the path /two\nlines holds a "
                                                    "line break or a null character\n"});
    EXPECT_EQ(readAll(session.unit()), "[Service]\nExecStart=/a\n");
    log.clear();
    QFile::remove(session.unit());
    QDir().mkpath(session.unit());
    EXPECT_FALSE(session.agent().updatePropertyList());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Could not read property list file.\n"});
}

TEST(AutoLaunchAgent, FailingSystemctlIsLoggedWithItsStatus)
{
    UserSession session;
    writeFile(session.statusFile, "3\n");
    ScopedLogCapture log;
    AutoLaunchAgent agent = session.agent();
    agent.installAutoLaunchPropertyList(true);
    EXPECT_TRUE(log.contains("Could not disable the auto-launch user unit: systemctl exited with exit status 3\n"));
    EXPECT_TRUE(log.contains("Could not enable the auto-launch user unit: systemctl exited with exit status 3\n"));
    // The unit is in place all the same.
    EXPECT_TRUE(session.execLine().endsWith("kelvo-viewer\""));
}

TEST(AutoLaunchAgent, WithoutAUserInstanceOrUnitFolderNothingIsWritten)
{
    UserSession session;
    QFile::remove(session.runtime + QStringLiteral("/systemd/private"));
    ScopedLogCapture log;
    session.agent().installAutoLaunchPropertyList(true);
    session.agent().unloadPropertyList();
    session.agent().loadPropertyListIfNeeded(true);
    EXPECT_FALSE(QFile::exists(session.unit()));
    EXPECT_TRUE(session.takeCalls().isEmpty());
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0].rfind("No systemd user instance (", 0), 0u) << log.lines()[0];

    // The service manager runs but the user has no unit folder: the viewer
    // does not make one.
    UserSession noFolder;
    QDir(noFolder.unitFolder).removeRecursively();
    log.clear();
    noFolder.agent().installAutoLaunchPropertyList(true);
    EXPECT_FALSE(QFileInfo::exists(noFolder.unitFolder));
    EXPECT_TRUE(noFolder.takeCalls().isEmpty());
    EXPECT_TRUE(log.lines().empty());
}

TEST(AutoLaunchAgent, TheInstalledUnitPassesSystemdsOwnCheck)
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    UserSession session;
    session.agent().installAutoLaunchPropertyList(true);
    QTemporaryDir runtime;
    QProcess verify;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    verify.setProcessEnvironment(env);
    verify.start(analyze, {QStringLiteral("--user"), QStringLiteral("verify"), session.unit()});
    ASSERT_TRUE(verify.waitForFinished(30000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardError().toStdString();
    EXPECT_TRUE(verify.readAllStandardError().trimmed().isEmpty());
}
