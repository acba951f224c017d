// The view's geometry as pure functions: the aspect-corrected picture size, the window
// sizes of the four size modes, the letterbox that keeps a picture's shape, and the GPU's
// picture surface. All integer divisions truncate toward zero, as the window sizes have
// always been computed.
#pragma once

#include "movie/PictureShape.h"

namespace lunavue::geometry {

// The tallest the main window may be made, whatever the screen: the size commands can make
// it taller than the screen.
inline constexpr int kMaxFrameHeight = 2000;

struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool operator==(const Rect&) const = default;
};

// The frame size that gives a client area n times the picture: n*w + extra.w, n*h + extra.h.
Size FixedFrame(int n, Size picture, Size extra);

// The frame rectangle that fits the picture's shape into the work area, centred along the
// other direction ("Maximum").
Rect MaximumFrame(Size picture, Size extra, Rect workArea);

// The largest size factor from n down to 1 whose frame (the picture n times, extra around it)
// fits an area of this size; 0 when not even 1 does.
int FittingFactor(int n, Size picture, Size extra, Size area);

// An outer window rectangle moved so that it lies inside the area: wherever it sticks out,
// it comes back in, and where it is larger than the area its top and left edges win.
Rect KeepInside(Rect outer, Rect area);

// Where a picture of pw x ph goes on an sw x sh screen keeping its shape, centred.
Rect Letterbox(int pw, int ph, int sw, int sh);

// The GPU picture surface: the screen's shape, holding the picture centred at 1:1.
// left, top, right, bottom: where the picture lies inside the surface.
struct Surface {
    int w = 0;
    int h = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Surface&) const = default;
};
Surface PictureSurface(int pw, int ph, int sw, int sh);

}  // namespace lunavue::geometry
