#include "movie/MovieReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <new>

#include "platform/BigEndian.h"
#include "platform/MessageBox.h"

namespace lunavue {
namespace {

// Sizes a vector without letting an allocation failure escape: false when out of memory.
template <typename T>
bool Allocate(std::vector<T>& v, size_t count) {
    try {
        v.assign(count, T{});
        return true;
    } catch (const std::bad_alloc&) {
        v = {};
        return false;
    }
}

// The stored frame header is followed by two bytes the decoder does not expect: raise the
// frame length by 8 and move the 10-byte header up two places, so that the frame handed to
// the decoder starts at b + 2.
void FixUpFrame(uint8_t* b) {
    PutBe32(b, Be32(b) + 8);
    std::memmove(b + 2, b, 10);
}

constexpr uint64_t RoundUp4(uint64_t x) {
    return (x + 3) & ~uint64_t{3};
}

// Slack every buffer gets beyond what the table asks for.
constexpr size_t kSlack = 1024;
// Display periods pictures are decoded ahead of the clock, and the extra second a slow
// device may lag behind: together they bound how long a sound chunk can wait in the ring.
constexpr double kDecodeLeadPeriods = 10;
constexpr double kDeviceLagSeconds = 1;

}  // namespace

std::string OpenStatus::Describe() const {
    const std::string n = std::to_string(detail);
    switch (error) {
        case OpenError::kNone:
            return "opened";
        case OpenError::kNotCinepak:
            return "the video is not Cinepak (the header does not say \"cvid\")";
        case OpenError::kCannotOpen:
            return std::string("cannot open the file: ") + std::strerror(static_cast<int>(detail));
        case OpenError::kNotRegularFile:
            return "not a regular file";
        case OpenError::kTooShort:
            return "the file ends inside its header or its sample table";
        case OpenError::kEntryCount:
            return "the sample table's entry count (" +
                   std::to_string(static_cast<int32_t>(detail)) + ") is not a positive number";
        case OpenError::kPictureSize:
            return "the picture size is 0 or larger than 4096 pixels";
        case OpenError::kNoVideo:
            return "the sample table has no video entry";
        case OpenError::kPeriodZero:
            return "sample table entry " + n + " is a picture lasting 0 ticks";
        case OpenError::kBaseFrequencyZero:
            return "the base frequency (ticks per second) is 0";
        case OpenError::kDataPastEnd:
            return "sample table entry " + n + " runs past the end of the file";
        case OpenError::kOutOfMemory:
            return "playing it would need " + std::to_string(detail >> 20) +
                   " MB of memory, more than the 512 MB allowed or available";
        case OpenError::kNoDecompressor:
            return "no decompressor for this picture format";
    }
    return "refused";
}

const char* RefusalMessage(OpenError error) {
    switch (error) {
        case OpenError::kNone:
        case OpenError::kNotCinepak:
            return nullptr;
        case OpenError::kCannotOpen:
        case OpenError::kNotRegularFile:
            return messages::kCannotOpen;
        case OpenError::kOutOfMemory:
            return messages::kNoMemory;
        case OpenError::kNoDecompressor:
            return messages::kNoCodec;
        default:
            return messages::kDamaged;
    }
}

MovieReader::~MovieReader() {
    Close();
}

OpenStatus MovieReader::Refuse(OpenError error, uint64_t detail) {
    ReleaseBuffers();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    soundUsable_ = false;
    return OpenStatus{error, detail};
}

void MovieReader::ReleaseBuffers() {
    decoded_ = {};
    compressed_ = {};
    soundRing_.Release();
    soundScratch_ = {};
    sound_.Release();
    table_ = {};
    positions_ = {};
    videoEntries_ = {};
    audioEntries_ = {};
    keyFrames_ = {};
    decompressor_.reset();
}

size_t MovieReader::ReadAt(uint64_t position, uint8_t* dst, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n =
            ::pread(fd_, dst + done, count - done, static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

OpenStatus MovieReader::Open(const std::string& path) {
    Close();
    // Never blocks: a pipe or a device in the queue is refused, not waited on.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        return Refuse(OpenError::kCannotOpen, static_cast<uint64_t>(errno));
    }
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return Refuse(OpenError::kNotRegularFile);
    }
    fileSize_ = static_cast<uint64_t>(st.st_size);
    damagedFrames_ = 0;

    uint32_t entryCount = 0;
    if (OpenStatus s = ReadHeader(entryCount); !s) {
        return s;
    }
    if (OpenStatus s = ReadTable(entryCount); !s) {
        return s;
    }
    if (OpenStatus s = AllocateBuffers(); !s) {
        return s;
    }
    decompressor_ = codec::CinepakDecompressor::Locate(inputFormat_, outputFormat_);
    if (!decompressor_) {
        return Refuse(OpenError::kNoDecompressor);
    }
    decompressor_->Begin(inputFormat_, outputFormat_);
    cursor_ = 0;
    open_ = true;
    return {};
}

// The 64-byte header: picture and sound formats, the clock, the number of table entries.
OpenStatus MovieReader::ReadHeader(uint32_t& entryCount) {
    uint8_t h[kHeaderSize];
    if (ReadAt(0, h, kHeaderSize) != kHeaderSize) {
        // Too short to say what it is; a file that is not a movie at all is refused too.
        return Refuse(OpenError::kTooShort);
    }
    if (std::memcmp(h + 24, "cvid", 4) != 0) {
        return Refuse(OpenError::kNotCinepak);
    }
    headerLength_ = Be32(h + 4);
    version_.clear();
    for (const uint8_t* c = h + 8; c < h + 12 && *c >= 0x20 && *c < 0x7F; ++c) {
        version_ += static_cast<char>(*c);
    }
    const uint32_t width = Be32(h + 32);
    const uint32_t height = Be32(h + 28);
    baseFrequency_ = Be32(h + 56);

    // The sound is set up with the table, which says where the sound stream starts.
    std::memcpy(soundHeader_, h + 37, sizeof soundHeader_);
    soundCompression_ = h[39];

    outputFormat_ = {};
    outputFormat_.biWidth = static_cast<int32_t>(width);
    outputFormat_.biHeight = static_cast<int32_t>(height);
    outputFormat_.biBitCount = 24;
    outputFormat_.biCompression = 0;
    inputFormat_ = outputFormat_;
    inputFormat_.biCompression = FourCC("cvid");
    if (width == 0 || height == 0 || width > kMaxPicture || height > kMaxPicture) {
        return Refuse(OpenError::kPictureSize);
    }
    outputFormat_.biSizeImage = PictureStride(width) * height;
    if (baseFrequency_ == 0) {
        return Refuse(OpenError::kBaseFrequencyZero);
    }
    const int32_t n = static_cast<int32_t>(Be32(h + 60));
    if (n <= 0) {
        return Refuse(OpenError::kEntryCount, static_cast<uint32_t>(n));
    }
    if (kHeaderSize + 16 * static_cast<uint64_t>(n) > fileSize_) {
        return Refuse(OpenError::kTooShort);
    }
    entryCount = static_cast<uint32_t>(n);
    return {};
}

// The sample table: converted in place, split into frames and sound chunks, checked against
// the file, and the movie's timing derived from it.
OpenStatus MovieReader::ReadTable(uint32_t n) {
    // What the table costs in memory, checked before any of it is allocated.
    const uint64_t tableBytes =
        n * (16ull + sizeof(SampleEntry) + 2 * sizeof(uint64_t) + sizeof(uint32_t) + 1);
    if (tableBytes > kMemoryLimit) {
        return Refuse(OpenError::kOutOfMemory, tableBytes);
    }
    std::vector<uint8_t> raw;
    if (!Allocate(raw, 16 * static_cast<size_t>(n)) || !Allocate(table_, n) ||
        !Allocate(positions_, n)) {
        return Refuse(OpenError::kOutOfMemory, tableBytes);
    }
    if (ReadAt(kHeaderSize, raw.data(), raw.size()) != raw.size()) {
        return Refuse(OpenError::kTooShort);
    }

    // No picture lasts longer than kMaxFrameSeconds, so that no table can hold the queue.
    const uint32_t maxDuration = static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{kMaxFrameSeconds} * baseFrequency_, INT32_MAX));
    framePeriod_ = kMaxFramePeriod;
    uint32_t videoCount = 0;
    uint64_t position = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* r = raw.data() + 16 * static_cast<size_t>(i);
        SampleEntry& e = table_[i];
        e.offset = Be32(r) + headerLength_;
        const uint32_t length = Be32(r + 4);
        e.length = static_cast<int32_t>(length);
        e.timestamp = Be32(r + 8);
        e.duration = Be32(r + 12);
        // The data lie back to back from the first entry's offset; all of them must be there.
        position = i == 0 ? e.offset : position;
        positions_[i] = position;
        position += length;
        if (e.length < 0 || position > fileSize_) {
            return Refuse(OpenError::kDataPastEnd, i);
        }
        if (e.timestamp == kAudioMarker) {
            continue;
        }
        ++videoCount;
        if (e.duration == 0) {
            return Refuse(OpenError::kPeriodZero, i);
        }
        e.duration = std::min(e.duration, maxDuration);
        framePeriod_ = std::min(framePeriod_, e.duration);
    }
    if (videoCount == 0) {
        return Refuse(OpenError::kNoVideo);
    }
    return SplitTable(videoCount, tableBytes);
}

