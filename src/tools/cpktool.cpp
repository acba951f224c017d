// cpktool: looks into FILM movies from the command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "movie/MovieInfo.h"
#include "movie/MovieReader.h"
#include "tools/PlayCommand.h"

namespace {

using lunavue::BITMAPINFOHEADER;
using lunavue::MovieReader;

const char kUsage[] =
    "usage: cpktool COMMAND FILE [ARGS]\n"
    "\n"
    "  info FILE                 picture size, frame rate, frames, running time, sound\n"
    "                            format and the sample table's counts, one 'key: value'\n"
    "                            per line\n"
    "  frames FILE OUT           every video frame in file order, decoded as playback\n"
    "                            does, written top-down, 3 bytes a pixel (blue, green,\n"
    "                            red), no row padding\n"
    "  audio FILE OUT            the whole sound track as the sound device receives it\n"
    "                            (16-bit little-endian or unsigned 8-bit, interleaved)\n"
    "  bench FILE [--repeat N]   decodes every frame N times (default 10) and prints\n"
    "                            frames per second\n"
    "  play FILE [--loop N]      plays the movie N times (default 1) without a window,\n"
    "                            with the real clock, timer and sound device, and reports\n"
    "                            frames shown, late slots, sound chunks and underruns\n"
    "\n"
    "Exit status: 0 on success, 1 for a usage error or an output that cannot be written,\n"
    "2 when the movie cannot be played (the reason on standard error).\n";

// Exit statuses.
constexpr int kFailed = 1;   // a usage error, or the output could not be written
constexpr int kRefused = 2;  // the movie cannot be played

int Usage() {
    std::fputs(kUsage, stderr);
    return kFailed;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "cpktool: cannot write %s\n", path);
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "cpktool: cannot write %s\n", path);
    }
    return ok;
}

// Opens a movie, or says in English why it cannot be played.
bool OpenMovie(MovieReader& reader, const char* path) {
    const lunavue::OpenStatus status = reader.Open(path);
    if (!status) {
        std::fprintf(stderr, "cpktool: %s: %s\n", path, status.Describe().c_str());
    }
    return static_cast<bool>(status);
}

int Info(const char* path) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    lunavue::MovieInfo info = lunavue::DescribeMovie(reader);
    std::printf("size: %s\nframe rate: %s\nframes: %s\ntime: %s\n", info.size.c_str(),
                info.frameRate.c_str(), info.frames.c_str(), info.time.c_str());
    std::printf("sound rate: %s\nsound bits: %s\nchannels: %s\n", info.soundRate.c_str(),
                info.soundType.c_str(), info.channels.c_str());
    std::printf("entries: %d\nvideo entries: %u\naudio entries: %u\n", reader.GetEntryCount(),
                reader.GetVideoFrameCount(), reader.GetAudioEntryCount());
    std::printf("base frequency: %u\nframe period: %u\ntotal ticks: %u\n",
                reader.GetBaseFrequency(), reader.GetFramePeriodTicks(), reader.GetTotalTicks());
    return 0;
}

int Frames(const char* path, const char* out) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    BITMAPINFOHEADER h{};
    reader.GetOutputFormat(&h);
    const size_t stride = lunavue::PictureStride(static_cast<uint32_t>(h.biWidth));
    const size_t row = 3 * static_cast<size_t>(h.biWidth);
    std::vector<uint8_t> picture(h.biSizeImage);
    std::vector<uint8_t> all;
    all.reserve(row * static_cast<size_t>(h.biHeight) * reader.GetVideoFrameCount());
    reader.Rewind();
    for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
        reader.DecodeNextFrame(picture.data());
        for (int y = h.biHeight - 1; y >= 0; --y) {
            const uint8_t* r = picture.data() + static_cast<size_t>(y) * stride;
            all.insert(all.end(), r, r + row);
        }
    }
    return WriteFile(out, all) ? 0 : kFailed;
}

int Audio(const char* path, const char* out) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    std::vector<uint8_t> all;
    const uint32_t capacity = reader.GetAudioChunkCapacity();
    if (capacity != 0) {
        std::vector<uint8_t> picture(reader.GetDecodedBufferSize());
        std::vector<uint8_t> chunk(capacity);
        auto drain = [&] {
            while (uint32_t n = reader.NextAudioChunk(chunk.data())) {
                all.insert(all.end(), chunk.begin(), chunk.begin() + n);
            }
        };
        reader.Rewind();
        for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
            reader.DecodeNextFrame(picture.data());
            drain();
        }
        drain();
    }
    return WriteFile(out, all) ? 0 : kFailed;
}

int Bench(const char* path, int repeat) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    std::vector<uint8_t> picture(reader.GetDecodedBufferSize());
    const auto start = std::chrono::steady_clock::now();
    uint64_t frames = 0;
    for (int r = 0; r < repeat; ++r) {
        reader.Rewind();
        for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
            reader.DecodeNextFrame(picture.data());
            ++frames;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("frames: %llu\nseconds: %.3f\nframes per second: %.0f\n",
                static_cast<unsigned long long>(frames), seconds,
                seconds > 0 ? frames / seconds : 0.0);
    return 0;
}

// Reads "--name N" at argv[i]; false on a malformed value.
bool Option(int argc, char** argv, const char* name, int& value) {
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            if (i + 1 >= argc) {
                return false;
            }
            char* end = nullptr;
            long v = std::strtol(argv[i + 1], &end, 10);
            if (*end != '\0' || v < 1 || v > 1000000) {
                return false;
            }
            value = static_cast<int>(v);
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    if (command == "info" && argc == 3) {
        return Info(argv[2]);
    }
    if (command == "frames" && argc == 4) {
        return Frames(argv[2], argv[3]);
    }
    if (command == "audio" && argc == 4) {
        return Audio(argv[2], argv[3]);
    }
    if (command == "bench") {
        int repeat = 10;
        return Option(argc, argv, "--repeat", repeat) ? Bench(argv[2], repeat) : Usage();
    }
    if (command == "play") {
        int passes = 1;
        if (!Option(argc, argv, "--loop", passes)) {
            return Usage();
        }
        MovieReader probe;
        return OpenMovie(probe, argv[2]) ? lunavue::PlayHeadless(argv[2], passes) : kRefused;
    }
    return Usage();
}
