// The view: shows the document's current picture scaled to its client area (or, in full
// screen, over the whole screen), sizes the main window to the picture, and owns the four
// display settings, read when it is made and written when its window is destroyed.
#pragma once

#include <QFrame>
#include <QImage>
#include <QRect>
#include <functional>

#include "display/Geometry.h"
#include "display/PictureScaler.h"
#include "framework/Commands.h"
#include "platform/Formats.h"
#include "playback/DocumentHost.h"

namespace lunavue {

class CTovrinDoc;
class DirectPicture;
class GlPresenter;

class CTovrinView : public QFrame, public DocumentView, public CommandTarget {
    Q_OBJECT
  public:
    static constexpr int kBorder = 2;  // the view window's border on every side

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

    // CommandTarget
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

    // Shows a short message (a new position, the volume) for a moment.
    void SetFeedback(std::function<void(const QString&)> feedback) {
        feedback_ = std::move(feedback);
    }

    // Called by the main frame when it moves.
    void UpdateScreenRect();
    // Writes the four display settings; the frame calls it as the view's window is destroyed.
    void SaveSettings();

    // How the open movie is shown: a renderer is set up, through the GPU, in its overlay kind.
    bool HasRenderer() const { return rendererReady_; }
    bool UsesGpu() const { return presenter_ != nullptr; }
    bool GetOverlayInUse() const { return OverlayInUse; }

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
    bool IsMuted() const { return muted_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    geometry::Size PictureSizeForSizing() const;
    void FixedSize(int n);
    void ChangeVolume(int delta);
    void ApplyVolume();
    void ShowWindowBars(bool show);
    void SizeFrame(int n);
    geometry::Size FrameExtra() const;
    QWidget* Frame() const { return window(); }
    bool SetUpDirectDraw();
    void SetUpDirectPicture();
    bool PlaceDirectPicture();
    QRect ScreenGeometry() const;
    QRect WorkArea() const;
    QRect ClientScreenRect() const;  // the client area in screen coordinates
    QRect PictureDestination() const;

    CTovrinDoc& doc_;
    int AspectWidth = 0;
    int AspectHeight = 0;
    int AspectCorrect = 0;
    bool OverlayInUse = false;
    bool FullScreenActive = false;
    int FullScreenEnabled = 0;
    int UseDirectDraw = 0;
    QRect SavedFrameRect;
    QRect ScreenRect;
    geometry::Rect PictureRect;
    QRect ViewScreenRect;
    int ClientWidth = 0;
    int ClientHeight = 0;
    int SizeMode = 1;
    BITMAPINFOHEADER PictureHeader{};
    int Volume = 100;  // percent, kept in the settings
    bool muted_ = false;
    bool leftFullScreenByClick_ = false;  // the first click of a double click ended full screen
    std::function<void(const QString&)> feedback_;
    bool rendererReady_ = false;  // the picture path of the open movie is set up
    // The current picture as it is painted, made again only for a new picture or size.
    PictureScaler scaler_;
    QImage shown_;
    bool shownValid_ = false;
    GlPresenter* presenter_ = nullptr;  // the GPU renderer, a child over the client area
    DirectPicture* direct_ = nullptr;   // the painter's picture in a window of its own
    bool directTried_ = false;
    geometry::Surface surface_;  // its picture surface
};

}  // namespace lunavue
