// The picture shown straight into a native window of its own, over the view's picture area,
// through MIT shared memory: each new picture is scaled once into the shared image and put,
// with none of the toolkit's repaint machinery. Only on X11 with shared memory; Ready says
// whether it could be set up, and the view paints the picture itself when it could not.
#pragma once

#include <QWidget>
#include <functional>

#include "display/PictureScaler.h"
#include "display/ShmSurface.h"

namespace lunavue {

class DirectPicture : public QWidget {
    Q_OBJECT
  public:
    // frame gives the picture to show (bottom-up 24-bit rows of a pw x ph picture).
    DirectPicture(QWidget* parent, std::function<const uint8_t*()> frame);

    bool Ready() const { return surface_.IsOpen(); }
    void SetPictureSize(int pw, int ph);
    // Shows the current picture at this widget's size.
    void Show();

    QPaintEngine* paintEngine() const override { return nullptr; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::function<const uint8_t*()> frame_;
    ShmSurface surface_;
    PictureScaler scaler_;
    int pw_ = 0;
    int ph_ = 0;
};

}  // namespace lunavue
