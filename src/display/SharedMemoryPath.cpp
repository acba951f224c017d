#include <QGuiApplication>
#include <QWidget>

#include "display/PicturePath.h"
#include "display/PictureScaler.h"
#include "display/ShmSurface.h"
#include "platform/Formats.h"

namespace lunavue {
namespace {

// A native window of its own over the picture area that only we draw into: each new picture
// is scaled once into the shared image and put, with none of the toolkit's repaint
// machinery. Clicks and keys go through it to the view.
class PictureWindow : public QWidget {
  public:
    PictureWindow(QWidget* parent, int pw, int ph, PictureSource frame)
        : QWidget(parent), pw_(pw), ph_(ph), frame_(std::move(frame)) {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        surface_.Open(static_cast<unsigned long>(winId()));
    }
    bool Ready() const { return surface_.IsOpen(); }

    void Put() {
        const uint8_t* bits = frame_ ? frame_() : nullptr;
        if (bits == nullptr || !isVisible()) {
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
        scaler_.Scale(bits, pw_, ph_, PictureStride(static_cast<uint32_t>(pw_)), pixels, w, h,
                      stride);
        surface_.Put();
    }

    QPaintEngine* paintEngine() const override { return nullptr; }

  protected:
    void paintEvent(QPaintEvent*) override { Put(); }  // uncovered or resized: the picture again

  private:
    int pw_;
    int ph_;
    PictureSource frame_;
    ShmSurface surface_;
    PictureScaler scaler_;
};

class SharedMemoryPath : public PicturePath {
  public:
    explicit SharedMemoryPath(PictureWindow* window) : window_(window) {}
    ~SharedMemoryPath() override { delete window_; }

    Kind GetKind() const override { return Kind::kSharedMemory; }
    void Place(const QRect& area) override {
        if (window_->geometry() != area) {
            window_->setGeometry(area);
        }
        window_->setVisible(!area.isEmpty());
    }
    void Show() override { window_->Put(); }

  private:
    PictureWindow* window_;
};

}  // namespace

bool NativeChildWindows() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

std::unique_ptr<PicturePath> MakeSharedMemoryPath(QWidget* view, int pw, int ph,
                                                  PictureSource frame) {
    if (!NativeChildWindows()) {
        return nullptr;
    }
    auto* window = new PictureWindow(view, pw, ph, std::move(frame));
    if (!window->Ready()) {
        delete window;
        return nullptr;
    }
    return std::make_unique<SharedMemoryPath>(window);
}

}  // namespace lunavue
