#include "display/PositionBar.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

#include "display/TimeSlider.h"
#include "framework/Translation.h"
#include "movie/MovieClock.h"

namespace lunavue {
namespace {

QString Time(uint32_t ms) {
    return QString::fromStdString(ClockTime(ms));
}

}  // namespace

PositionBar::PositionBar(QWidget* parent) : QWidget(parent) {
    slider_ = new TimeSlider(this);
    slider_->setRange(0, kSteps);
    // Reached with Tab (a click leaves the keys with the picture); the window's keys seek.
    slider_->setFocusPolicy(Qt::TabFocus);
    slider_->setAccessibleName(Text(QT_TRANSLATE_NOOP("Lunavue", "Position")));
    slider_->installEventFilter(this);
    elapsed_ = new QLabel(Time(0), this);
    total_ = new QLabel(Time(0), this);
    // Opaque, so that the bar's once-a-second changes repaint only what changed.
    for (QWidget* part : {static_cast<QWidget*>(slider_), static_cast<QWidget*>(elapsed_),
                          static_cast<QWidget*>(total_)}) {
        part->setAutoFillBackground(true);
    }
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 1, 4, 1);
    row->addWidget(elapsed_);
    row->addWidget(slider_, 1);
    row->addWidget(total_);
    // However narrow the picture, the bar never makes the window wider: it gives way, and
    // below kTimesWidth it shows the slider alone.
    slider_->setMinimumWidth(1);
    slider_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(1);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setEnabled(false);
}

// Its own background, also where it lies over the picture in full screen.
void PositionBar::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), palette().window());
}

void PositionBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    elapsed_->setVisible(width() >= kTimesWidth);
    total_->setVisible(width() >= kTimesWidth);
}

void PositionBar::SetPosition(uint32_t ms, uint32_t lengthMs, bool jumped) {
    setEnabled(lengthMs != 0);
    if (lengthMs != lengthMs_) {
        lengthMs_ = lengthMs;
        total_->setText(Time(lengthMs));
        jumped = true;
    }
    if (dragging_) {
        return;  // the slider is where the hand holds it
    }
    // While playing, the handle and the time move together once a second (a repaint of the
    // bar costs far more than its painting; a jump, a drag or a new movie moves them at once).
    const uint32_t second = ms / 1000;
    if (second == shownSecond_ && !jumped) {
        return;
    }
    shownSecond_ = second;
    slider_->SetTimes(ms, lengthMs);
    elapsed_->setText(Time(ms));
    const int value =
        lengthMs == 0 ? 0 : static_cast<int>(uint64_t{std::min(ms, lengthMs)} * kSteps / lengthMs);
    if (value != slider_->value()) {
        slider_->setValue(value);
    }
}

uint32_t PositionBar::MsAt(int x) const {
    QStyleOptionSlider option;
    option.initFrom(slider_);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = kSteps;
    const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &option,
                                                          QStyle::SC_SliderHandle, slider_);
    const int span = std::max(1, slider_->width() - handle.width());
    const int value = QStyle::sliderValueFromPosition(0, kSteps, x - handle.width() / 2, span);
    return static_cast<uint32_t>(uint64_t{lengthMs_} * static_cast<uint32_t>(value) / kSteps);
}

// The slider goes where it is clicked (not a page at a time), and follows the hand.
bool PositionBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != slider_ || lengthMs_ == 0) {
        return QWidget::eventFilter(watched, event);
    }
    // Called for mouse events only: the filter sees every event of the slider.
    const auto mouse = [event] { return static_cast<const QMouseEvent*>(event); };
    const auto at = [&] {
        const uint32_t ms = MsAt(static_cast<int>(mouse()->position().x()));
        slider_->setValue(static_cast<int>(uint64_t{ms} * kSteps / lengthMs_));
        elapsed_->setText(Time(ms));
        return ms;
    };
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse()->button() == Qt::LeftButton) {
                dragging_ = true;
                emit SeekStarted();
                emit SeekTo(at());
            }
            return true;
        case QEvent::MouseMove:
            if (dragging_) {
                emit SeekTo(at());
            }
            return true;
        case QEvent::MouseButtonRelease:
            if (dragging_ && mouse()->button() == Qt::LeftButton) {
                dragging_ = false;
                emit SeekFinished(at());
            }
            return true;
        case QEvent::Wheel:
            // The wheel turns the volume over the bar as over the picture.
            if (wheelTarget_ != nullptr)
                QCoreApplication::sendEvent(wheelTarget_, event);
            return true;
        default:
            return QWidget::eventFilter(watched, event);
    }
}

}  // namespace lunavue
