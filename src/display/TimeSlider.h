// The position bar's slider: painted plainly (a groove, the part played, the handle where
// the style puts it, so that a click lands where it shows; the style's own slider costs many
// times more to paint), and read by a screen reader as a time: its value in seconds and its
// text "0:44 of 2:00".
#pragma once

#include <QSlider>
#include <QString>
#include <cstdint>

namespace lunavue {

class TimeSlider : public QSlider {
  public:
    explicit TimeSlider(QWidget* parent);
    // Where playback stands and how long the movie lasts, in ms.
    void SetTimes(uint32_t ms, uint32_t lengthMs);
    uint32_t Ms() const { return ms_; }
    uint32_t LengthMs() const { return lengthMs_; }
    // "0:44 of 2:00".
    QString TimeText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    uint32_t ms_ = 0;
    uint32_t lengthMs_ = 0;
};

// Lets screen readers read the player's own widgets as what they are (the slider as a
// time, the view without the bars it hides); once, at start.
void InstallAccessibility();

}  // namespace lunavue
