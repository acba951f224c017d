#include "display/CTovrinView.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWheelEvent>
#include <algorithm>

#include "display/DirectPicture.h"
#include "display/GlPresenter.h"
#include "platform/profile/Settings.h"
#include "playback/CTovrinDoc.h"
#include "res/CommandIds.h"

namespace lunavue {

CTovrinView::CTovrinView(CTovrinDoc& doc, QWidget* parent) : QFrame(parent), doc_(doc) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setMinimumSize(0, 0);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers every pixel itself
    PictureHeader.biWidth = 320;
    PictureHeader.biHeight = 224;
    UseDirectDraw = ReadSetting(settings::kDirectDraw);
    FullScreenEnabled = ReadSetting(settings::kFullScreen);
    AspectCorrect = ReadSetting(settings::kAspectCorrect);
    SizeMode = ReadSetting(settings::kWindowSize);
    Volume = ReadSetting(settings::kVolume);
    ApplyVolume();
    setFocusPolicy(Qt::StrongFocus);  // the player keys go to the window, not a button
    if (SizeMode == 0) {
        SizeMode = settings::kWindowSize.def;  // a factor of nothing: the usual size
    }
    // Until a movie has been opened, the corrected size is that of the default picture.
    const geometry::Size corrected = geometry::AspectCorrected(320, 224);
    AspectWidth = corrected.w;
    AspectHeight = corrected.h;
}

CTovrinView::~CTovrinView() {
    if (FullScreenActive) {
        QApplication::restoreOverrideCursor();
    }
}

void CTovrinView::SaveSettings() {
    WriteSetting(settings::kDirectDraw, UseDirectDraw);
    WriteSetting(settings::kWindowSize, SizeMode);
    WriteSetting(settings::kFullScreen, FullScreenEnabled);
    WriteSetting(settings::kAspectCorrect, AspectCorrect);
    WriteSetting(settings::kVolume, Volume);
    ReleaseRenderer();
}

namespace {
// A screen to size against when the window system reports none.
const QRect kFallbackScreen(0, 0, 640, 480);
}  // namespace

QRect CTovrinView::ScreenGeometry() const {
    const QScreen* s = window()->screen();
    return s != nullptr ? s->geometry() : kFallbackScreen;
}

// The desktop work area: the screen less the panels of the desktop.
QRect CTovrinView::WorkArea() const {
    const QScreen* s = window()->screen();
    return s != nullptr ? s->availableGeometry() : kFallbackScreen;
}

// Prepares GPU presentation for the movie being opened: a picture surface of the screen's
// shape with the picture centred in it, in the first surface kind the GL driver accepts.
// False (and nothing made) when the setting is off or no GL context or surface can be had;
// the painter then shows the movie, without a message.
bool CTovrinView::SetUpDirectDraw() {
    if (UseDirectDraw == 0) {
        return false;
    }
    const QRect screen = ScreenGeometry();
    const geometry::Surface surface = geometry::PictureSurface(
        PictureHeader.biWidth, PictureHeader.biHeight, screen.width(), screen.height());
    const int kind = GlPresenter::Negotiate(surface.w, surface.h);
    if (kind == 0) {
        return false;
    }
    ScreenRect = QRect(0, 0, screen.width(), screen.height());
    surface_ = surface;
    PictureRect = {surface.left, surface.top, surface.right - surface.left,
                   surface.bottom - surface.top};
    presenter_ = new GlPresenter(this, surface, kind, PictureHeader.biWidth, PictureHeader.biHeight,
                                 [this] { return doc_.IsOpen() ? doc_.CurrentFrame() : nullptr; });
    presenter_->setGeometry(contentsRect());
    presenter_->show();
    OverlayInUse = presenter_->Overlay();
    return true;
}

void CTovrinView::SetPictureFormat(const BITMAPINFOHEADER& header) {
    PictureHeader = header;
    const int pw = header.biWidth;
    const int ph = header.biHeight;
    if (!SetUpDirectDraw()) {
        const QRect screen = ScreenGeometry();
        ScreenRect = QRect(0, 0, screen.width(), screen.height());
        PictureRect = geometry::Letterbox(pw, ph, screen.width(), screen.height());
        SetUpDirectPicture();
    }
    rendererReady_ = true;
    const geometry::Size corrected = geometry::AspectCorrected(pw, ph);
    AspectWidth = corrected.w;
    AspectHeight = corrected.h;
}

