#include "settings/PlistCodec.h"

#include "settings/PlistNesting.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

namespace kelvo::settings {
namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr qint64 kPlistEpochInUnixSeconds = 978307200;

struct PlistDeleter {
    void operator()(void *node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(char *p) const { std::free(p); }
};
using MallocString = std::unique_ptr<char, MallocDeleter>;

plist_t toNode(const PlistValue &value)
{
    switch (value.kind()) {
    case PlistKind::Boolean:
        return plist_new_bool(value.isBooleanTrue() ? 1 : 0);
    case PlistKind::Integer:
        // libplist keeps 64-bit integers in an unsigned field and writes them
        // signed, so negative values (the colour mode -1) survive.
        return plist_new_uint(static_cast<uint64_t>(value.integerValue()));
    case PlistKind::Real:
        return plist_new_real(value.doubleValue());
    case PlistKind::String:
        return plist_new_string(value.asString()->toUtf8().constData());
    case PlistKind::Date: {
        const QDateTime &date = *value.asDate();
        qint64 seconds = date.isValid() ? date.toSecsSinceEpoch() - kPlistEpochInUnixSeconds : 0;
        // libplist holds the seconds in 32 bits (1933 to 2069); clamp rather
        // than wrap a date outside that range into a different one.
        seconds = std::clamp<qint64>(seconds, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        return plist_new_date(static_cast<int32_t>(seconds), 0);
    }
    case PlistKind::Data: {
        const QByteArray &data = *value.asData();
        return plist_new_data(data.constData(), static_cast<uint64_t>(data.size()));
    }
    case PlistKind::Array: {
        plist_t array = plist_new_array();
        for (const PlistValue &item : *value.asArray())
            plist_array_append_item(array, toNode(item));
        return array;
    }
    case PlistKind::Dictionary: {
        plist_t dict = plist_new_dict();
        for (const auto &[key, item] : value.asDictionary()->entries())
            plist_dict_set_item(dict, key.toUtf8().constData(), toNode(item));
        return dict;
    }
    }
    return nullptr;
}

QString stringOf(plist_t node)
{
    // By pointer and length: a binary list's string may hold a zero byte,
    // on which plist_get_string_val() stops the program with an assertion.
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    return text ? QString::fromUtf8(text, static_cast<qsizetype>(length)) : QString();
}

// Answers none for a node that no settings file can hold (UID, key, none) or
// for nesting beyond the limit.
std::optional<PlistValue> fromNode(plist_t node, int depth, QString *errorText)
{
    if (depth > PlistCodec::kMaxDepth) {
        if (errorText)
            *errorText = QStringLiteral("nested deeper than %1 levels").arg(PlistCodec::kMaxDepth);
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return PlistValue::boolean(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return PlistValue::integer(static_cast<int64_t>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return PlistValue::real(d);
    }
    case PLIST_STRING:
        return PlistValue::string(stringOf(node));
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        return PlistValue::date(QDateTime::fromSecsSinceEpoch(seconds + kPlistEpochInUnixSeconds, Qt::UTC));
    }
    case PLIST_DATA: {
        char *raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        MallocString bytes(raw);
        return PlistValue::data(bytes ? QByteArray(bytes.get(), static_cast<qsizetype>(length)) : QByteArray());
    }
    case PLIST_ARRAY: {
        PlistArray array;
        array.reserve(plist_array_get_size(node));
        // Walked with an iterator: a parsed array may have no index, and
        // fetching by position would then walk the list for every item.
        plist_array_iter it = nullptr;
        plist_array_new_iter(node, &it);
        for (;;) {
            plist_t child = nullptr;
            plist_array_next_item(node, it, &child);
            if (!child)
                break;
            std::optional<PlistValue> item = fromNode(child, depth + 1, errorText);
            if (!item) {
                std::free(it);
                return std::nullopt;
            }
            array.push_back(std::move(*item));
        }
        std::free(it);
        return PlistValue::array(std::move(array));
    }
    case PLIST_DICT: {
        PlistDictionary dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *rawKey = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &rawKey, &item);
            MallocString key(rawKey);
            if (!item)
                break;
            std::optional<PlistValue> value = fromNode(item, depth + 1, errorText);
            if (!value) {
                std::free(it);
                return std::nullopt;
            }
            dict.setValue(QString::fromUtf8(key.get()), std::move(*value));
        }
        std::free(it);
        return PlistValue::dictionary(std::move(dict));
    }
    default:
        if (errorText)
            *errorText = QStringLiteral("holds a value of a kind settings never store");
        return std::nullopt;
    }
}

} // namespace

std::optional<QByteArray> PlistCodec::toXml(const PlistValue &value)
{
    PlistPtr root(toNode(value));
    if (!root)
        return std::nullopt;
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml)
        return std::nullopt;
    QByteArray bytes(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    return bytes;
}

std::optional<PlistValue> PlistCodec::fromBytes(const QByteArray &bytes, QString *errorText)
{
    if (bytes.isEmpty() || bytes.size() > kMaxBytes) {
        if (errorText)
            *errorText = bytes.isEmpty() ? QStringLiteral("is empty") : QStringLiteral("is too large");
        return std::nullopt;
    }
    // libplist builds and frees its tree recursively, so the nesting is
    // checked before it sees the bytes.
    if (!nestingWithinLimit(bytes, kMaxDepth, errorText))
        return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(bytes.constData(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root) {
        if (errorText)
            *errorText = QStringLiteral("is not a property list");
        return std::nullopt;
    }
    return fromNode(root.get(), 0, errorText);
}

} // namespace kelvo::settings
