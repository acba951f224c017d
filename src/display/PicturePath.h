// How the current picture reaches the screen. While a movie is open the view has exactly one
// path, made when the movie opens and dropped when it closes (or when the "Direct Draw"
// setting changes):
// - the painter: the view paints the picture itself, scaled once into its own pixels;
// - shared memory: a native window over the picture area, into which the picture is put
//   through MIT shared memory (X11 only), bypassing the toolkit's repaint;
// - the GPU: an OpenGL window over the picture area, into whose texture each picture is
//   uploaded once and drawn scaled.
// The view decides where the picture goes (the picture area: the picture's shape, centred
// in the view) and paints what lies around it; a path only shows the picture there.
#pragma once

#include <QPainter>
#include <QRect>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

namespace lunavue {

// Gives the picture to show: bottom-up 24-bit rows of the movie's size, or null.
using PictureSource = std::function<const uint8_t*()>;

class PicturePath {
  public:
    enum class Kind { kPainter, kSharedMemory, kGpuOverlay, kGpuBlit };

    virtual ~PicturePath() = default;
    virtual Kind GetKind() const = 0;
    // The picture area, in the view's coordinates.
    virtual void Place(const QRect& area) = 0;
    // A new picture is to be shown.
    virtual void Show() = 0;
    // Paints the picture area from the view's paintEvent: the painter paints the picture;
    // the others paint what lies under their own window.
    virtual void Paint(QPainter& painter, const QRect& area) { painter.fillRect(area, Qt::black); }
};

// Whether windows of their own can be stacked inside the view (X11). On other platforms
// (Wayland) a native child turns the view and everything up to the main window into
// surfaces of their own, and what the toolkit paints around them (the position bar, the
// status bar) stops reaching the screen; there the messages and the full-screen bar are
// ordinary widgets and the pictures are painted by the view or drawn by a GL widget.
bool NativeChildWindows();

// The painter: always available.
std::unique_ptr<PicturePath> MakePainterPath(QWidget* view, int pw, int ph, PictureSource frame);
// Shared memory, or null where the window system cannot do it.
std::unique_ptr<PicturePath> MakeSharedMemoryPath(QWidget* view, int pw, int ph,
                                                  PictureSource frame);
// The GPU, or null where no GL context or surface can be had. The surface has the screen's
// shape (sw x sh) with the picture centred in it. A context can be had for a surface that
// never reaches the screen: when pictures drawn are not handed over for some seconds, the
// path calls cannotShow, once (the path must not be deleted inside that call).
std::unique_ptr<PicturePath> MakeGpuPath(QWidget* view, int pw, int ph, int sw, int sh,
                                         PictureSource frame, std::function<void()> cannotShow);

}  // namespace lunavue