// The painter's picture goes straight into a window of its own where the window system
// allows it; made once, kept for every movie.
void CTovrinView::SetUpDirectPicture() {
    if (direct_ == nullptr && !directTried_) {
        directTried_ = true;
        direct_ = new DirectPicture(
            this, [this] { return doc_.IsOpen() ? doc_.CurrentFrame() : nullptr; });
        if (!direct_->Ready()) {
            delete direct_;
            direct_ = nullptr;
            return;
        }
    }
    if (direct_ != nullptr) {
        direct_->SetPictureSize(PictureHeader.biWidth, PictureHeader.biHeight);
        direct_->setGeometry(PictureDestination());
        direct_->show();
    }
}

// Keeps the picture's own window over the picture area (the client area, or the letterbox
// in full screen); true when it is showing.
bool CTovrinView::PlaceDirectPicture() {
    if (direct_ == nullptr || !direct_->isVisible()) {
        return false;
    }
    const QRect where = PictureDestination();
    if (direct_->geometry() != where) {
        direct_->setGeometry(where);
    }
    return true;
}

void CTovrinView::ReleaseRenderer() {
    if (direct_ != nullptr) {
        direct_->hide();
    }
    delete presenter_;
    presenter_ = nullptr;
    rendererReady_ = false;
    OverlayInUse = false;
}

void CTovrinView::Invalidate() {
    if (presenter_ != nullptr) {
        // Full screen without aspect correction shows the whole surface: the picture keeps
        // its shape between the surface's black bars.
        presenter_->Show(FullScreenActive && AspectCorrect == 0);
    } else if (PlaceDirectPicture()) {
        direct_->Show();
    } else {
        shownValid_ = false;
        update(PictureDestination());  // only where the picture is: bars and border stay
    }
}

// Where the painter draws the picture: the client area, or in full screen without aspect
// correction the letterbox of the whole screen.
QRect CTovrinView::PictureDestination() const {
    const QRect client = contentsRect();
    if (FullScreenActive && AspectCorrect == 0) {
        return QRect(client.x() + PictureRect.x, client.y() + PictureRect.y, PictureRect.w,
                     PictureRect.h);
    }
    return client;
}

geometry::Size CTovrinView::PictureSizeForSizing() const {
    if (AspectCorrect != 0) {
        return {AspectWidth, AspectHeight};
    }
    return {PictureHeader.biWidth, PictureHeader.biHeight};
}

geometry::Size CTovrinView::FrameExtra() const {
    const QSize frame = Frame()->size();
    const QSize client = contentsRect().size();
    return {frame.width() - client.width(), frame.height() - client.height()};
}

void CTovrinView::FixedSize(int n) {
    SizeMode = n;
    SizeFrame(n);
}

void CTovrinView::SizeFrame(int n) {
    const geometry::Size size = geometry::FixedFrame(n, PictureSizeForSizing(), FrameExtra());
    Frame()->resize(size.w, size.h);
}

// The whole window, its decorations included, fits the work area: the decorations' sizes
// are what the window system adds around the frame's own area.
void CTovrinView::OnMaximum() {
    SizeMode = -1;
    const QRect wa = WorkArea();
    const QRect outer = Frame()->frameGeometry();
    const QRect inner = Frame()->geometry();
    const geometry::Size extra{outer.width() - contentsRect().width(),
                               outer.height() - contentsRect().height()};
    const geometry::Rect r = geometry::MaximumFrame(PictureSizeForSizing(), extra,
                                                    {wa.x(), wa.y(), wa.width(), wa.height()});
    const int left = inner.left() - outer.left();
    const int top = inner.top() - outer.top();
    Frame()->setGeometry(r.x + left, r.y + top, r.w - (outer.width() - inner.width()),
                         r.h - (outer.height() - inner.height()));
}

void CTovrinView::ApplyWindowSize() {
    if (SizeMode == -1) {
        OnMaximum();
    } else {
        SizeFrame(SizeMode);
    }
}

void CTovrinView::OnAspectCorrect() {
    AspectCorrect = AspectCorrect == 0 ? 1 : 0;
    ApplyWindowSize();
}

void CTovrinView::OnFullScreen() {
    if (FullScreenEnabled != 0) {
        FullScreenEnabled = 0;  // full screen in force stays until the next stop or click
        return;
    }
    FullScreenEnabled = 1;
    if (doc_.IsPlaying()) {
        EnterFullScreen();
    }
}

