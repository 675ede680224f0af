#include "ui/InputLatencyProbe.h"

#include "common/SystemLog.h"

#include <QEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kelvo::ui {

namespace {

// The video view, or the surface it draws through.
bool isVideoView(const QObject *object)
{
    for (; object; object = object->parent()) {
        if (object->inherits("kelvo::ui::VideoView"))
            return true;
        if (object->isWidgetType() && static_cast<const QWidget *>(object)->isWindow())
            return false;
    }
    return false;
}

double percentile(std::vector<double> sorted, double fraction)
{
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

InputLatencyProbe::InputLatencyProbe(QObject *parent) : QObject(parent) {}

InputLatencyProbe::~InputLatencyProbe()
{
    if (const std::optional<Summary> s = summary())
        systemLog("Key-to-picture delay over %d keys: median %.0f ms, p99 %.0f ms, longest %.0f ms.\n", s->keys,
                  s->medianMs, s->p99Ms, s->longestMs);
}

bool InputLatencyProbe::requested()
{
    const char *value = std::getenv("KELVO_TRACE_INPUT_LATENCY");
    return value && *value && std::string_view(value) != "0";
}

bool InputLatencyProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        // A key that is a menu's shortcut arrives only as the override; any
        // key may reach the focus widget and each of its parents. Input from
        // the server carries its time, keys made up by the viewer none.
        const auto *key = static_cast<const QKeyEvent *>(event);
        const bool modifierAlone = key->key() == Qt::Key_Control || key->key() == Qt::Key_Shift ||
                                   key->key() == Qt::Key_Alt || key->key() == Qt::Key_Meta;
        if (key->timestamp() != 0 && !modifierAlone && (m_keys.empty() || m_keys.back().serverMs != key->timestamp()))
            m_keys.push_back({key->timestamp(), Clock::now(), std::nullopt});
    } else if (event->type() == QEvent::Paint && m_firstWaiting < m_keys.size() && !m_shownQueued &&
               isVideoView(watched)) {
        // The filter runs before the paint; the queued call runs once it is done.
        m_shownQueued = true;
        QTimer::singleShot(0, this, [this] { markShown(); });
    }
    return QObject::eventFilter(watched, event);
}

void InputLatencyProbe::markShown()
{
    m_shownQueued = false;
    const Clock::time_point now = Clock::now();
    for (; m_firstWaiting < m_keys.size(); ++m_firstWaiting)
        m_keys[m_firstWaiting].shown = now;
}

std::optional<InputLatencyProbe::Summary> InputLatencyProbe::summary() const
{
    using Ms = std::chrono::duration<double, std::milli>;
    // The server's clock in milliseconds, moved onto ours by the least lag seen.
    double offsetMs = std::numeric_limits<double>::max();
    for (const Key &key : m_keys)
        offsetMs = std::min(offsetMs, Ms(key.arrived.time_since_epoch()).count() - static_cast<double>(key.serverMs));
    std::vector<double> delays;
    for (const Key &key : m_keys) {
        if (key.shown)
            delays.push_back(Ms(key.shown->time_since_epoch()).count() -
                             (static_cast<double>(key.serverMs) + offsetMs));
    }
    if (delays.empty())
        return std::nullopt;
    std::sort(delays.begin(), delays.end());
    return Summary{static_cast<int>(delays.size()), percentile(delays, 0.5), percentile(delays, 0.99), delays.back()};
}

} // namespace kelvo::ui
