// Puts pictures straight into an X11 window through MIT shared memory, on a connection of
// its own: no copy through the toolkit's window image, no repaint machinery. Only where the
// window system is X11 and its server offers shared memory; elsewhere Open says no and the
// view paints the picture itself.
#pragma once

#include <cstddef>
#include <cstdint>

// Xlib's own types, declared here so that its headers (and their macros) stay out of ours.
struct _XDisplay;
struct _XGC;
struct _XImage;

namespace lunavue {

class ShmSurface {
  public:
    ShmSurface() = default;
    ~ShmSurface();
    ShmSurface(const ShmSurface&) = delete;
    ShmSurface& operator=(const ShmSurface&) = delete;

    // Draws into the X11 window with this id; false when that cannot be done here.
    bool Open(unsigned long window);
    bool IsOpen() const { return display_ != nullptr; }

    // The pixels of a w x h picture (0xFFRRGGBB, rows of `stride` pixels) to fill before
    // Put; null when the shared memory cannot be had. Made anew only when the size changes.
    uint32_t* Pixels(int w, int h, size_t& stride);
    // Shows the picture at the window's top left corner. Pixels makes sure the server has
    // read them before they are written again (by then it normally has long done so).
    void Put();

  private:
    bool CreateImage(int w, int h);
    void FreeImage();
    void WaitUntilRead();

    ::_XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    void* visual_ = nullptr;  // the window's Visual, and its depth
    int depth_ = 0;
    ::_XGC* gc_ = nullptr;
    ::_XImage* image_ = nullptr;
    void* segment_ = nullptr;  // the XShmSegmentInfo
    int width_ = 0;
    int height_ = 0;
    int completion_ = 0;    // the event type of "the server has read a put"
    bool reading_ = false;  // a put the server may still be reading
};

}  // namespace lunavue
