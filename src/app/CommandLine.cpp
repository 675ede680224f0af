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
    QCommandLineOption installFirmware{QStringLiteral("install-firmware"),
                                       QStringLiteral("Update the camera's firmware from IMAGE without a window."),
                                       QStringLiteral("IMAGE")};
    QCommandLineOption sha512{QStringLiteral("sha512"), QStringLiteral("The SHA-512 of the firmware image."),
                              QStringLiteral("HEX")};
    QCommandLineOption render{QStringLiteral("render"),
                              QStringLiteral("Draw the live picture with the graphics card (gpu), the processor (cpu) "
                                             "or whichever suits this computer (auto)."),
                              QStringLiteral("gpu|cpu|auto")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Kelvo Viewer shows the picture of the Quadrel video magnifier, magnified and recoloured."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(simulate);
        parser.addOption(probe);
        parser.addOption(udevRule);
        parser.addOption(installFirmware);
        parser.addOption(sha512);
        parser.addOption(render);
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
    options.installFirmware = p.parser.value(p.installFirmware);
    options.firmwareSha512 = p.parser.value(p.sha512);
    if (options.installFirmware.isEmpty() != options.firmwareSha512.isEmpty())
        options.error = QStringLiteral("--install-firmware and --sha512 go together.");
    if (p.parser.isSet(p.render)) {
        options.render = p.parser.value(p.render).trimmed().toLower();
        if (options.render != QLatin1String("gpu") && options.render != QLatin1String("cpu") &&
            options.render != QLatin1String("auto")) {
            options.error = QStringLiteral("--render takes gpu, cpu or auto, not '%1'.").arg(options.render);
        }
    }
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
                          "                 for an administrator to install.\n"
                          "  --install-firmware IMAGE --sha512 HEX\n"
                          "                 Update the camera's firmware from IMAGE without a window, after\n"
                          "                 checking it against its SHA-512. Says how to put the camera into\n"
                          "                 its update mode, shows the progress and the camera's new firmware\n"
                          "                 version. Exit status 0 once the camera is back.\n"
                          "  --render=gpu|cpu|auto\n"
                          "                 Draw the live picture with the graphics card, the processor, or\n"
                          "                 whichever suits this computer (the default: the processor when\n"
                          "                 OpenGL is only emulated in software).\n");
}

QString versionText()
{
    return QString::fromUtf8(build::kApplicationName) + QLatin1Char(' ') + QString::fromUtf8(build::kShortVersion);
}

} // namespace kelvo::app
