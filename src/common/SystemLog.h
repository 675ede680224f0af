#pragma once

#include <QByteArray>

#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Where a diagnostic line goes. System lines reach the journal (syslog) and
// standard error; the device link writes a few lines to standard output.
enum class LogChannel { System, StandardOutput };

// Writes one diagnostic line, printf-style, exactly as formatted: most of the
// texts carry their own trailing line feed. Thread-safe.
void systemLog(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes a line of the device link to standard output. Thread-safe.
void standardOutput(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes pre-formatted text to a channel.
void logText(LogChannel channel, std::string_view text);

// Text that came from outside the program (a device's strings, a line read
// from a socket, a file name) made safe to print on a terminal or store in
// the journal: control characters (C0, DEL and C1), bytes that are not
// UTF-8, the characters that reorder text on screen and the backslash are
// written as escapes ("\x1b", "\u202e", "\\"); printable UTF-8 passes
// unchanged.
std::string escapedForLog(std::string_view text);
QByteArray escapedForLog(const QByteArray &text);

struct LogEntry {
    LogChannel channel;
    std::string text;
};

// Captures every line written while it exists, instead of sending it to the
// journal and the terminal, so tests can assert the exact texts. Captures
// nest: the innermost one receives the lines. Thread-safe.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture &) = delete;
    ScopedLogCapture &operator=(const ScopedLogCapture &) = delete;

    std::vector<LogEntry> entries() const;
    // The texts of the system channel, in order.
    std::vector<std::string> lines() const;
    bool contains(std::string_view text) const;
    // Number of system lines equal to text.
    int count(std::string_view text) const;
    void clear();

private:
    friend void logText(LogChannel, std::string_view);
    void append(LogChannel channel, std::string_view text);

    ScopedLogCapture *m_previous = nullptr;
    mutable std::vector<LogEntry> m_entries; // guarded by the log mutex
};

} // namespace kelvo
