#include "display/CTovrinView.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "display/OnScreenDisplay.h"
#include "display/PositionBar.h"
#include "display/TimeSlider.h"
#include "display/WindowPlacement.h"
#include "framework/Translation.h"
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
    // Only the sizes the menu offers: a factor of nothing is the usual size, a larger one
    // the largest the menu has.
    if (SizeMode == 0) {
        SizeMode = settings::kWindowSize.def;
    }
    SizeMode = std::min(SizeMode, kLargestFactor);
    fullScreenBar_ = new PositionBar(this);
    if (NativeChildWindows()) {
        fullScreenBar_->setAttribute(Qt::WA_NativeWindow);  // above the picture's own windows
    }
    QPalette barColours = QApplication::palette();  // the window's colours, not the view's black
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText}) {
        barColours.setColor(role, barColours.color(role));
    }
    fullScreenBar_->setPalette(barColours);
    fullScreenBar_->hide();
    barTimer_ = new QTimer(this);
    barTimer_->setSingleShot(true);
    connect(barTimer_, &QTimer::timeout, this, &CTovrinView::HideFullScreenBar);
    setMouseTracking(true);  // in full screen, a moving pointer shows the position bar
    // Until a movie has been opened, the corrected size is that of the default picture.
    const geometry::Size corrected = geometry::AspectCorrected(320, 224);
    AspectWidth = corrected.w;
    AspectHeight = corrected.h;
}

CTovrinView::~CTovrinView() {
    HidePointer(false);
}

