// A short message over the picture (a new position, the volume, "Paused", a name queued),
// for two seconds, then the picture exactly as before. On X11 it is a native window of its
// own, raised above the picture's own windows, so that every picture path (the painter,
// shared memory, the GPU) shows it, in the window and in full screen; elsewhere it is drawn
// inside the view. White text on a dark plate reads on light and dark pictures alike.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

namespace lunavue {

class OnScreenDisplay : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kShownMs = 2000;

    explicit OnScreenDisplay(QWidget* view);
    // Shows the text near the top left corner of the picture area (view coordinates).
    void ShowText(const QString& text, const QRect& area);
    QString Shown() const { return isVisible() ? text_ : QString(); }
    // What is drawn: the text, shortened in the middle when wider than the picture.
    QString Drawn() const { return isVisible() ? shown_ : QString(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QString shown_;  // the text as it fits the picture
    QTimer hide_;
};

}  // namespace lunavue
