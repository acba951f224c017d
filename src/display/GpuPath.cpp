#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QOpenGLWindow>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <vector>

#include "display/Geometry.h"
#include "display/PicturePath.h"

namespace lunavue {
namespace {

// The surfaces in the order they are tried: a texture drawn directly (the "overlay" kinds,
// from the deepest format down), then one presented by blitting from a framebuffer, then a
// plain texture (the "offscreen" kinds). A GL texture has no channel order of its own (the
// upload says how the bytes are laid out), so 24- and 32-bit RGB each need one try, not one
// for each order.
struct Try {
    GLenum internalFormat;
    GLenum format;
    GLenum type;
    bool framebuffer;
    bool overlay;
};
constexpr Try kTries[] = {
    {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, false, true},               // 24-bit RGB
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false, true},             // 32-bit RGB
    {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, false, true},      // 16-bit 5-6-5
    {GL_RGB5_A1, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, false, true},  // 15-bit 5-5-5
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, true, false},             // framebuffer, blitted
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false, false},            // plain texture
};
constexpr int kTryCount = sizeof kTries / sizeof kTries[0];
constexpr int kFirstOffscreen = 4;
// The decoded picture's byte order: blue, green, red.
constexpr GLenum kBgr = 0x80E0;

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

// Whether a framebuffer can draw into the texture.
bool FramebufferWorks(QOpenGLExtraFunctions& gl, GLuint tex, GLuint defaultFbo) {
    GLuint fbo = 0;
    gl.glGenFramebuffers(1, &fbo);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
    const bool ok = gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl.glBindFramebuffer(GL_FRAMEBUFFER, defaultFbo);
    gl.glDeleteFramebuffers(1, &fbo);
    return ok;
}

// The first try a GL context of this machine accepts for a w x h surface, or -1 when no
// context can be made or none is accepted. LUNAVUE_GL_NO_OVERLAY=1 refuses the directly
// drawn kinds (as an adapter without overlays would).
int Negotiate(int w, int h) {
    QOpenGLContext context;
    if (w <= 0 || h <= 0 || !context.create()) {
        return -1;
    }
    QOffscreenSurface probe;
    probe.setFormat(context.format());
    probe.create();
    if (!probe.isValid() || !context.makeCurrent(&probe)) {
        return -1;
    }
    QOpenGLExtraFunctions* gl = context.extraFunctions();
    const char* noOverlay = std::getenv("LUNAVUE_GL_NO_OVERLAY");
    int chosen = -1;
    for (int i = noOverlay != nullptr && *noOverlay == '1' ? kFirstOffscreen : 0;
         i < kTryCount && chosen < 0; ++i) {
        const GLuint tex = MakeSurface(*gl, kTries[i], w, h);
        if (tex != 0 && (!kTries[i].framebuffer ||
                         FramebufferWorks(*gl, tex, context.defaultFramebufferObject()))) {
            chosen = i;
        }
        gl->glDeleteTextures(1, &tex);
    }
    context.doneCurrent();
    return chosen;
}

// What draws the picture with GL: the picture is uploaded once per shown frame, 1:1 into its
// place in the surface, and drawn from there, scaled by the GPU, over the whole drawable.
// Base is an OpenGL window of its own over the picture area (X11: it leaves the rest of
// the main window to the toolkit's ordinary painting) or an OpenGL widget, which the
// toolkit composes into the main window (where windows of their own cannot be stacked).
template <class Base>
class GlPicture : public Base, protected QOpenGLExtraFunctions {
  public:
    GlPicture(geometry::Surface surface, int kind, int pw, int ph, PictureSource frame)
        : surface_(surface), kind_(kind), pw_(pw), ph_(ph), frame_(std::move(frame)) {}
    ~GlPicture() override;
    void Show() {
        dirty_ = true;
        this->update();
    }

  protected:
    void initializeGL() override;
    void paintGL() override;

  private:
    void Upload(const uint8_t* bits);
    void Draw();

    geometry::Surface surface_;
    int kind_;
    int pw_, ph_;
    PictureSource frame_;
    bool dirty_ = true;  // a new picture waits to be uploaded
    bool ready_ = false;
    GLuint texture_ = 0;
    GLuint framebuffer_ = 0;
    QOpenGLShaderProgram program_;
};

template <class Base>
GlPicture<Base>::~GlPicture() {
    if (ready_ && this->context() != nullptr) {
        this->makeCurrent();
        glDeleteTextures(1, &texture_);
        if (framebuffer_ != 0) {
            glDeleteFramebuffers(1, &framebuffer_);
        }
        this->doneCurrent();
    }
}

template <class Base>
void GlPicture<Base>::initializeGL() {
    initializeOpenGLFunctions();
    const Try& t = kTries[kind_];
    texture_ = MakeSurface(*this, t, surface_.w, surface_.h);
    if (texture_ == 0) {
        return;  // nothing is shown; the path's check finds it and the painter takes over
    }
    if (t.framebuffer) {
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, this->defaultFramebufferObject());
    }
    program_.addShaderFromSourceCode(QOpenGLShader::Vertex, kVertex);
    program_.addShaderFromSourceCode(QOpenGLShader::Fragment, kFragment);
    program_.bindAttributeLocation("position", 0);
    program_.bindAttributeLocation("coord", 1);
    ready_ = program_.link();
}

// The picture, 1:1 into its place. Its rows run bottom-up, as GL's rows do, so the bottom
// row goes in first; its bytes are blue, green, red.
template <class Base>
void GlPicture<Base>::Upload(const uint8_t* bits) {
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, surface_.left, surface_.h - surface_.bottom, pw_, ph_, kBgr,
                    GL_UNSIGNED_BYTE, bits);
    dirty_ = false;
}