void CTovrinView::HidePointer(bool hide) {
    if (hide != pointerHidden_) {
        pointerHidden_ = hide;
        if (hide) {
            QApplication::setOverrideCursor(Qt::BlankCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    }
}

// Over the bottom of the picture, with the pointer, until two seconds pass without a move.
// Meanwhile the mouse is not held: a click on the bar goes to it, one elsewhere to the view,
// which ends full screen as any click does.
void CTovrinView::ShowFullScreenBar() {
    if (!FullScreenActive) {
        return;
    }
    if (!fullScreenBar_->isVisible()) {
        const QRect area = PictureArea();
        // Readable across a room: text a fiftieth of the picture's height, never smaller
        // than the menus' text.
        QFont font = QApplication::font("QMenu");
        const int menuPixels = QFontInfo(font).pixelSize();
        font.setPixelSize(std::max(menuPixels, area.height() / 50));
        fullScreenBar_->setFont(font);
        fullScreenBar_->Slider()->setMinimumHeight(QFontMetrics(font).height());
        const int h = fullScreenBar_->sizeHint().height();
        fullScreenBar_->setGeometry(area.left(), area.bottom() + 1 - h, area.width(), h);
        fullScreenBar_->show();
        fullScreenBar_->raise();
        releaseMouse();
        HidePointer(false);
    }
    barTimer_->start(kBarShownMs);
}

void CTovrinView::HideFullScreenBar() {
    if (fullScreenBar_->Dragging()) {
        barTimer_->start(kBarShownMs);
        return;
    }
    barTimer_->stop();
    if (!fullScreenBar_->isVisible()) {
        return;
    }
    fullScreenBar_->hide();
    if (FullScreenActive) {
        HidePointer(true);
        grabMouse();
    }
}

void CTovrinView::mouseMoveEvent(QMouseEvent* event) {
    ShowFullScreenBar();
    QFrame::mouseMoveEvent(event);
}

void CTovrinView::SaveSettings() {
    WriteSetting(settings::kDirectDraw, UseDirectDraw);
    WriteSetting(settings::kWindowSize, SizeMode);
    WriteSetting(settings::kFullScreen, FullScreenEnabled);
    WriteSetting(settings::kAspectCorrect, AspectCorrect);
    WriteSetting(settings::kVolume, Volume);
    ReleaseRenderer();
}

QRect CTovrinView::ScreenGeometry() const {
    return placement_ != nullptr ? placement_->ScreenGeometry() : QRect(0, 0, 640, 480);
}

// The picture path for the movie being opened: through the GPU when the setting is on and a
// GL context and surface can be had; otherwise shared memory where the window system offers
// it; otherwise the painter. A path that cannot be had is passed over without a message.
std::unique_ptr<PicturePath> CTovrinView::MakePath() {
    const int pw = PictureHeader.biWidth;
    const int ph = PictureHeader.biHeight;
    PictureSource source = [this] { return doc_.IsOpen() ? doc_.CurrentFrame() : nullptr; };
    if (UseDirectDraw != 0 && !gpuRefused_) {
        const QRect screen = ScreenGeometry();
        // Replaced from the event loop, never inside the path's own call.
        auto cannotShow = [this] { QTimer::singleShot(0, this, [this] { GpuCannotShow(); }); };
        if (auto gpu =
                MakeGpuPath(this, pw, ph, screen.width(), screen.height(), source, cannotShow)) {
            return gpu;
        }
        SayPictureFallback(Text(
            QT_TRANSLATE_NOOP("Lunavue", "Direct Draw: no OpenGL here, the picture is painted")));
    }
    // LUNAVUE_NO_SHARED_MEMORY=1 keeps the painter, as on a remote display.
    const char* noShared = std::getenv("LUNAVUE_NO_SHARED_MEMORY");
    if (!sharedMemoryRefused_ && (noShared == nullptr || *noShared != '1')) {
        if (auto shared = MakeSharedMemoryPath(this, pw, ph, source)) {
            return shared;
        }
        sharedMemoryRefused_ = true;
    }
    return MakePainterPath(this, pw, ph, source);
}

// Said once a run, on standard error and over the picture; the setting itself is kept, for
// the next run on a display that can do it.
void CTovrinView::SayPictureFallback(const QString& text) {
    gpuRefused_ = true;
    std::fprintf(stderr, "lunavue: %s\n", text.toLocal8Bit().constData());
    if (feedback_) {
        feedback_(text);
    }
}

// The GPU path drew pictures that never reached the screen: the movie goes on through the
// next path that can show it.
void CTovrinView::GpuCannotShow() {
    if (!UsesGpu()) {
        return;  // the movie closed, or the path changed, in the meantime
    }
    SayPictureFallback(Text(QT_TRANSLATE_NOOP(
        "Lunavue", "Direct Draw does not reach the screen here, the picture is painted")));
    path_ = MakePath();
    PlacePicture();
    Invalidate();
    emit rendererChanged();
}

void CTovrinView::SetPictureFormat(const BITMAPINFOHEADER& header) {
    PictureHeader = header;
    if (header.biWidth <= 0 || header.biHeight <= 0) {
        // A movie of sound alone: a plain view of the usual 4:3 size, and no picture path.
        PictureHeader.biWidth = kSoundOnlyWidth;
        PictureHeader.biHeight = kSoundOnlyHeight;
    }
    const geometry::Size corrected =
        geometry::AspectCorrected(PictureHeader.biWidth, PictureHeader.biHeight);
    AspectWidth = corrected.w;
    AspectHeight = corrected.h;
    path_ = header.biWidth > 0 && header.biHeight > 0 ? MakePath() : nullptr;
    PlacePicture();
}

void CTovrinView::ReleaseRenderer() {
    path_.reset();
    update();
}

bool CTovrinView::UsesGpu() const {
    return path_ != nullptr && (path_->GetKind() == PicturePath::Kind::kGpuOverlay ||
                                path_->GetKind() == PicturePath::Kind::kGpuBlit);
}

bool CTovrinView::GetOverlayInUse() const {
    return path_ != nullptr && path_->GetKind() == PicturePath::Kind::kGpuOverlay;
}

const char* CTovrinView::RendererName() const {
    if (path_ == nullptr) {
        return "none";
    }
    switch (path_->GetKind()) {
        case PicturePath::Kind::kPainter:
            return "painter";
        case PicturePath::Kind::kSharedMemory:
            return "shared-memory";
        case PicturePath::Kind::kGpuOverlay:
            return "gpu-overlay";
        case PicturePath::Kind::kGpuBlit:
            return "gpu-blit";
    }
    return "none";
}

uint64_t CTovrinView::ShownBytes(uint32_t width, uint32_t height) const {
    QSize largest(640, 480);
    for (const QScreen* s : QGuiApplication::screens()) {
        const QSize pixels = s->geometry().size() * s->devicePixelRatio();
        largest = largest.expandedTo(pixels);
    }
    const uint64_t screen = 4ull * largest.width() * largest.height();
    if (UseDirectDraw == 0) {
        return screen;
    }
    const geometry::Surface s = geometry::PictureSurface(
        static_cast<int>(width), static_cast<int>(height), largest.width(), largest.height());
    return screen + 4ull * s.w * s.h + 2 * screen;
}

void CTovrinView::ShowOnPicture(const QString& text) {
    if (osd_ == nullptr) {
        osd_ = new OnScreenDisplay(this);
    }
    // Over the picture; as wide as the view where the picture is narrower (a small movie).
    const QRect client = contentsRect();
    QRect area = path_ != nullptr ? PictureArea() : client;
    if (area.width() < client.width()) {
        area.setLeft(client.left());
        area.setWidth(client.width());
    }
    osd_->ShowText(text, area);
}

QString CTovrinView::OnPicture() const {
    return osd_ != nullptr ? osd_->Shown() : QString();
}

QString CTovrinView::OnPictureDrawn() const {
    return osd_ != nullptr ? osd_->Drawn() : QString();
}

void CTovrinView::Invalidate() {
    if (path_ != nullptr) {
        path_->Show();
    } else {
        update();
    }
}

QRect CTovrinView::PictureArea() const {
    const QRect client = contentsRect();
    const geometry::Size shape = PictureSizeForSizing();
    const geometry::Rect r = geometry::Letterbox(shape.w, shape.h, client.width(), client.height());
    return QRect(client.x() + r.x, client.y() + r.y, r.w, r.h);
}

// Keeps the path on the picture area after every change of size, shape or border.
void CTovrinView::PlacePicture() {
    if (path_ != nullptr) {
        path_->Place(PictureArea());
    }
    update();
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
    ApplyWindowSize();
}

void CTovrinView::OnMaximum() {
    SizeMode = -1;
    ApplyWindowSize();
}

// The window's own area for the size mode, decorations included in what must fit the work
// area: n times the picture, or the largest of Triple, Double and Normal that fits, or
// Maximum (the picture's shape filling the work area in one direction, centred in the
// other) past that. The size mode stays as chosen.
QRect CTovrinView::WindowedGeometry() const {
    const QMargins d = placement_->Decorations();
    const QRect wa = placement_->WorkArea();
    const geometry::Size extra = FrameExtra();
    const geometry::Size decorated{extra.w + d.left() + d.right(), extra.h + d.top() + d.bottom()};
    const geometry::Size picture = PictureSizeForSizing();
    const int n = SizeMode == -1 ? 0
                                 : geometry::FittingFactor(SizeMode, picture, decorated,
                                                           {wa.width(), wa.height()});
    const QRect from = FullScreenActive ? SavedFrameRect : Frame()->geometry();
    if (n > 0) {
        const geometry::Size size = geometry::FixedFrame(n, picture, extra);
        return placement_->Inside(QRect(from.topLeft(), QSize(size.w, size.h)));
    }
    const geometry::Rect outer =
        geometry::MaximumFrame(picture, decorated, {wa.x(), wa.y(), wa.width(), wa.height()});
    return QRect(outer.x + d.left(), outer.y + d.top(), outer.w - d.left() - d.right(),
                 outer.h - d.top() - d.bottom());
}

// In full screen the window keeps covering the screen; it takes the new size when full
// screen ends.
void CTovrinView::ApplyWindowSize() {
    if (placement_ == nullptr) {
        return;
    }
    sized_ = true;
    const QRect windowed = WindowedGeometry();
    if (FullScreenActive) {
        SavedFrameRect = windowed;
    } else {
        Frame()->setGeometry(windowed);
    }
}

void CTovrinView::PlaceWindow() {
    if (placement_ == nullptr) {
        return;
    }
    if (FullScreenActive) {
        // The window manager took the window on after full screen was asked for, and gave
        // it decorations: it missed the request, which is made again.
        if (placement_->Decorated()) {
            QWidget* frame = Frame();
            frame->setWindowState(frame->windowState() & ~Qt::WindowFullScreen);
            frame->setWindowState(frame->windowState() | Qt::WindowFullScreen);
            frame->setGeometry(ScreenGeometry());
            // A window manager that has only just started may miss this one too: looked at
            // again a few times.
            if (++fullScreenAgain_ < kFullScreenTries) {
                QTimer::singleShot(kFullScreenRetryMs, this, [this] { PlaceWindow(); });
            }
        }
        return;
    }
    if (sized_) {
        ApplyWindowSize();
    } else {
        placement_->KeepInside();
    }
}

QPoint CTovrinView::WindowedPosition() const {
    if (FullScreenActive) {
        return SavedFrameRect.topLeft();
    }
    const QWidget* frame = Frame();
    return frame->isMaximized() ? frame->normalGeometry().topLeft() : frame->geometry().topLeft();
}

void CTovrinView::OnAspectCorrect() {
    AspectCorrect = AspectCorrect == 0 ? 1 : 0;
    ApplyWindowSize();
    PlacePicture();
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
    fullScreenAgain_ = 0;
    QWidget* frame = Frame();
    SavedFrameRect = frame->geometry();
    emit fullScreenChanged(true);  // the frame puts its bars away
    setFrameStyle(QFrame::NoFrame);
    frame->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    frame->setWindowState(frame->windowState() | Qt::WindowFullScreen);
    frame->setGeometry(ScreenGeometry());
    PlacePicture();
    frame->raise();
    frame->activateWindow();
    grabMouse();
    HidePointer(true);
}

void CTovrinView::LeaveFullScreen() {
    if (!FullScreenActive) {
        return;
    }
    HideFullScreenBar();
    FullScreenActive = false;
    releaseMouse();
    QWidget* frame = Frame();
    frame->setWindowState(frame->windowState() & ~Qt::WindowFullScreen);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    emit fullScreenChanged(false);
    frame->setMaximumSize(QWIDGETSIZE_MAX, geometry::kMaxFrameHeight);
    frame->setGeometry(SavedFrameRect);
    PlacePicture();
    HidePointer(false);
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

void CTovrinView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    PlacePicture();
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

void CTovrinView::SetVolume(int percent) {
    ChangeVolume(percent - Volume);
}

void CTovrinView::ChangeVolume(int delta) {
    Volume = std::clamp(Volume + delta, 0, 100);
    muted_ = false;
    ApplyVolume();
}

void CTovrinView::ApplyVolume() {
    doc_.SetVolume(muted_ ? 0 : Volume);
    if (feedback_) {
        feedback_(muted_ ? Text(QT_TRANSLATE_NOOP("Lunavue", "Muted"))
                         : Text(QT_TRANSLATE_NOOP("Lunavue", "Volume %1%")).arg(Volume));
    }
}

// The border when it is to be painted, the bars around the picture area, and the picture
// area itself by the path (the painter paints the picture; the others' windows cover it).
void CTovrinView::paintEvent(QPaintEvent* event) {
    const QRect client = contentsRect();
    if (!client.contains(event->rect())) {
        QFrame::paintEvent(event);
    }
    QPainter painter(this);
    painter.setClipRect(client);
    const QRect area = path_ != nullptr ? PictureArea() : QRect();
    for (const QRect& bar : QRegion(client).subtracted(area)) {
        painter.fillRect(bar, Qt::black);
    }
    if (path_ != nullptr) {
        path_->Paint(painter, area);
    }
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
