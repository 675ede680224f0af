#include "common/SystemLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace kelvo {
namespace {

std::mutex &logMutex()
{
    static std::mutex mutex;
    return mutex;
}

ScopedLogCapture *g_capture = nullptr; // guarded by logMutex()

std::string formatV(const char *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

void writeToJournal(std::string_view text)
{
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("kelvo-viewer", LOG_PID, LOG_USER); });
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(text.size()), text.data());
}

// The length of the UTF-8 sequence starting at text[i] and the code point
// it encodes; 0 when the bytes there are not a valid, shortest encoding.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t &codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// C1 controls (a terminal takes U+009B as CSI) and the marks that reverse or
// isolate the direction of the text around them.
bool mustEscape(char32_t codePoint)
{
    return (codePoint >= 0x80 && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
           (codePoint >= 0x2066 && codePoint <= 0x2069) || codePoint == 0x200E || codePoint == 0x200F ||
           codePoint == 0x061C;
}

} // namespace

std::string escapedForLog(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x80) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            ++i;
        } else {
            char32_t codePoint = 0;
            const std::size_t length = decodeUtf8(text, i, codePoint);
            if (length == 0) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
                ++i;
            } else if (mustEscape(codePoint)) {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(codePoint));
                out += buffer;
                i += length;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
        }
    }
    return out;
}

QByteArray escapedForLog(const QByteArray &text)
{
    return QByteArray::fromStdString(
        escapedForLog(std::string_view(text.constData(), static_cast<size_t>(text.size()))));
}

void logText(LogChannel channel, std::string_view text)
{
    std::lock_guard lock(logMutex());
    if (g_capture) {
        g_capture->append(channel, text);
        return;
    }
    if (channel == LogChannel::StandardOutput) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return;
    }
    writeToJournal(text);
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (!text.empty() && text.back() != '\n')
        std::fputc('\n', stderr);
}

void systemLog(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = formatV(format, args);
    va_end(args);
    logText(LogChannel::System, text);
}

void standardOutput(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = formatV(format, args);
    va_end(args);
    logText(LogChannel::StandardOutput, text);
}

ScopedLogCapture::ScopedLogCapture()
{
    std::lock_guard lock(logMutex());
    m_previous = g_capture;
    g_capture = this;
}

ScopedLogCapture::~ScopedLogCapture()
{
    std::lock_guard lock(logMutex());
    g_capture = m_previous;
}

void ScopedLogCapture::append(LogChannel channel, std::string_view text)
{
    m_entries.push_back({channel, std::string(text)});
}

std::vector<LogEntry> ScopedLogCapture::entries() const
{
    std::lock_guard lock(logMutex());
    return m_entries;
}

std::vector<std::string> ScopedLogCapture::lines() const
{
    std::lock_guard lock(logMutex());
    std::vector<std::string> result;
    for (const LogEntry &entry : m_entries) {
        if (entry.channel == LogChannel::System)
            result.push_back(entry.text);
    }
    return result;
}

bool ScopedLogCapture::contains(std::string_view text) const
{
    return count(text) > 0;
}

int ScopedLogCapture::count(std::string_view text) const
{
    std::lock_guard lock(logMutex());
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [&](const LogEntry &entry) {
        return entry.channel == LogChannel::System && entry.text == text;
    }));
}

void ScopedLogCapture::clear()
{
    std::lock_guard lock(logMutex());
    m_entries.clear();
}

} // namespace kelvo