// Full screen is the window system's own full-screen state for the same window (nothing is
// made anew, so no task bar entry or animation flickers), with the menu, the toolbar and
// the status bar put away and the view's border gone, so that the picture covers the whole
// screen. Where no window manager acts on the state, the window is also placed over the
// screen itself.
void CTovrinView::EnterFullScreen() {
    if (FullScreenEnabled == 0 || FullScreenActive) {
        return;
    }
    FullScreenActive = true;
    QWidget* frame = Frame();
    SavedFrameRect = frame->geometry();
    ShowWindowBars(false);
    setFrameStyle(QFrame::NoFrame);
    frame->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    frame->setWindowState(frame->windowState() | Qt::WindowFullScreen);
    frame->setGeometry(ScreenGeometry());
    frame->raise();
    frame->activateWindow();
    grabMouse();
    QApplication::setOverrideCursor(Qt::BlankCursor);
}

void CTovrinView::LeaveFullScreen() {
    if (!FullScreenActive) {
        return;
    }
    FullScreenActive = false;
    releaseMouse();
    QWidget* frame = Frame();
    frame->setWindowState(frame->windowState() & ~Qt::WindowFullScreen);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    ShowWindowBars(true);
    frame->setMaximumSize(QWIDGETSIZE_MAX, geometry::kMaxFrameHeight);
    frame->setGeometry(SavedFrameRect);
    QApplication::restoreOverrideCursor();
}

void CTovrinView::ToggleFullScreen() {
    if (FullScreenActive) {
        LeaveFullScreen();
        return;
    }
    const int setting = FullScreenEnabled;
    FullScreenEnabled = 1;
    EnterFullScreen();
    FullScreenEnabled = setting;
}

// The main window's menu, toolbars and status bar, which full screen puts away.
void CTovrinView::ShowWindowBars(bool show) {
    auto* main = qobject_cast<QMainWindow*>(Frame());
    if (main == nullptr) {
        return;
    }
    if (main->menuWidget() != nullptr) {
        main->menuWidget()->setVisible(show);
    }
    for (QToolBar* bar : main->findChildren<QToolBar*>()) {
        bar->setVisible(show);
    }
    if (main->statusBar() != nullptr) {
        main->statusBar()->setVisible(show);
    }
}

QRect CTovrinView::ClientScreenRect() const {
    return QRect(mapToGlobal(contentsRect().topLeft()), contentsRect().size());
}

void CTovrinView::UpdateScreenRect() {
    ViewScreenRect = ClientScreenRect();
    update();
}

void CTovrinView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    ViewScreenRect = ClientScreenRect();
    ClientWidth = contentsRect().width();
    ClientHeight = contentsRect().height();
    if (presenter_ != nullptr) {
        presenter_->setGeometry(contentsRect());
        Invalidate();
    }
    PlaceDirectPicture();
}

void CTovrinView::moveEvent(QMoveEvent* event) {
    QFrame::moveEvent(event);
    UpdateScreenRect();
}

void CTovrinView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        leftFullScreenByClick_ = FullScreenActive;
        LeaveFullScreen();
    } else if (event->button() == Qt::RightButton && doc_.IsOpen()) {
        // A right click seeks to that fraction of the movie.
        const QRect client = contentsRect();
        const double at = std::clamp(
            static_cast<double>(event->position().x() - client.x()) / std::max(1, client.width()),
            0.0, 1.0);
        doc_.Seek(static_cast<uint32_t>(at * doc_.DurationMs()));
        if (feedback_) {
            feedback_(QString::fromStdString(doc_.PositionText()));
        }
    }
    QFrame::mousePressEvent(event);
}

// A double click on the picture toggles full screen; its first click already ended full
// screen if it was on.
void CTovrinView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !leftFullScreenByClick_) {
        ToggleFullScreen();
    }
    leftFullScreenByClick_ = false;
    event->accept();  // not passed on: the default would take it for another press
}

void CTovrinView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) {
        ChangeVolume(10 * steps);
    }
    event->accept();
}

void CTovrinView::ChangeVolume(int delta) {
    Volume = std::clamp(Volume + delta, 0, 100);
    muted_ = false;
    ApplyVolume();
}

void CTovrinView::ApplyVolume() {
    doc_.SetVolume(muted_ ? 0 : Volume);
    if (feedback_) {
        feedback_(muted_ ? QString("Muted") : QString("Volume %1%").arg(Volume));
    }
}

