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

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Kelvo Viewer shows the picture of the Quadrel video magnifier, magnified and recoloured."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(simulate);
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
    return options;
}

QString helpText()
{
    Parser p;
    return QStringLiteral("Usage: kelvo-viewer [options]\n") + p.parser.applicationDescription() +
           QStringLiteral("\n\nOptions:\n"
                          "  -h, --help     Show this help and exit.\n"
                          "  -v, --version  Show the version and exit.\n"
                          "  --simulate     Show the built-in simulated camera even when a camera is attached.\n");
}

QString versionText()
{
    return QString::fromUtf8(build::kApplicationName) + QLatin1Char(' ') + QString::fromUtf8(build::kShortVersion);
}

} // namespace kelvo::app
