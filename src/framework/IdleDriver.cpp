#include "framework/IdleDriver.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>

namespace lunavue {

IdleDriver::IdleDriver(Hook hook, Wait wait, ModalHook modal, QObject* parent)
    : QObject(parent), hook_(std::move(hook)), wait_(std::move(wait)), modal_(std::move(modal)) {
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

void IdleDriver::SetModal(bool on) {
    modalDepth_ = std::max(0, modalDepth_ + (on ? 1 : -1));
    sawEvent_ = true;
    timer_.start(0);
}

int IdleDriver::NextWait() const {
    return wait_ ? std::max(1, wait_()) : 1;
}

// Whether an event can change what the idle hook does: painting and timers cannot.
static bool Matters(const QEvent* event) {
    switch (event->type()) {
        case QEvent::Timer:
        case QEvent::Paint:
        case QEvent::UpdateRequest:
        case QEvent::UpdateLater:
            return false;
        default:
            return true;
    }
}

bool IdleDriver::eventFilter(QObject* watched, QEvent* event) {
    // Any event that matters starts a new round of idle calls once it is handled.
    if (watched != &timer_ && Matters(event)) {
        sawEvent_ = true;
        if (modalDepth_ == 0 && !timer_.isActive()) {
            timer_.start(0);  // a zero timer fires once the pending events are done
        }
    }
    return false;
}

void IdleDriver::RunIdle() {
    if (modalDepth_ > 0) {
        if (modal_) {
            timer_.start(std::max(1, modal_()));
        }
        return;
    }
    if (sawEvent_) {
        sawEvent_ = false;
        count_ = 0;
    }
    if (hook_(count_++)) {
        timer_.start(count_ == 1 ? 0 : NextWait());
    }
}

}  // namespace lunavue
