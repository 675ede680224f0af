#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace kelvo::ui {
class LineOverlayView;
}

namespace kelvo::viewer {

class ViewerModel;

// What the picture is showing, said in words, for someone who cannot see it:
// zoom level, colour mode, frozen or live, the guides, turn and mirroring.
struct PictureState {
    int zoomLevel = 1;
    QString colourMode;
    bool frozen = false;
    int horizontalGuides = 0; // 0 none, 1 lines, 2 window
    int verticalGuides = 0;
    int orientation = 1; // 1 landscape, 2 flipped, 3 portrait left, 4 portrait right
    bool mirrored = false;
};
QString describePicture(const PictureState &state);

// Makes the picture area a place the keyboard focus can rest on, named for
// the screen reader, whose description follows the viewer's state: the
// screen reader reads it on demand and hears of each change.
// Thread: main thread.
class PictureAccessibility : public QObject {
    Q_OBJECT
public:
    PictureAccessibility(QWidget *picture, ViewerModel &model, ui::LineOverlayView *guides, QObject *parent = nullptr);

    PictureState state() const;
    // Re-reads the state; changes the description only when it differs.
    void refresh();

private:
    QPointer<QWidget> m_picture;
    ViewerModel &m_model;
    QPointer<ui::LineOverlayView> m_guides;
};

} // namespace kelvo::viewer