template <class Base>
void GlPicture<Base>::paintGL() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const uint8_t* bits = frame_ ? frame_() : nullptr;
    if (!ready_ || bits == nullptr) {
        return;
    }
    if (dirty_) {
        Upload(bits);
    }
    Draw();
}

// From the picture's place in the surface to the whole drawable: blitted for the framebuffer
// kind, drawn as a textured quad for the others.
template <class Base>
void GlPicture<Base>::Draw() {
    const int h = surface_.h;
    const qreal dpr = this->devicePixelRatio();
    const int dw = static_cast<int>(this->width() * dpr);
    const int dh = static_cast<int>(this->height() * dpr);
    const GLuint target = this->defaultFramebufferObject();
    if (framebuffer_ != 0) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
        glBlitFramebuffer(surface_.left, h - surface_.bottom, surface_.right, h - surface_.top, 0,
                          0, dw, dh, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, target);
        return;
    }
    const auto w = static_cast<GLfloat>(surface_.w);
    const GLfloat u0 = surface_.left / w, u1 = surface_.right / w;
    const GLfloat v0 = static_cast<GLfloat>(h - surface_.bottom) / h;
    const GLfloat v1 = static_cast<GLfloat>(h - surface_.top) / h;
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

using GlPictureWindow = GlPicture<QOpenGLWindow>;
using GlPictureWidget = GlPicture<QOpenGLWidget>;

// Whether the pictures drawn reach the screen is only known once they have been drawn and
// handed over: a context can be made for a surface the compositor never shows. The path
// looks every kCheckMs after its first picture; three looks in a row with pictures asked
// for and none handed over, and it says it cannot show.
constexpr int kCheckMs = 1500;
constexpr int kChecksBeforeGivingUp = 3;

class GpuPath : public PicturePath {
  public:
    GpuPath(QWidget* view, geometry::Surface surface, int kind, int pw, int ph, PictureSource frame,
            std::function<void()> cannotShow)
        : overlay_(kTries[kind].overlay), cannotShow_(std::move(cannotShow)) {
        if (NativeChildWindows()) {
            window_ = new GlPictureWindow(surface, kind, pw, ph, std::move(frame));
            window_->setFlag(Qt::WindowTransparentForInput);  // clicks reach the view
            QObject::connect(window_, &QOpenGLWindow::frameSwapped, [this] { ++handedOver_; });
            shown_ = QWidget::createWindowContainer(window_, view);
        } else {
            widget_ = new GlPictureWidget(surface, kind, pw, ph, std::move(frame));
            widget_->setParent(view);
            QObject::connect(widget_, &QOpenGLWidget::frameSwapped, [this] { ++handedOver_; });
            shown_ = widget_;
        }
        shown_->setAttribute(Qt::WA_TransparentForMouseEvents);
        shown_->setFocusPolicy(Qt::NoFocus);
        // LUNAVUE_GL_UNSEEN=1 takes no picture as handed over, as on a compositor that never
        // shows the surface.
        const char* unseen = std::getenv("LUNAVUE_GL_UNSEEN");
        if (unseen != nullptr && *unseen == '1') {
            handedOver_ = -1000000;
        }
        check_.setInterval(kCheckMs);
        QObject::connect(&check_, &QTimer::timeout, [this] { Check(); });
    }
    ~GpuPath() override { delete shown_; }  // and the window in it

    Kind GetKind() const override { return overlay_ ? Kind::kGpuOverlay : Kind::kGpuBlit; }
    void Place(const QRect& area) override {
        if (shown_->geometry() != area) {
            shown_->setGeometry(area);
        }
        shown_->setVisible(!area.isEmpty());
    }
    void Show() override {
        ++asked_;
        if (window_ != nullptr) {
            window_->Show();
        } else {
            widget_->Show();
        }
        if (!confirmed_ && !check_.isActive()) {
            check_.start();
        }
    }
    // Under the picture: the colour key while the overlay kind is in use.
    void Paint(QPainter& painter, const QRect& area) override {
        painter.fillRect(area, overlay_ ? QColor(255, 0, 255) : QColor(Qt::black));
    }

  private:
    void Check() {
        if (handedOver_ > 0) {  // seen
            confirmed_ = true;
            check_.stop();
            return;
        }
        if (asked_ == 0 || !shown_->isVisible()) {
            looks_ = 0;  // nothing to show yet: no judgement
            return;
        }
        if (++looks_ >= kChecksBeforeGivingUp) {
            check_.stop();
            if (cannotShow_) {
                cannotShow_();
            }
        }
    }

    GlPictureWindow* window_ = nullptr;
    GlPictureWidget* widget_ = nullptr;
    QWidget* shown_ = nullptr;
    bool overlay_;
    std::function<void()> cannotShow_;
    QTimer check_;
    int asked_ = 0;
    int handedOver_ = 0;
    int looks_ = 0;
    bool confirmed_ = false;
};

}  // namespace

std::unique_ptr<PicturePath> MakeGpuPath(QWidget* view, int pw, int ph, int sw, int sh,
                                         PictureSource frame, std::function<void()> cannotShow) {
    const geometry::Surface surface = geometry::PictureSurface(pw, ph, sw, sh);
    const int kind = Negotiate(surface.w, surface.h);
    if (kind < 0) {
        return nullptr;
    }
    return std::make_unique<GpuPath>(view, surface, kind, pw, ph, std::move(frame),
                                     std::move(cannotShow));
}

}  // namespace lunavue
