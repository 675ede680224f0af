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

} // namespace

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
