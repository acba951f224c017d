#include "display/OnScreenDisplay.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "display/PicturePath.h"

namespace lunavue {
namespace {
const QColor kPlate(24, 24, 24);
const QColor kEdge(96, 96, 96);
}  // namespace

OnScreenDisplay::OnScreenDisplay(QWidget* view) : QWidget(view) {
    if (NativeChildWindows()) {
        setAttribute(Qt::WA_NativeWindow);  // above the picture's own windows
    }
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    hide();
    hide_.setSingleShot(true);
    connect(&hide_, &QTimer::timeout, this, &QWidget::hide);
}

// The text's size follows the picture's: readable on a small window, not shouting on a
// large screen.
void OnScreenDisplay::ShowText(const QString& text, const QRect& area) {
    text_ = text;
    QFont f = font();
    f.setPixelSize(std::clamp(area.height() / 14, 12, 40));
    f.setBold(true);
    setFont(f);
    const QFontMetrics m(f);
    const int pad = f.pixelSize() / 2;
    const int margin = std::max(4, area.height() / 30);
    // A text wider than the picture loses its middle (where a name is), never its ends.
    const int room = area.width() - 2 * margin - 2 * pad;
    shown_ = m.elidedText(text_, Qt::ElideMiddle, std::max(room, 0));
    if (shown_.isEmpty()) {
        shown_ = text_;  // no room even for the ends: as much as shows
    }
    const QSize size(m.horizontalAdvance(shown_) + 2 * pad, m.height() + pad);
    setGeometry(QRect(area.topLeft() + QPoint(margin, margin),
                      size.boundedTo(area.size() - QSize(2 * margin, 2 * margin))));
    show();
    raise();  // above the picture's windows, also those made since
    update();
    hide_.start(kShownMs);
}

void OnScreenDisplay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kPlate);
    p.setPen(kEdge);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, shown_);
}

}  // namespace lunavue
