#include "ui/VideoViewGlSurface.h"

#include "ui/VideoView.h"
#include "video/FrameConversion.h"

#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QVector2D>

#include <cmath>
#include <vector>

namespace kelvo::ui {

using kelvo::video::ColourCurve;
using kelvo::video::PixelFormat;

namespace {

const char *kVertexShader = R"(
in vec2 aFramePos;
uniform mat3 uFrameToClip;
out vec2 vFramePos;
void main()
{
    vec3 p = uFrameToClip * vec3(aFramePos, 1.0);
    gl_Position = vec4(p.xy, 0.0, 1.0);
    vFramePos = aFramePos;
}
)";

// The same exact integer arithmetic as the CPU conversion (every term a
// multiple of 1/2 560 000, floor taken in integers), and the same luminance
// sums and curve samples, so the two paths agree pixel for pixel.
const char *kFragmentShader = R"(
in vec2 vFramePos;
out vec4 fragColor;
uniform highp sampler2D uPlane0;
uniform highp sampler2D uPlane1;
uniform highp sampler2D uLuma;
uniform highp sampler2D uCurve;
uniform int uPacked;
uniform int uWidth;
uniform int uHeight;
uniform int uPackedBytesPerRow;
uniform int uLumaTenths;
uniform int uUseCurve;

int byteAt(highp sampler2D plane, int x, int y)
{
    return int(texelFetch(plane, ivec2(x, y), 0).r * 255.0 + 0.5);
}

int quantise(int n)
{
    return clamp(n >> 12, 0, 159999) / 625;
}

void main()
{
    int x = clamp(int(floor(vFramePos.x)), 0, uWidth - 1);
    int y = clamp(int(floor(vFramePos.y)), 0, uHeight - 1);
    int luma;
    int cb;
    int cr;
    if (uPacked != 0) {
        int pair = x / 2;
        int phase = x - 2 * pair;
        if (4 * pair + 3 > uPackedBytesPerRow) {
            // The row stops before the last pair: repeat the left neighbour.
            pair -= 1;
            phase = 1;
        }
        cb = byteAt(uPlane0, 4 * pair, y);
        luma = byteAt(uPlane0, 4 * pair + 1 + 2 * phase, y);
        cr = byteAt(uPlane0, 4 * pair + 2, y);
    } else {
        int cx = 2 * (x / 2);
        luma = byteAt(uPlane0, x, y);
        cb = byteAt(uPlane1, cx, y / 2);
        cr = byteAt(uPlane1, cx + 1, y / 2);
    }
    int yTerm = (10 * luma + uLumaTenths) * 298082;
    int r = quantise(yTerm + cr * 4085830 - 570677760);
    int g = quantise(yTerm - cb * 1002910 - cr * 2081200 + 347074560);
    int b = quantise(yTerm + cb * 5164120 - 708700160);
    if (uUseCurve != 0) {
        float sum = texelFetch(uLuma, ivec2(r, 0), 0).r + texelFetch(uLuma, ivec2(g, 1), 0).r +
                    texelFetch(uLuma, ivec2(b, 2), 0).r;
        int index = clamp(int(floor((sum + 128.0) / 256.0)), 0, 4095);
        fragColor = vec4(texelFetch(uCurve, ivec2(index - 64 * (index / 64), index / 64), 0).rgb, 1.0);
    } else {
        fragColor = vec4(vec3(float(r), float(g), float(b)) / 255.0, 1.0);
    }
}
)";

// Samples the converted picture between its pixels.
const char *kPresentShader = R"(
in vec2 vFramePos;
out vec4 fragColor;
uniform highp sampler2D uPicture;
uniform vec2 uFrameSize;

void main()
{
    fragColor = vec4(texture(uPicture, vFramePos / uFrameSize).rgb, 1.0);
}
)";

QByteArray shaderSource(const QOpenGLContext *context, const char *body)
{
    QByteArray header = context->isOpenGLES() ? "#version 300 es\nprecision highp float;\nprecision highp int;\n"
                                              : "#version 330 core\n";
    return header + body;
}

} // namespace

VideoViewGlSurface::VideoViewGlSurface(VideoView *view) : QOpenGLWidget(view), m_view(view)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

VideoViewGlSurface::~VideoViewGlSurface()
{
    releaseResources();
    // The base class destroys the context after this part is gone: it must
    // not call back into it then.
    if (context()) {
        disconnect(context(), nullptr, this, nullptr);
    }
}

