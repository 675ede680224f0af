#pragma once

#include <QString>

#include <optional>

namespace kelvo::update {

// Orders two version texts the way people read them: character by
// character, except that a run of decimal digits counts by its numeric value,
// so "1.10" comes after "1.9" and "2.0" equals "2.00". Answers a negative
// number, 0 or a positive number.
int compareVersions(const QString &a, const QString &b);

// Whether current orders before latest. An absent version (the camera has not
// reported it yet) compares equal to everything, so it never needs an update.
bool versionOrdersBefore(const std::optional<QString> &current, const std::optional<QString> &latest);

// Whether the two versions compare equal; false when either is absent.
bool versionsEqual(const std::optional<QString> &a, const std::optional<QString> &b);

} // namespace kelvo::update
