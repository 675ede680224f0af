#include "app/CommandLine.h"

#include "common/BuildInfo.h"

#include <QCommandLineParser>

namespace kelvo::app {
namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption simulate{QStringLiteral("simulate"),
                                QStringLiteral("Show the built-in simulated camera even when a camera is attached.")};
    QCommandLineOption probe{QStringLiteral("probe"),
                             QStringLiteral("Look for the camera without opening a window and print what was found.")};
    QCommandLineOption udevRule{QStringLiteral("udev-rule"),
                                QStringLiteral("Print the udev rule that gives the camera's buttons to the user.")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Kelvo Viewer shows the picture of the Quadrel video magnifier, magnified and recoloured."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(simulate);
        parser.addOption(probe);
        parser.addOption(udevRule);
    }
};

} // namespace

CommandLineOptions parseCommandLine(const QStringList &arguments)
{
    Parser p;
    CommandLineOptions options;
    if (!p.parser.parse(arguments)) {
        options.error = p.parser.errorText();
        return options;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Unexpected argument '%1'.").arg(p.parser.positionalArguments().first());
        return options;
    }
    options.showHelp = p.parser.isSet(p.help);
    options.showVersion = p.parser.isSet(p.version);
    options.simulate = p.parser.isSet(p.simulate);
    options.probe = p.parser.isSet(p.probe);
    options.printUdevRule = p.parser.isSet(p.udevRule);
    return options;
}

QString helpText()
{
    Parser p;
    return QStringLiteral("Usage: kelvo-viewer [options]\n") + p.parser.applicationDescription() +
           QStringLiteral("\n\nOptions:\n"
                          "  -h, --help     Show this help and exit.\n"
                          "  -v, --version  Show the version and exit.\n"
                          "  --simulate     Show the built-in simulated camera even when a camera is attached.\n"
                          "  --probe        Look for the camera without opening a window and print what was\n"
                          "                 found: its mode, serial numbers, firmware versions and any access\n"
                          "                 problem with its fix. Exit status 0 when a camera answered.\n"
                          "  --udev-rule    Print the udev rule that gives the camera's buttons to the user,\n"
                          "                 for an administrator to install.\n");
}

QString versionText()
{
    return QString::fromUtf8(build::kApplicationName) + QLatin1Char(' ') + QString::fromUtf8(build::kShortVersion);
}

} // namespace kelvo::app
