#pragma once

#include <QString>

namespace kelvo::update {

// $XDG_CACHE_HOME/kelvo-viewer (~/.cache when unset or not absolute): where
// downloads are written and installation unpacks.
QString defaultUpdateCacheFolder();

// The file a downloaded version is kept in, inside cacheFolder: the
// application's archive or the camera's firmware image.
QString updateFileFor(const QString &cacheFolder, const QString &version, bool isApp);

inline QString appArchiveFor(const QString &cacheFolder, const QString &version)
{
    return updateFileFor(cacheFolder, version, true);
}

} // namespace kelvo::update
