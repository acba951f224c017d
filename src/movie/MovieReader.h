// Delivers one FILM movie, as the demuxer found it, in file order: decoded pictures (Cinepak
// or raw) and sound chunks turned into what the device plays (PCM or ADPCM sound).
//
// One cursor walks the records in file order. Sound samples met on the way to the next
// picture wait in a ring of bytes until the sound side takes them (NextAudioChunk). The ring
// is sized at Open from the table and from the player's budget (how far ahead it reads), so
// that no chunk ever has to be overwritten or dropped while it waits, and nothing is
// allocated during delivery. Every sample is read with one positioned read.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "movie/FilmDemuxer.h"
#include "movie/MovieFile.h"
#include "movie/OpenStatus.h"
#include "movie/SoundRing.h"
#include "movie/SoundTrack.h"
#include "platform/Formats.h"
#include "platform/codec/Cinepak.h"

namespace lunavue {

// What showing a picture of a size costs in memory (the scaled copies, the surfaces),
// for the memory limit.
class ShownCost {
  public:
    virtual uint64_t ShownBytes(uint32_t width, uint32_t height) const = 0;

  protected:
    ~ShownCost() = default;
};

// What the player that takes the movie keeps besides the reader's own buffers, and how far
// ahead of its clock it reads: the reader sizes its waiting sound from the lead and counts
// the rest against the memory limit.
struct DeliveryBudget {
    uint32_t leadPeriods = 0;          // display periods pictures are decoded ahead of the clock
    uint32_t pictures = 0;             // pictures of the movie's size the player keeps
    uint32_t soundBuffers = 0;         // sound buffers of GetAudioChunkCapacity bytes it keeps
    const ShownCost* shown = nullptr;  // what showing the pictures costs, where they are shown
};

class MovieReader {
  public:
    MovieReader() = default;
    ~MovieReader() { Close(); }
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    // Opens a movie and makes it ready for delivery to a player of this budget, or says why
    // not. A reader used on its own (tools, tests) takes the empty budget.
    OpenStatus Open(const std::string& path, const DeliveryBudget& budget = {});
    void Close();
    bool IsOpen() const { return open_; }

    // What the demuxer found: layout, picture coding, sound fields, records.
    const Film& Contents() const { return film_; }
    int GetOutputFormat(BITMAPINFOHEADER* out) const;
    // The sound the device receives (for a sound that cannot be played: the header's values).
    WAVEFORMATEX GetAudioFormat() const { return sound_.Format(); }
    uint32_t GetAudioChunkCapacity() const { return soundUsable_ ? audioCapacity_ : 0; }
    // The clock: ticks a second, the display period, the pictures and where they end. Kept
    // after Close, as the last movie left them.
    uint32_t GetBaseFrequency() const { return baseFrequency_; }
    uint32_t GetFramePeriodTicks() const { return framePeriod_; }
    uint32_t GetVideoFrameCount() const { return frameCount_; }
    uint32_t GetTotalTicks() const { return open_ ? totalTicks_ : 0; }
    // Ticks frame f lasts (MovieClock turns them into display periods).
    uint32_t GetFrameDuration(uint32_t f) const { return film_.Picture(f).duration; }
    int32_t GetEntryCount() const { return static_cast<int32_t>(film_.samples.size()); }
    uint32_t GetAudioEntryCount() const { return static_cast<uint32_t>(film_.sounds.size()); }
    const SoundTrack& Sound() const { return sound_; }

    // Bytes of the waiting-sound ring and the other buffers, for the curious and for tests.
    size_t GetSoundRingBytes() const { return soundRing_.Capacity(); }
    size_t GetDecodedBufferSize() const { return decoded_.size(); }
    // Frames whose data were short or damaged since Open (painted as far as they were sound).
    // Any thread: the decoding thread counts them while the window reads them.
    uint32_t GetDamagedFrames() const { return damagedFrames_.load(std::memory_order_relaxed); }
    // The bytes between the Cinepak frame header and the first strip of the first picture
    // (0, 2 or 6); 0 for other codings.
    uint32_t FirstFrameExtraBytes();

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
    // so, unless the first frame is marked as depending on the one before, as old muxers
    // wrote it; then the frame's data say so (every strip a key strip).
    bool IsKeyFrame(uint32_t f);
    uint32_t KeyFrameAtOrBefore(uint32_t f);
    // Positions delivery so that the next DecodeNextFrame decodes `frame` (earlier frames in
    // the file are passed over), and the sound goes on at `sample` (per channel): chunks
    // before the one that holds it are passed over, and that one starts at the sample.
    void SeekTo(uint32_t frame, uint64_t sample);

  private:
    OpenStatus SetUp(const DeliveryBudget& budget);
    OpenStatus SetUpSound();
    void SetUpSoundOnlyClock();
    void SetPictureFormats();
    OpenStatus AllocateBuffers(const DeliveryBudget& budget);
    void SizeSoundRing(uint32_t leadPeriods, uint64_t& bytes, uint64_t& chunks) const;
    OpenStatus Refuse(OpenStatus status);
    void ReleaseBuffers();
    bool TakeAudioEntry();
    uint32_t DecodeEntry(uint32_t index, uint8_t* destination);
    bool DecodeCinepak(const SampleRecord& e, size_t got);
    bool DecodeRaw(size_t got);
    uint32_t ExtraBytes(const SampleRecord& e) const;
    bool FrameDataIsKey(uint32_t f);
    void CatchUpSound(size_t chunk);
    bool IsSound(uint32_t index) const { return film_.samples[index].kind == SampleKind::kSound; }

    bool open_ = false;
    MovieFile file_;
    Film film_;
    std::unique_ptr<codec::CinepakDecompressor> decompressor_;
    SoundTrack sound_;
    bool soundUsable_ = false;
    uint32_t audioCapacity_ = 0;  // device bytes of the largest chunk, rounded up to 4
    uint32_t baseFrequency_ = 0;
    uint32_t framePeriod_ = 0;
    uint32_t frameCount_ = 0;
    uint32_t totalTicks_ = 0;
    SoundRing soundRing_;
    std::vector<uint8_t> compressed_;
    std::vector<uint8_t> decoded_;
    std::vector<uint8_t> soundScratch_;  // a chunk decoded silently on the way to a seek
    BITMAPINFOHEADER outputFormat_{};
    BITMAPINFOHEADER inputFormat_{};
    uint32_t cursor_ = 0;
    uint32_t soundSeen_ = 0;  // sound chunks before the cursor
    uint32_t videoFrom_ = 0;  // record of the frame a seek goes to
    uint32_t soundFrom_ = 0;  // the first sound chunk a seek plays
    uint32_t soundSkip_ = 0;  // device bytes of that chunk before the sample sought
    std::atomic<uint32_t> damagedFrames_{0};
};

}  // namespace lunavue
