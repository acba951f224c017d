#include "display/DirectPicture.h"

#include <QGuiApplication>

#include "platform/Formats.h"

namespace lunavue {

DirectPicture::DirectPicture(QWidget* parent, std::function<const uint8_t*()> frame)
    : QWidget(parent), frame_(std::move(frame)) {
    // A window of its own that only we draw into; clicks and keys go to the view.
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_PaintOnScreen);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        surface_.Open(static_cast<unsigned long>(winId()));
    }
}

void DirectPicture::SetPictureSize(int pw, int ph) {
    pw_ = pw;
    ph_ = ph;
}

void DirectPicture::Show() {
    const uint8_t* bits = frame_ ? frame_() : nullptr;
    if (bits == nullptr || pw_ <= 0 || ph_ <= 0 || !isVisible()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const int w = qRound(width() * ratio);
    const int h = qRound(height() * ratio);
    size_t stride = 0;
    uint32_t* pixels = surface_.Pixels(w, h, stride);
    if (pixels == nullptr) {
        return;
    }
    scaler_.Scale(bits, pw_, ph_, PictureStride(static_cast<uint32_t>(pw_)), pixels, w, h, stride);
    surface_.Put();
}

void DirectPicture::paintEvent(QPaintEvent*) {
    Show();  // uncovered or resized: the picture again
}

}  // namespace lunavue
