#include "settings/SettingsStore.h"

#include "common/SystemLog.h"
#include "settings/PlistCodec.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kelvo::settings {
namespace {

// Paths and reasons come from the file system and may hold any byte.
QByteArray text(const QString &s)
{
    return escapedForLog(s.toUtf8());
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
    waitForWrites();
    std::lock_guard lock(m_mutex);
    m_domain.clear();
    m_dirty = false;
    m_damagedFileInPlace = false;
    m_unverifiedKeys.clear();
    removeStaleTemporaries();

    // stat() follows a symbolic link: a link to a file not yet written is a
    // missing file, not a damaged one.
    struct stat status {};
    if (::stat(QFile::encodeName(m_filePath).constData(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return true;
    QByteArray bytes;
    if (!readFile(bytes))
        return false;

    QString why;
    std::optional<PlistValue> root = PlistCodec::fromBytes(bytes, &why);
    bytes.clear();
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

bool SettingsStore::readFile(QByteArray &bytes)
{
    const QByteArray path = QFile::encodeName(m_filePath);
    // A pipe would block the start forever, a device (or a link to
    // /dev/zero) would never end: only a regular file is opened at all, and
    // it is checked again once open in case it was swapped in between.
    struct stat status {};
    if (::stat(path.constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        setAsideDamagedFile(QStringLiteral("is not a regular file"));
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        setAsideDamagedFile(QStringLiteral("cannot be opened (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    auto refuse = [&](const QString &why) {
        ::close(fd);
        setAsideDamagedFile(why);
        return false;
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return refuse(QStringLiteral("is not a regular file"));
    const QString tooLarge = QStringLiteral("is larger than %1 bytes").arg(PlistCodec::kMaxBytes);
    if (status.st_size > PlistCodec::kMaxBytes)
        return refuse(tooLarge);

    // The size may change while it is read; one byte more than the limit
    // tells a file that grew past it.
    bytes.resize(static_cast<qsizetype>(status.st_size) + 1);
    qsizetype total = 0;
    for (;;) {
        if (total == bytes.size()) {
            if (bytes.size() > PlistCodec::kMaxBytes)
                return refuse(tooLarge);
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, PlistCodec::kMaxBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + total, static_cast<size_t>(bytes.size() - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (n == 0)
            break;
        total += n;
    }
    ::close(fd);
    bytes.truncate(total);
    return true;
}

void SettingsStore::removeStaleTemporaries() const
{
    // A save killed between creating its temporary file and renaming it
    // leaves the file behind; only one viewer per user writes the settings,
    // so at load no save of ours is in progress.
    const QFileInfo real(realPath());
    const QDir folder = real.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (!AtomicFileWriter::isTemporaryName(name, real.fileName()))
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid())
            continue;
        if (::unlink(path.constData()) == 0)
            systemLog("Removed %s, left behind by an interrupted save of the settings.\n",
                      escapedForLog(path).constData());
    }
}

QString SettingsStore::realPath() const
{
    return AtomicFileWriter::finalTarget(m_filePath);
}

std::optional<QString> SettingsStore::keepBackup(const QString &label)
{
    waitForWrites(); // the copy is of the file as the last save left it
    std::lock_guard lock(m_mutex);
    const QString real = realPath();
    if (!QFileInfo(real).isFile())
        return std::nullopt;
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = real + QLatin1Char('.') + label + QLatin1Char('-') + stamp;
    QString backup = base;
    for (int n = 2; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++n)
        backup = base + QLatin1Char('-') + QString::number(n);
    if (!QFile::copy(real, backup)) {
        systemLog("Could not keep a copy of settings file %s as %s.\n", text(real).constData(),
                  text(backup).constData());
        return std::nullopt;
    }
    systemLog("Kept the previous settings as %s.\n", text(backup).constData());
    return backup;
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
    m_unverifiedKeys.insert(key);
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
    m_unverifiedKeys.clear();
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

bool SettingsStore::writeDomain(const PlistDictionary &domain) const
{
    const std::optional<QByteArray> xml = PlistCodec::toXml(PlistValue::dictionary(domain));
    if (!xml) {
        systemLog("Could not write settings file %s: the property list could not be made.\n",
                  text(m_filePath).constData());
        return false;
    }
    QString why;
    if (!m_writer.write(m_filePath, *xml, &why)) {
        systemLog("Could not write settings file %s: %s.\n", text(m_filePath).constData(), text(why).constData());
        return false;
    }
    return true;
}

void SettingsStore::setWritesInBackground(bool inBackground)
{
    if (!inBackground) {
        m_backgroundWriter.reset();
        return;
    }
    if (m_backgroundWriter)
        return;
    m_backgroundWriter = std::make_unique<SettingsWriter>([this](const PlistDictionary &snapshot) {
        if (writeDomain(snapshot))
            return true;
        systemLog("Synchronization failed.\n");
        std::lock_guard lock(m_mutex);
        m_dirty = true; // what is in memory is still not on disk
        return false;
    });
}

bool SettingsStore::waitForWrites()
{
    return m_backgroundWriter ? m_backgroundWriter->waitUntilIdle() : true;
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

    struct stat status {};
    if (::stat(QFile::encodeName(realPath()).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
        (status.st_mode & S_IWUSR) == 0) {
        // The user locked the file; replacing it would undo that silently.
        if (!m_readOnlyReported)
            systemLog("Settings file %s is read-only; changes to the settings are not saved.\n",
                      text(m_filePath).constData());
        m_readOnlyReported = true;
        return true;
    }

    // Never replace a readable file by one the next start could not read.
    // What was loaded read back already; each value set since must too.
    for (const QString &key : std::as_const(m_unverifiedKeys)) {
        const PlistValue *value = m_domain.objectForKey(key);
        if (!value)
            continue;
        PlistDictionary one;
        one.setValue(key, *value);
        const std::optional<QByteArray> bytes = PlistCodec::toXml(PlistValue::dictionary(std::move(one)));
        const std::optional<PlistValue> check = bytes ? PlistCodec::fromBytes(*bytes) : std::nullopt;
        if (!check || !check->asDictionary() || !check->asDictionary()->objectForKey(key)) {
            systemLog("Could not write settings file %s: the value of %s does not read back.\n",
                      text(m_filePath).constData(), text(key).constData());
            return false;
        }
    }
    if (m_backgroundWriter) {
        m_backgroundWriter->submit(m_domain);
    } else if (!writeDomain(m_domain)) {
        return false;
    }
    m_dirty = false;
    m_unverifiedKeys.clear();
    return true;
}

} // namespace kelvo::settings
