#include "movie/MovieReader.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "movie/FilmLayout.h"
#include "platform/BigEndian.h"
#include "platform/Memory.h"

namespace lunavue {
namespace {

constexpr uint64_t RoundUp4(uint64_t x) {
    return (x + 3) & ~uint64_t{3};
}

// Slack every buffer gets beyond what the table asks for.
constexpr size_t kSlack = 1024;
// The extra second a slow device may lag behind the pictures: with the player's lead it
// bounds how long a sound chunk can wait in the ring.
constexpr double kDeviceLagSeconds = 1;
// The display period of a movie of sound alone: the clock is looked at ten times a second.
constexpr uint32_t kSoundOnlyPeriodsPerSecond = 10;

constexpr uint16_t kKeyStrip = 0x1000;
using film::kCinepakFrameHeader;
using film::kSixExtraBytes;
constexpr size_t kStripHeader = 12;

// Moves the 10-byte frame header up over the `skip` bytes that follow it, so that the frame
// handed to the decoder starts at b + skip with its strips right behind the header. Frames
// of the standard layout carry two such bytes and a length 8 short of the sample, which is
// raised by 8; frames with six get the length of the bytes actually handed over.
void FixUpFrame(uint8_t* b, uint32_t skip, uint32_t sampleSize) {
    if (skip == 2) {
        PutBe32(b, Be32(b) + 8);
    } else if (skip == 6) {
        PutBe32(b, (Be32(b) & 0xFF000000u) | ((sampleSize - 6) & 0x00FFFFFFu));
    }
    std::memmove(b + skip, b, kCinepakFrameHeader);
}

}  // namespace

OpenStatus MovieReader::Refuse(OpenStatus status) {
    ReleaseBuffers();
    film_.Clear();
    file_.Close();
    soundUsable_ = false;
    return status;
}

void MovieReader::ReleaseBuffers() {
    decoded_ = {};
    compressed_ = {};
    soundRing_.Release();
    soundScratch_ = {};
    sound_.Release();
    decompressor_.reset();
}

OpenStatus MovieReader::Open(const std::string& path, const DeliveryBudget& budget) {
    Close();
    switch (file_.Open(path)) {
        case MovieFile::Status::kCannotOpen:
            return Refuse({OpenError::kCannotOpen, static_cast<uint64_t>(file_.error())});
        case MovieFile::Status::kNotRegularFile:
            return Refuse({OpenError::kNotRegularFile});
        case MovieFile::Status::kOpen:
            break;
    }
    damagedFrames_ = 0;
    if (OpenStatus s = FilmDemuxer::Read(file_, film_); !s) {
        return Refuse(s);
    }
    if (OpenStatus s = SetUp(budget); !s) {
        return Refuse(s);
    }
    cursor_ = 0;
    open_ = true;
    return {};
}

// Everything delivery needs, from the records: the clock, the sound, the buffers, and the
// decoder of the picture coding.
OpenStatus MovieReader::SetUp(const DeliveryBudget& budget) {
    baseFrequency_ = film_.header.baseFrequency;
    framePeriod_ = film_.framePeriod;
    frameCount_ = static_cast<uint32_t>(film_.pictures.size());
    totalTicks_ = film_.totalTicks;
    SetPictureFormats();
    if (OpenStatus s = SetUpSound(); !s) {
        return s;
    }
    if (!film_.HasPictures()) {
        if (!soundUsable_) {
            return {OpenError::kNoVideo};  // neither a picture nor a sound to play
        }
        SetUpSoundOnlyClock();
    }
    if (OpenStatus s = AllocateBuffers(budget); !s) {
        return s;
    }
    if (film_.header.coding == PictureCoding::kCinepak) {
        decompressor_ = codec::CinepakDecompressor::Locate(inputFormat_, outputFormat_);
        if (!decompressor_) {
            return {OpenError::kNoDecompressor};
        }
        decompressor_->Begin(inputFormat_, outputFormat_);
    }
    return {};
}

// Pictures are handed out bottom-up, 24-bit, rows padded to 4 bytes, whatever their coding;
// a movie of sound alone has none.
void MovieReader::SetPictureFormats() {
    const FilmHeader& hd = film_.header;
    outputFormat_ = {};
    if (hd.coding != PictureCoding::kNone) {
        outputFormat_.biWidth = static_cast<int32_t>(hd.width);
        outputFormat_.biHeight = static_cast<int32_t>(hd.height);
        outputFormat_.biSizeImage = PictureStride(hd.width) * hd.height;
    }
    outputFormat_.biBitCount = 24;
    outputFormat_.biCompression = 0;
    inputFormat_ = outputFormat_;
    inputFormat_.biCompression = FourCC("cvid");
    inputFormat_.biSizeImage = 0;
}

// The sound's coding and format, where each chunk starts, and the device bytes of the
// largest chunk.
OpenStatus MovieReader::SetUpSound() {
    uint8_t prefix[codec::AdpcmDecoder::kPrefixBytes];
    size_t prefixLen = 0;
    uint64_t streamBytes = 0;
    std::vector<uint32_t> lengths;
    if (!TryAllocate(lengths, film_.sounds.size())) {
        return {OpenError::kOutOfMemory, film_.sounds.size() * uint64_t{sizeof(uint32_t)}};
    }
    for (size_t c = 0; c < film_.sounds.size(); ++c) {
        const SampleRecord& s = film_.Sound(c);
        lengths[c] = s.size;
        streamBytes += s.size;
        const size_t want = std::min<size_t>(s.size, sizeof prefix - prefixLen);
        if (want > 0 && file_.ReadAt(s.position, prefix + prefixLen, want) == want) {
            prefixLen += want;
        }
    }
    const SoundFields& f = film_.header.sound;
    sound_.Setup(f.channels, f.bits, f.compression, f.rate, prefix, prefixLen, streamBytes);
    soundUsable_ = sound_.Usable() && !film_.sounds.empty();
    if (!sound_.CountChunks(lengths)) {
        return {OpenError::kOutOfMemory, lengths.size() * uint64_t{sizeof(uint64_t)}};
    }
    audioCapacity_ =
        soundUsable_ ? static_cast<uint32_t>(RoundUp4(sound_.Capacity(film_.largestSound))) : 0;
    return {};
}

// A movie of sound alone runs on the sound's own clock: a tick a sample, display periods
// of a tenth of a second, as long as the sound lasts.
void MovieReader::SetUpSoundOnlyClock() {
    const uint32_t rate = sound_.Format().nSamplesPerSec;
    baseFrequency_ = rate;
    framePeriod_ = std::max<uint32_t>(1, rate / kSoundOnlyPeriodsPerSecond);
    const uint64_t samples = sound_.ChunkStart(sound_.ChunkCount());
    totalTicks_ = static_cast<uint32_t>(std::min<uint64_t>(samples, INT32_MAX));
}

// How many bytes and chunks of sound can wait in the ring at once. The player decodes
// pictures `leadPeriods` display periods ahead of its clock, and every sound sample stored
// before a picture is read with it, while the device takes chunks only as fast as it plays
// them. Walking the table with that lead, plus a second for a slow device, gives the most
// that can be waiting.
void MovieReader::SizeSoundRing(uint32_t leadPeriods, uint64_t& bytes, uint64_t& chunks) const {
    bytes = 0;
    chunks = 0;
    const double rate = sound_.Format().nSamplesPerSec;
    if (!soundUsable_ || rate <= 0) {
        return;
    }
    const double period = static_cast<double>(framePeriod_) / baseFrequency_;
    const double lead = leadPeriods * period + kDeviceLagSeconds;
    struct Waiting {
        double end;  // when the chunk has been played, in seconds
        uint32_t length;
    };
    std::deque<Waiting> waiting;
    uint64_t waitingBytes = 0;
    double soundTime = 0;
    double pictureTime = 0;  // where the player places the next picture
    uint32_t largest = 0;
    size_t chunk = 0;
    for (const SampleRecord& e : film_.samples) {
        if (e.kind == SampleKind::kSound) {
            const uint64_t samples = sound_.ChunkStart(chunk + 1) - sound_.ChunkStart(chunk);
            ++chunk;
            if (e.size == 0) {
                continue;
            }
            soundTime += static_cast<double>(samples) / rate;
            waiting.push_back({soundTime, e.size});
            waitingBytes += e.size;
            largest = std::max(largest, e.size);
            continue;
        }
        while (!waiting.empty() && waiting.front().end <= pictureTime - lead) {
            waitingBytes -= waiting.front().length;
            waiting.pop_front();
        }
        bytes = std::max(bytes, waitingBytes);
        chunks = std::max<uint64_t>(chunks, waiting.size());
        const uint64_t periods =
            std::max<uint64_t>(1, (e.duration + uint64_t{framePeriod_} - 1) / framePeriod_);
        pictureTime += static_cast<double>(periods) * period;
    }
    // Sound after the last picture is read one chunk at a time; a chunk placed behind the
    // newest may waste up to one chunk's size at the end of the ring.
    bytes += 2 * uint64_t{largest} + kSlack;
    chunks += 2;
}

OpenStatus MovieReader::AllocateBuffers(const DeliveryBudget& budget) {
    uint64_t ringBytes = 0;
    uint64_t ringChunks = 0;
    SizeSoundRing(budget.leadPeriods, ringBytes, ringChunks);
    const uint64_t compressedBytes = RoundUp4(film_.largestPicture) + 4 + kSlack;
    const uint64_t pictureBytes = outputFormat_.biSizeImage;
    const uint64_t scratchBytes = sound_.DependsOnEarlierChunks() ? film_.largestSound : 0;
    const uint64_t total = compressedBytes + pictureBytes + kSlack + ringBytes +
                           ringChunks * sizeof(size_t) * 3 + scratchBytes +
                           uint64_t{budget.pictures} * pictureBytes +
                           uint64_t{audioCapacity_} * budget.soundBuffers +
                           (budget.shown != nullptr && pictureBytes != 0
                                ? budget.shown->ShownBytes(film_.header.width, film_.header.height)
                                : 0) +
                           film_.samples.size() * FilmDemuxer::kBytesPerEntry;
    if (total > FilmDemuxer::kMemoryLimit) {
        return {OpenError::kOutOfMemory, total};
    }
    if (!TryAllocate(compressed_, compressedBytes) ||
        !TryAllocate(decoded_, pictureBytes + kSlack) ||
        !soundRing_.Allocate(ringBytes, ringChunks) || !TryAllocate(soundScratch_, scratchBytes)) {
        return {OpenError::kOutOfMemory, total};
    }
    return {};
}

void MovieReader::Close() {
    if (open_) {
        ReleaseBuffers();
        film_.samples = {};
        film_.pictures = {};
        film_.sounds = {};
        soundUsable_ = false;
        open_ = false;
    }
    file_.Close();
}

int MovieReader::GetOutputFormat(BITMAPINFOHEADER* out) const {
    if (!open_) {
        return 0;
    }
    *out = outputFormat_;
    return 1;
}

void MovieReader::Rewind() {
    if (!open_) {
        return;
    }
    cursor_ = 0;
    soundSeen_ = 0;
    videoFrom_ = 0;
    soundFrom_ = 0;
    soundSkip_ = 0;
    soundRing_.Clear();
    sound_.Restart();
}

// --- Pictures --------------------------------------------------------------------------------

// Cinepak frames carry 0, 2 or 6 bytes between the frame header and the first strip,
// decided for each frame: none when the header's length is the sample's or divides it; six
// when those six bytes are FE 00 00 06 00 00; two otherwise (the standard layout).
uint32_t MovieReader::ExtraBytes(const SampleRecord& e) const {
    return film::PictureExtraBytes(compressed_.data(), compressed_.size(), e.size);
}

uint32_t MovieReader::FirstFrameExtraBytes() {
    if (!open_ || film_.header.coding != PictureCoding::kCinepak || !film_.HasPictures()) {
        return 0;
    }
    const SampleRecord& e = film_.Picture(0);
    std::fill_n(compressed_.begin(), kCinepakFrameHeader + sizeof kSixExtraBytes, 0);
    file_.ReadAt(e.position, compressed_.data(), std::min<size_t>(e.size, compressed_.size()));
    return ExtraBytes(e);
}

bool MovieReader::DecodeCinepak(const SampleRecord& e, size_t got) {
    const uint32_t skip = ExtraBytes(e);
    FixUpFrame(compressed_.data(), skip, e.size);
    // Only the bytes actually read are offered to the decoder.
    BITMAPINFOHEADER in = inputFormat_;
    in.biSizeImage = got > skip ? static_cast<uint32_t>(got - skip) : 0;
    return decompressor_->Decompress(in, compressed_.data() + skip, outputFormat_, decoded_.data());
}

// A raw picture: rows of red, green, blue from the top, turned into the bottom-up blue,
// green, red rows every picture is handed out as. Rows the sample does not hold keep what
// they showed.
bool MovieReader::DecodeRaw(size_t got) {
    const uint32_t w = film_.header.width;
    const uint32_t h = film_.header.height;
    const size_t row = size_t{w} * 3;
    const size_t stride = PictureStride(w);
    const uint8_t* in = compressed_.data();
    for (uint32_t y = 0; y < h && (y + 1) * row <= got; ++y) {
        uint8_t* out = decoded_.data() + (h - 1 - y) * stride;
        const uint8_t* src = in + y * row;
        for (size_t x = 0; x < row; x += 3) {
            out[x] = src[x + 2];
            out[x + 1] = src[x + 1];
            out[x + 2] = src[x];
        }
    }
    return got == size_t{h} * row;
}

uint32_t MovieReader::DecodeEntry(uint32_t index, uint8_t* destination) {
    const SampleRecord& e = film_.samples[index];
    const size_t got = file_.ReadAt(e.position, compressed_.data(), e.size);
    // A frame too short for its header (or the six bytes after it) is padded with zeros:
    // the decoder refuses it.
    std::fill(compressed_.begin() + static_cast<std::ptrdiff_t>(got),
              compressed_.begin() + static_cast<std::ptrdiff_t>(
                                        std::max(got, kCinepakFrameHeader + sizeof kSixExtraBytes)),
              0);
    const bool sound =
        film_.header.coding == PictureCoding::kRaw ? DecodeRaw(got) : DecodeCinepak(e, got);
    if (!sound || got < e.size) {
        damagedFrames_.fetch_add(1, std::memory_order_relaxed);
    }
    if (destination != nullptr) {
        std::memcpy(destination, decoded_.data(), outputFormat_.biSizeImage & ~3u);
    }
    return e.duration;
}

uint32_t MovieReader::DecodeFirstFrame(uint8_t* destination) {
    if (!open_ || !film_.HasPictures()) {
        return 0;
    }
    return DecodeEntry(film_.pictures.front(), destination);
}

uint32_t MovieReader::DecodeNextFrame(uint8_t* destination) {
    // Without pictures the sound is read only as it is asked for.
    const uint32_t n =
        open_ && film_.HasPictures() ? static_cast<uint32_t>(film_.samples.size()) : 0;
    while (cursor_ < n && (IsSound(cursor_) || cursor_ < videoFrom_)) {
        if (!IsSound(cursor_)) {
            ++cursor_;  // a frame before the one sought
        } else if (!TakeAudioEntry()) {
            // No room: the oldest waiting chunk makes way. Playback asks NextFrameFits
            // first, so only a reader whose sound nobody takes (pictures alone) comes here;
            // an empty ring holds any chunk.
            soundRing_.Pop();
        }
    }
    if (cursor_ >= n) {
        return 0;  // no picture left; the destination keeps what it held
    }
    return DecodeEntry(cursor_++, destination);
}

// --- Sound -----------------------------------------------------------------------------------

// Takes the sound chunk at the cursor into the ring and moves past it. False when it does
// not fit now. A silent movie's chunks, empty ones and those before a seek's sound are
// passed over.
bool MovieReader::TakeAudioEntry() {
    const SampleRecord& e = film_.samples[cursor_];
    if (soundUsable_ && e.size != 0 && soundSeen_ >= soundFrom_) {
        uint8_t* place = soundRing_.Place(e.size);
        if (place == nullptr) {
            return false;
        }
        soundRing_.Commit(file_.ReadAt(e.position, place, e.size), soundSeen_);
    }
    ++cursor_;
    ++soundSeen_;
    return true;
}

bool MovieReader::NextFrameFits() const {
    if (!open_ || !soundUsable_) {
        return true;
    }
    uint64_t bytes = 0;
    uint64_t largest = 0;
    size_t chunks = 0;
    uint32_t seen = soundSeen_;
    for (uint32_t i = cursor_; i < film_.samples.size() && (IsSound(i) || i < videoFrom_); ++i) {
        if (!IsSound(i)) {
            continue;  // a frame before the one sought
        }
        const uint32_t length = film_.samples[i].size;
        if (length != 0 && seen++ >= soundFrom_) {
            bytes += length;
            largest = std::max<uint64_t>(largest, length);
            ++chunks;
        }
    }
    return chunks == 0 || soundRing_.WouldFit(bytes, largest, chunks);
}

bool MovieReader::HasSoundLeft() const {
    if (!open_ || !soundUsable_) {
        return false;
    }
    return !soundRing_.Empty() || cursor_ <= film_.sounds.back();
}

uint32_t MovieReader::NextAudioChunk(uint8_t* destination) {
    if (!open_ || !soundUsable_) {
        return 0;
    }
    // A chunk that gives no sound (too short for one device frame, an ADPCM chunk of header
    // or end marker only) is used up; the next one is taken instead of reporting that
    // nothing waits.
    for (;;) {
        if (cursor_ < film_.samples.size() && IsSound(cursor_)) {
            TakeAudioEntry();
        }
        if (soundRing_.Empty()) {
            return 0;
        }
        const uint32_t chunk = soundRing_.FrontTag();
        size_t bytes =
            sound_.Decode(chunk, soundRing_.FrontData(), soundRing_.FrontLength(), destination);
        soundRing_.Pop();
        if (chunk == soundFrom_ && soundSkip_ != 0) {
            // The chunk a seek lands in plays from the sample sought.
            const size_t skip = std::min<size_t>(soundSkip_, bytes);
            std::memmove(destination, destination + skip, bytes - skip);
            bytes -= skip;
            soundSkip_ = 0;
        }
        if (bytes != 0) {
            return static_cast<uint32_t>(bytes);
        }
    }
}

// --- Seeking ---------------------------------------------------------------------------------

bool MovieReader::FrameDataIsKey(uint32_t f) {
    const SampleRecord& e = film_.Picture(f);
    const size_t length = e.size;
    const uint8_t* b = compressed_.data();
    if (length < kCinepakFrameHeader + 2 ||
        file_.ReadAt(e.position, compressed_.data(), length) != length) {
        return false;
    }
    // The stored frame: a 10-byte header with the strip count at 8, the extra bytes, then
    // the strips, each with its id and size first.
    const uint32_t strips = Be16(b + 8);
    size_t at = kCinepakFrameHeader + ExtraBytes(e);
    for (uint32_t s = 0; s < strips; ++s) {
        if (at + 4 > length || Be16(b + at) != kKeyStrip || Be16(b + at + 2) < kStripHeader) {
            return false;
        }
        at += Be16(b + at + 2);
    }
    return strips != 0;
}

bool MovieReader::IsKeyFrame(uint32_t f) {
    SampleRecord& e = film_.samples[film_.pictures[f]];
    if (e.key == KeyMark::kAskTheData) {
        e.key = FrameDataIsKey(f) ? KeyMark::kKey : KeyMark::kDependent;
    }
    return e.key == KeyMark::kKey;
}

uint32_t MovieReader::KeyFrameAtOrBefore(uint32_t f) {
    for (; f > 0; --f) {
        if (IsKeyFrame(f)) {
            return f;
        }
    }
    return 0;
}

// Decodes, without keeping the sound, the chunks before chunk c that the sound's decoder
// must have seen: from the newest state it kept on the way.
void MovieReader::CatchUpSound(size_t c) {
    for (size_t k = sound_.RestoreBefore(c); k < c; ++k) {
        const SampleRecord& s = film_.Sound(k);
        const size_t got = file_.ReadAt(s.position, soundScratch_.data(), s.size);
        sound_.Decode(k, soundScratch_.data(), got, nullptr);
    }
}

void MovieReader::SeekTo(uint32_t frame, uint64_t sample) {
    if (!open_) {
        return;
    }
    soundRing_.Clear();
    const uint32_t records = static_cast<uint32_t>(film_.samples.size());
    videoFrom_ = film_.HasPictures() ? film_.pictures[std::min(frame, frameCount_ - 1)] : records;
    cursor_ = videoFrom_;
    const size_t c = soundUsable_ ? sound_.ChunkHolding(sample) : film_.sounds.size();
    soundFrom_ = static_cast<uint32_t>(c);
    soundSkip_ = 0;
    if (c < film_.sounds.size()) {
        // Sound lies ahead of the pictures in the file: reading starts at whichever comes
        // first.
        cursor_ = std::min(cursor_, film_.sounds[c]);
        soundSkip_ =
            static_cast<uint32_t>((sample - sound_.ChunkStart(c)) * sound_.Format().nBlockAlign);
        if (sound_.DependsOnEarlierChunks()) {
            CatchUpSound(c);
        }
    }
    soundSeen_ = static_cast<uint32_t>(
        std::lower_bound(film_.sounds.begin(), film_.sounds.end(), cursor_) - film_.sounds.begin());
}

}  // namespace lunavue