void VideoViewGlSurface::releaseResources()
{
    if (!m_initialised || context() == nullptr) {
        return;
    }
    makeCurrent();
    glDeleteTextures(2, m_planeTextures);
    glDeleteTextures(1, &m_curveTexture);
    glDeleteTextures(1, &m_lumaTexture);
    glDeleteTextures(1, &m_pictureTexture);
    glDeleteFramebuffers(1, &m_pictureFramebuffer);
    glDeleteBuffers(1, &m_vertexBuffer);
    glDeleteVertexArrays(1, &m_vertexArray);
    m_program.reset();
    m_presentProgram.reset();
    // A new context starts with new, empty textures: sizes must be given
    // again, not refilled.
    m_planeSizes[0] = m_planeSizes[1] = m_pictureSize = QSize();
    doneCurrent();
    m_initialised = false;
}

void VideoViewGlSurface::setFrame(const kelvo::video::VideoFrame &frame)
{
    m_frame = frame;
    m_frameStale = true;
    update();
}

void VideoViewGlSurface::setCurve(std::shared_ptr<const ColourCurve> curve)
{
    m_curve = std::move(curve);
    m_curveStale = true;
    update();
}

void VideoViewGlSurface::setFrameTransform(const QTransform &transform)
{
    m_transform = transform;
    update();
}

void VideoViewGlSurface::initializeGL()
{
    QOpenGLContext *ctx = context();
    if (ctx == nullptr || !ctx->isValid()) {
        m_working = false;
        emit failed();
        return;
    }
    initializeOpenGLFunctions();
    const auto build = [ctx](const char *fragment) {
        auto program = std::make_unique<QOpenGLShaderProgram>();
        const bool built = program->addShaderFromSourceCode(QOpenGLShader::Vertex, shaderSource(ctx, kVertexShader)) &&
                           program->addShaderFromSourceCode(QOpenGLShader::Fragment, shaderSource(ctx, fragment)) &&
                           program->link();
        return built ? std::move(program) : nullptr;
    };
    m_program = build(kFragmentShader);
    m_presentProgram = build(kPresentShader);
    if (!m_program || !m_presentProgram) {
        m_working = false;
        m_program.reset();
        m_presentProgram.reset();
        emit failed();
        return;
    }
    glGenTextures(2, m_planeTextures);
    glGenTextures(1, &m_curveTexture);
    glGenTextures(1, &m_lumaTexture);
    glGenTextures(1, &m_pictureTexture);
    glGenFramebuffers(1, &m_pictureFramebuffer);
    for (unsigned texture : {m_planeTextures[0], m_planeTextures[1], m_curveTexture, m_lumaTexture}) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    // The luminance shares of each channel value, as the CPU sums them.
    std::vector<float> shares(3 * 256);
    const auto &table = ColourCurve::lumaTable();
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            shares[std::size_t(c * 256 + v)] = float(table[std::size_t(c)][std::size_t(v)]);
        }
    }
    glBindTexture(GL_TEXTURE_2D, m_lumaTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, 256, 3, 0, GL_RED, GL_FLOAT, shares.data());

    glGenVertexArrays(1, &m_vertexArray);
    glGenBuffers(1, &m_vertexBuffer);
    m_initialised = true;
    m_curveStale = true;
    m_frameStale = m_frame.isValid();
    connect(ctx, &QOpenGLContext::aboutToBeDestroyed, this, &VideoViewGlSurface::releaseResources);
}

void VideoViewGlSurface::uploadCurve()
{
    m_curveStale = false;
    m_pictureStale = true;
    if (!m_curve || m_curve->isIdentity()) {
        return;
    }
    // 0xFFRRGGBB words are B, G, R, A bytes in memory; swizzle on upload so
    // the shader reads .rgb. A 64 × 64 texture fits every implementation.
    std::vector<std::uint8_t> rgba(ColourCurve::kSize * 4);
    for (int i = 0; i < ColourCurve::kSize; ++i) {
        const std::uint32_t px = m_curve->table()[i];
        rgba[std::size_t(4 * i)] = std::uint8_t(px >> 16);
        rgba[std::size_t(4 * i + 1)] = std::uint8_t(px >> 8);
        rgba[std::size_t(4 * i + 2)] = std::uint8_t(px);
        rgba[std::size_t(4 * i + 3)] = 255;
    }
    glBindTexture(GL_TEXTURE_2D, m_curveTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
}

void VideoViewGlSurface::uploadFrame()
{
    m_frameStale = false;
    const auto &f = m_frame;
    if (!kelvo::video::isConvertible(f)) {
        return;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const auto upload = [this](int plane, const std::uint8_t *bytes, int width, int height, int stride) {
        glBindTexture(GL_TEXTURE_2D, m_planeTextures[plane]);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, stride);
        // Reallocate only when the size changes; most frames only refill.
        if (m_planeSizes[plane] != QSize(width, height)) {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, width, height, 0, GL_RED, GL_UNSIGNED_BYTE, bytes);
            m_planeSizes[plane] = QSize(width, height);
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RED, GL_UNSIGNED_BYTE, bytes);
        }
    };
    if (f.format == PixelFormat::UYVY) {
        // Whole pairs, plus Cb, Y0, Cr of a last half pair when the row holds them.
        m_packedBytesPerRow = 4 * (f.width / 2);
        if (f.width % 2 != 0 && f.strides[0] >= m_packedBytesPerRow + 3) {
            m_packedBytesPerRow += 3;
        }
        upload(0, f.planes[0], m_packedBytesPerRow, f.height, f.strides[0]);
    } else {
        upload(0, f.planes[0], f.width, f.height, f.strides[0]);
        upload(1, f.planes[1], 2 * ((f.width + 1) / 2), (f.height + 1) / 2, f.strides[1]);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    m_hasUploadedFrame = true;
    m_pictureStale = true;
    m_view->frameDrawn(f.timestampNs);
}

