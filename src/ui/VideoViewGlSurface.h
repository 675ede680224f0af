#pragma once

#include "video/ColourCurve.h"
#include "video/VideoFrame.h"

#include <QOpenGLExtraFunctions>
#include <QOpenGLWidget>
#include <QTransform>

#include <memory>

class QOpenGLShaderProgram;

namespace kelvo::ui {

class VideoView;

// The GPU side of VideoView: the frame's planes go up as byte textures, and a
// fragment shader does the exact integer conversion and the colour curve
// once per frame pixel into a picture texture of the frame's size. That
// picture is then drawn through zoom, mirror and orientation (the quad's
// transform) with linear filtering, so the picture is smoothed after the
// colour mode, as the CPU path's painter smooths it. Resizing or zooming
// redraws only the second step. Reports through VideoView::useCpu() when it
// cannot draw. Main thread.
class VideoViewGlSurface : public QOpenGLWidget, protected QOpenGLExtraFunctions {
    Q_OBJECT
public:
    explicit VideoViewGlSurface(VideoView *view);
    ~VideoViewGlSurface() override;

    // A new frame to upload at the next paint (replacing one not yet drawn).
    void setFrame(const kelvo::video::VideoFrame &frame);
    // A new colour curve (null or identity: none).
    void setCurve(std::shared_ptr<const kelvo::video::ColourCurve> curve);
    // Frame pixel coordinates to this widget's coordinates.
    void setFrameTransform(const QTransform &transform);

    // False once the context or the shaders failed.
    bool isWorking() const { return m_working; }

signals:
    void failed();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void uploadFrame();
    void uploadCurve();
    bool convertIntoPicture();
    void drawQuad(QOpenGLShaderProgram &program, const QTransform &frameToClip);
    void releaseResources();

    VideoView *m_view;
    bool m_working = true;
    bool m_initialised = false;
    std::unique_ptr<QOpenGLShaderProgram> m_program;        // planes to picture
    std::unique_ptr<QOpenGLShaderProgram> m_presentProgram; // picture to screen
    unsigned m_pictureTexture = 0;
    unsigned m_pictureFramebuffer = 0;
    QSize m_pictureSize;
    bool m_pictureStale = true;
    unsigned m_planeTextures[2] = {0, 0};
    QSize m_planeSizes[2];
    unsigned m_curveTexture = 0;
    unsigned m_lumaTexture = 0;
    unsigned m_vertexArray = 0;
    unsigned m_vertexBuffer = 0;

    kelvo::video::VideoFrame m_frame;
    bool m_frameStale = false;
    bool m_hasUploadedFrame = false;
    int m_packedBytesPerRow = 0; // bytes of each packed row in the texture
    std::shared_ptr<const kelvo::video::ColourCurve> m_curve;
    bool m_curveStale = true;
    QTransform m_transform;
};

} // namespace kelvo::ui
