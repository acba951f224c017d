// Opens the fuzzer's bytes as a movie and, when it opens, delivers all of it as playback
// would: every picture, every sound chunk, the poster frame.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "movie/MovieReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memfd_create("movie", 0);
    if (fd < 0) {
        return 0;
    }
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    lunavue::MovieReader reader;
    if (reader.Open("/proc/self/fd/" + std::to_string(fd))) {
        lunavue::BITMAPINFOHEADER h{};
        reader.GetOutputFormat(&h);
        std::vector<uint8_t> picture(h.biSizeImage);
        std::vector<uint8_t> chunk(reader.GetAudioChunkCapacity());
        reader.Rewind();
        for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
            reader.DecodeNextFrame(picture.data());
            while (!chunk.empty() && reader.NextAudioChunk(chunk.data()) != 0) {
            }
        }
        while (!chunk.empty() && reader.NextAudioChunk(chunk.data()) != 0) {
        }
        reader.DecodeFirstFrame(picture.data());
        reader.Close();
    }
    close(fd);
    return 0;
}
