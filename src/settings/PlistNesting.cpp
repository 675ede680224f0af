#include "settings/PlistNesting.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace kelvo::settings {
namespace {

bool refuse(QString *errorText, const QString &why)
{
    if (errorText)
        *errorText = why;
    return false;
}

// Worded like the parser's own refusal: to the user both are a damaged file.
QString notAPlist()
{
    return QStringLiteral("is not a property list");
}

QString tooDeep(int maxDepth)
{
    return QStringLiteral("nested deeper than %1 levels").arg(maxDepth);
}

// XML: the depth of elements, counted the way a simple property-list parser
// sees them. Comments, CDATA sections, processing instructions and the
// document type declaration do not nest; "<name/>" opens and closes at once.
// The <plist> element adds one level above the root value, and the value
// elements of the deepest container one below it.
bool xmlWithinLimit(const QByteArray &bytes, int maxDepth, QString *errorText)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    const int limit = maxDepth + 2;
    int depth = 0;
    auto skipPast = [&](const char *from, const char *terminator) -> const char * {
        const std::size_t n = std::strlen(terminator);
        for (const char *q = from; q + n <= end; ++q) {
            if (std::memcmp(q, terminator, n) == 0)
                return q + n;
        }
        return end;
    };
    auto startsWith = [&](const char *at, const char *prefix) {
        const std::size_t n = std::strlen(prefix);
        return static_cast<std::size_t>(end - at) >= n && std::memcmp(at, prefix, n) == 0;
    };
    // A zero character, literal or as a reference, would reach libplist's
    // assertion on strings and keys (see the binary check).
    if (std::memchr(p, '\0', static_cast<std::size_t>(end - p)))
        return refuse(errorText, notAPlist());
    for (const char *q = p; (q = static_cast<const char *>(std::memchr(q, '&', static_cast<std::size_t>(end - q))));) {
        ++q;
        if (q >= end || *q != '#')
            continue;
        const char *r = q + 1;
        if (r < end && (*r == 'x' || *r == 'X'))
            ++r;
        while (r < end && *r == '0')
            ++r;
        if (r < end && *r == ';' && r > q + 1 && r[-1] == '0')
            return refuse(errorText, notAPlist());
    }
    while (p < end) {
        const char *open = static_cast<const char *>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
        if (!open)
            break;
        if (startsWith(open, "<!--")) {
            p = skipPast(open + 4, "-->");
        } else if (startsWith(open, "<![CDATA[")) {
            p = skipPast(open + 9, "]]>");
        } else if (startsWith(open, "<?")) {
            p = skipPast(open + 2, "?>");
        } else if (startsWith(open, "<!")) {
            p = skipPast(open + 2, ">");
        } else {
            const char *close = skipPast(open + 1, ">");
            const bool closing = open + 1 < end && open[1] == '/';
            const bool empty = close - open >= 2 && close[-1] == '>' && close[-2] == '/';
            if (closing) {
                if (depth > 0)
                    --depth;
            } else if (!empty && ++depth > limit) {
                return refuse(errorText, tooDeep(maxDepth));
            }
            p = close;
        }
    }
    return true;
}

// Binary ("bplist00"): the object table is walked from the top object,
// depth first with an explicit stack that never grows past the limit, each
// container's height computed once even when it is shared.
class BinaryPlist {
public:
    explicit BinaryPlist(const QByteArray &bytes)
        : m_data(reinterpret_cast<const std::uint8_t *>(bytes.constData())),
          m_size(static_cast<std::uint64_t>(bytes.size()))
    {}

    bool check(int maxDepth, QString *errorText)
    {
        if (m_size < 8 + 32)
            return refuse(errorText, notAPlist());
        const std::uint8_t *trailer = m_data + m_size - 32;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        const std::uint64_t objectCount = bigEndian(trailer + 8, 8);
        const std::uint64_t topObject = bigEndian(trailer + 16, 8);
        m_offsetTable = bigEndian(trailer + 24, 8);
        const std::uint64_t tableEnd = m_size - 32;
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || objectCount == 0 ||
            topObject >= objectCount || m_offsetTable < 8 || m_offsetTable > tableEnd ||
            objectCount > (tableEnd - m_offsetTable) / m_offsetSize)
            return refuse(errorText, notAPlist());
        m_objectCount = objectCount;

