#include "tools/MakeCommand.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "movie/FilmLayout.h"
#include "movie/FilmWriter.h"
#include "platform/codec/AdpcmEncoder.h"
#include "tools/OutputFile.h"
#include "tools/SoundInput.h"

namespace lunavue {
namespace {

constexpr int kFailed = 1;
constexpr int kLargest = 4096;

int Refuse(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "cpktool: %s: %s\n", what.c_str(), why.c_str());
    return kFailed;
}

// One PNG as top-down RGB; false with the reason.
bool ReadPng(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb,
             std::string& why) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        why = image.message[0] != '\0' ? image.message : "not a PNG picture";
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    if (image.width == 0 || image.height == 0 || image.width > kLargest ||
        image.height > kLargest) {
        png_image_free(&image);
        why = "a picture of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
              " pixels (at most 4096 x 4096)";
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) {
        why = image.message[0] != '\0' ? image.message : "the picture cannot be read";
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace

int MakeMovie(const MakeOptions& o) {
    if (o.frames.empty()) {
        return Refuse(o.out, "no frames named");
    }
    if (o.framesPerSecond <= 0 ||
        film::kGamesBase % static_cast<uint32_t>(o.framesPerSecond) != 0) {
        return Refuse(o.out,
                      "the frame rate must divide 600 (1, 2, 3, 4, 5, 6, 8, 10, 12, 15, "
                      "20, 24, 25, 30, 40, 50, 60, ...)");
    }
    const uint32_t ticks = film::kGamesBase / static_cast<uint32_t>(o.framesPerSecond);
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::string why;
    if (!ReadPng(o.frames[0], width, height, rgb, why)) {
        return Refuse(o.frames[0], why);
    }
    if (width % 4 != 0 || height % 4 != 0) {
        return Refuse(o.frames[0], "the picture is " + std::to_string(width) + " x " +
                                       std::to_string(height) +
                                       "; width and height must be multiples of 4");
    }
    WavReader wav;
    FilmDescription d;
    d.width = static_cast<uint32_t>(width);
    d.height = static_cast<uint32_t>(height);
    if (!o.sound.empty()) {
        if (!wav.Open(o.sound, why)) {
            return Refuse(o.sound, why);
        }
        d.channels = static_cast<uint8_t>(wav.Channels());
        d.bits = static_cast<uint8_t>(o.adpcm ? 16 : wav.Bits());
        d.compression = o.adpcm ? 2 : 0;
        d.rate = static_cast<uint16_t>(wav.Rate());
    }
    const uint64_t soundFrames =
        o.frames.size() * uint64_t{d.rate} / static_cast<uint64_t>(o.framesPerSecond);
    std::unique_ptr<codec::AdpcmEncoder> adpcm;
    if (o.adpcm && d.channels != 0) {
        adpcm = std::make_unique<codec::AdpcmEncoder>(
            d.channels, d.rate, static_cast<uint32_t>(std::min<uint64_t>(soundFrames, UINT32_MAX)));
    }
    FilmWriter writer(d);
    CinepakEncoder encoder(width, height, o.picture);
    const bool progress = isatty(STDERR_FILENO) != 0;
    WavFeed sound(wav, adpcm.get());
    for (size_t f = 0; f < o.frames.size(); ++f) {
        if (f != 0) {
            int w = 0, h = 0;
            if (!ReadPng(o.frames[f], w, h, rgb, why)) {
                return Refuse(o.frames[f], why);
            }
            if (w != width || h != height) {
                return Refuse(o.frames[f], "the picture is " + std::to_string(w) + " x " +
                                               std::to_string(h) + ", the first " +
                                               std::to_string(width) + " x " +
                                               std::to_string(height));
            }
        }
        // The sound up to this picture's end, before it.
        if (d.channels != 0) {
            const uint64_t until =
                (f + 1) * uint64_t{d.rate} / static_cast<uint64_t>(o.framesPerSecond);
            const std::vector<uint8_t> chunk = sound.UpTo(until, f + 1 == o.frames.size());
            if (!chunk.empty() && !writer.AddSound(chunk.data(), chunk.size())) {
                return Refuse(o.out, "the movie cannot be written");
            }
        }
        bool key = false;
        const std::vector<uint8_t> frame = encoder.Encode(rgb.data(), key);
        if (!writer.AddPicture(frame.data(), frame.size(), static_cast<uint32_t>(f) * ticks, ticks,
                               key)) {
            return Refuse(o.out, "the movie cannot be written (larger than FILM holds)");
        }
        if (progress) {
            std::fprintf(stderr, "\rcpktool: frame %zu of %zu", f + 1, o.frames.size());
        }
    }
    if (adpcm) {
        std::vector<uint8_t> last;  // what the coding held back, and its end marker
        adpcm->Finish(last);
        if (!writer.AddSound(last.data(), last.size())) {
            return Refuse(o.out, "the movie cannot be written");
        }
    }
    if (progress) {
        std::fputc('\n', stderr);
    }
    OutputFile out;
    if (!out.Open(o.out, {}, why)) {
        return Refuse(o.out, why);
    }
    if (!writer.WriteTo([&](const void* p, size_t n) { return out.Write(p, n); }) ||
        !out.Commit()) {
        return Refuse(o.out, "cannot be written");
    }
    return 0;
}

}  // namespace lunavue
