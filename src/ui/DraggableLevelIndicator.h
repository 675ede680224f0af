#pragma once

#include "ui/FloatingControls.h"

#include <QPainter>
#include <QProgressBar>

#include <algorithm>

namespace kelvo::ui {

// A level meter floating over the video (the audio level). Values are whole
// steps; the text is read by the screen reader.
class DraggableLevelIndicator : public QProgressBar {
    Q_OBJECT
public:
    static constexpr double kMaximumLevel = 20.0; // 0 dB

    explicit DraggableLevelIndicator(QWidget *parent = nullptr) : QProgressBar(parent)
    {
        setTextVisible(false);
        setRange(0, int(kMaximumLevel));
        // In full screen the window stays where it is.
        makeWindowDraggable(this, [this] { return !(window()->windowState() & Qt::WindowFullScreen); });
    }

    // The meter's reading, 0 (empty) to 20, kept exactly for drawing.
    void setLevel(double level)
    {
        m_level = std::clamp(level, 0.0, kMaximumLevel);
        setValue(int(m_level + 0.5));
        update();
    }
    double level() const { return m_level; }

protected:
    // A thin, see-through strip: the picture (and any text on it) stays
    // readable beneath; only the lit part is drawn solid.
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRectF r = rect();
        painter.fillRect(r, QColor(0, 0, 0, 70));
        const double lit = r.width() * m_level / kMaximumLevel;
        const QColor colour = m_level > 0.8 * kMaximumLevel   ? QColor(230, 60, 40, 220)
                              : m_level > 0.5 * kMaximumLevel ? QColor(240, 200, 40, 220)
                                                              : QColor(60, 210, 90, 220);
        painter.fillRect(QRectF(r.left(), r.top(), lit, r.height()), colour);
    }

private:
    double m_level = 0.0;
};

// A meter the screen reader passes over (see installFloatingAccessibility).
class DraggableLevelIndicatorNoVoiceOver : public DraggableLevelIndicator {
    Q_OBJECT
public:
    using DraggableLevelIndicator::DraggableLevelIndicator;
};

} // namespace kelvo::ui
