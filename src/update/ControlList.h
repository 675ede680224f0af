#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelvo::update {

// The update control list: what the update host currently offers. Each entry
// is absent when the list lacks the key or holds something other than a
// string there; the check then applies its own default.
struct ControlList {
    std::optional<QString> latestAppVersion;
    std::optional<QString> latestAppURL;
    std::optional<QString> latestAppChecksum;
    std::optional<QString> latestDeviceFirmwareVersion;
    std::optional<QString> latestDeviceFirmwareURL;
    std::optional<QString> latestDeviceFirmwareChecksum;
};

struct ControlListReading {
    enum class Outcome { Read, NotAPropertyList, NotADictionary };
    Outcome outcome = Outcome::NotAPropertyList;
    ControlList list;
    QString error; // the property-list reader's reason, for NotAPropertyList
};

// Reads the bytes the update host answered, in any property-list encoding the
// settings reader accepts (XML or binary).
ControlListReading readControlList(const QByteArray &body);

} // namespace kelvo::update
