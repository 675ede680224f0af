// Feeds arbitrary bytes to the settings loader's parser, XML and binary
// alike, and saves what it accepts, as a start followed by a save would.
#include "settings/PlistCodec.h"
#include "settings/PlistNesting.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using kelvo::settings::PlistCodec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<kelvo::settings::PlistValue> value = PlistCodec::fromBytes(bytes);
    if (!value)
        return 0;
    // Whatever parsed passed the nesting check, so libplist never sees more
    // than the limit: anything else is a fault of the check.
    if (!kelvo::settings::nestingWithinLimit(bytes, PlistCodec::kMaxDepth))
        std::abort();
    const std::optional<QByteArray> xml = PlistCodec::toXml(*value);
    if (xml)
        PlistCodec::fromBytes(*xml);
    return 0;
}
