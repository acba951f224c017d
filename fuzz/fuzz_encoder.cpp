// Encodes random pictures with random options and writes them as a movie: never a crash,
// and always a movie the reader opens and decodes whole. The first bytes choose the size
// (multiples of 4 up to 64 x 64), the frame count, the quality, the key interval and the
// strips; the rest are the pixels, used over again as needed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "movie/FilmWriter.h"
#include "movie/MovieReader.h"
#include "platform/codec/CinepakEncoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) {
        return 0;
    }
    const int width = 4 * (1 + data[0] % 16);
    const int height = 4 * (1 + data[1] % 16);
    const int frames = 1 + data[2] % 4;
    lunavue::CinepakOptions options;
    options.quality = 1 + data[3] % 100;
    options.keyInterval = 1 + data[4] % 3;
    options.strips = data[5] % 34;
    const uint8_t* pixels = data + 6;
    const size_t count = size - 6;
    lunavue::CinepakEncoder encoder(width, height, options);
    lunavue::FilmDescription d;
    d.width = static_cast<uint32_t>(width);
    d.height = static_cast<uint32_t>(height);
    lunavue::FilmWriter writer(d);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int f = 0; f < frames; ++f) {
        for (size_t i = 0; i < rgb.size(); ++i) {
            rgb[i] = count == 0 ? 0 : static_cast<uint8_t>(pixels[(i + f * 7) % count] + f * 31);
        }
        bool key = false;
        const std::vector<uint8_t> frame = encoder.Encode(rgb.data(), key);
        writer.AddPicture(frame.data(), frame.size(), static_cast<uint32_t>(f) * 40, 40, key);
    }
    const std::string path = "/tmp/fuzz_encoder." + std::to_string(getpid()) + ".cpk";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return 0;
    }
    const bool written =
        writer.WriteTo([&](const void* p, size_t n) { return std::fwrite(p, 1, n, out) == n; });
    std::fclose(out);
    lunavue::MovieReader reader;
    if (!written || !reader.Open(path)) {
        __builtin_trap();  // what the encoder writes is always a movie
    }
    lunavue::BITMAPINFOHEADER h{};
    reader.GetOutputFormat(&h);
    std::vector<uint8_t> picture(h.biSizeImage);
    for (int f = 0; f < frames; ++f) {
        if (reader.DecodeNextFrame(picture.data()) == 0 || reader.GetDamagedFrames() != 0) {
            __builtin_trap();  // and every frame of it decodes whole
        }
    }
    std::remove(path.c_str());
    return 0;
}
