#include "update/UpdateCache.h"

#include <QDir>

namespace kelvo::update {

QString defaultUpdateCacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/kelvo-viewer");
}

QString updateFileFor(const QString &cacheFolder, const QString &version, bool isApp)
{
    // The version comes from the update host: a separator in it must not
    // lead the file out of the cache folder.
    QString safe = version;
    safe.replace(u'/', u'_').replace(u'\\', u'_').replace(QChar(0), u'_');
    const QString name = isApp ? QStringLiteral("quadrel_app_update_%1.zip").arg(safe)
                               : QStringLiteral("quadrel_firmware_update_%1.bin").arg(safe);
    return cacheFolder + u'/' + name;
}

} // namespace kelvo::update
