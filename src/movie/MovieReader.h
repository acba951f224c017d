// Reads one FILM movie (Cinepak video, PCM sound): the 64-byte header, the sample table,
// and then, in file order, decoded pictures and sound chunks converted for the device.
//
// One cursor walks the table in file order. Sound samples met on the way to the next video
// sample wait in a ring of bytes until the sound side takes them (NextAudioChunk). The
// ring is sized at Open from the table, so that no chunk ever has to be overwritten or
// dropped while it waits, and nothing is allocated during delivery. Every sample is read
// with one positioned read, so the file never has to be repositioned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "movie/SoundRing.h"
#include "platform/Formats.h"
#include "platform/codec/Cinepak.h"

namespace lunavue {

// One row of the sample table, converted to host order.
struct SampleEntry {
    uint32_t offset;     // absolute file position of the sample's data, as the table says
    int32_t length;      // byte count
    uint32_t timestamp;  // video: ticks (low 24 bits of the stored value); audio: kAudioMarker
    uint32_t duration;   // ticks
};
inline constexpr uint32_t kAudioMarker = 0xFFFFFFFF;

// Why a movie was refused.
enum class OpenError {
    kNone,
    kNotCinepak,      // the video is not Cinepak: refused without a message
    kCannotOpen,      // the file cannot be opened for reading
    kNotRegularFile,  // a folder, a pipe, a device
    kTooShort,        // shorter than its header or its sample table
    kEntryCount,      // no entries, or a count that cannot be
    kPictureSize,     // width or height 0 or beyond kMaxPicture
    kNoVideo,         // no video entry in the table
    kPeriodZero,      // a video entry lasting 0 ticks
    kBaseFrequencyZero,
    kDataPastEnd,  // a sample's data runs past the end of the file
    kOutOfMemory,  // the buffers cannot be had, or would pass kMemoryLimit
    kNoDecompressor,
};

struct OpenStatus {
    OpenError error = OpenError::kNone;
    uint64_t detail = 0;  // the entry, the size or the system error the reason is about
    explicit operator bool() const { return error == OpenError::kNone; }
    // The reason in English, for the command line: "sample table entry 12 runs past the
    // end of the file".
    std::string Describe() const;
};

// How the movie's sound is stored.
enum class SoundCoding {
    kNone,     // no sound in the header (channel count 0)
    kPcm,      // byte 39 = 0: 8-bit signed or 16-bit signed big-endian
    kUnknown,  // a coding or a format this reader cannot play: the movie plays silent
};

class MovieReader {
  public:
    static constexpr size_t kHeaderSize = 64;
    static constexpr uint32_t kMaxPicture = 4096;
    static constexpr uint32_t kMaxFramePeriod = 10000;
    // The most a movie may ask of memory for reading and playing it.
    static constexpr uint64_t kMemoryLimit = 512ull << 20;
    // Pictures the player keeps besides the reader's own (counted against the limit).
    static constexpr uint32_t kPlayerPictures = 17;
    // A single frame never lasts longer than this, whatever its table entry says.
    static constexpr uint32_t kMaxFrameSeconds = 60;
    // Sound rates the device is asked to play.
    static constexpr uint32_t kMinSoundRate = 1000;
    static constexpr uint32_t kMaxSoundRate = 192000;

    MovieReader() = default;
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens a movie and makes it ready for delivery, or says why not.
    OpenStatus Open(const std::string& path);
    void Close();
    bool IsOpen() const { return open_; }

    int GetOutputFormat(BITMAPINFOHEADER* out) const;
    WAVEFORMATEX GetAudioFormat() const { return audioFormat_; }
    uint32_t GetAudioChunkCapacity() const;
    uint32_t GetBaseFrequency() const { return baseFrequency_; }
    uint32_t GetFramePeriodTicks() const { return framePeriod_; }
    uint32_t GetVideoFrameCount() const { return static_cast<uint32_t>(videoEntries_.size()); }
    uint32_t GetTotalTicks() const { return open_ ? totalTicks_ : 0; }
    int32_t GetEntryCount() const { return static_cast<int32_t>(table_.size()); }
    uint32_t GetAudioEntryCount() const { return static_cast<uint32_t>(audioEntries_.size()); }
    SoundCoding GetSoundCoding() const { return soundCoding_; }
    // The header's sound compression byte (39), as stored.
    uint8_t GetSoundCompression() const { return soundCompression_; }
    // The duration of video frame f in ticks (capped at kMaxFrameSeconds).
    uint32_t GetFrameDuration(uint32_t f) const { return table_[videoEntries_[f]].duration; }

