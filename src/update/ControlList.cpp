#include "update/ControlList.h"

#include "settings/PlistCodec.h"

namespace kelvo::update {

namespace {

std::optional<QString> stringEntry(const settings::PlistDictionary &root, const char *key)
{
    const settings::PlistValue *value = root.objectForKey(QString::fromLatin1(key));
    if (!value || !value->asString())
        return std::nullopt;
    return *value->asString();
}

} // namespace

ControlListReading readControlList(const QByteArray &body)
{
    ControlListReading reading;
    const std::optional<settings::PlistValue> root = settings::PlistCodec::fromBytes(body, &reading.error);
    if (!root)
        return reading;
    const settings::PlistDictionary *dictionary = root->asDictionary();
    if (!dictionary) {
        reading.outcome = ControlListReading::Outcome::NotADictionary;
        return reading;
    }
    reading.outcome = ControlListReading::Outcome::Read;
    ControlList &list = reading.list;
    list.latestAppVersion = stringEntry(*dictionary, "LatestAppVersion");
    list.latestAppURL = stringEntry(*dictionary, "LatestAppURL");
    list.latestAppChecksum = stringEntry(*dictionary, "LatestAppChecksum");
    list.latestDeviceFirmwareVersion = stringEntry(*dictionary, "LatestDeviceFirmwareVersion");
    list.latestDeviceFirmwareURL = stringEntry(*dictionary, "LatestDeviceFirmwareURL");
    list.latestDeviceFirmwareChecksum = stringEntry(*dictionary, "LatestDeviceFirmwareChecksum");
    return reading;
}

} // namespace kelvo::update
