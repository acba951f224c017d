#include "movie/SoundTrack.h"

#include <algorithm>

#include "platform/Memory.h"

namespace lunavue {

void ConvertSound(const uint8_t* in, uint32_t len, int bits, int channels, uint8_t* out) {
    if (bits == 16) {
        if (channels == 1) {
            for (uint32_t i = 0, n = len / 2; i < n; ++i) {
                out[2 * i] = in[2 * i + 1];
                out[2 * i + 1] = in[2 * i];
            }
        } else {
            const uint32_t h = len / 2;
            for (uint32_t i = 0, f = len / 4; i < f; ++i) {
                out[4 * i] = in[2 * i + 1];
                out[4 * i + 1] = in[2 * i];
                out[4 * i + 2] = in[h + 2 * i + 1];
                out[4 * i + 3] = in[h + 2 * i];
            }
        }
    } else if (channels == 1) {
        for (uint32_t i = 0; i < len; ++i) {
            out[i] = static_cast<uint8_t>(in[i] + 128);
        }
    } else {
        const uint32_t h = len / 2;
        for (uint32_t i = 0; i < h; ++i) {
            out[2 * i] = static_cast<uint8_t>(in[i] + 128);
            out[2 * i + 1] = static_cast<uint8_t>(in[h + i] + 128);
        }
    }
}

namespace {

WAVEFORMATEX PcmFormat(uint8_t channels, uint8_t bits, uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<uint16_t>(channels * (bits / 8));
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = bits;
    f.cbSize = 0;
    return f;
}

bool RateOk(uint32_t rate) {
    return rate >= SoundTrack::kMinRate && rate <= SoundTrack::kMaxRate;
}

}  // namespace

void SoundTrack::Setup(uint8_t channels, uint8_t bits, uint8_t compression, uint16_t rate,
                       const uint8_t* prefix, size_t prefixLen, uint64_t streamBytes) {
    Release();
    // Whatever the coding, the header's fields stand until a playable sound replaces them.
    format_ = PcmFormat(channels, bits, rate);
    if (channels == 0) {
        coding_ = SoundCoding::kNone;
    } else if (compression == kPcmCompression) {
        const bool ok =
            (channels == 1 || channels == 2) && (bits == 8 || bits == 16) && RateOk(rate);
        coding_ = ok ? SoundCoding::kPcm : SoundCoding::kUnknown;
    } else if (compression == kAdpcmCompression) {
        SetupAdpcm(channels, prefix, prefixLen, streamBytes);
    } else {
        // A coding we do not know: its bytes are never handed to the device as PCM.
        coding_ = SoundCoding::kUnknown;
    }
}

// Byte 38 means nothing for this coding: the stream header gives the rate and channels,
// and the device always receives 16-bit sound.
void SoundTrack::SetupAdpcm(uint8_t channels, const uint8_t* prefix, size_t prefixLen,
                            uint64_t streamBytes) {
    coding_ = SoundCoding::kUnknown;
    if (channels != 1 && channels != 2) {
        return;
    }
    if (codec::ParseAdpcmHeader(prefix, prefixLen, adpcm_) != codec::AdpcmHeader::kAccepted ||
        streamBytes < adpcm_.headerBytes || !RateOk(adpcm_.rate)) {
        return;
    }
    coding_ = SoundCoding::kAdpcm;
    format_ = PcmFormat(static_cast<uint8_t>(adpcm_.channels), 16, adpcm_.rate);
}

void SoundTrack::Release() {
    starts_ = {};
    checkpoints_ = {};
    checkpointKept_ = {};
    decoder_.Reset();
}

size_t SoundTrack::Capacity(size_t len) const {
    switch (coding_) {
        case SoundCoding::kPcm:
            return len;
        case SoundCoding::kAdpcm:
            return codec::AdpcmDecoder::Capacity(len, adpcm_.channels);
        default:
            return 0;
    }
}

bool SoundTrack::CountChunks(const std::vector<uint32_t>& lengths) {
    const size_t kept = DependsOnEarlierChunks() ? lengths.size() / kCheckpointChunks + 1 : 0;
    if (!TryAllocate(starts_, lengths.size() + 1) || !TryAllocate(checkpoints_, kept) ||
        !TryAllocate(checkpointKept_, kept)) {
        Release();
        return false;
    }
    const uint64_t frameBytes = format_.nBlockAlign;
    // ADPCM: the header comes first; then every complete group of blocks gives 32 samples,
    // the bytes of an unfinished group carried into the next chunk. (An end marker is not
    // looked for: the count serves seeking, and the marker normally ends the last chunk.)
    const uint64_t group = codec::AdpcmDecoder::kBlockBytes * uint64_t{uint32_t(adpcm_.channels)};
    uint64_t header = adpcm_.headerBytes;
    uint64_t carried = 0;
    for (size_t c = 0; c < lengths.size(); ++c) {
        uint64_t samples = 0;
        if (coding_ == SoundCoding::kPcm) {
            samples = lengths[c] / frameBytes;  // whole device frames, as converted
        } else if (coding_ == SoundCoding::kAdpcm) {
            uint64_t data = lengths[c];
            const uint64_t inHeader = std::min(data, header);
            header -= inHeader;
            data -= inHeader;
            samples = (carried + data) / group * codec::AdpcmDecoder::kSamplesPerBlock;
            carried = (carried + data) % group;
        }
        starts_[c + 1] = starts_[c] + samples;
    }
    return true;
}

size_t SoundTrack::ChunkHolding(uint64_t sample) const {
    // The first chunk that ends after the sample (empty chunks hold nothing).
    const auto it = std::upper_bound(starts_.begin() + 1, starts_.end(), sample);
    return static_cast<size_t>(it - (starts_.begin() + 1));
}

void SoundTrack::Restart() {
    decoder_.Reset();
}

void SoundTrack::Note(size_t chunk) {
    if (chunk % kCheckpointChunks != 0) {
        return;
    }
    const size_t k = chunk / kCheckpointChunks;
    if (k < checkpoints_.size() && checkpointKept_[k] == 0) {
        checkpoints_[k] = decoder_;
        checkpointKept_[k] = 1;
    }
}

size_t SoundTrack::Decode(size_t chunk, const uint8_t* in, size_t len, uint8_t* out) {
    switch (coding_) {
        case SoundCoding::kPcm: {
            const uint32_t bits = format_.wBitsPerSample;
            const uint32_t channels = format_.nChannels;
            if (out != nullptr) {
                ConvertSound(in, static_cast<uint32_t>(len), static_cast<int>(bits),
                             static_cast<int>(channels), out);
            }
            // Whole device frames only: a stray byte would shift every later sample.
            return len / format_.nBlockAlign * format_.nBlockAlign;
        }
        case SoundCoding::kAdpcm:
            Note(chunk);
            return decoder_.Decode(in, len, out);
        default:
            return 0;
    }
}

size_t SoundTrack::RestoreBefore(size_t c) {
    for (size_t k = std::min(c / kCheckpointChunks + 1, checkpoints_.size()); k-- > 0;) {
        if (checkpointKept_[k] != 0) {
            decoder_ = checkpoints_[k];
            return k * kCheckpointChunks;
        }
    }
    Restart();
    return 0;
}

}  // namespace lunavue
