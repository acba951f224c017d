// Reads one FILM movie (Cinepak video, PCM sound): the 64-byte header, the sample table,
// and then, in file order, decoded pictures and sound chunks converted for the device.
//
// One cursor walks the table in file order. Sound samples met on the way to the next video
// sample wait in a ring of slots until the sound side takes them (NextAudioChunk). The
// ring is sized at Open from the table, so that no chunk ever has to be overwritten or
// dropped while it waits, and nothing is allocated during delivery.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Formats.h"
#include "platform/codec/Cinepak.h"

namespace lunavue {

// One row of the sample table, converted to host order.
struct SampleEntry {
    uint32_t offset;     // absolute file position of the sample's data
    int32_t length;      // byte count
    uint32_t timestamp;  // video: ticks (low 24 bits of the stored value); audio: kAudioMarker
    uint32_t duration;   // ticks
};
inline constexpr uint32_t kAudioMarker = 0xFFFFFFFF;

class MovieReader {
  public:
    static constexpr size_t kHeaderSize = 64;
    static constexpr int kMinSoundSlots = 16;
    static constexpr uint32_t kMaxPicture = 4096;
    static constexpr uint32_t kMaxFramePeriod = 10000;

    MovieReader() = default;
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens a movie: true when it is ready for delivery. A file whose video is not Cinepak
    // is refused silently; every other refusal shows an error box first.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return open_; }

    int GetOutputFormat(BITMAPINFOHEADER* out) const;
    WAVEFORMATEX GetAudioFormat() const { return audioFormat_; }
    uint32_t GetAudioChunkCapacity() const;
    uint32_t GetBaseFrequency() const { return baseFrequency_; }
    uint32_t GetFramePeriodTicks() const { return framePeriod_; }
    uint32_t GetVideoFrameCount() const { return static_cast<uint32_t>(videoCount_); }
    uint32_t GetTotalTicks() const { return open_ ? totalTicks_ : 0; }
    int32_t GetEntryCount() const { return entryCount_; }
    int32_t GetAudioEntryCount() const { return audioCount_; }

    // Buffer sizes chosen at Open, for the curious and for tests.
    size_t GetSoundSlotCount() const { return soundSlots_.size(); }
    size_t GetSoundSlotSize() const { return soundSlotSize_; }
    size_t GetCompressedBufferSize() const { return compressedSize_; }
    size_t GetDecodedBufferSize() const { return decodedSize_; }

    // Delivery. A destination picture holds the output format's biSizeImage bytes; a
    // destination sound buffer holds GetAudioChunkCapacity bytes.
    void Rewind();
    uint32_t DecodeFirstFrame(uint8_t* destination);
    uint32_t DecodeNextFrame(uint8_t* destination);
    uint32_t NextAudioChunk(uint8_t* destination);
    // True while a sound chunk waits in the ring or a sound sample lies ahead of the cursor.
    bool HasSoundLeft() const;

  private:
    bool Refuse(const char* message);  // shows the message, releases everything, false
    void ReleaseBuffers();
    size_t ReadFile(uint8_t* dst, size_t count);
    bool SeekFile(uint32_t position);
    void ReadAudioEntry(const SampleEntry& e);
    uint32_t DecodeEntry(const SampleEntry& e, uint8_t* destination);
    size_t SoundSlotsNeeded() const;

    // Fields, in the order the engine reasons about them.
    bool open_ = false;
    std::unique_ptr<codec::CinepakDecompressor> decompressor_;
    int32_t audioCount_ = 0;
    int32_t videoCount_ = 0;
    int32_t audioCapacity_ = 0;       // largest audio length, rounded up to a multiple of 4
    int32_t compressedCapacity_ = 0;  // largest video length, rounded up, plus 4
    uint32_t framePeriod_ = 0;
    uint32_t baseFrequency_ = 0;
    bool soundUsable_ = false;
    int32_t entryCount_ = 0;
    std::vector<SampleEntry> table_;  // file order, then the audio list, then the video list
    const SampleEntry* audioList_ = nullptr;
    const SampleEntry* videoList_ = nullptr;
    uint32_t headerLength_ = 0;
    std::vector<uint8_t> soundRing_;
    std::vector<uint8_t*> soundSlots_;   // start of each slot in soundRing_
    std::vector<int32_t> soundLengths_;  // bytes waiting in each slot; 0 is empty
    size_t soundSlotSize_ = 0;
    std::vector<uint8_t> compressed_;
    uint32_t ringWrite_ = 0;
    uint32_t ringRead_ = 0;
    uint32_t cursor_ = 0;
    uint32_t totalTicks_ = 0;
    uint32_t lastAudioIndex_ = 0;  // file-order index of the last sound sample
    std::vector<uint8_t> decoded_;
    BITMAPINFOHEADER outputFormat_{};
    BITMAPINFOHEADER inputFormat_{};
    WAVEFORMATEX audioFormat_{};
    int fd_ = -1;
    uint64_t fileSize_ = 0;
    size_t compressedSize_ = 0;
    size_t decodedSize_ = 0;
};

// The four sound conversions, from the file's layout (signed, big-endian, stereo as all
// left samples then all right samples) to the device's (16-bit little-endian or unsigned
// 8-bit, interleaved). Returns len, whatever remainder of it could not be converted.
void ConvertSound(const uint8_t* in, uint32_t len, int bits, int channels, uint8_t* out);

}  // namespace lunavue
