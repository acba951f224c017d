#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QWidget>

#include "display/PicturePath.h"
#include "display/PictureScaler.h"
#include "platform/Formats.h"

namespace lunavue {
namespace {

// The view paints the picture itself. Where the window's own pixels are a 32-bit image (the
// usual case) the picture goes straight into them at its shown size: no picture of our
// own, no copy. Otherwise it is scaled once for each new picture into a picture at the
// screen's pixels, which painting copies without scaling.
class PainterPath : public PicturePath {
  public:
    PainterPath(QWidget* view, int pw, int ph, PictureSource frame)
        : view_(view), pw_(pw), ph_(ph), frame_(std::move(frame)) {}

    Kind GetKind() const override { return Kind::kPainter; }
    void Place(const QRect& area) override {
        if (area != area_) {
            area_ = area;
            view_->update(area_);
        }
    }
    void Show() override {
        shownValid_ = false;
        if (NativeChildWindows()) {
            view_->update(area_);  // only where the picture is: bars and border stay
        } else {
            view_->update();
        }
    }
    void Paint(QPainter& painter, const QRect& area) override;

  private:
    bool PaintIntoDevice(QPainter& painter, const QRect& area, const uint8_t* bits);

    QWidget* view_;
    int pw_;
    int ph_;
    PictureSource frame_;
    QRect area_;
    PictureScaler scaler_;
    QImage shown_;
    bool shownValid_ = false;
};

bool PainterPath::PaintIntoDevice(QPainter& painter, const QRect& area, const uint8_t* bits) {
    // The view is the only widget there; menus and dialogs are windows of their own.
    auto* target = dynamic_cast<QImage*>(painter.paintEngine()->paintDevice());
    const QRect device = painter.deviceTransform().mapRect(QRectF(area)).toRect();
    if (target == nullptr ||
        (target->format() != QImage::Format_RGB32 &&
         target->format() != QImage::Format_ARGB32_Premultiplied) ||
        !target->rect().contains(device)) {
        return false;
    }
    const size_t line = static_cast<size_t>(target->bytesPerLine()) / sizeof(uint32_t);
    scaler_.Scale(bits, pw_, ph_, PictureStride(static_cast<uint32_t>(pw_)),
                  reinterpret_cast<uint32_t*>(target->bits()) + device.y() * line + device.x(),
                  device.width(), device.height(), line);
    return true;
}

void PainterPath::Paint(QPainter& painter, const QRect& area) {
    const uint8_t* bits = frame_ ? frame_() : nullptr;
    if (bits == nullptr || area.isEmpty()) {
        painter.fillRect(area, Qt::black);
        shownValid_ = false;
        return;
    }
    if (PaintIntoDevice(painter, area, bits)) {
        return;
    }
    const qreal ratio = view_->devicePixelRatioF();
    const QSize pixels(qRound(area.width() * ratio), qRound(area.height() * ratio));
    if (!shownValid_ || shown_.size() != pixels) {
        if (shown_.size() != pixels) {
            shown_ = QImage(pixels, QImage::Format_RGB32);
            shown_.setDevicePixelRatio(ratio);
        }
        scaler_.Scale(bits, pw_, ph_, PictureStride(static_cast<uint32_t>(pw_)),
                      reinterpret_cast<uint32_t*>(shown_.bits()), pixels.width(), pixels.height(),
                      static_cast<size_t>(shown_.bytesPerLine()) / sizeof(uint32_t));
        shownValid_ = true;
    }
    painter.drawImage(area.topLeft(), shown_);
}

}  // namespace

std::unique_ptr<PicturePath> MakePainterPath(QWidget* view, int pw, int ph, PictureSource frame) {
    return std::make_unique<PainterPath>(view, pw, ph, std::move(frame));
}

}  // namespace lunavue
