#include "settings/SettingsStore.h"

#include "common/SystemLog.h"
#include "settings/PlistCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

namespace kelvo::settings {
namespace {

QByteArray text(const QString &s)
{
    return s.toUtf8();
}

std::set<QString> keysOf(const PlistDictionary &dict)
{
    std::set<QString> keys;
    for (const auto &entry : dict.entries())
        keys.insert(entry.first);
    return keys;
}

} // namespace

QString SettingsStore::defaultFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules say a relative value is invalid and must be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/kelvo-viewer/") + QLatin1String(kDomainName) + QStringLiteral(".plist");
}

SettingsStore::SettingsStore(QString filePath, AtomicFileWriter writer)
    : m_filePath(std::move(filePath)), m_writer(std::move(writer))
{
    reload();
}

QString SettingsStore::filePath() const
{
    return m_filePath;
}

bool SettingsStore::reload()
{
    std::lock_guard lock(m_mutex);
    m_domain.clear();
    m_dirty = false;
    m_damagedFileInPlace = false;

    // stat() follows a symbolic link: a link to a file not yet written is a
    // missing file, not a damaged one.
    struct stat status {};
    if (::stat(QFile::encodeName(m_filePath).constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return true;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        setAsideDamagedFile(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setAsideDamagedFile(QStringLiteral("cannot be read (%1)").arg(file.errorString()));
        return false;
    }
    file.close();

    QString why;
    const std::optional<PlistValue> root = PlistCodec::fromBytes(bytes, &why);
    if (!root) {
        setAsideDamagedFile(why);
        return false;
    }
    if (!root->asDictionary()) {
        setAsideDamagedFile(QStringLiteral("does not hold a dictionary"));
        return false;
    }
    m_domain = *root->asDictionary();
    return true;
}

bool SettingsStore::setAsideDamagedFile(const QString &reason)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = m_filePath + QStringLiteral(".damaged-") + stamp;
    QString backup = base;
    for (int n = 2; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++n)
        backup = base + QLatin1Char('-') + QString::number(n);

    if (::rename(QFile::encodeName(m_filePath).constData(), QFile::encodeName(backup).constData()) != 0) {
        const int error = errno;
        // Keep it where it is and remember to move it before the next write,
        // so the user's old settings are never overwritten unseen.
        m_damagedFileInPlace = true;
        systemLog("Settings file %s %s and could not be moved aside (%s); the defaults apply.\n",
                  text(m_filePath).constData(), text(reason).constData(), std::strerror(error));
        return false;
    }
    m_damagedFileInPlace = false;
    m_damagedBackupPath = backup;
    systemLog("Settings file %s %s; moved it to %s, the defaults apply.\n", text(m_filePath).constData(),
              text(reason).constData(), text(backup).constData());
    return true;
}

std::optional<QString> SettingsStore::damagedFileBackupPath() const
{
    std::lock_guard lock(m_mutex);
    return m_damagedBackupPath;
}

std::optional<PlistValue> SettingsStore::objectForKey(const QString &key) const
{
    std::lock_guard lock(m_mutex);
    const PlistValue *value = m_domain.objectForKey(key);
    return value ? std::optional<PlistValue>(*value) : std::nullopt;
}

void SettingsStore::setValue(const QString &key, PlistValue value)
{
    std::lock_guard lock(m_mutex);
    const PlistValue *current = m_domain.objectForKey(key);
    if (current && *current == value)
        return;
    m_domain.setValue(key, std::move(value));
    m_dirty = true;
}

void SettingsStore::setObject(const QString &key, const std::optional<PlistValue> &value)
{
    if (value)
        setValue(key, *value);
    else
        removeObjectForKey(key);
}

void SettingsStore::removeObjectForKey(const QString &key)
{
    std::lock_guard lock(m_mutex);
    if (m_domain.removeObjectForKey(key))
        m_dirty = true;
}

PlistDictionary SettingsStore::dictionaryRepresentation() const
{
    std::lock_guard lock(m_mutex);
    return m_domain;
}

void SettingsStore::removePersistentDomain()
{
    std::lock_guard lock(m_mutex);
    // Even an empty domain is written, so a file holding keys that were
    // never loaded into memory is cleared as well.
    m_domain.clear();
    m_dirty = true;
}

std::int32_t SettingsStore::intValueForKey(const QString &key, std::int32_t defaultValue) const
{
    std::lock_guard lock(m_mutex);
    return m_domain.intValueForKey(key, defaultValue);
}

std::int64_t SettingsStore::integerValueForKey(const QString &key, std::int64_t defaultValue) const
{
    std::lock_guard lock(m_mutex);
    return m_domain.integerValueForKey(key, defaultValue);
}

bool SettingsStore::boolValueForKey(const QString &key, bool defaultValue) const
{
    std::lock_guard lock(m_mutex);
    return m_domain.boolValueForKey(key, defaultValue);
}

std::optional<PlistValue> SettingsStore::valueForKey(const QString &key, PlistClass valueClass,
                                                     const std::optional<PlistValue> &defaultValue) const
{
    std::lock_guard lock(m_mutex);
    return m_domain.valueForKey(key, valueClass, defaultValue);
}

std::optional<PlistValue> SettingsStore::valueForKey(const QString &key, PlistClass valueClass) const
{
    return valueForKey(key, valueClass, std::nullopt);
}

bool SettingsStore::synchronize()
{
    std::lock_guard lock(m_mutex);
    if (m_damagedFileInPlace && !setAsideDamagedFile(QStringLiteral("is still damaged"))) {
        systemLog("Could not write settings file %s: the damaged file in its place could not be moved aside.\n",
                  text(m_filePath).constData());
        return false;
    }
    if (!m_dirty)
        return true;

    const std::optional<QByteArray> xml = PlistCodec::toXml(PlistValue::dictionary(m_domain));
    // Never replace a readable file by one the next start could not read:
    // the bytes must parse back into the same keys.
    const std::optional<PlistValue> check = xml ? PlistCodec::fromBytes(*xml) : std::nullopt;
    if (!check || !check->asDictionary() || keysOf(*check->asDictionary()) != keysOf(m_domain)) {
        systemLog("Could not write settings file %s: the property list does not read back.\n",
                  text(m_filePath).constData());
        return false;
    }
    QString why;
    if (!m_writer.write(m_filePath, *xml, &why)) {
        systemLog("Could not write settings file %s: %s.\n", text(m_filePath).constData(), text(why).constData());
        return false;
    }
    m_dirty = false;
    return true;
}

} // namespace kelvo::settings