// The frames and the sound chunks of the table, each in file order; the key frames; the
// movie's length; and its sound.
OpenStatus MovieReader::SplitTable(uint32_t videoCount, uint64_t tableBytes) {
    const uint32_t n = static_cast<uint32_t>(table_.size());
    std::vector<uint32_t> audioLengths;
    if (!Allocate(videoEntries_, videoCount) || !Allocate(audioEntries_, n - videoCount) ||
        !Allocate(keyFrames_, videoCount) || !Allocate(audioLengths, n - videoCount)) {
        return Refuse(OpenError::kOutOfMemory, tableBytes);
    }
    uint32_t v = 0;
    uint32_t a = 0;
    uint32_t largestVideo = 0;
    uint32_t largestAudio = 0;
    for (uint32_t i = 0; i < n; ++i) {
        SampleEntry& e = table_[i];
        const uint32_t length = static_cast<uint32_t>(e.length);
        if (e.timestamp == kAudioMarker) {
            audioLengths[a] = length;
            audioEntries_[a++] = i;
            largestAudio = std::max(largestAudio, length);
        } else {
            // Bit 31 set marks a frame that depends on the one before; the top byte is not
            // part of the time.
            keyFrames_[v] = (e.timestamp & 0x80000000u) == 0 ? 1 : 0;
            e.timestamp &= 0x00FFFFFF;
            videoEntries_[v++] = i;
            largestVideo = std::max(largestVideo, length);
        }
    }
    // Files of an old muxer invert the key flag: then the frames' own data tell.
    if (keyFrames_.front() != 1) {
        std::fill(keyFrames_.begin(), keyFrames_.end(), kNotLookedAt);
    }
    const SampleEntry& last = table_[videoEntries_.back()];
    totalTicks_ = last.timestamp + last.duration;
    // Every length is within the file, so the buffers below are no larger than it.
    compressedCapacity_ = RoundUp4(largestVideo) + 4;
    largestAudio_ = largestAudio;
    return SetUpSound(audioLengths, tableBytes);
}

