// The view: shows the document's current picture in its client area (or, in full screen,
// over the whole screen) with the picture's shape kept, through one picture path; sizes the
// main window to the picture; and owns the display settings (Direct Draw, full screen,
// window size, aspect correction, volume), read when it is made and written when its window
// is destroyed.
#pragma once

#include <QFrame>
#include <QRect>
#include <QTimer>
#include <functional>
#include <memory>

#include "display/Geometry.h"
#include "display/PicturePath.h"
#include "framework/Commands.h"
#include "platform/Formats.h"
#include "playback/DocumentHost.h"

namespace lunavue {

class CTovrinDoc;
class OnScreenDisplay;
class PositionBar;
class WindowPlacement;

class CTovrinView : public QFrame, public DocumentView, public CommandTarget {
    Q_OBJECT
  public:
    static constexpr int kBorder = 2;  // the view window's border on every side
    // The largest size factor the menu offers (Triple).
    static constexpr int kLargestFactor = 3;
    // How long the full-screen position bar stays after the pointer last moved.
    static constexpr int kBarShownMs = 2000;
    // The size the view takes for a movie of sound alone.
    static constexpr int kSoundOnlyWidth = 320;
    static constexpr int kSoundOnlyHeight = 240;

    CTovrinView(CTovrinDoc& doc, QWidget* parent = nullptr);
    ~CTovrinView() override;

    // DocumentView
    void SetPictureFormat(const BITMAPINFOHEADER& header) override;
    void ApplyWindowSize() override;
    void ReleaseRenderer() override;
    void EnterFullScreen() override;
    void LeaveFullScreen() override;
    bool IsFullScreen() const override { return FullScreenActive; }
    void Invalidate() override;
    // ShownCost: the picture scaled to at most the largest screen (the painter's copy or the
    // shared image), and with Direct Draw the GL surface and the GL window's two buffers.
    uint64_t ShownBytes(uint32_t width, uint32_t height) const override;

    // CommandTarget
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

    // Shows a short message (a new position, the volume) for a moment.
    void SetFeedback(std::function<void(const QString&)> feedback) {
        feedback_ = std::move(feedback);
    }
    // Shows a short message over the picture for a moment (what the message pane says).
    void ShowOnPicture(const QString& text);
    // The message over the picture right now; empty when none is shown.
    QString OnPicture() const;
    // The same as drawn: shortened in the middle when wider than the picture.
    QString OnPictureDrawn() const;
    // The position bar shown over the bottom of the picture in full screen, while the mouse
    // moves and two seconds after.
    PositionBar* FullScreenBar() const { return fullScreenBar_; }

    // Writes the display settings; the frame calls it as the view's window is destroyed.
    void SaveSettings();
    // Where the main window goes on the screens; set by the main frame.
    void SetPlacement(WindowPlacement* placement) { placement_ = placement; }
    // Places the main window again (its decorations became known, a screen changed): the
    // size of its mode once a movie has sized it, whole on its screen.
    void PlaceWindow();
    // The window's own top-left corner in the window, whatever state it is in (full
    // screen, maximised by the window manager): what is kept in the settings.
    QPoint WindowedPosition() const;

    // How the open movie is shown: a picture path is set up, through the GPU, in its overlay
    // kind; its name for the statistics ("painter", "shared-memory", "gpu-overlay",
    // "gpu-blit").
    bool HasRenderer() const { return path_ != nullptr; }
    bool UsesGpu() const;
    bool GetOverlayInUse() const;
    const char* RendererName() const;
    // Where the picture is shown, in the view's coordinates: the picture's shape (4:3 with
    // aspect correction), as large as the client area allows, centred.
    QRect PictureArea() const;

    void OnNormal() { FixedSize(1); }
    void OnDouble() { FixedSize(2); }
    void OnTriple() { FixedSize(3); }
    void OnMaximum();
    void OnAspectCorrect();
    void OnFullScreen();
    void OnDirectDraw() { UseDirectDraw = UseDirectDraw == 0 ? 1 : 0; }
    // Full screen at once, whatever the setting, or back to the window.
    void ToggleFullScreen();
    int GetVolume() const { return Volume; }
    // Sets the volume (0 to 100) and ends muting.
    void SetVolume(int percent);
    bool IsMuted() const { return muted_; }

  signals:
    // Full screen begins (the frame puts its menu, toolbar and bars away) or ends.
    void fullScreenChanged(bool fullScreen);
    // The movie's picture path was replaced while it played (one that could not show).
    void rendererChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    geometry::Size PictureSizeForSizing() const;
    void FixedSize(int n);
    void ChangeVolume(int delta);
    void ApplyVolume();
    QRect WindowedGeometry() const;
    geometry::Size FrameExtra() const;
    QWidget* Frame() const { return window(); }
    std::unique_ptr<PicturePath> MakePath();
    void SayPictureFallback(const QString& text);
    void GpuCannotShow();
    void PlacePicture();
    QRect ScreenGeometry() const;

    CTovrinDoc& doc_;
    int AspectWidth = 0;
    int AspectHeight = 0;
    int AspectCorrect = 0;
    bool FullScreenActive = false;
    int FullScreenEnabled = 0;
    int UseDirectDraw = 0;
    QRect SavedFrameRect;
    int SizeMode = 1;
    BITMAPINFOHEADER PictureHeader{};
    int Volume = 100;  // percent, kept in the settings
    bool muted_ = false;
    bool leftFullScreenByClick_ = false;  // the first click of a double click ended full screen
    std::function<void(const QString&)> feedback_;
    // The open movie's picture path; null while no movie is open.
    std::unique_ptr<PicturePath> path_;
    WindowPlacement* placement_ = nullptr;
    OnScreenDisplay* osd_ = nullptr;
    PositionBar* fullScreenBar_ = nullptr;
    QTimer* barTimer_ = nullptr;  // hides the full-screen bar and the pointer again
    bool pointerHidden_ = false;
    void ShowFullScreenBar();
    void HideFullScreenBar();
    void HidePointer(bool hide);
    bool sized_ = false;  // a movie has sized the window
    // The window system cannot do shared memory: not asked again.
    bool sharedMemoryRefused_ = false;
    bool gpuRefused_ = false;
    // Full screen asked for again after a window manager took the window on without it.
    static constexpr int kFullScreenTries = 10;
    static constexpr int kFullScreenRetryMs = 300;
    int fullScreenAgain_ = 0;  // said once; the painter or shared memory for the rest of the run
};

}  // namespace lunavue
