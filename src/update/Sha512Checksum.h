#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace kelvo::update {

// Files of this size or more are refused: the verification keeps every
// length within 32 bits, and the downloads stop before reaching it.
inline constexpr std::int64_t kChecksumSizeLimit = std::int64_t(1) << 31;

// The SHA-512 of data as 128 lower-case hexadecimal digits.
QString sha512ChecksumText(QByteArrayView data);

// Whether data's checksum text equals expected exactly (case matters). Data of
// kChecksumSizeLimit bytes or more logs "Checksum failed: File too large.\n"
// and answers false; an absent expected text never matches.
bool verifySHA512ChecksumForData(const std::optional<QString> &expected, QByteArrayView data);

// Verifies the whole file at path, mapped into memory rather than read. A file
// that cannot be opened or mapped logs "Could not open file %@ to verify
// SHA-512 checksum: %@\n" and answers false.
bool verifySHA512ChecksumForFile(const std::optional<QString> &expected, const QString &path);

} // namespace kelvo::update
