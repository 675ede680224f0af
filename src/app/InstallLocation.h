#pragma once

#include <QString>

namespace kelvo::app {

// Where the running viewer is installed, as far as updating itself goes.
enum class InstallLocation {
    // The user can replace the viewer's folder: it updates itself.
    Writable,
    // The viewer's folder or the folder holding it is not the user's to
    // write: it cannot update itself.
    ReadOnly,
    // Installed by the system's package manager, which keeps it up to date.
    SystemPackage,
};

// The folder an update replaces: the relocatable install folder (the parent
// of bin/) for an installed viewer, else the executable's own folder.
QString applicationFolder(const QString &executablePath);

// Classifies the viewer at executablePath. A system package lives under
// /usr (outside /usr/local), /snap or /app (a sandboxed bundle), whatever
// the user's rights there.
InstallLocation installLocationOf(const QString &executablePath);

} // namespace kelvo::app
