#include "update/Sha512Checksum.h"

#include "common/SystemLog.h"

#include <QCryptographicHash>
#include <QFile>
#include <QUrl>

namespace kelvo::update {

QString sha512ChecksumText(QByteArrayView data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha512).toHex());
}

bool verifySHA512ChecksumForData(const std::optional<QString> &expected, QByteArrayView data)
{
    if (data.size() >= kChecksumSizeLimit) {
        systemLog("Checksum failed: File too large.\n");
        return false;
    }
    if (!expected)
        return false;
    return sha512ChecksumText(data) == *expected;
}

bool verifySHA512ChecksumForFile(const std::optional<QString> &expected, const QString &path)
{
    QFile file(path);
    const auto cannotOpen = [&path](const QString &reason) {
        systemLog("Could not open file %s to verify SHA-512 checksum: %s\n",
                  qPrintable(QUrl::fromLocalFile(path).toString()), qPrintable(reason));
        return false;
    };
    if (!file.open(QIODevice::ReadOnly))
        return cannotOpen(file.errorString());
    const qint64 size = file.size();
    // Mapping an empty file fails; it simply has no bytes to hash.
    if (size == 0)
        return verifySHA512ChecksumForData(expected, QByteArrayView());
    const uchar *bytes = file.map(0, size);
    if (!bytes)
        return cannotOpen(file.errorString());
    const bool matches =
        verifySHA512ChecksumForData(expected, QByteArrayView(reinterpret_cast<const char *>(bytes), size));
    file.unmap(const_cast<uchar *>(bytes));
    return matches;
}

} // namespace kelvo::update
