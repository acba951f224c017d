// GPU presentation of the picture (the "Direct Draw" setting), on OpenGL.
//
// A picture surface of the screen's shape holds the picture centred at 1:1; each shown
// frame is uploaded once into its place in the surface and then drawn, scaled by the GPU,
// from a source rectangle of the surface to the whole widget. The surface is one of eight
// kinds, tried in order: six texture formats drawn directly (the "overlay" kind), then a
// framebuffer presented by blitting, then a plain texture (the "offscreen" kind).
#pragma once

#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <cstdint>
#include <functional>

#include "display/Geometry.h"

namespace lunavue {

class GlPresenter : public QOpenGLWidget, protected QOpenGLExtraFunctions {
    Q_OBJECT
  public:
    static constexpr int kTries = 8;

    // Which of the eight tries a GL context of this machine accepts for a w x h surface:
    // 1 ... 6 the overlay kind, 7 ... 8 the offscreen kind; 0 when no GL context can be
    // made or none is accepted. LUNAVUE_GL_NO_OVERLAY=1 refuses the first six (as an
    // adapter without overlays would).
    static int Negotiate(int w, int h);

    // frame gives the picture to show (bottom-up 24-bit rows), read when it is painted.
    GlPresenter(QWidget* parent, geometry::Surface surface, int kind, int pictureWidth,
                int pictureHeight, std::function<const uint8_t*()> frame);
    ~GlPresenter() override;

    bool Overlay() const { return kind_ <= 6; }
    // A new picture is to be shown, from the picture alone or from the whole surface with
    // its black bars.
    void Show(bool wholeSurface);

  protected:
    void initializeGL() override;
    void paintGL() override;

  private:
    geometry::Surface surface_;
    int kind_;
    int pw_, ph_;
    std::function<const uint8_t*()> frame_;
    bool dirty_ = false;  // a new picture waits to be uploaded
    bool wholeSurface_ = false;
    bool ready_ = false;
    GLuint texture_ = 0;
    GLuint framebuffer_ = 0;
    QOpenGLShaderProgram program_;
};

}  // namespace lunavue