void CTovrinView::paintEvent(QPaintEvent* event) {
    const QRect client = contentsRect();
    if (!client.contains(event->rect())) {
        QFrame::paintEvent(event);  // the border, when it is to be painted at all
    }
    QPainter painter(this);
    painter.setClipRect(client);
    if (presenter_ != nullptr) {
        // Under the GPU picture: the colour key while the overlay kind is in use.
        painter.fillRect(client, OverlayInUse ? QColor(255, 0, 255) : QColor(Qt::black));
        return;
    }
    const uint8_t* bits = doc_.IsOpen() ? doc_.CurrentFrame() : nullptr;
    if (bits == nullptr || !rendererReady_) {
        painter.fillRect(client, Qt::black);
        shownValid_ = false;
        return;
    }
    const QRect dest = PictureDestination();
    if (dest != client) {
        // The letterbox's black bars.
        const QRegion bars = QRegion(client).subtracted(dest);
        for (const QRect& r : bars) {
            painter.fillRect(r, Qt::black);
        }
    }
    if (dest.isEmpty() || PlaceDirectPicture()) {
        return;  // nothing to show, or the picture's own window shows it
    }
    const int pw = PictureHeader.biWidth;
    const size_t stride = PictureStride(static_cast<uint32_t>(pw));
    // Where the window's own pixels are a 32-bit image (the usual case), the picture goes
    // straight into them at its shown size: no picture of our own, no copy. (The view is
    // the only widget there; menus and dialogs are windows of their own.)
    auto* target = dynamic_cast<QImage*>(painter.paintEngine()->paintDevice());
    const QRect device = painter.deviceTransform().mapRect(QRectF(dest)).toRect();
    if (target != nullptr &&
        (target->format() == QImage::Format_RGB32 ||
         target->format() == QImage::Format_ARGB32_Premultiplied) &&
        target->rect().contains(device)) {
        const size_t line = static_cast<size_t>(target->bytesPerLine()) / sizeof(uint32_t);
        scaler_.Scale(bits, pw, PictureHeader.biHeight, stride,
                      reinterpret_cast<uint32_t*>(target->bits()) + device.y() * line + device.x(),
                      device.width(), device.height(), line);
        return;
    }
    // Otherwise a picture at the screen's own pixels, made once for each new picture, so
    // that painting copies without scaling.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(qRound(dest.width() * ratio), qRound(dest.height() * ratio));
    if (!shownValid_ || shown_.size() != pixels) {
        if (shown_.size() != pixels) {
            shown_ = QImage(pixels, QImage::Format_RGB32);
            shown_.setDevicePixelRatio(ratio);
        }
        scaler_.Scale(bits, pw, PictureHeader.biHeight, stride,
                      reinterpret_cast<uint32_t*>(shown_.bits()), pixels.width(), pixels.height(),
                      static_cast<size_t>(shown_.bytesPerLine()) / sizeof(uint32_t));
        shownValid_ = true;
    }
    painter.drawImage(dest.topLeft(), shown_);
}

bool CTovrinView::OnCommand(int id) {
    switch (id) {
        case cmd::kNormal:
            OnNormal();
            return true;
        case cmd::kDouble:
            OnDouble();
            return true;
        case cmd::kTriple:
            OnTriple();
            return true;
        case cmd::kMaximum:
            OnMaximum();
            return true;
        case cmd::kAspectCorrect:
            OnAspectCorrect();
            return true;
        case cmd::kFullScreen:
            OnFullScreen();
            return true;
        case cmd::kDirectDraw:
            OnDirectDraw();
            return true;
        case cmd::kToggleFullScreen:
            ToggleFullScreen();
            return true;
        case cmd::kLeaveFullScreen:
            LeaveFullScreen();
            return true;
        case cmd::kMute:
            muted_ = !muted_;
            ApplyVolume();
            return true;
        case cmd::kVolumeUp:
            ChangeVolume(10);
            return true;
        case cmd::kVolumeDown:
            ChangeVolume(-10);
            return true;
        default:
            return false;
    }
}

bool CTovrinView::OnUpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::kNormal:
            state.checked = SizeMode == 1;
            return true;
        case cmd::kDouble:
            state.checked = SizeMode == 2;
            return true;
        case cmd::kTriple:
            state.checked = SizeMode == 3;
            return true;
        case cmd::kMaximum:
            state.checked = SizeMode == -1;
            return true;
        case cmd::kAspectCorrect:
            state.checked = AspectCorrect != 0;
            return true;
        case cmd::kFullScreen:
            state.checked = FullScreenEnabled != 0;
            return true;
        case cmd::kDirectDraw:
            state.checked = UseDirectDraw != 0;
            return true;
        case cmd::kToggleFullScreen:
        case cmd::kLeaveFullScreen:
        case cmd::kMute:
        case cmd::kVolumeUp:
        case cmd::kVolumeDown:
            return true;
        default:
            return false;
    }
}

}  // namespace lunavue
