#pragma once

#include "settings/PlistValue.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelvo::settings {

// Converts between PlistValue and the bytes of a property-list file through
// libplist. Stateless; safe on any thread.
class PlistCodec {
public:
    // The XML property list of value, or none when libplist produced nothing.
    static std::optional<QByteArray> toXml(const PlistValue &value);
    // Parses an XML or binary property list. Answers none and says why in
    // errorText when the bytes are not a property list, when they nest deeper
    // than any settings file does (kMaxDepth, checked before libplist parses)
    // or when they are larger than kMaxBytes.
    static std::optional<PlistValue> fromBytes(const QByteArray &bytes, QString *errorText = nullptr);

    static constexpr int kMaxDepth = 32;
    // Far beyond any real settings file, small enough to read into memory.
    static constexpr qsizetype kMaxBytes = 16 * 1024 * 1024;
};

} // namespace kelvo::settings
