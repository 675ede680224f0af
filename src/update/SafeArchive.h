#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace kelvo::update {

// What an update archive may hold at most. The install folder is a few
// hundred files and some megabytes; far more means a broken or hostile file.
struct ArchiveLimits {
    std::int64_t maxEntries = 20000;
    std::int64_t maxTotalBytes = std::int64_t(1) << 30;
};

// Unpacks the zip archive at archivePath into the existing folder target,
// keeping the entries' permissions (without set-id bits). Every entry must
// stay inside target: absolute names, ".." components, links that lead
// outside, writing through a link, device files, fifos and archives beyond
// the limits are refused. Answers none on success, else why it stopped;
// what was written by then is left for the caller to remove with target.
std::optional<QString> extractArchiveSafely(const QString &archivePath, const QString &target,
                                            const ArchiveLimits &limits = {});

} // namespace kelvo::update
