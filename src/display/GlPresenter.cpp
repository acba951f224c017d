#include "display/GlPresenter.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <cstdlib>
#include <vector>

namespace lunavue {
namespace {

// The eight surfaces in the order they are tried: internal format, and whether the
// picture is presented from a framebuffer by blitting.
struct Try {
    GLenum internalFormat;
    GLenum format;
    GLenum type;
    bool framebuffer;
};
constexpr Try kTryList[GlPresenter::kTries] = {
    {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, false},               // 24-bit RGB
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false},             // 32-bit RGB
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false},             // 32-bit BGR
    {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, false},               // 24-bit BGR
    {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, false},      // 16-bit 5-6-5
    {GL_RGB5_A1, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, false},  // 15-bit 5-5-5
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, true},              // framebuffer, blitted
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false},             // plain texture
};

const char* kVertex = R"(
attribute vec2 position;
attribute vec2 coord;
varying vec2 texCoord;
void main() { texCoord = coord; gl_Position = vec4(position, 0.0, 1.0); }
)";
const char* kFragment = R"(
uniform sampler2D picture;
varying vec2 texCoord;
void main() { gl_FragColor = vec4(texture2D(picture, texCoord).rgb, 1.0); }
)";

// Makes a surface texture of the try's format, cleared to black; 0 on failure.
GLuint MakeSurface(QOpenGLExtraFunctions& gl, const Try& t, int w, int h) {
    while (gl.glGetError() != GL_NO_ERROR) {
    }
    GLuint tex = 0;
    gl.glGenTextures(1, &tex);
    gl.glBindTexture(GL_TEXTURE_2D, tex);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const std::vector<uint8_t> black(static_cast<size_t>(w) * h * 4, 0);
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(t.internalFormat), w, h, 0, t.format,
                    t.type, black.data());
    if (gl.glGetError() != GL_NO_ERROR) {
        gl.glDeleteTextures(1, &tex);
        return 0;
    }
    return tex;
}

}  // namespace

int GlPresenter::Negotiate(int w, int h) {
    if (w <= 0 || h <= 0) {
        return 0;
    }
    QOpenGLContext context;
    if (!context.create()) {
        return 0;
    }
    QOffscreenSurface probe;
    probe.setFormat(context.format());
    probe.create();
    if (!probe.isValid() || !context.makeCurrent(&probe)) {
        return 0;
    }
    QOpenGLExtraFunctions* gl = context.extraFunctions();
    const char* noOverlay = std::getenv("LUNAVUE_GL_NO_OVERLAY");
    const int first = noOverlay != nullptr && *noOverlay == '1' ? 6 : 0;
    int chosen = 0;
    for (int i = first; i < kTries && chosen == 0; ++i) {
        GLuint tex = MakeSurface(*gl, kTryList[i], w, h);
        if (tex == 0) {
            continue;
        }
        bool ok = true;
        if (kTryList[i].framebuffer) {
            GLuint fbo = 0;
            gl->glGenFramebuffers(1, &fbo);
            gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
            ok = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            gl->glBindFramebuffer(GL_FRAMEBUFFER, context.defaultFramebufferObject());
            gl->glDeleteFramebuffers(1, &fbo);
        }
        gl->glDeleteTextures(1, &tex);
        if (ok) {
            chosen = i + 1;
        }
    }
    context.doneCurrent();
    return chosen;
}

GlPresenter::GlPresenter(QWidget* parent, geometry::Surface surface, int kind, int pictureWidth,
                         int pictureHeight, std::function<const uint8_t*()> frame)
    : QOpenGLWidget(parent),
      surface_(surface),
      kind_(kind),
      pw_(pictureWidth),
      ph_(pictureHeight),
      frame_(std::move(frame)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);  // clicks reach the view
}

GlPresenter::~GlPresenter() {
    if (ready_ && context() != nullptr) {
        makeCurrent();
        glDeleteTextures(1, &texture_);
        if (framebuffer_ != 0) {
            glDeleteFramebuffers(1, &framebuffer_);
        }
        doneCurrent();
    }
}

void GlPresenter::initializeGL() {
    initializeOpenGLFunctions();
    const Try& t = kTryList[kind_ - 1];
    texture_ = MakeSurface(*this, t, surface_.w, surface_.h);
    if (texture_ == 0) {
        return;  // nothing is shown; the next movie sets up again
    }
    if (t.framebuffer) {
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    }
    program_.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertex);
    program_.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragment);
    program_.bindAttributeLocation("position", 0);
    program_.bindAttributeLocation("coord", 1);
    ready_ = program_.link();
}

void GlPresenter::Show(bool wholeSurface) {
    wholeSurface_ = wholeSurface;
    dirty_ = true;
    update();
}

void GlPresenter::paintGL() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const uint8_t* bits = frame_ ? frame_() : nullptr;
    if (!ready_ || bits == nullptr) {
        return;
    }
    const int w = surface_.w;
    const int h = surface_.h;
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (dirty_) {
        // The picture, 1:1 into its place, once per shown frame. Its rows run bottom-up, as
        // GL's rows do, so the bottom row goes in first.
        constexpr GLenum kBgr = 0x80E0;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, surface_.left, h - surface_.bottom, pw_, ph_, kBgr,
                        GL_UNSIGNED_BYTE, bits);
        dirty_ = false;
    }
    // The source: the picture alone, or the whole surface with its black bars.
    const int left = wholeSurface_ ? 0 : surface_.left;
    const int top = wholeSurface_ ? 0 : surface_.top;
    const int right = wholeSurface_ ? w : surface_.right;
    const int bottom = wholeSurface_ ? h : surface_.bottom;
    const qreal dpr = devicePixelRatioF();
    const int dw = static_cast<int>(width() * dpr);
    const int dh = static_cast<int>(height() * dpr);
    if (framebuffer_ != 0) {
        // The offscreen kind: blitted, and scaled on the way, to the widget.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
        glBlitFramebuffer(left, h - bottom, right, h - top, 0, 0, dw, dh, GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
        return;
    }
    const GLfloat u0 = static_cast<GLfloat>(left) / w, u1 = static_cast<GLfloat>(right) / w;
    const GLfloat v0 = static_cast<GLfloat>(h - bottom) / h, v1 = static_cast<GLfloat>(h - top) / h;
    const GLfloat vertices[] = {-1, -1, u0, v0, 1, -1, u1, v0, -1, 1, u0, v1, 1, 1, u1, v1};
    glViewport(0, 0, dw, dh);
    program_.bind();
    program_.setUniformValue("picture", 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture_);
    program_.enableAttributeArray(0);
    program_.enableAttributeArray(1);
    program_.setAttributeArray(0, GL_FLOAT, vertices, 2, 4 * sizeof(GLfloat));
    program_.setAttributeArray(1, GL_FLOAT, vertices + 2, 2, 4 * sizeof(GLfloat));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    program_.disableAttributeArray(0);
    program_.disableAttributeArray(1);
    program_.release();
}

}  // namespace lunavue
