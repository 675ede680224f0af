#pragma once

#include "ui/FloatingControls.h"

#include <QProgressBar>

namespace kelvo::ui {

// A level meter floating over the video (the audio level). Values are whole
// steps; the text is read by the screen reader.
class DraggableLevelIndicator : public QProgressBar {
    Q_OBJECT
public:
    explicit DraggableLevelIndicator(QWidget *parent = nullptr) : QProgressBar(parent)
    {
        setTextVisible(false);
        // In full screen the window stays where it is.
        makeWindowDraggable(this, [this] { return !(window()->windowState() & Qt::WindowFullScreen); });
    }
};

// A meter the screen reader passes over (see installFloatingAccessibility).
class DraggableLevelIndicatorNoVoiceOver : public DraggableLevelIndicator {
    Q_OBJECT
public:
    using DraggableLevelIndicator::DraggableLevelIndicator;
};

} // namespace kelvo::ui
