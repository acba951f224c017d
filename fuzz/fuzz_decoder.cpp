// Decodes the fuzzer's bytes as Cinepak frames: two bytes of picture width and two of
// height (up to the reader's largest picture), then frames, each preceded by a two-byte
// length, into one persistent picture.
#include <cstdint>
#include <vector>

#include "platform/codec/Cinepak.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    lunavue::BITMAPINFOHEADER out{};
    out.biWidth = 1 + ((data[0] << 8 | data[1]) % 4096);
    out.biHeight = 1 + ((data[2] << 8 | data[3]) % 4096);
    out.biBitCount = 24;
    out.biSizeImage = lunavue::PictureStride(static_cast<uint32_t>(out.biWidth)) *
                      static_cast<uint32_t>(out.biHeight);
    lunavue::BITMAPINFOHEADER in = out;
    in.biCompression = lunavue::FourCC("cvid");
    auto dec = lunavue::codec::CinepakDecompressor::Locate(in, out);
    if (!dec) {
        return 0;
    }
    dec->Begin(in, out);
    std::vector<uint8_t> bits(out.biSizeImage);
    size_t pos = 4;
    while (pos + 2 <= size) {
        size_t len = static_cast<size_t>(data[pos] << 8 | data[pos + 1]);
        pos += 2;
        len = std::min(len, size - pos);
        std::vector<uint8_t> frame(data + pos, data + pos + len);  // exactly sized
        in.biSizeImage = static_cast<uint32_t>(len);
        dec->Decompress(in, frame.data(), out, bits.data());
        pos += len;
    }
    return 0;
}
