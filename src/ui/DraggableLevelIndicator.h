#pragma once

#include <QProgressBar>

namespace kelvo::ui {

// A level meter floating over the video (the audio level). Values are whole
// steps; the text is read by the screen reader.
class DraggableLevelIndicator : public QProgressBar {
    Q_OBJECT
public:
    explicit DraggableLevelIndicator(QWidget *parent = nullptr) : QProgressBar(parent) { setTextVisible(false); }
};

} // namespace kelvo::ui
