#include "display/PositionBar.h"

#include <QCoreApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "display/PreviewSource.h"
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
    slider_->setMouseTracking(true);  // the preview follows the pointer
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
    if (lengthMs == 0) {
        HidePreview();
    }
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

void PositionBar::SetPreview(PreviewSource* source) {
    source_ = source;
    if (source_ != nullptr) {
        connect(source_, &PreviewSource::pictureReady, this, [this](uint32_t, const QImage& p) {
            if (preview_ == nullptr || !preview_->isVisible()) {
                return;
            }
            // A small picture a third of the bar's width at most, 80 to 200 pixels wide.
            const int w = std::clamp(width() / 3, 80, 200);
            previewPicture_->setPixmap(
                p.isNull() ? QPixmap()
                           : QPixmap::fromImage(p.scaledToWidth(w, Qt::SmoothTransformation)));
            previewPicture_->setVisible(!p.isNull());
            preview_->adjustSize();
            ShowPreview(-1);
        });
    }
}

QString PositionBar::PreviewTime() const {
    return preview_ != nullptr && preview_->isVisible() ? previewTime_->text() : QString();
}

QImage PositionBar::PreviewPicture() const {
    if (preview_ == nullptr || !preview_->isVisible() || !previewPicture_->isVisible()) {
        return {};
    }
    return previewPicture_->pixmap().toImage();
}

// Shows the time under x (slider coordinates; -1: where it is) above the slider, and asks
// for the picture of that moment.
void PositionBar::ShowPreview(int x) {
    if (preview_ == nullptr) {
        preview_ = new QWidget(this, Qt::ToolTip | Qt::FramelessWindowHint);
        preview_->setAttribute(Qt::WA_ShowWithoutActivating);
        auto* column = new QVBoxLayout(preview_);
        column->setContentsMargins(2, 2, 2, 2);
        column->setSpacing(1);
        previewPicture_ = new QLabel(preview_);
        previewPicture_->hide();
        previewTime_ = new QLabel(preview_);
        previewTime_->setAlignment(Qt::AlignCenter);
        column->addWidget(previewPicture_);
        column->addWidget(previewTime_);
    }
    if (x >= 0) {
        previewX_ = x;
        const uint32_t ms = MsAt(x);
        if (ms != previewMs_ || !preview_->isVisible()) {
            previewMs_ = ms;
            previewTime_->setText(Time(ms));
            if (source_ != nullptr) {
                source_->Ask(ms);
            }
        }
    }
    preview_->adjustSize();
    const QPoint above = slider_->mapToGlobal(QPoint(previewX_, 0));
    preview_->move(above.x() - preview_->width() / 2, above.y() - preview_->height() - 2);
    preview_->show();
}

void PositionBar::HidePreview() {
    if (preview_ != nullptr) {
        preview_->hide();
        previewPicture_->hide();
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
            ShowPreview(static_cast<int>(mouse()->position().x()));
            return true;
        case QEvent::Leave:
            // The window system may say the pointer left when the preview appeared; it goes
            // only when the pointer is off the slider.
            if (!slider_->rect().contains(slider_->mapFromGlobal(QCursor::pos()))) {
                HidePreview();
            }
            return QWidget::eventFilter(watched, event);
        case QEvent::Hide:
            HidePreview();
            return QWidget::eventFilter(watched, event);
        case QEvent::MouseButtonRelease:
            if (dragging_ && mouse()->button() == Qt::LeftButton) {
                dragging_ = false;
                emit SeekFinished(at());
                if (!slider_->underMouse()) {
                    HidePreview();
                }
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
