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
#include "movie/SoundTrack.h"
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

class MovieReader {
  public:
    static constexpr size_t kHeaderSize = 64;
    static constexpr uint32_t kMaxPicture = 4096;
    static constexpr uint32_t kMaxFramePeriod = 10000;
    // The most a movie may ask of memory for reading and playing it.
    static constexpr uint64_t kMemoryLimit = 512ull << 20;
    // Pictures the player keeps besides the reader's own (counted against the limit).
    static constexpr uint32_t kPlayerPictures = 17;
    static constexpr uint32_t kPlayerSoundBuffers = 10;
    // A single frame never lasts longer than this, whatever its table entry says.
    static constexpr uint32_t kMaxFrameSeconds = 60;

    MovieReader() = default;
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens a movie and makes it ready for delivery, or says why not.
    OpenStatus Open(const std::string& path);
    void Close();
    bool IsOpen() const { return open_; }

    int GetOutputFormat(BITMAPINFOHEADER* out) const;
    // The sound the device receives (for a sound that cannot be played: the header's values).
    WAVEFORMATEX GetAudioFormat() const { return sound_.Format(); }
    uint32_t GetAudioChunkCapacity() const;
    uint32_t GetBaseFrequency() const { return baseFrequency_; }
    uint32_t GetFramePeriodTicks() const { return framePeriod_; }
    uint32_t GetVideoFrameCount() const { return static_cast<uint32_t>(videoEntries_.size()); }
    uint32_t GetTotalTicks() const { return open_ ? totalTicks_ : 0; }
    int32_t GetEntryCount() const { return static_cast<int32_t>(table_.size()); }
    uint32_t GetAudioEntryCount() const { return static_cast<uint32_t>(audioEntries_.size()); }
    const SoundTrack& Sound() const { return sound_; }
    // The container version of the header (bytes 8 to 11, "1.09"), printable characters only.
    std::string GetContainerVersion() const { return version_; }
    // The header's sound compression byte (39), as stored.
    uint8_t GetSoundCompression() const { return soundCompression_; }
    // The duration of video frame f in ticks (capped at kMaxFrameSeconds).
    uint32_t GetFrameDuration(uint32_t f) const { return table_[videoEntries_[f]].duration; }
    // Where each frame is shown: frame f fills the display periods from starts[f] on, one
    // for every period its duration begins (at least one); starts[frames] is the total.
    // False when out of memory.
    bool FrameSlots(std::vector<uint32_t>& starts) const;

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

    // Seeking. Whether frame f can be decoded without the frames before it: the table says
    // so (bit 31 of its third word clear), unless the first frame is marked as depending on
    // the one before, as old muxers wrote it; then the frame's data say so (every strip a
    // key strip).
    bool IsKeyFrame(uint32_t f);
    uint32_t KeyFrameAtOrBefore(uint32_t f);
    // Positions delivery so that the next DecodeNextFrame decodes `frame` (earlier frames in
    // the file are passed over), and the sound goes on at `sample` (per channel): chunks
    // before the one that holds it are passed over, and that one starts at the sample.
    void SeekTo(uint32_t frame, uint64_t sample);

  private:
    OpenStatus ReadHeader(uint32_t& entryCount);
    OpenStatus ReadTable(uint32_t entryCount);
    OpenStatus SplitTable(uint32_t videoCount, uint64_t tableBytes);
    OpenStatus SetUpSound(const std::vector<uint32_t>& audioLengths, uint64_t tableBytes);
    OpenStatus AllocateBuffers();
    void SizeSoundRing(uint64_t& bytes, uint64_t& chunks) const;
    OpenStatus Refuse(OpenError error, uint64_t detail = 0);
    void ReleaseBuffers();
    size_t ReadAt(uint64_t position, uint8_t* dst, size_t count);
    bool ReadStreamPrefix(uint8_t* prefix, size_t& len, uint64_t& streamBytes);
    bool IsAudio(uint32_t index) const;
    bool TakeAudioEntry();
    uint32_t DecodeEntry(uint32_t index, uint8_t* destination);
    bool FrameDataIsKey(uint32_t f);
    void CatchUpSound(size_t chunk);

    bool open_ = false;
    std::unique_ptr<codec::CinepakDecompressor> decompressor_;
    static constexpr uint8_t kNotLookedAt = 2;
    static constexpr uint16_t kKeyStrip = 0x1000;

    uint32_t audioCapacity_ = 0;       // device bytes of the largest chunk, rounded up to 4
    uint32_t largestAudio_ = 0;        // stored bytes of the largest chunk
    uint64_t compressedCapacity_ = 0;  // largest video length, rounded up, plus 4
    uint32_t framePeriod_ = 0;
    uint32_t baseFrequency_ = 0;
    bool soundUsable_ = false;
    SoundTrack sound_;
    uint8_t soundCompression_ = 0;
    uint8_t soundHeader_[5] = {};  // header bytes 37 to 41
    std::string version_;
    std::vector<SampleEntry> table_;      // file order
    std::vector<uint64_t> positions_;     // where each entry's data lie in the file
    std::vector<uint32_t> videoEntries_;  // table index of each video frame
    std::vector<uint32_t> audioEntries_;  // table index of each sound chunk
    std::vector<uint8_t> keyFrames_;      // per frame: 1 key, 0 not, kNotLookedAt
    uint32_t headerLength_ = 0;
    SoundRing soundRing_;
    std::vector<uint8_t> compressed_;
    uint32_t cursor_ = 0;
    uint32_t soundSeen_ = 0;             // sound chunks before the cursor
    uint32_t videoFrom_ = 0;             // table index of the frame a seek goes to
    uint32_t soundFrom_ = 0;             // the first sound chunk a seek plays
    uint32_t soundSkip_ = 0;             // device bytes of that chunk before the sample sought
    std::vector<uint8_t> soundScratch_;  // a chunk decoded silently on the way to a seek
    uint32_t totalTicks_ = 0;
    uint32_t damagedFrames_ = 0;
    std::vector<uint8_t> decoded_;
    BITMAPINFOHEADER outputFormat_{};
    BITMAPINFOHEADER inputFormat_{};
    int fd_ = -1;
    uint64_t fileSize_ = 0;
};

// The Japanese error box text for a refusal, or null for one that shows none.
const char* RefusalMessage(OpenError error);

}  // namespace lunavue