bool VideoViewGlSurface::convertIntoPicture()
{
    const auto &f = m_frame;
    const QSize size(f.width, f.height);
    glBindTexture(GL_TEXTURE_2D, m_pictureTexture);
    if (m_pictureSize != size) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, f.width, f.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindFramebuffer(GL_FRAMEBUFFER, m_pictureFramebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_pictureTexture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
            return false;
        }
        m_pictureSize = size;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_pictureFramebuffer);
    glViewport(0, 0, f.width, f.height);

    m_program->bind();
    m_program->setUniformValue("uPacked", f.format == PixelFormat::UYVY ? 1 : 0);
    m_program->setUniformValue("uWidth", f.width);
    m_program->setUniformValue("uHeight", f.height);
    m_program->setUniformValue("uPackedBytesPerRow", m_packedBytesPerRow);
    m_program->setUniformValue("uLumaTenths", int(std::lround(-160.0 * kelvo::video::lumaOffset(f.format, f.range))));
    m_program->setUniformValue("uUseCurve", m_curve && !m_curve->isIdentity() ? 1 : 0);
    const unsigned textures[4] = {m_planeTextures[0], m_planeTextures[1], m_lumaTexture, m_curveTexture};
    const char *samplers[4] = {"uPlane0", "uPlane1", "uLuma", "uCurve"};
    for (int i = 0; i < 4; ++i) {
        glActiveTexture(GL_TEXTURE0 + unsigned(i));
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        m_program->setUniformValue(samplers[i], i);
    }
    // Frame pixel (x, y) is picture texel (x, y).
    drawQuad(*m_program, QTransform(2.0 / f.width, 0, 0, 2.0 / f.height, -1, -1));
    m_program->release();

    glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
    m_pictureStale = false;
    return true;
}

void VideoViewGlSurface::drawQuad(QOpenGLShaderProgram &program, const QTransform &frameToClip)
{
    const float matrix[9] = {float(frameToClip.m11()), float(frameToClip.m12()), 0.0f,
                             float(frameToClip.m21()), float(frameToClip.m22()), 0.0f,
                             float(frameToClip.dx()),  float(frameToClip.dy()),  1.0f};
    const float w = float(m_frame.width), h = float(m_frame.height);
    const float corners[8] = {0, 0, w, 0, 0, h, w, h};
    glUniformMatrix3fv(program.uniformLocation("uFrameToClip"), 1, GL_FALSE, matrix);
    glBindVertexArray(m_vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STREAM_DRAW);
    const int position = program.attributeLocation("aFramePos");
    glEnableVertexAttribArray(unsigned(position));
    glVertexAttribPointer(unsigned(position), 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(unsigned(position));
    glBindVertexArray(0);
}

void VideoViewGlSurface::paintGL()
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (!m_initialised) {
        return;
    }
    if (m_curveStale) {
        uploadCurve();
    }
    if (m_frameStale) {
        uploadFrame();
    }
    if (!m_hasUploadedFrame || width() <= 0 || height() <= 0) {
        return;
    }
    if (m_pictureStale && !convertIntoPicture()) {
        m_working = false;
        emit failed();
        return;
    }
    // Frame pixels to widget pixels, then to clip space (y up).
    const QTransform toClip = m_transform * QTransform(2.0 / width(), 0, 0, -2.0 / height(), -1, 1);
    m_presentProgram->bind();
    m_presentProgram->setUniformValue("uFrameSize", QVector2D(float(m_frame.width), float(m_frame.height)));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_pictureTexture);
    m_presentProgram->setUniformValue("uPicture", 0);
    drawQuad(*m_presentProgram, toClip);
    m_presentProgram->release();
}

} // namespace kelvo::ui
