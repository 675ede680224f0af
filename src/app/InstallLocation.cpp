#include "app/InstallLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace kelvo::app {
namespace {

bool writable(const QString &folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

bool isBelow(const QString &path, const QString &folder)
{
    return path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

QString applicationFolder(const QString &executablePath)
{
    const QFileInfo folder(QFileInfo(executablePath).absolutePath());
    // Resolved, so that a link to the viewer judges the folder it is in.
    const QString path = folder.exists() ? folder.canonicalFilePath() : folder.absoluteFilePath();
    return folder.fileName() == QLatin1String("bin") ? QDir::cleanPath(path + QStringLiteral("/..")) : path;
}

InstallLocation installLocationOf(const QString &executablePath)
{
    const QString folder = applicationFolder(executablePath);
    if ((isBelow(folder, QStringLiteral("/usr")) || folder == QLatin1String("/usr")) &&
        !isBelow(folder, QStringLiteral("/usr/local")) && folder != QLatin1String("/usr/local"))
        return InstallLocation::SystemPackage;
    if (isBelow(folder, QStringLiteral("/snap")) || isBelow(folder, QStringLiteral("/app")) ||
        folder == QLatin1String("/app"))
        return InstallLocation::SystemPackage;
    // Replacing the folder renames it within its parent, so both must be
    // the user's to change.
    const QString parent = QDir::cleanPath(folder + QStringLiteral("/.."));
    return writable(folder) && writable(parent) ? InstallLocation::Writable : InstallLocation::ReadOnly;
}

} // namespace kelvo::app
