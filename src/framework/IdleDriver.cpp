#include "framework/IdleDriver.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>

namespace lunavue {

IdleDriver::IdleDriver(Hook hook, Wait wait, QObject* parent)
    : QObject(parent), hook_(std::move(hook)), wait_(std::move(wait)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &IdleDriver::RunIdle);
    QCoreApplication::instance()->installEventFilter(this);
    timer_.start(0);
}

IdleDriver::~IdleDriver() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

void IdleDriver::SetEnabled(bool on) {
    enabled_ = on;
    if (on && !timer_.isActive()) {
        timer_.start(0);
    }
}

bool IdleDriver::eventFilter(QObject* watched, QEvent* event) {
    // Any event but our own timer's starts a new round of idle calls once it is handled.
    if (watched != &timer_ && event->type() != QEvent::Timer) {
        sawEvent_ = true;
        if (enabled_ && !timer_.isActive()) {
            timer_.start(0);  // a zero timer fires once the pending events are done
        }
    }
    return false;
}

void IdleDriver::RunIdle() {
    if (!enabled_) {
        return;
    }
    if (sawEvent_) {
        sawEvent_ = false;
        count_ = 0;
    }
    if (hook_(count_++)) {
        timer_.start(count_ == 1 ? 0 : (wait_ ? std::max(1, wait_()) : 1));
    }
}

}  // namespace lunavue
