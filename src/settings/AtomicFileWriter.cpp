#include "settings/AtomicFileWriter.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo::settings {
namespace {

QString describeErrno(const char *step, int error)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(error)));
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

QString AtomicFileWriter::finalTarget(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            break;
        // symLinkTarget() answers the absolute path a link names, relative
        // targets resolved against the link's folder, whether it exists or not.
        const QString next = info.symLinkTarget();
        if (next.isEmpty())
            break;
        current = QDir::cleanPath(next);
    }
    return current;
}

bool AtomicFileWriter::isTemporaryName(const QString &name, const QString &fileName)
{
    const qsizetype prefix = fileName.size() + 2;
    if (name.size() != prefix + 6 || !name.startsWith(QLatin1Char('.')) || name.mid(1, fileName.size()) != fileName ||
        name.at(prefix - 1) != QLatin1Char('.'))
        return false;
    for (qsizetype i = prefix; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))))
            return false;
    }
    return true;
}

AtomicFileWriter::AtomicFileWriter() : m_rename(&::rename) {}

AtomicFileWriter::AtomicFileWriter(RenameStep renameStep) : m_rename(std::move(renameStep)) {}

bool AtomicFileWriter::write(const QString &path, const QByteArray &bytes, QString *errorText) const
{
    auto fail = [&](QString why) {
        if (errorText)
            *errorText = std::move(why);
        return false;
    };

    // Replacing a link by a plain file would silently detach the settings
    // from wherever the user keeps them.
    const QFileInfo info(finalTarget(path));
    const QString destination = info.absoluteFilePath();
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create the folder %1").arg(folder));

    QByteArray pattern = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return fail(describeErrno("create temporary file", errno));
    const QByteArray temporary = pattern;

    // mkstemp makes the file 0600; a file the user opened up (or shares with
    // a group) keeps its permissions across the replacement.
    struct stat previous {};
    if (::stat(QFile::encodeName(destination).constData(), &previous) == 0 && S_ISREG(previous.st_mode))
        ::fchmod(fd, previous.st_mode & 07777);

    auto abandon = [&](const char *step, int error) {
        ::unlink(temporary.constData());
        return fail(describeErrno(step, error));
    };

    if (!writeAll(fd, bytes.constData(), bytes.size())) {
        const int error = errno;
        ::close(fd);
        return abandon("write", error);
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return abandon("flush file", error);
    }
    if (::close(fd) != 0)
        return abandon("close", errno);

    const QByteArray destinationBytes = QFile::encodeName(destination);
    if (m_rename(temporary.constData(), destinationBytes.constData()) != 0)
        return abandon("rename", errno);

    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return fail(describeErrno("open folder", errno));
    const int syncResult = ::fsync(dirFd);
    const int syncError = errno;
    ::close(dirFd);
    if (syncResult != 0)
        return fail(describeErrno("flush folder", syncError));
    return true;
}

} // namespace kelvo::settings