// The sound's coding and format, where each chunk starts, and the device bytes of the
// largest chunk.
OpenStatus MovieReader::SetUpSound(const std::vector<uint32_t>& audioLengths, uint64_t tableBytes) {
    uint8_t prefix[codec::AdpcmDecoder::kPrefixBytes];
    size_t prefixLen = 0;
    uint64_t streamBytes = 0;
    ReadStreamPrefix(prefix, prefixLen, streamBytes);
    sound_.Setup(soundHeader_[0], soundHeader_[1], soundHeader_[2], Be16(soundHeader_ + 3), prefix,
                 prefixLen, streamBytes);
    soundUsable_ = sound_.Usable();
    if (!sound_.CountChunks(audioLengths)) {
        return Refuse(OpenError::kOutOfMemory, tableBytes);
    }
    audioCapacity_ =
        soundUsable_ ? static_cast<uint32_t>(RoundUp4(sound_.Capacity(largestAudio_))) : 0;
    return {};
}

// The first bytes of the sound stream (the sound chunks one after another), and its length.
bool MovieReader::ReadStreamPrefix(uint8_t* prefix, size_t& len, uint64_t& streamBytes) {
    len = 0;
    streamBytes = 0;
    for (uint32_t index : audioEntries_) {
        const size_t length = static_cast<size_t>(table_[index].length);
        streamBytes += length;
        const size_t want = std::min(length, codec::AdpcmDecoder::kPrefixBytes - len);
        if (want > 0 && ReadAt(positions_[index], prefix + len, want) != want) {
            return false;
        }
        len += want;
    }
    return true;
}

