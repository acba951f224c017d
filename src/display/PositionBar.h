// Where the movie stands, as a bar the width of the picture: the elapsed time, a slider and
// the total time. A click on the slider goes to that point; a drag takes the picture along
// and lets the sound go on from where it is let go. Hovering or dragging shows the time
// under the pointer above it, with a small picture of that moment (from a PreviewSource).
// Without a movie it is disabled.
#pragma once

#include <QImage>
#include <QLabel>
#include <QSlider>
#include <QWidget>
#include <cstdint>

namespace lunavue {

class PreviewSource;
class TimeSlider;

class PositionBar : public QWidget {
    Q_OBJECT
  public:
    // Slider steps over the movie's length.
    static constexpr int kSteps = 10000;
    // The narrowest bar that shows the times beside the slider.
    static constexpr int kTimesWidth = 160;

    explicit PositionBar(QWidget* parent = nullptr);
    // Where playback stands and how long the movie lasts (0: no movie). Playing on, the bar
    // follows once a second; jumped (a seek, a step, a stop) moves it at once.
    void SetPosition(uint32_t ms, uint32_t lengthMs, bool jumped = false);
    bool Dragging() const { return dragging_; }
    // The point of the movie under x, in the slider's coordinates.
    uint32_t MsAt(int x) const;
    TimeSlider* Slider() const { return slider_; }
    // Where the wheel goes: the bar does not seek with it.
    void PassWheelTo(QWidget* target) { wheelTarget_ = target; }
    // Where the pictures of the preview come from (none: the time alone).
    void SetPreview(PreviewSource* source);
    // The preview above the bar, while shown (for tests and screen readers): its time text
    // and its picture.
    QString PreviewTime() const;
    QImage PreviewPicture() const;

  signals:
    void SeekStarted();
    void SeekTo(uint32_t ms);  // while dragging: the picture follows
    void SeekFinished(uint32_t ms);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void ShowPreview(int x);
    void HidePreview();

    TimeSlider* slider_;
    QWidget* preview_ = nullptr;  // a window of its own above the bar, made when first shown
    QLabel* previewPicture_ = nullptr;
    QLabel* previewTime_ = nullptr;
    PreviewSource* source_ = nullptr;
    uint32_t previewMs_ = 0;
    int previewX_ = 0;
    QLabel* elapsed_;
    QLabel* total_;
    uint32_t lengthMs_ = 0;
    QWidget* wheelTarget_ = nullptr;
    uint32_t shownSecond_ = UINT32_MAX;
    bool dragging_ = false;
};

}  // namespace lunavue
