// The reference movies and what an independent decoder made of them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "FilmBuilder.h"

namespace lunavue::test {

struct Fixture {
    const char* name;
    int width, height, frames;
    bool sound;
};

inline const std::vector<Fixture>& Fixtures() {
    static const std::vector<Fixture> all = {
        {"bars-320x224-s16-stereo", 320, 224, 60, true},
        {"gray-320x200-s8-mono", 320, 200, 36, true},
        {"silent-256x224", 256, 224, 20, false},
        {"strips8-352x240-s16-mono", 352, 240, 72, true},
        {"adpcm-320x224-mono-22k", 320, 224, 45, true},
        {"adpcm-256x224-stereo-32k", 256, 224, 36, true},
        {"adpcm-160x120-mono-11k-unaligned", 160, 120, 20, true},
    };
    return all;
}

inline std::string FixturePath(const std::string& file) {
    return std::string(LUNAVUE_FIXTURES) + "/" + file;
}

// The contents of a gzip-compressed fixture file.
inline Bytes Gunzip(const std::string& file) {
    Bytes out;
    std::string cmd = "gzip -dc '" + FixturePath(file) + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.insert(out.end(), buf, buf + n);
    pclose(p);
    return out;
}

}  // namespace lunavue::test
