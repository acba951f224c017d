// A movie's sound on its way from the stored chunks to the device: the coding the chunks are
// in, the format they turn into, where each chunk starts in samples, and the turning itself.
//
// PCM chunks convert each on its own. ADPCM chunks form one stream whose decoder carries
// bytes and history from chunk to chunk, so they must be decoded in order from the start;
// to seek without decoding from the start every time, the decoder's state is kept every
// kCheckpointChunks chunks as the stream is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Formats.h"
#include "platform/codec/Adpcm.h"

namespace lunavue {

// How the movie's sound is stored.
enum class SoundCoding {
    kNone,     // no sound in the header (channel count 0)
    kPcm,      // byte 39 = 0: 8-bit signed or 16-bit signed big-endian
    kAdpcm,    // byte 39 = 2: the 4-bit ADPCM stream
    kUnknown,  // a coding, format or rate this player cannot play: the movie plays silent
};

class SoundTrack {
  public:
    static constexpr uint8_t kPcmCompression = 0;
    static constexpr uint8_t kAdpcmCompression = 2;
    static constexpr uint32_t kMinRate = 1000;
    static constexpr uint32_t kMaxRate = 192000;
    static constexpr size_t kCheckpointChunks = 16;

    // The header's sound fields (bytes 37 to 41) and, for the ADPCM coding, the first bytes
    // of the sound stream (AdpcmDecoder::kPrefixBytes, or all there are) and its length.
    void Setup(uint8_t channels, uint8_t bits, uint8_t compression, uint16_t rate,
               const uint8_t* prefix, size_t prefixLen, uint64_t streamBytes);
    // Counts the samples of every chunk from the stored lengths, in table order. False when
    // out of memory.
    bool CountChunks(const std::vector<uint32_t>& lengths);
    void Release();

    SoundCoding Coding() const { return coding_; }
    bool Usable() const { return coding_ == SoundCoding::kPcm || coding_ == SoundCoding::kAdpcm; }
    // The sound the device receives; for a sound that cannot be played, the header's fields.
    const WAVEFORMATEX& Format() const { return format_; }
    // The version byte of an ADPCM stream header.
    uint8_t AdpcmVersion() const { return adpcm_.version; }
    // The most device bytes a chunk of len stored bytes turns into.
    size_t Capacity(size_t len) const;

    size_t ChunkCount() const { return starts_.empty() ? 0 : starts_.size() - 1; }
    // The sample (per channel) chunk c starts at; ChunkStart(ChunkCount()) is the total.
    uint64_t ChunkStart(size_t c) const { return starts_[c]; }
    // The chunk whose sound holds the sample, or ChunkCount() when it lies past the end.
    size_t ChunkHolding(uint64_t sample) const;

    // Decoding, chunk by chunk in table order after Restart. Decode writes at most
    // Capacity(len) bytes to out (null: decodes without keeping the sound) and returns the
    // bytes written; chunk is the chunk's number, for the checkpoints.
    void Restart();
    size_t Decode(size_t chunk, const uint8_t* in, size_t len, uint8_t* out);
    // Whether the chunks before a seek target must be decoded to play from it.
    bool DependsOnEarlierChunks() const { return coding_ == SoundCoding::kAdpcm; }
    // Restores the newest state kept at or before chunk c and returns the chunk to go on
    // decoding from (0 after a Restart when none is kept).
    size_t RestoreBefore(size_t c);

  private:
    void SetupAdpcm(uint8_t channels, const uint8_t* prefix, size_t prefixLen,
                    uint64_t streamBytes);
    void Note(size_t chunk);

    SoundCoding coding_ = SoundCoding::kNone;
    WAVEFORMATEX format_{};
    codec::AdpcmFormat adpcm_;
    codec::AdpcmDecoder decoder_;
    std::vector<uint64_t> starts_;
    std::vector<codec::AdpcmDecoder> checkpoints_;  // the state at chunk k x kCheckpointChunks
    std::vector<uint8_t> checkpointKept_;
};

// The four PCM conversions, from the file's layout (signed, big-endian, stereo as all left
// samples then all right samples) to the device's (16-bit little-endian or unsigned 8-bit,
// interleaved).
void ConvertSound(const uint8_t* in, uint32_t len, int bits, int channels, uint8_t* out);

}  // namespace lunavue
