#include "update/SafeArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>

namespace kelvo::update {
namespace {

struct ReaderDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive *a) const { archive_write_free(a); }
};

// A relative name that, taken lexically, stays below its starting folder.
// Answers the cleaned name, or none when it leaves the folder.
std::optional<QString> containedName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'/') || name.contains(QChar(0)))
        return std::nullopt;
    QStringList kept;
    for (const QString &part : name.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        // Any ".." is refused, even one that would stay inside: no honest
        // install folder needs it.
        if (part == QLatin1String(".."))
            return std::nullopt;
        kept.append(part);
    }
    if (kept.isEmpty())
        return std::nullopt;
    return kept.join(u'/');
}

// Whether a symbolic link stored at entryName and pointing at link resolves
// inside the archive's folder.
bool linkStaysInside(const QString &entryName, const QString &link)
{
    if (link.isEmpty() || link.startsWith(u'/'))
        return false;
    int depth = int(entryName.count(u'/'));
    for (const QString &part : link.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        depth += part == QLatin1String("..") ? -1 : 1;
        if (depth < 0)
            return false;
    }
    return true;
}

QString errorOf(archive *a)
{
    const char *text = archive_error_string(a);
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown archive error");
}

} // namespace

std::optional<QString> extractArchiveSafely(const QString &archivePath, const QString &target,
                                            const ArchiveLimits &limits)
{
    // libarchive refuses to write through any link on the way, the target's
    // own path included: resolve that one first.
    const QString root = QFileInfo(target).canonicalFilePath();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return QStringLiteral("no folder to unpack into");

    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    archive_read_support_format_zip(reader.get());
    archive_read_support_filter_none(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK)
        return errorOf(reader.get());

    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_NO_OVERWRITE);

    std::int64_t entries = 0;
    std::int64_t totalBytes = 0;
    archive_entry *entry = nullptr;
    for (;;) {
        const int header = archive_read_next_header(reader.get(), &entry);
        if (header == ARCHIVE_EOF)
            break;
        if (header != ARCHIVE_OK)
            return errorOf(reader.get());
        if (++entries > limits.maxEntries)
            return QStringLiteral("too many entries");

        const QString rawName = QString::fromUtf8(archive_entry_pathname(entry));
        const std::optional<QString> name = containedName(rawName);
        if (!name)
            return QStringLiteral("entry outside the folder: %1").arg(rawName);

        const mode_t type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            return QStringLiteral("special file: %1").arg(rawName);
        if (type == AE_IFLNK) {
            const char *link = archive_entry_symlink(entry);
            if (!link || !linkStaysInside(*name, QString::fromUtf8(link)))
                return QStringLiteral("link leading outside: %1").arg(rawName);
        }
        if (const char *hardlink = archive_entry_hardlink(entry)) {
            const std::optional<QString> linked = containedName(QString::fromUtf8(hardlink));
            if (!linked)
                return QStringLiteral("hard link leading outside: %1").arg(rawName);
            archive_entry_set_hardlink(entry, QFile::encodeName(root + u'/' + *linked).constData());
        }
        if (archive_entry_size_is_set(entry)) {
            const std::int64_t size = archive_entry_size(entry);
            if (size < 0 || size > limits.maxTotalBytes - totalBytes)
                return QStringLiteral("entry too large: %1").arg(rawName);
        }

        archive_entry_set_pathname(entry, QFile::encodeName(root + u'/' + *name).constData());
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
        if (archive_write_header(writer.get(), entry) != ARCHIVE_OK)
            return errorOf(writer.get());
        // The sizes in the headers may lie: count what is really written.
        const void *block = nullptr;
        size_t length = 0;
        la_int64_t offset = 0;
        std::int64_t written = 0;
        for (;;) {
            const int read = archive_read_data_block(reader.get(), &block, &length, &offset);
            if (read == ARCHIVE_EOF)
                break;
            if (read != ARCHIVE_OK)
                return errorOf(reader.get());
            if (offset < 0 || offset > limits.maxTotalBytes - totalBytes ||
                std::int64_t(length) > limits.maxTotalBytes - totalBytes - offset)
                return QStringLiteral("entry too large: %1").arg(rawName);
            if (archive_write_data_block(writer.get(), block, length, offset) != ARCHIVE_OK)
                return errorOf(writer.get());
            written = std::max(written, std::int64_t(offset) + std::int64_t(length));
        }
        totalBytes += std::max(written, archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0);
        if (totalBytes > limits.maxTotalBytes)
            return QStringLiteral("archive too large");
        if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK)
            return errorOf(writer.get());
    }
    if (entries == 0)
        return QStringLiteral("empty archive");
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return errorOf(writer.get());
    return std::nullopt;
}

} // namespace kelvo::update
