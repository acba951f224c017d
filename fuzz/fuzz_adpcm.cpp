// Decodes the fuzzer's bytes as an ADPCM sound stream cut into chunks: each chunk is
// preceded by a one-byte length. Every chunk's sound must fit the capacity promised for it.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/codec/Adpcm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lunavue::codec::AdpcmDecoder decoder;
    size_t pos = 0;
    while (pos < size) {
        const size_t len = std::min<size_t>(data[pos], size - pos - 1);
        ++pos;
        std::vector<uint8_t> chunk(data + pos, data + pos + len);  // exactly sized
        std::vector<uint8_t> out(lunavue::codec::AdpcmDecoder::Capacity(len, 2));
        const size_t got = decoder.Decode(chunk.data(), len, out.data());
        if (got > out.size()) {
            std::abort();
        }
        pos += len;
    }
    return 0;
}