    // Bytes of the waiting-sound ring and the other buffers, for the curious and for tests.
    size_t GetSoundRingBytes() const { return soundRing_.Capacity(); }
    size_t GetDecodedBufferSize() const { return decoded_.size(); }
    // Frames whose data were short or damaged since Open (painted as far as they were sound).
    uint32_t GetDamagedFrames() const { return damagedFrames_; }

    // Delivery. A destination picture holds the output format's biSizeImage bytes; a
    // destination sound buffer holds GetAudioChunkCapacity bytes.
    void Rewind();
    uint32_t DecodeFirstFrame(uint8_t* destination);
    // Decodes the next picture into destination (null: only into the reader's own buffer)
    // and returns its duration; 0 when no picture is left.
    uint32_t DecodeNextFrame(uint8_t* destination);
    // Whether the sound stored before the next picture fits into the ring now.
    bool NextFrameFits() const;
    uint32_t NextAudioChunk(uint8_t* destination);
    // True while a sound chunk waits in the ring or a sound sample lies ahead of the cursor.
    bool HasSoundLeft() const;

  private:
    OpenStatus ReadHeader(uint32_t& entryCount);
    OpenStatus ReadTable(uint32_t entryCount);
    OpenStatus AllocateBuffers();
    void SizeSoundRing(uint64_t& bytes, uint64_t& chunks) const;
    OpenStatus Refuse(OpenError error, uint64_t detail = 0);
    void ReleaseBuffers();
    size_t ReadAt(uint64_t position, uint8_t* dst, size_t count);
    bool ReadAudioEntry(uint32_t index);
    uint32_t DecodeEntry(uint32_t index, uint8_t* destination);
    uint32_t DeviceBytes(uint32_t len) const;

    bool open_ = false;
    std::unique_ptr<codec::CinepakDecompressor> decompressor_;
    uint32_t audioCapacity_ = 0;       // largest audio length, rounded up to a multiple of 4
    uint64_t compressedCapacity_ = 0;  // largest video length, rounded up, plus 4
    uint32_t framePeriod_ = 0;
    uint32_t baseFrequency_ = 0;
    bool soundUsable_ = false;
    SoundCoding soundCoding_ = SoundCoding::kNone;
    uint8_t soundCompression_ = 0;
    std::vector<SampleEntry> table_;      // file order
    std::vector<uint64_t> positions_;     // where each entry's data lie in the file
    std::vector<uint32_t> videoEntries_;  // table index of each video frame
    std::vector<uint32_t> audioEntries_;  // table index of each sound chunk
    uint32_t headerLength_ = 0;
    SoundRing soundRing_;
    std::vector<uint8_t> compressed_;
    uint32_t cursor_ = 0;
    uint32_t totalTicks_ = 0;
    uint32_t damagedFrames_ = 0;
    std::vector<uint8_t> decoded_;
    BITMAPINFOHEADER outputFormat_{};
    BITMAPINFOHEADER inputFormat_{};
    WAVEFORMATEX audioFormat_{};
    int fd_ = -1;
    uint64_t fileSize_ = 0;
};

// The four sound conversions, from the file's layout (signed, big-endian, stereo as all
// left samples then all right samples) to the device's (16-bit little-endian or unsigned
// 8-bit, interleaved).
void ConvertSound(const uint8_t* in, uint32_t len, int bits, int channels, uint8_t* out);

// The Japanese error box text for a refusal, or null for one that shows none.
const char* RefusalMessage(OpenError error);

}  // namespace lunavue
