// The shape a movie's picture is shown in, for the window and for the thumbnails alike.
#pragma once

namespace lunavue::geometry {

struct Size {
    int w = 0;
    int h = 0;
    bool operator==(const Size&) const = default;
};

// Pictures whose width-to-height ratio lies outside 1.25 ... 1.4 take a 4:3 shape:
// narrower ones get width ph x 1.333, wider ones height pw x 0.75. The bounds keep the size.
inline Size AspectCorrected(int pw, int ph) {
    const double r = static_cast<double>(pw) / ph;
    if (r < 1.25) {
        return {static_cast<int>(ph * 1.333), ph};
    }
    if (r > 1.4) {
        return {pw, static_cast<int>(pw * 0.75)};
    }
    return {pw, ph};
}

}  // namespace lunavue::geometry