        // 0 = not seen, -1 = on the current path, otherwise 1 + height.
        std::vector<std::int32_t> height(static_cast<std::size_t>(objectCount), 0);
        struct Frame {
            std::uint64_t object;
            std::uint64_t refsAt; // where the references start
            std::uint64_t count;  // how many references
            std::uint64_t next;   // the next one to visit
            std::int32_t tallest; // the tallest child so far
        };
        std::vector<Frame> stack;
        auto enter = [&](std::uint64_t object) -> bool {
            Frame frame{object, 0, 0, 0, 0};
            if (!containerRefs(object, frame.refsAt, frame.count))
                return false;
            height[object] = -1;
            stack.push_back(frame);
            return true;
        };
        if (!isContainer(topObject))
            return scalarIsReadable(topObject) || refuse(errorText, notAPlist());
        if (!enter(topObject))
            return refuse(errorText, notAPlist());
        while (!stack.empty()) {
            Frame &frame = stack.back();
            if (frame.next == frame.count) {
                const std::int32_t own = frame.tallest + 1;
                height[frame.object] = own;
                stack.pop_back();
                if (!stack.empty() && own > stack.back().tallest)
                    stack.back().tallest = own;
                continue;
            }
            const std::uint64_t child = bigEndian(m_data + frame.refsAt + frame.next * m_refSize, m_refSize);
            ++frame.next;
            if (child >= m_objectCount)
                return refuse(errorText, notAPlist());
            if (height[child] == -1)
                return refuse(errorText, notAPlist());
            if (height[child] > 0) {
                if (height[child] > frame.tallest)
                    frame.tallest = height[child];
                continue;
            }
            if (!isContainer(child)) {
                if (!scalarIsReadable(child))
                    return refuse(errorText, notAPlist());
                height[child] = 1;
                if (frame.tallest < 1)
                    frame.tallest = 1;
                continue;
            }
            // The frames on the stack are the containers above the child.
            if (stack.size() >= static_cast<std::size_t>(maxDepth) + 1)
                return refuse(errorText, tooDeep(maxDepth));
            if (!enter(child))
                return refuse(errorText, notAPlist());
        }
        return true;
    }

private:
    static std::uint64_t bigEndian(const std::uint8_t *p, unsigned n)
    {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < n; ++i)
            value = (value << 8) | p[i];
        return value;
    }

    std::optional<std::uint64_t> offsetOf(std::uint64_t object) const
    {
        const std::uint64_t offset = bigEndian(m_data + m_offsetTable + object * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_offsetTable)
            return std::nullopt;
        return offset;
    }

    // An object's element count: in the marker's low bits, or, when they
    // are all set, in an integer object that follows; `at` moves past it.
    bool readCount(std::uint8_t marker, std::uint64_t &at, std::uint64_t &count) const
    {
        count = marker & 0x0F;
        if (count != 0x0F)
            return true;
        if (at >= m_offsetTable || (m_data[at] >> 4) != 0x1)
            return false;
        const unsigned width = 1u << (m_data[at] & 0x0F);
        if (width > 8 || at + 1 + width > m_offsetTable)
            return false;
        count = bigEndian(m_data + at + 1, width);
        at += 1 + width;
        return true;
    }

    // libplist stops the program with an assertion when it hands out a
    // string or key with a zero character in it; no settings file holds one.
    bool scalarIsReadable(std::uint64_t object) const
    {
        // An offset into the header or the offset table is refused here:
        // the parser reads whatever lies there.
        const std::optional<std::uint64_t> offset = offsetOf(object);
        if (!offset)
            return false;
        const std::uint8_t marker = m_data[*offset];
        const std::uint8_t type = marker >> 4;
        if (type != 0x5 && type != 0x6)
            return true;
        std::uint64_t at = *offset + 1;
        std::uint64_t count = 0;
        if (!readCount(marker, at, count))
            return false;
        const std::uint64_t unit = type == 0x6 ? 2 : 1;
        if (count > (m_offsetTable - at) / unit)
            return false;
        for (std::uint64_t i = 0; i < count; ++i) {
            if (bigEndian(m_data + at + i * unit, static_cast<unsigned>(unit)) == 0)
                return false;
        }
        return true;
    }

    bool isContainer(std::uint64_t object) const
    {
        const std::optional<std::uint64_t> offset = offsetOf(object);
        if (!offset)
            return false; // the parser refuses it; it cannot nest
        const std::uint8_t type = m_data[*offset] >> 4;
        return type == 0xA || type == 0xC || type == 0xD;
    }

    // Where a container's references start and how many there are (keys and
    // values both, for a dictionary). A scalar has none.
    bool containerRefs(std::uint64_t object, std::uint64_t &refsAt, std::uint64_t &count) const
    {
        const std::optional<std::uint64_t> offset = offsetOf(object);
        if (!offset)
            return false;
        const std::uint8_t marker = m_data[*offset];
        const std::uint8_t type = marker >> 4;
        std::uint64_t at = *offset + 1;
        count = 0;
        refsAt = at;
        if (type != 0xA && type != 0xC && type != 0xD)
            return true;
        if (!readCount(marker, at, count))
            return false;
        if (type == 0xD) {
            if (count > std::numeric_limits<std::uint64_t>::max() / 2)
                return false;
            count *= 2;
        }
        if (count > (m_offsetTable - at) / m_refSize)
            return false;
        refsAt = at;
        return true;
    }

    const std::uint8_t *m_data;
    std::uint64_t m_size;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_offsetTable = 0;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
};

} // namespace

bool nestingWithinLimit(const QByteArray &bytes, int maxDepth, QString *errorText)
{
    if (bytes.startsWith("bplist00"))
        return BinaryPlist(bytes).check(maxDepth, errorText);
    return xmlWithinLimit(bytes, maxDepth, errorText);
}

} // namespace kelvo::settings
