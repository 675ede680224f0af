#include "app/CommandLine.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace kelvo::app;

TEST(CommandLine, OptionsAreRecognisedAndUnknownOnesRejected)
{
    const QString program = QStringLiteral("kelvo-viewer");
    EXPECT_TRUE(parseCommandLine({program, QStringLiteral("--version")}).showVersion);
    EXPECT_TRUE(parseCommandLine({program, QStringLiteral("-h")}).showHelp);
    const CommandLineOptions simulate = parseCommandLine({program, QStringLiteral("--simulate")});
    EXPECT_TRUE(simulate.simulate);
    EXPECT_TRUE(simulate.error.isEmpty());
    EXPECT_FALSE(parseCommandLine({program, QStringLiteral("--frobnicate")}).error.isEmpty());
    EXPECT_FALSE(parseCommandLine({program, QStringLiteral("stray")}).error.isEmpty());
    const CommandLineOptions none = parseCommandLine({program});
    EXPECT_FALSE(none.showHelp || none.showVersion || none.simulate);
}

TEST(CommandLine, ExecutableAnswersVersionAndHelpWithoutADisplay)
{
    const QString binary = qEnvironmentVariable("KELVO_VIEWER_BINARY");
    ASSERT_FALSE(binary.isEmpty());
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(env);

    process.start(binary, {QStringLiteral("--version")});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString version = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    EXPECT_TRUE(version.startsWith(QStringLiteral("Kelvo Viewer "))) << version.toStdString();
    EXPECT_EQ(version, versionText());

    process.start(binary, {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().contains("--simulate"));

    process.start(binary, {QStringLiteral("--bogus")});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 2);
}
