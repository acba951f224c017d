#include "movie/MovieReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/MessageBox.h"

namespace lunavue {
namespace {

inline uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

inline void PutBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Sizes a vector without letting an allocation failure escape: false when out of memory.
template <typename T>
bool Allocate(std::vector<T>& v, size_t count) {
    try {
        v.assign(count, T{});
        return true;
    } catch (const std::bad_alloc&) {
        v.clear();
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

}  // namespace

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

// The bytes of a chunk of len stored bytes that convert into whole device frames.
static uint32_t ConvertedLength(uint32_t len, int bits, int channels) {
    if (bits == 16) {
        return channels == 1 ? len & ~1u : len & ~3u;
    }
    return channels == 1 ? len : len & ~1u;
}

MovieReader::~MovieReader() {
    Close();
}

bool MovieReader::Refuse(const char* message) {
    ShowErrorBox(message);
    ReleaseBuffers();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    soundUsable_ = false;
    return false;
}

void MovieReader::ReleaseBuffers() {
    decoded_ = {};
    compressed_ = {};
    soundRing_ = {};
    soundSlots_ = {};
    soundLengths_ = {};
    table_ = {};
    audioList_ = nullptr;
    videoList_ = nullptr;
    decompressor_.reset();
}

size_t MovieReader::ReadFile(uint8_t* dst, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(fd_, dst + done, count - done);
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

bool MovieReader::SeekFile(uint32_t position) {
    return ::lseek(fd_, static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool MovieReader::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        return Refuse(messages::kCannotOpen);
    }
    fileSize_ = static_cast<uint64_t>(st.st_size);

    uint8_t h[kHeaderSize];
    if (ReadFile(h, kHeaderSize) != kHeaderSize) {
        return Refuse(messages::kDamaged);
    }
    if (std::memcmp(h + 24, "cvid", 4) != 0) {
        // Not Cinepak: refused without a message.
        ::close(fd_);
        fd_ = -1;
        return false;
    }

    headerLength_ = Be32(h + 4);
    const uint32_t width = Be32(h + 32);
    const uint32_t height = Be32(h + 28);
    const int32_t n = static_cast<int32_t>(Be32(h + 60));
    baseFrequency_ = Be32(h + 56);
    entryCount_ = n;

    // The sound format is filled in whether or not the sound can be played.
    const uint8_t channels = h[37];
    const uint8_t bits = h[38];
    audioFormat_ = {};
    audioFormat_.wFormatTag = WAVE_FORMAT_PCM;
    audioFormat_.nChannels = channels;
    audioFormat_.nSamplesPerSec = static_cast<uint32_t>(h[40] << 8 | h[41]);
    audioFormat_.nBlockAlign = static_cast<uint16_t>(channels * (bits / 8));
    audioFormat_.nAvgBytesPerSec = audioFormat_.nSamplesPerSec * audioFormat_.nBlockAlign;
    audioFormat_.wBitsPerSample = bits;
    audioFormat_.cbSize = 0;
    soundUsable_ = (channels == 1 || channels == 2) && (bits == 8 || bits == 16);

    outputFormat_ = {};
    outputFormat_.biWidth = static_cast<int32_t>(width);
    outputFormat_.biHeight = static_cast<int32_t>(height);
    outputFormat_.biBitCount = 24;
    outputFormat_.biCompression = 0;
    inputFormat_ = outputFormat_;
    inputFormat_.biCompression = FourCC("cvid");

    // A picture of no size or beyond any real screen, a table that is not in the file, or
    // no clock to play by: the file is damaged.
    if (width == 0 || height == 0 || width > kMaxPicture || height > kMaxPicture || n <= 0 ||
        kHeaderSize + 16 * static_cast<uint64_t>(n) > fileSize_ || baseFrequency_ == 0) {
        return Refuse(messages::kDamaged);
    }
    outputFormat_.biSizeImage = PictureStride(width) * height;

    if (!Allocate(table_, 2 * static_cast<size_t>(n))) {
        return Refuse(messages::kNoMemory);
    }
    std::vector<uint8_t> raw;
    if (!Allocate(raw, 16 * static_cast<size_t>(n))) {
        return Refuse(messages::kNoMemory);
    }
    if (ReadFile(raw.data(), raw.size()) != raw.size()) {
        return Refuse(messages::kDamaged);
    }

    framePeriod_ = kMaxFramePeriod;
    lastAudioIndex_ = 0;
    audioCount_ = 0;
    videoCount_ = 0;
    int32_t largestAudio = 0;
    int32_t largestVideo = 0;
    uint64_t dataBytes = 0;
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t* r = raw.data() + 16 * static_cast<size_t>(i);
        SampleEntry& e = table_[static_cast<size_t>(i)];
        e.offset = Be32(r) + headerLength_;
        e.length = static_cast<int32_t>(Be32(r + 4));
        e.timestamp = Be32(r + 8);
        e.duration = Be32(r + 12);
        if (e.length < 0) {
            return Refuse(messages::kDamaged);
        }
        dataBytes += static_cast<uint32_t>(e.length);
        if (e.timestamp == kAudioMarker) {
            ++audioCount_;
            lastAudioIndex_ = static_cast<uint32_t>(i);
            largestAudio = std::max(largestAudio, e.length);
        } else {
            ++videoCount_;
            e.timestamp &= 0x00FFFFFF;
            largestVideo = std::max(largestVideo, e.length);
            framePeriod_ = std::min(framePeriod_, e.duration);
        }
    }
    // The data lie back to back from the first entry's offset; all of them must be there.
    if (videoCount_ == 0 || framePeriod_ == 0 || table_[0].offset + dataBytes > fileSize_) {
        return Refuse(messages::kDamaged);
    }

    // Partition: the audio list, then the video list, each in file order.
    SampleEntry* audio = table_.data() + n;
    SampleEntry* video = audio + audioCount_;
    audioList_ = audio;
    videoList_ = video;
    for (int32_t i = 0; i < n; ++i) {
        const SampleEntry& e = table_[static_cast<size_t>(i)];
        *(e.timestamp == kAudioMarker ? audio++ : video++) = e;
    }

    audioCapacity_ = static_cast<int32_t>((static_cast<uint32_t>(largestAudio) + 3) & ~3u);
    compressedCapacity_ =
        static_cast<int32_t>(((static_cast<uint32_t>(largestVideo) + 3) & ~3u) + 4);
    const SampleEntry& last = videoList_[videoCount_ - 1];
    totalTicks_ = last.timestamp + last.duration;

    compressedSize_ = static_cast<size_t>(compressedCapacity_) + 1024;
    decodedSize_ = static_cast<size_t>(outputFormat_.biSizeImage) + 1024;
    soundSlotSize_ = static_cast<size_t>(audioCapacity_) + 1024;
    const size_t slots = SoundSlotsNeeded();
    if (!Allocate(compressed_, compressedSize_) || !Allocate(decoded_, decodedSize_) ||
        !Allocate(soundRing_, slots * soundSlotSize_)) {
        return Refuse(messages::kNoMemory);
    }
    soundSlots_.resize(slots);
    soundLengths_.assign(slots, 0);
    for (size_t i = 0; i < slots; ++i) {
        soundSlots_[i] = soundRing_.data() + i * soundSlotSize_;
    }

    decompressor_ = codec::CinepakDecompressor::Locate(inputFormat_, outputFormat_);
    if (!decompressor_) {
        return Refuse(messages::kNoCodec);
    }
    decompressor_->Begin(inputFormat_, outputFormat_);

    ringWrite_ = 0;
    ringRead_ = 0;
    cursor_ = 0;
    open_ = true;
    return true;
}

// How many sound chunks can be waiting at once. Playback decodes pictures about ten display
// periods ahead of the clock, and every sound sample stored before a picture is read with
// it, while the device takes chunks only as fast as it plays them. Walking the table with
// that lead, plus a second for a slow device, gives the most chunks that can be waiting.
size_t MovieReader::SoundSlotsNeeded() const {
    const size_t minimum = kMinSoundSlots;
    constexpr size_t kSpareSoundSlots = 8;
    if (!soundUsable_ || audioCount_ == 0) {
        return minimum;
    }
    const double bytesPerSecond = audioFormat_.nAvgBytesPerSec;
    if (bytesPerSecond <= 0) {
        return std::max<size_t>(minimum, static_cast<size_t>(audioCount_) + 1);
    }
    const double period = static_cast<double>(framePeriod_) / baseFrequency_;
    const double lead = 10 * period + 1.0;
    std::vector<double> audioEnds;  // when each chunk has been played, in seconds
    audioEnds.reserve(static_cast<size_t>(audioCount_));
    double audioTime = 0;
    double videoTime = 0;  // where the engine places the next picture
    size_t most = 0;
    for (int32_t i = 0; i < entryCount_; ++i) {
        const SampleEntry& e = table_[static_cast<size_t>(i)];
        if (e.timestamp == kAudioMarker) {
            audioTime += e.length / bytesPerSecond;
            audioEnds.push_back(audioTime);
            continue;
        }
        const double clock = videoTime - lead;
        const size_t played = static_cast<size_t>(
            std::upper_bound(audioEnds.begin(), audioEnds.end(), clock) - audioEnds.begin());
        most = std::max(most, audioEnds.size() - played);
        const uint64_t periods =
            std::max<uint64_t>(1, (e.duration + framePeriod_ - 1ull) / framePeriod_);
        videoTime += periods * period;
    }
    return std::max(minimum, most + kSpareSoundSlots);
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
    return soundUsable_ ? static_cast<uint32_t>(audioCapacity_) : 0;
}

void MovieReader::Rewind() {
    if (!open_) {
        return;
    }
    ringWrite_ = 0;
    ringRead_ = 0;
    cursor_ = 0;
    std::fill(soundLengths_.begin(), soundLengths_.end(), 0);
    SeekFile(table_[0].offset);
}

uint32_t MovieReader::DecodeEntry(const SampleEntry& e, uint8_t* destination) {
    const size_t got = ReadFile(compressed_.data(), static_cast<size_t>(e.length));
    FixUpFrame(compressed_.data());
    // Only the bytes actually read are offered to the decoder.
    inputFormat_.biSizeImage = got > 2 ? static_cast<uint32_t>(got - 2) : 0;
    decompressor_->Decompress(inputFormat_, compressed_.data() + 2, outputFormat_, decoded_.data());
    std::memcpy(destination, decoded_.data(), outputFormat_.biSizeImage & ~3u);
    return e.duration;
}

uint32_t MovieReader::DecodeFirstFrame(uint8_t* destination) {
    if (!open_) {
        return 0;
    }
    SeekFile(videoList_[0].offset);
    return DecodeEntry(videoList_[0], destination);
}

void MovieReader::ReadAudioEntry(const SampleEntry& e) {
    const uint32_t pending = ringWrite_ - ringRead_;
    if (!soundUsable_ || pending >= soundSlots_.size()) {
        // Nobody will take this chunk (silent movie), or, should the device stall for many
        // seconds, there is no free slot: step over it rather than overwrite a waiting one.
        ::lseek(fd_, e.length, SEEK_CUR);
        return;
    }
    const size_t slot = ringWrite_ % soundSlots_.size();
    const size_t got = ReadFile(soundSlots_[slot], static_cast<size_t>(e.length));
    if (got == 0) {
        return;
    }
    soundLengths_[slot] = static_cast<int32_t>(got);
    ++ringWrite_;
}

uint32_t MovieReader::DecodeNextFrame(uint8_t* destination) {
    const uint32_t n = open_ ? static_cast<uint32_t>(entryCount_) : 0;
    while (cursor_ < n && table_[cursor_].timestamp == kAudioMarker) {
        ReadAudioEntry(table_[cursor_]);
        ++cursor_;
    }
    if (cursor_ >= n) {
        return 0;  // no picture left; the destination keeps what it held
    }
    return DecodeEntry(table_[cursor_++], destination);
}

bool MovieReader::HasSoundLeft() const {
    if (!open_ || !soundUsable_) {
        return false;
    }
    return ringWrite_ != ringRead_ || (audioCount_ > 0 && cursor_ <= lastAudioIndex_);
}

uint32_t MovieReader::NextAudioChunk(uint8_t* destination) {
    if (!open_) {
        return 0;
    }
    if (cursor_ < static_cast<uint32_t>(entryCount_) && table_[cursor_].timestamp == kAudioMarker) {
        ReadAudioEntry(table_[cursor_]);
        ++cursor_;
    }
    if (ringWrite_ == ringRead_) {
        return 0;
    }
    const size_t slot = ringRead_ % soundSlots_.size();
    const uint32_t len = static_cast<uint32_t>(soundLengths_[slot]);
    const int bits = audioFormat_.wBitsPerSample;
    const int channels = audioFormat_.nChannels;
    ConvertSound(soundSlots_[slot], len, bits, channels, destination);
    soundLengths_[slot] = 0;
    ++ringRead_;
    return ConvertedLength(len, bits, channels);
}

}  // namespace lunavue
