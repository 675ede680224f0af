#include "settings/RectString.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace kelvo::settings {
namespace {

QString shortestDecimal(double value)
{
    if (value == 0.0)
        value = 0.0; // no "-0"
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

// A cursor over the Latin-1 text; every reader skips white space first.
class Scanner {
public:
    explicit Scanner(std::string text) : m_text(std::move(text)) {}

    bool expect(char c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    std::optional<double> number()
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '+')
            ++m_pos;
        // from_chars takes a leading minus but no plus, and no second sign.
        if (m_pos < m_text.size() && m_text[m_pos] == '+')
            return std::nullopt;
        double value = 0;
        const char *begin = m_text.data() + m_pos;
        const char *end = m_text.data() + m_text.size();
        const auto result = std::from_chars(begin, end, value, std::chars_format::general);
        if (result.ec != std::errc() || !std::isfinite(value) || std::fabs(value) > kMaxCoordinate)
            return std::nullopt;
        m_pos += static_cast<std::size_t>(result.ptr - begin);
        return value;
    }

    bool atEnd()
    {
        skipSpace();
        return m_pos == m_text.size();
    }

private:
    void skipSpace()
    {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    std::string m_text;
    std::size_t m_pos = 0;
};

std::optional<Rect> parse(const QString &text)
{
    Scanner s(text.toStdString());
    if (!s.expect('{') || !s.expect('{'))
        return std::nullopt;
    const auto x = s.number();
    if (!x || !s.expect(','))
        return std::nullopt;
    const auto y = s.number();
    if (!y || !s.expect('}') || !s.expect(',') || !s.expect('{'))
        return std::nullopt;
    const auto w = s.number();
    if (!w || !s.expect(','))
        return std::nullopt;
    const auto h = s.number();
    if (!h || !s.expect('}') || !s.expect('}') || !s.atEnd())
        return std::nullopt;
    if (*w < 0 || *h < 0)
        return std::nullopt;
    return Rect{*x, *y, *w, *h};
}

} // namespace

QString stringFromRect(const Rect &rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(shortestDecimal(rect.x), shortestDecimal(rect.y), shortestDecimal(rect.width),
             shortestDecimal(rect.height));
}

Rect rectFromString(const QString &text)
{
    return parse(text).value_or(Rect{});
}

} // namespace kelvo::settings
