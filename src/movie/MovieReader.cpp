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
    table_ = {};
    positions_ = {};
    videoEntries_ = {};
    audioEntries_ = {};
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
    const uint32_t width = Be32(h + 32);
    const uint32_t height = Be32(h + 28);
    baseFrequency_ = Be32(h + 56);

    // The sound format is filled in whether or not the sound can be played.
    const uint8_t channels = h[37];
    const uint8_t bits = h[38];
    soundCompression_ = h[39];
    audioFormat_ = {};
    audioFormat_.wFormatTag = WAVE_FORMAT_PCM;
    audioFormat_.nChannels = channels;
    audioFormat_.nSamplesPerSec = Be16(h + 40);
    audioFormat_.nBlockAlign = static_cast<uint16_t>(channels * (bits / 8));
    audioFormat_.nAvgBytesPerSec = audioFormat_.nSamplesPerSec * audioFormat_.nBlockAlign;
    audioFormat_.wBitsPerSample = bits;
    audioFormat_.cbSize = 0;
    const bool rateOk = audioFormat_.nSamplesPerSec >= kMinSoundRate &&
                        audioFormat_.nSamplesPerSec <= kMaxSoundRate;
    if (channels == 0) {
        soundCoding_ = SoundCoding::kNone;
    } else if (soundCompression_ == 0 && (channels == 1 || channels == 2) &&
               (bits == 8 || bits == 16) && rateOk) {
        soundCoding_ = SoundCoding::kPcm;
    } else {
        // A coding we do not know, or a format no device should be asked for: never
        // hand its bytes to the device.
        soundCoding_ = SoundCoding::kUnknown;
    }
    soundUsable_ = soundCoding_ == SoundCoding::kPcm;

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
        n * (16ull + sizeof(SampleEntry) + sizeof(uint64_t) + sizeof(uint32_t));
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
        e.timestamp &= 0x00FFFFFF;
        if (e.duration == 0) {
            return Refuse(OpenError::kPeriodZero, i);
        }
        e.duration = std::min(e.duration, maxDuration);
        framePeriod_ = std::min(framePeriod_, e.duration);
    }
    if (videoCount == 0) {
        return Refuse(OpenError::kNoVideo);
    }
    if (!Allocate(videoEntries_, videoCount) || !Allocate(audioEntries_, n - videoCount)) {
        return Refuse(OpenError::kOutOfMemory, tableBytes);
    }
    uint32_t v = 0;
    uint32_t a = 0;
    uint32_t largestVideo = 0;
    uint32_t largestAudio = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t length = static_cast<uint32_t>(table_[i].length);
        if (table_[i].timestamp == kAudioMarker) {
            audioEntries_[a++] = i;
            largestAudio = std::max(largestAudio, length);
        } else {
            videoEntries_[v++] = i;
            largestVideo = std::max(largestVideo, length);
        }
    }
    const SampleEntry& last = table_[videoEntries_.back()];
    totalTicks_ = last.timestamp + last.duration;
    audioCapacity_ = soundUsable_ ? static_cast<uint32_t>(RoundUp4(largestAudio)) : 0;
    // Every length is within the file, so the buffers below are no larger than it.
    compressedCapacity_ = RoundUp4(largestVideo) + 4;
    return {};
}