// How many bytes and chunks of sound can wait in the ring at once. Playback decodes
// pictures about ten display periods ahead of the clock, and every sound sample stored
// before a picture is read with it, while the device takes chunks only as fast as it plays
// them. Walking the table with that lead, plus a second for a slow device, gives the most
// that can be waiting.
void MovieReader::SizeSoundRing(uint64_t& bytes, uint64_t& chunks) const {
    bytes = 0;
    chunks = 0;
    const double rate = sound_.Format().nSamplesPerSec;
    if (!soundUsable_ || audioEntries_.empty() || rate <= 0) {
        return;
    }
    const double period = static_cast<double>(framePeriod_) / baseFrequency_;
    const double lead = kDecodeLeadPeriods * period + kDeviceLagSeconds;
    struct Waiting {
        double end;  // when the chunk has been played, in seconds
        uint32_t length;
    };
    std::deque<Waiting> waiting;
    uint64_t waitingBytes = 0;
    double soundTime = 0;
    double pictureTime = 0;  // where the engine places the next picture
    uint32_t largest = 0;
    size_t chunk = 0;
    for (const SampleEntry& e : table_) {
        const uint32_t length = static_cast<uint32_t>(e.length);
        if (e.timestamp == kAudioMarker) {
            const uint64_t samples = sound_.ChunkStart(chunk + 1) - sound_.ChunkStart(chunk);
            ++chunk;
            if (length == 0) {
                continue;
            }
            soundTime += static_cast<double>(samples) / rate;
            waiting.push_back({soundTime, length});
            waitingBytes += length;
            largest = std::max(largest, length);
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

OpenStatus MovieReader::AllocateBuffers() {
    uint64_t ringBytes = 0;
    uint64_t ringChunks = 0;
    SizeSoundRing(ringBytes, ringChunks);
    const uint64_t compressedBytes = compressedCapacity_ + kSlack;
    const uint64_t pictureBytes = outputFormat_.biSizeImage;
    const uint64_t scratchBytes = sound_.DependsOnEarlierChunks() ? largestAudio_ : 0;
    const uint64_t total = compressedBytes + pictureBytes + kSlack + ringBytes +
                           ringChunks * sizeof(size_t) * 3 + scratchBytes +
                           uint64_t{kPlayerPictures} * pictureBytes +
                           uint64_t{audioCapacity_} * kPlayerSoundBuffers;
    if (total > kMemoryLimit) {
        return Refuse(OpenError::kOutOfMemory, total);
    }
    if (!Allocate(compressed_, compressedBytes) || !Allocate(decoded_, pictureBytes + kSlack) ||
        !soundRing_.Allocate(ringBytes, ringChunks) || !Allocate(soundScratch_, scratchBytes)) {
        return Refuse(OpenError::kOutOfMemory, total);
    }
    return {};
}

void MovieReader::Close() {
    if (open_) {
        ReleaseBuffers();
        soundUsable_ = false;
        open_ = false;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int MovieReader::GetOutputFormat(BITMAPINFOHEADER* out) const {
    if (!open_) {
        return 0;
    }
    *out = outputFormat_;
    return 1;
}

uint32_t MovieReader::GetAudioChunkCapacity() const {
    return soundUsable_ ? audioCapacity_ : 0;
}

bool MovieReader::FrameSlots(std::vector<uint32_t>& starts) const {
    if (!Allocate(starts, videoEntries_.size() + 1)) {
        return false;
    }
    const uint64_t p = framePeriod_;
    uint64_t slots = 0;
    for (size_t f = 0; f < videoEntries_.size(); ++f) {
        starts[f] = static_cast<uint32_t>(std::min<uint64_t>(slots, UINT32_MAX));
        slots += std::max<uint64_t>(1, (uint64_t{table_[videoEntries_[f]].duration} + p - 1) / p);
    }
    starts.back() = static_cast<uint32_t>(std::min<uint64_t>(slots, UINT32_MAX));
    return true;
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

uint32_t MovieReader::DecodeEntry(uint32_t index, uint8_t* destination) {
    const SampleEntry& e = table_[index];
    const size_t length = static_cast<size_t>(e.length);
    const size_t got = ReadAt(positions_[index], compressed_.data(), length);
    // A frame too short for its own header is padded with zeros: the decoder refuses it.
    std::fill(compressed_.begin() + static_cast<std::ptrdiff_t>(got),
              compressed_.begin() + static_cast<std::ptrdiff_t>(std::max<size_t>(got, 12)), 0);
    FixUpFrame(compressed_.data());
    // Only the bytes actually read are offered to the decoder.
    BITMAPINFOHEADER in = inputFormat_;
    in.biSizeImage = got > 2 ? static_cast<uint32_t>(got - 2) : 0;
    if (!decompressor_->Decompress(in, compressed_.data() + 2, outputFormat_, decoded_.data()) ||
        got < length) {
        ++damagedFrames_;
    }
    if (destination != nullptr) {
        std::memcpy(destination, decoded_.data(), outputFormat_.biSizeImage & ~3u);
    }
    return e.duration;
}

uint32_t MovieReader::DecodeFirstFrame(uint8_t* destination) {
    if (!open_) {
        return 0;
    }
    return DecodeEntry(videoEntries_.front(), destination);
}

// Takes the sound chunk at the cursor into the ring and moves past it. False when it does
// not fit now. A silent movie's chunks, empty ones and those before a seek's sound are
// passed over.
bool MovieReader::TakeAudioEntry() {
    const uint32_t length = static_cast<uint32_t>(table_[cursor_].length);
    if (soundUsable_ && length != 0 && soundSeen_ >= soundFrom_) {
        uint8_t* place = soundRing_.Place(length);
        if (place == nullptr) {
            return false;
        }
        soundRing_.Commit(ReadAt(positions_[cursor_], place, length), soundSeen_);
    }
    ++cursor_;
    ++soundSeen_;
    return true;
}

bool MovieReader::IsAudio(uint32_t index) const {
    return table_[index].timestamp == kAudioMarker;
}

bool MovieReader::NextFrameFits() const {
    if (!open_ || !soundUsable_) {
        return true;
    }
    uint64_t bytes = 0;
    uint64_t largest = 0;
    size_t chunks = 0;
    uint32_t seen = soundSeen_;
    for (uint32_t i = cursor_; i < table_.size() && (IsAudio(i) || i < videoFrom_); ++i) {
        if (!IsAudio(i)) {
            continue;  // a frame before the one sought
        }
        const uint32_t length = static_cast<uint32_t>(table_[i].length);
        if (length != 0 && seen++ >= soundFrom_) {
            bytes += length;
            largest = std::max<uint64_t>(largest, length);
            ++chunks;
        }
    }
    return chunks == 0 || soundRing_.WouldFit(bytes, largest, chunks);
}

uint32_t MovieReader::DecodeNextFrame(uint8_t* destination) {
    const uint32_t n = open_ ? static_cast<uint32_t>(table_.size()) : 0;
    while (cursor_ < n && (IsAudio(cursor_) || cursor_ < videoFrom_)) {
        if (!IsAudio(cursor_)) {
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

bool MovieReader::HasSoundLeft() const {
    if (!open_ || !soundUsable_) {
        return false;
    }
    return !soundRing_.Empty() || (!audioEntries_.empty() && cursor_ <= audioEntries_.back());
}

uint32_t MovieReader::NextAudioChunk(uint8_t* destination) {
    if (!open_ || !soundUsable_) {
        return 0;
    }
    // A chunk that gives no sound (too short for one device frame, an ADPCM chunk of header
    // or end marker only) is used up; the next one is taken instead of reporting that
    // nothing waits.
    for (;;) {
        if (cursor_ < table_.size() && IsAudio(cursor_)) {
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

// --- Seeking --------------------------------------------------------------------------------

bool MovieReader::FrameDataIsKey(uint32_t f) {
    const uint32_t index = videoEntries_[f];
    const size_t length = static_cast<size_t>(table_[index].length);
    const uint8_t* b = compressed_.data();
    if (length < 12 || ReadAt(positions_[index], compressed_.data(), length) != length) {
        return false;
    }
    // The stored frame: a 10-byte header with the strip count at 8, two extra bytes, then
    // the strips, each with its id and size first.
    const uint32_t strips = Be16(b + 8);
    size_t at = 12;
    for (uint32_t s = 0; s < strips; ++s) {
        if (at + 4 > length || Be16(b + at) != kKeyStrip || Be16(b + at + 2) < 12) {
            return false;
        }
        at += Be16(b + at + 2);
    }
    return strips != 0;
}

bool MovieReader::IsKeyFrame(uint32_t f) {
    if (keyFrames_[f] == kNotLookedAt) {
        keyFrames_[f] = FrameDataIsKey(f) ? 1 : 0;
    }
    return keyFrames_[f] == 1;
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
        const uint32_t index = audioEntries_[k];
        const size_t got = ReadAt(positions_[index], soundScratch_.data(),
                                  static_cast<size_t>(table_[index].length));
        sound_.Decode(k, soundScratch_.data(), got, nullptr);
    }
}

void MovieReader::SeekTo(uint32_t frame, uint64_t sample) {
    if (!open_) {
        return;
    }
    soundRing_.Clear();
    videoFrom_ = videoEntries_[std::min<size_t>(frame, videoEntries_.size() - 1)];
    cursor_ = videoFrom_;
    const size_t c = soundUsable_ ? sound_.ChunkHolding(sample) : audioEntries_.size();
    soundFrom_ = static_cast<uint32_t>(c);
    soundSkip_ = 0;
    if (c < audioEntries_.size()) {
        // Sound lies ahead of the pictures in the file: reading starts at whichever comes
        // first.
        cursor_ = std::min(cursor_, audioEntries_[c]);
        soundSkip_ =
            static_cast<uint32_t>((sample - sound_.ChunkStart(c)) * sound_.Format().nBlockAlign);
        if (sound_.DependsOnEarlierChunks()) {
            CatchUpSound(c);
        }
    }
    soundSeen_ = static_cast<uint32_t>(
        std::lower_bound(audioEntries_.begin(), audioEntries_.end(), cursor_) -
        audioEntries_.begin());
}

}  // namespace lunavue
