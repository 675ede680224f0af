#pragma once

#include <QString>
#include <QStringList>

namespace kelvo::app {

struct CommandLineOptions {
    bool showHelp = false;
    bool showVersion = false;
    // Use the built-in simulated camera even when a real one is attached.
    bool simulate = false;
    // Look for the camera without opening a window, print what was found.
    bool probe = false;
    // Print the camera's udev rule, for an administrator to install.
    bool printUdevRule = false;
    // Update the camera's firmware from this image without a window; the
    // image's SHA-512 must come with it.
    QString installFirmware;
    QString firmwareSha512;
    // How to draw the live picture: "gpu", "cpu" or "auto"; empty when not
    // given (the settings then decide).
    QString render;
    // Set when the arguments could not be understood; says why.
    QString error;
};

// Reads the arguments (the program name first). Needs no QApplication, so
// --help and --version work without a display.
CommandLineOptions parseCommandLine(const QStringList &arguments);
QString helpText();
QString versionText();

} // namespace kelvo::app
