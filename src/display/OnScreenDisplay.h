// A short message over the picture (a new position, the volume, "Paused", a name queued),
// for two seconds, then the picture exactly as before. It is a native window of its own,
// raised above the picture's own windows, so that every picture path (the painter, shared
// memory, the GPU) shows it, in the window and in full screen; white text on a dark plate
// reads on light and dark pictures alike.
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

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QTimer hide_;
};

}  // namespace lunavue
