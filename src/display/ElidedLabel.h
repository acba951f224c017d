// A one-line label that never cuts its text at the ends: text wider than the label is
// shortened in the middle (where a message has the movie's name), so that what it begins
// and ends with stays readable. text() and what a screen reader hears stay whole, and the
// text asks for no width of its own (the label takes what its layout gives).
#pragma once

#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

namespace lunavue {

class ElidedLabel : public QLabel {
  public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);  // the frame, if any
        QPainter p(this);
        const QRect room = contentsRect();
        p.drawText(room, static_cast<int>(alignment()),
                   fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
    }
};

}  // namespace lunavue
