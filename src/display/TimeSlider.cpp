#include "display/TimeSlider.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

#include "display/CTovrinView.h"
#include "framework/Translation.h"
#include "movie/MovieClock.h"

namespace lunavue {

TimeSlider::TimeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TimeSlider::SetTimes(uint32_t ms, uint32_t lengthMs) {
    const bool newSecond = ms / 1000 != ms_ / 1000 || lengthMs != lengthMs_;
    ms_ = ms;
    lengthMs_ = lengthMs;
    if (newSecond && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, ms / 1000);
        QAccessible::updateAccessibility(&event);
    }
}

QString TimeSlider::TimeText() const {
    return Text(QT_TRANSLATE_NOOP("Lunavue", "%1 of %2"))
        .arg(QString::fromStdString(ClockTime(ms_)), QString::fromStdString(ClockTime(lengthMs_)));
}

void TimeSlider::paintEvent(QPaintEvent*) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QPalette& colours = palette();
    QPainter p(this);
    const int grooveHeight = std::max(2, height() / 6);
    const QRect groove(0, (height() - grooveHeight) / 2, width(), grooveHeight);
    p.fillRect(groove, colours.mid());
    if (isEnabled()) {
        p.fillRect(QRect(groove.left(), groove.top(), handle.center().x(), groove.height()),
                   colours.highlight());
    }
    if (hasFocus()) {
        p.setPen(QPen(colours.highlight().color(), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colours.shadow().color());
    p.setBrush(isEnabled() ? colours.button() : colours.window());
    p.drawRoundedRect(QRectF(handle).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
}

namespace {

// The slider as a screen reader reads it: a time in seconds, with its text.
class TimeSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit TimeSliderAccessible(TimeSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider), slider_(slider) {}
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                : QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value || t == QAccessible::Description) {
            return slider_->TimeText();
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return slider_->Ms() / 1000.0; }
    void setCurrentValue(const QVariant&) override {}  // the keys and the mouse seek
    QVariant maximumValue() const override { return slider_->LengthMs() / 1000.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 1.0; }

  private:
    TimeSlider* slider_;
};

// The view without the children it keeps hidden (the full-screen bar outside full screen):
// a screen reader meets the position bar once.
class ViewAccessible : public QAccessibleWidget {
  public:
    explicit ViewAccessible(QWidget* view) : QAccessibleWidget(view, QAccessible::Animation) {}
    int childCount() const override { return static_cast<int>(Shown().size()); }
    QAccessibleInterface* child(int i) const override {
        const QList<QWidget*> shown = Shown();
        return i >= 0 && i < shown.size() ? QAccessible::queryAccessibleInterface(shown[i])
                                          : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr ? static_cast<int>(Shown().indexOf(child->object())) : -1;
    }

  private:
    QList<QWidget*> Shown() const {
        QList<QWidget*> shown;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w != nullptr && !w->isWindow() && w->isVisible()) {
                shown.push_back(w);
            }
        }
        return shown;
    }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* slider = dynamic_cast<TimeSlider*>(object)) {
        return new TimeSliderAccessible(slider);
    }
    if (auto* view = qobject_cast<CTovrinView*>(object)) {
        return new ViewAccessible(view);
    }
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(&Factory);
    }
}

}  // namespace lunavue