// How many bytes and chunks of sound can wait in the ring at once. Playback decodes
// pictures about ten display periods ahead of the clock, and every sound sample stored
// before a picture is read with it, while the device takes chunks only as fast as it plays
// them. Walking the table with that lead, plus a second for a slow device, gives the most
// that can be waiting.
void MovieReader::SizeSoundRing(uint64_t& bytes, uint64_t& chunks) const {
    bytes = 0;
    chunks = 0;
    const double bytesPerSecond = audioFormat_.nAvgBytesPerSec;
    if (!soundUsable_ || audioEntries_.empty() || bytesPerSecond <= 0) {
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
    for (const SampleEntry& e : table_) {
        const uint32_t length = static_cast<uint32_t>(e.length);
        if (e.timestamp == kAudioMarker) {
            if (length == 0) {
                continue;
            }
            soundTime += DeviceBytes(length) / bytesPerSecond;
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
    const uint64_t total = compressedBytes + pictureBytes + kSlack + ringBytes +
                           ringChunks * 2 * sizeof(size_t) +
                           uint64_t{kPlayerPictures} * pictureBytes + uint64_t{audioCapacity_} * 10;
    if (total > kMemoryLimit) {
        return Refuse(OpenError::kOutOfMemory, total);
    }
    if (!Allocate(compressed_, compressedBytes) || !Allocate(decoded_, pictureBytes + kSlack) ||
        !soundRing_.Allocate(ringBytes, ringChunks)) {
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

void MovieReader::Rewind() {
    if (!open_) {
        return;
    }
    cursor_ = 0;
    soundRing_.Clear();
}

// The device bytes a stored chunk of len bytes converts into: whole device frames only.
uint32_t MovieReader::DeviceBytes(uint32_t len) const {
    const int channels = audioFormat_.nChannels;
    if (audioFormat_.wBitsPerSample == 16) {
        return channels == 1 ? len & ~1u : len & ~3u;
    }
    return channels == 1 ? len : len & ~1u;
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

// Reads the sound chunk at table index `index` into the ring. False when it does not fit
// now; a silent movie's chunks, and empty ones, are passed over.
bool MovieReader::ReadAudioEntry(uint32_t index) {
    const uint32_t length = static_cast<uint32_t>(table_[index].length);
    if (!soundUsable_ || length == 0) {
        return true;
    }
    uint8_t* place = soundRing_.Place(length);
    if (place == nullptr) {
        return false;
    }
    soundRing_.Commit(ReadAt(positions_[index], place, length));
    return true;
}

bool MovieReader::NextFrameFits() const {
    if (!open_ || !soundUsable_) {
        return true;
    }
    uint64_t bytes = 0;
    uint64_t largest = 0;
    size_t chunks = 0;
    for (uint32_t i = cursor_; i < table_.size() && table_[i].timestamp == kAudioMarker; ++i) {
        const uint32_t length = static_cast<uint32_t>(table_[i].length);
        bytes += length;
        largest = std::max<uint64_t>(largest, length);
        chunks += length != 0 ? 1 : 0;
    }
    return chunks == 0 || soundRing_.WouldFit(bytes, largest, chunks);
}

uint32_t MovieReader::DecodeNextFrame(uint8_t* destination) {
    const uint32_t n = open_ ? static_cast<uint32_t>(table_.size()) : 0;
    while (cursor_ < n && table_[cursor_].timestamp == kAudioMarker) {
        if (ReadAudioEntry(cursor_) || soundRing_.Empty()) {
            ++cursor_;  // an empty ring holds any chunk
            continue;
        }
        // No room: the oldest waiting chunk makes way. Playback asks NextFrameFits first,
        // so only a reader whose sound nobody takes (pictures alone) comes here.
        soundRing_.Pop();
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
    const int bits = audioFormat_.wBitsPerSample;
    const int channels = audioFormat_.nChannels;
    // A chunk too short for one device frame gives nothing: take the next one instead of
    // reporting that nothing waits.
    for (;;) {
        if (cursor_ < table_.size() && table_[cursor_].timestamp == kAudioMarker &&
            ReadAudioEntry(cursor_)) {
            ++cursor_;
        }
        if (soundRing_.Empty()) {
            return 0;
        }
        const uint32_t len = static_cast<uint32_t>(soundRing_.FrontLength());
        ConvertSound(soundRing_.FrontData(), len, bits, channels, destination);
        soundRing_.Pop();
        if (const uint32_t bytes = DeviceBytes(len); bytes != 0) {
            return bytes;
        }
    }
}

}  // namespace lunavue
