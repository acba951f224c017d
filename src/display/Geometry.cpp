#include "display/Geometry.h"

#include <algorithm>

namespace lunavue::geometry {

Size FixedFrame(int n, Size picture, Size extra) {
    return {n * picture.w + extra.w, n * picture.h + extra.h};
}

Rect MaximumFrame(Size picture, Size extra, Rect workArea) {
    const int availW = workArea.w - extra.w;
    const int availH = workArea.h - extra.h;
    const int w = picture.w;
    const int h = picture.h;
    if (w <= 0 || h <= 0) {
        return {workArea.x, workArea.y, workArea.w, workArea.h};
    }
    if (static_cast<double>(w) / h > static_cast<double>(availW) / availH) {
        // The picture is the wider one: fit the width.
        const int frameH = h * availW / w + extra.h;
        return {workArea.x, workArea.y + (workArea.h - frameH) / 2, workArea.w, frameH};
    }
    const int frameW = w * availH / h + extra.w;
    return {workArea.x + (workArea.w - frameW) / 2, workArea.y, frameW, workArea.h};
}

int FittingFactor(int n, Size picture, Size extra, Size area) {
    for (; n >= 1; --n) {
        const Size frame = FixedFrame(n, picture, extra);
        if (frame.w <= area.w && frame.h <= area.h) {
            return n;
        }
    }
    return 0;
}

Rect KeepInside(Rect outer, Rect area) {
    auto inside = [](int at, int length, int from, int span) {
        return std::max(from, std::min(at, from + span - length));
    };
    return {inside(outer.x, outer.w, area.x, area.w), inside(outer.y, outer.h, area.y, area.h),
            outer.w, outer.h};
}

Rect Letterbox(int pw, int ph, int sw, int sh) {
    if (pw <= 0 || ph <= 0) {
        return {0, 0, sw, sh};
    }
    if (static_cast<double>(pw) / ph > static_cast<double>(sw) / sh) {
        const int height = ph * sw / pw;
        return {0, (sh - height) / 2, sw, height};
    }
    const int width = pw * sh / ph;
    return {(sw - width) / 2, 0, width, sh};
}

Surface PictureSurface(int pw, int ph, int sw, int sh) {
    Surface s;
    if (pw <= 0 || ph <= 0 || sw <= 0 || sh <= 0) {
        return s;
    }
    const auto upw = static_cast<unsigned>(pw), uph = static_cast<unsigned>(ph);
    const auto usw = static_cast<unsigned>(sw), ush = static_cast<unsigned>(sh);
    if (static_cast<double>(pw) / ph > static_cast<double>(sw) / sh) {
        s.w = pw;
        s.h = static_cast<int>(upw * ush / usw);
        s.left = 0;
        s.top = (s.h - ph) / 2;
        s.right = pw;
        s.bottom = s.top + ph;
    } else {
        s.h = ph;
        s.w = static_cast<int>(uph * usw / ush);
        s.left = (s.w - pw) / 2;
        s.top = 0;
        s.right = s.left + pw;
        s.bottom = ph;
    }
    return s;
}

}  // namespace lunavue::geometry
