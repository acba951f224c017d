// Picture and sound format records, laid out byte for byte as the classic Windows
// BITMAPINFOHEADER (40 bytes) and WAVEFORMATEX (18 bytes), which the movie reader fills
// and the decoder, the sound device, the view and the Information dialog read.
#pragma once

#include <cstdint>

namespace lunavue {

struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows are stored bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // 0: uncompressed RGB; otherwise a four-character code
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

#pragma pack(push, 2)
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// A four-character code as the bytes appear in memory: FourCC("cvid").
constexpr uint32_t FourCC(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// Bytes per row of a bottom-up 24-bit picture: 3 bytes a pixel, padded to a multiple of 4.
constexpr uint32_t PictureStride(uint32_t width) {
    return (3 * width + 3) & ~3u;
}

}  // namespace lunavue
