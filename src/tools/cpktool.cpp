// cpktool: looks into FILM movies from the command line.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "movie/FilmLayout.h"
#include "movie/FilmWriter.h"
#include "movie/LayoutCheck.h"
#include "movie/MovieInfo.h"
#include "movie/MovieReader.h"
#include "movie/PictureShape.h"
#include "platform/BigEndian.h"
#include "playback/CTovrinDoc.h"
#include "tools/Image.h"
#include "tools/MakeCommand.h"
#include "tools/OutputFile.h"
#include "tools/PlayCommand.h"
#include "tools/SoundInput.h"
#include "tools/WavHeader.h"

namespace {

using lunavue::BITMAPINFOHEADER;
using lunavue::MovieReader;
using lunavue::OutputFile;

const char kUsage[] =
    "usage: cpktool COMMAND MOVIE [ARGS]\n"
    "\n"
    "  info MOVIE                  picture size, frame rate, frames, running time, sound\n"
    "                              format and coding, and the sample table's counts, one\n"
    "                              'key: value' per line\n"
    "  frames MOVIE OUT [--start N] [--count M]\n"
    "                              the video frames (all, or M from frame N), decoded as\n"
    "                              playback does, written top-down, 3 bytes a pixel (blue,\n"
    "                              green, red), no row padding\n"
    "  audio MOVIE OUT             the whole sound track as the sound device receives it\n"
    "                              (16-bit little-endian or unsigned 8-bit, interleaved)\n"
    "  bench MOVIE [--repeat N]    decodes every frame N times (default 10) and prints\n"
    "                              frames per second\n"
    "  play MOVIE [--loop N] [--start SECONDS]\n"
    "                              plays the movie N times (default 1), the first time from\n"
    "                              SECONDS on, without a window, with the real clock, timer\n"
    "                              and sound device, and reports frames shown, late slots,\n"
    "                              sound chunks, underruns and damaged frames\n"
    "  thumbnail [-s SIZE] MOVIE OUT.png\n"
    "                              a PNG of the frame a tenth into the movie, shaped as the\n"
    "                              player shows it (aspect corrected), fitted smoothly into a\n"
    "                              SIZE x SIZE box (default 256)\n"
    "  export MOVIE OUT.wav        the sound as a WAV file, exactly as the device receives it\n"
    "  export MOVIE FOLDER --frames [--start N] [--count M]\n"
    "                              the frames (all, or M from frame N) as PNG files,\n"
    "                              frame-000000.png on, numbered by frame\n"
    "  make -o OUT.cpk [--rate FPS] [--quality Q] [--key-interval N] [--strips N]\n"
    "       [--sound SOUND.wav [--sound-coding pcm|adpcm]] FRAME.png...\n"
    "                              a movie in the standard layout from PNG frames (all of one\n"
    "                              size, width and height multiples of 4) at FPS frames a\n"
    "                              second (a divisor of 600, default 15), Cinepak at quality\n"
    "                              Q (1 to 100, default 70), a key frame every N frames\n"
    "                              (default 30), N strips (default one a 28 rows, at most 8;\n"
    "                              more where a strip would not fit), with the sound of an\n"
    "                              8- or 16-bit PCM WAV (as PCM, or in the 4-bit ADPCM\n"
    "                              coding) cut or made longer with silence to the movie's\n"
    "                              length\n"
    "  remux MOVIE OUT.cpk [--sound SOUND.wav]\n"
    "                              any layout the player reads rewritten in the standard one:\n"
    "                              the picture bytes unchanged, the table rebuilt, the times\n"
    "                              on the base of 600 where they convert exactly, odd chunks\n"
    "                              made even (the sound's samples unchanged); with --sound,\n"
    "                              that WAV's sound instead, fitted to the movie's length\n"
    "  check MOVIE                 every way the file departs from the standard layout the\n"
    "                              games' loaders accept (odd chunk lengths, table entries\n"
    "                              out of order or overlapping, a rate field that is not the\n"
    "                              base of 600, strip counts that change, empty full\n"
    "                              codebooks, sound chunks out of place), one a line; exit\n"
    "                              status 0 only when there is none, 3 when there are\n"
    "  --version                   prints the version\n"
    "\n"
    "Exit status: 0 on success, 1 for a usage error or an output that cannot be written,\n"
    "2 when the movie cannot be played (the reason on standard error). An output is written\n"
    "whole or not at all.\n";

// Exit statuses.
constexpr int kFailed = 1;   // a usage error, or the output could not be written
constexpr int kRefused = 2;  // the movie cannot be played
constexpr int kDeparts = 3;  // check: the file departs from the standard layout
// The largest thumbnail: file managers ask for 128 to 1024 pixels.
constexpr long kLargestThumbnail = 1024;
// The most frames a thumbnail decodes after its key frame to reach the frame it shows;
// beyond that, the key frame itself is shown.
constexpr uint32_t kThumbnailRunUp = 15;

int Usage() {
    std::fputs(kUsage, stderr);
    return kFailed;
}

// The words after the command: the movie, further plain words, and "--name value" options,
// each allowed only where the command names it.
struct Args {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;

    bool Parse(int argc, char** argv, const std::vector<std::string>& allowed) {
        for (int i = 2; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--frames") {  // the one option without a value
                options[a] = "";
                continue;
            }
            if (a.rfind("-", 0) != 0 || a == "-") {
                words.push_back(a);
                continue;
            }
            bool known = false;
            for (const std::string& name : allowed)
                known = known || name == a;
            if (!known || i + 1 >= argc) {
                return false;
            }
            options[a] = argv[++i];
        }
        return true;
    }
    // A whole number in [low, high], or def when absent; false when malformed.
    bool Number(const std::string& name, long low, long high, long def, long& value) const {
        auto it = options.find(name);
        if (it == options.end()) {
            value = def;
            return true;
        }
        char* end = nullptr;
        value = std::strtol(it->second.c_str(), &end, 10);
        return !it->second.empty() && *end == '\0' && value >= low && value <= high;
    }
};

// Opens a movie, or says in English why it cannot be played.
bool OpenMovie(MovieReader& reader, const std::string& path) {
    // What the player would refuse is refused here too.
    const lunavue::OpenStatus status = reader.Open(path, lunavue::CTovrinDoc::kBudget);
    if (!status) {
        std::fprintf(stderr, "cpktool: %s: %s\n", path.c_str(), status.Describe().c_str());
    }
    return static_cast<bool>(status);
}

// Opens a movie that has pictures: a movie of sound alone has none to give.
bool OpenMovieWithPictures(MovieReader& reader, const std::string& path) {
    if (!OpenMovie(reader, path)) {
        return false;
    }
    if (reader.GetVideoFrameCount() == 0) {
        std::fprintf(stderr, "cpktool: %s: the movie has no picture, only sound\n", path.c_str());
        return false;
    }
    return true;
}

int CannotWrite(const std::string& path, const std::string& why = {}) {
    std::fprintf(stderr, "cpktool: cannot write %s%s%s\n", path.c_str(), why.empty() ? "" : ": ",
                 why.c_str());
    return kFailed;
}

// Puts a finished output in place: the exit status.
int Finish(OutputFile& file, const std::string& path) {
    return file.Commit() ? 0 : CannotWrite(path);
}

int Info(const std::string& path) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    lunavue::MovieInfo info;
    if (!lunavue::DescribeMovie(reader, info)) {
        return kRefused;
    }
    const lunavue::FilmHeader& header = reader.Contents().header;
    std::printf("layout: %s\npicture coding: %s\n", info.layout.c_str(),
                info.pictureCoding.c_str());
    if (header.coding == lunavue::PictureCoding::kCinepak) {
        std::printf("extra bytes: %u\n", reader.FirstFrameExtraBytes());
    }
    std::printf("size: %s\nframe rate: %s\nframes: %s\ntime: %s\n",
                info.size.empty() ? "none (no picture)" : info.size.c_str(), info.frameRate.c_str(),
                info.frames.c_str(), info.time.c_str());
    std::printf("sound coding: %s\n", info.soundCoding.c_str());
    std::printf("sound rate: %s\nsound bits: %s\nchannels: %s\n", info.soundRate.c_str(),
                info.soundType.c_str(), info.channels.c_str());
    if (reader.Sound().Coding() == lunavue::SoundCoding::kAdpcm) {
        std::printf("adpcm header version: %d\n", reader.Sound().AdpcmVersion());
    }
    std::printf("container version: %s\n", header.version.c_str());
    uint32_t keys = 0;
    for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
        keys += reader.IsKeyFrame(f) ? 1 : 0;
    }
    std::printf("entries: %d\nvideo entries: %u\nkey frames: %u\naudio entries: %u\n",
                reader.GetEntryCount(), reader.GetVideoFrameCount(), keys,
                reader.GetAudioEntryCount());
    std::printf("base frequency: %u\nframe period: %u\ntotal ticks: %u\n",
                reader.GetBaseFrequency(), reader.GetFramePeriodTicks(), reader.GetTotalTicks());
    return 0;
}

int Frames(const std::string& path, const std::string& out, long first, long count) {
    MovieReader reader;
    if (!OpenMovieWithPictures(reader, path)) {
        return kRefused;
    }
    BITMAPINFOHEADER h{};
    reader.GetOutputFormat(&h);
    const uint32_t frames = reader.GetVideoFrameCount();
    if (first >= static_cast<long>(frames)) {
        std::fprintf(stderr, "cpktool: the movie has %u frames\n", frames);
        return kFailed;
    }
    const uint32_t last =
        static_cast<uint32_t>(count < 0 ? frames : std::min<long>(frames, first + count));
    OutputFile file;
    std::string why;
    if (!file.Open(out, path, why)) {
        return CannotWrite(out, why);
    }
    const size_t stride = lunavue::PictureStride(static_cast<uint32_t>(h.biWidth));
    const size_t row = 3 * static_cast<size_t>(h.biWidth);
    std::vector<uint8_t> picture(h.biSizeImage);
    // Frames depend on the ones before: decode from the key frame at or before the first.
    const uint32_t key = reader.KeyFrameAtOrBefore(static_cast<uint32_t>(first));
    reader.SeekTo(key, 0);
    for (uint32_t f = key; f < last; ++f) {
        reader.DecodeNextFrame(f < first ? nullptr : picture.data());
        for (int y = h.biHeight - 1; f >= first && y >= 0; --y) {
            file.Write(picture.data() + static_cast<size_t>(y) * stride, row);
        }
    }
    return Finish(file, out);
}

int Audio(const std::string& path, const std::string& out) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    OutputFile file;
    std::string why;
    if (!file.Open(out, path, why)) {
        return CannotWrite(out, why);
    }
    const uint32_t capacity = reader.GetAudioChunkCapacity();
    if (capacity != 0) {
        std::vector<uint8_t> chunk(capacity);
        auto drain = [&] {
            while (const uint32_t n = reader.NextAudioChunk(chunk.data())) {
                file.Write(chunk.data(), n);
            }
        };
        reader.Rewind();
        for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
            reader.DecodeNextFrame(nullptr);
            drain();
        }
        drain();
    }
    return Finish(file, out);
}

// Progress of a long export on standard error: a line that updates in place on a terminal,
// once the export has taken a second; nothing when standard error is not a terminal.
class Progress {
  public:
    explicit Progress(const char* what) : what_(what), terminal_(isatty(2) != 0) {}
    ~Progress() {
        if (shown_) {
            std::fputc('\n', stderr);
        }
    }
    void Update(uint64_t done, uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (!terminal_ || total == 0 || now - start_ < std::chrono::seconds(1)) {
            return;
        }
        std::fprintf(stderr, "\r%s: %3d%%", what_, static_cast<int>(100 * done / total));
        shown_ = true;
    }

  private:
    const char* what_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Decodes frames first ... last - 1 in turn, from the key frame they need, handing each
// to use; false when a frame was damaged.
template <typename Use>
bool DecodeFrames(MovieReader& reader, uint32_t first, uint32_t last, Use use) {
    BITMAPINFOHEADER h{};
    reader.GetOutputFormat(&h);
    std::vector<uint8_t> picture(h.biSizeImage);
    const uint32_t key = reader.KeyFrameAtOrBefore(first);
    reader.SeekTo(key, 0);
    for (uint32_t f = key; f < last; ++f) {
        const uint32_t damaged = reader.GetDamagedFrames();
        reader.DecodeNextFrame(f < first ? nullptr : picture.data());
        if (reader.GetDamagedFrames() != damaged) {
            return false;
        }
        if (f >= first && !use(f, picture.data())) {
            return false;
        }
    }
    return true;
}

int Thumbnail(const std::string& path, const std::string& out, long box) {
    MovieReader reader;
    if (!OpenMovieWithPictures(reader, path)) {
        return kRefused;
    }
    lunavue::MovieClock clock;
    if (!lunavue::MovieClock::Make(reader, clock)) {
        return kRefused;
    }
    // A tenth into the movie, so that a black first frame does not stand for it, when a key
    // frame lies a short run-up before it; otherwise the start, which is always one.
    uint32_t frame = clock.FrameAtSlot(clock.FirstSlotOfFrame(clock.FrameCount()) / 10);
    uint32_t key = frame;
    while (key > 0 && frame - key < kThumbnailRunUp && !reader.IsKeyFrame(key)) {
        --key;
    }
    if (key != 0 && !reader.IsKeyFrame(key)) {
        frame = 0;
    }
    BITMAPINFOHEADER h{};
    reader.GetOutputFormat(&h);
    lunavue::RgbImage image;
    const bool whole = DecodeFrames(reader, frame, frame + 1, [&](uint32_t, const uint8_t* bits) {
        image = lunavue::FromDecoded(bits, h.biWidth, h.biHeight);
        return true;
    });
    if (!whole) {
        std::fprintf(stderr, "cpktool: %s: frame %u is damaged\n", path.c_str(), frame);
        return kRefused;
    }
    const lunavue::geometry::Size shape = lunavue::geometry::AspectCorrected(h.biWidth, h.biHeight);
    int width = 0;
    int height = 0;
    lunavue::FitInBox(shape.w, shape.h, static_cast<int>(box), width, height);
    // A thumbnail host makes the file and reads it back through the handle it keeps open: an
    // existing file is written in place.
    OutputFile file;
    std::string why;
    if (!file.Open(out, path, why, OutputFile::Existing::kWrittenInPlace)) {
        return CannotWrite(out, why);
    }
    if (!lunavue::WritePng(file, lunavue::Resize(image, width, height))) {
        return CannotWrite(out);
    }
    return Finish(file, out);
}

int ExportSound(MovieReader& reader, const std::string& path, const std::string& out) {
    const uint32_t capacity = reader.GetAudioChunkCapacity();
    if (capacity == 0) {
        std::fprintf(stderr, "cpktool: %s: the movie has no sound to export\n", path.c_str());
        return kFailed;
    }
    OutputFile file;
    std::string why;
    if (!file.Open(out, path, why)) {
        return CannotWrite(out, why);
    }
    const lunavue::WAVEFORMATEX format = reader.GetAudioFormat();
    // A pipe cannot be gone back over: its header says the length the chunks add up to.
    const uint64_t predicted =
        reader.Sound().ChunkStart(reader.Sound().ChunkCount()) * format.nBlockAlign;
    file.Write(lunavue::WavHeader(
                   format, static_cast<uint32_t>(std::min<uint64_t>(predicted, UINT32_MAX - 36)))
                   .data(),
               44);
    std::vector<uint8_t> chunk(capacity);
    uint64_t bytes = 0;
    Progress progress("exporting the sound");
    auto drain = [&] {
        while (const uint32_t n = reader.NextAudioChunk(chunk.data())) {
            file.Write(chunk.data(), n);
            bytes += n;
        }
    };
    reader.Rewind();
    const uint32_t frames = reader.GetVideoFrameCount();
    for (uint32_t f = 0; f < frames; ++f) {
        reader.DecodeNextFrame(nullptr);
        drain();
        progress.Update(f, frames);
    }
    drain();
    if (bytes > UINT32_MAX - 36) {
        std::fprintf(stderr, "cpktool: %s: the sound is too long for a WAV file\n", path.c_str());
        return kFailed;
    }
    // Now that the length is known, the header says it.
    if (file.Seekable()) {
        const std::vector<uint8_t> header =
            lunavue::WavHeader(format, static_cast<uint32_t>(bytes));
        if (std::fseek(file.Stream(), 0, SEEK_SET) != 0) {
            return CannotWrite(out);
        }
        file.Write(header.data(), header.size());
    }
    return Finish(file, out);
}

int ExportFrames(MovieReader& reader, const std::string& path, const std::string& folder,
                 long first, long count) {
    const uint32_t frames = reader.GetVideoFrameCount();
    if (first >= static_cast<long>(frames)) {
        std::fprintf(stderr, "cpktool: the movie has %u frames\n", frames);
        return kFailed;
    }
    mkdir(folder.c_str(), 0777);  // made if missing; an error shows at the first file
    const uint32_t last =
        static_cast<uint32_t>(count < 0 ? frames : std::min<long>(frames, first + count));
    BITMAPINFOHEADER h{};
    reader.GetOutputFormat(&h);
    Progress progress("exporting frames");
    int status = 0;
    const bool whole = DecodeFrames(
        reader, static_cast<uint32_t>(first), last, [&](uint32_t f, const uint8_t* bits) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%06u.png", f);
            OutputFile file;
            const std::string out = folder + name;
            std::string why;
            if (!file.Open(out, path, why) ||
                !lunavue::WritePng(file, lunavue::FromDecoded(bits, h.biWidth, h.biHeight)) ||
                !file.Commit()) {
                status = CannotWrite(out, why);
                return false;
            }
            progress.Update(f - static_cast<uint32_t>(first), last - static_cast<uint32_t>(first));
            return true;
        });
    if (!whole && status == 0) {
        std::fprintf(stderr, "cpktool: a frame is damaged; the frames before it are written\n");
        return kRefused;
    }
    return status;
}

int Export(const Args& args) {
    MovieReader reader;
    if (!OpenMovie(reader, args.words[0])) {
        return kRefused;
    }
    if (args.options.count("--frames") == 0) {
        return ExportSound(reader, args.words[0], args.words[1]);
    }
    if (reader.GetVideoFrameCount() == 0) {
        std::fprintf(stderr, "cpktool: %s: the movie has no picture, only sound\n",
                     args.words[0].c_str());
        return kRefused;
    }
    long first = 0;
    long count = -1;
    if (!args.Number("--start", 0, INT32_MAX, 0, first) ||
        !args.Number("--count", 1, INT32_MAX, -1, count)) {
        return Usage();
    }
    return ExportFrames(reader, args.words[0], args.words[1], first, count);
}

int Bench(const std::string& path, long repeat) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    std::vector<uint8_t> picture(reader.GetDecodedBufferSize());
    const auto start = std::chrono::steady_clock::now();
    uint64_t frames = 0;
    for (long r = 0; r < repeat; ++r) {
        reader.Rewind();
        for (uint32_t f = 0; f < reader.GetVideoFrameCount(); ++f) {
            reader.DecodeNextFrame(picture.data());
            ++frames;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("frames: %llu\nseconds: %.3f\nframes per second: %.0f\n",
                static_cast<unsigned long long>(frames), seconds,
                seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
    return 0;
}

int Play(const std::string& path, const Args& args) {
    long passes = 1;
    if (!args.Number("--loop", 1, 1000000, 1, passes)) {
        return Usage();
    }
    double start = 0;
    if (auto it = args.options.find("--start"); it != args.options.end()) {
        char* end = nullptr;
        start = std::strtod(it->second.c_str(), &end);
        if (it->second.empty() || *end != '\0' || !(start >= 0) || start > 4e6) {
            return Usage();
        }
    }
    MovieReader probe;
    if (!OpenMovie(probe, path)) {
        return kRefused;
    }
    lunavue::MovieClock clock;
    if (!lunavue::MovieClock::Make(probe, clock)) {
        return kRefused;
    }
    const uint64_t length = clock.DurationMs();
    if (start * 1000 >= static_cast<double>(length)) {
        std::fprintf(stderr, "cpktool: %s: the movie lasts %.3f s; --start is past its end\n",
                     path.c_str(), static_cast<double>(length) / 1000);
        return kFailed;
    }
    return lunavue::PlayHeadless(path.c_str(), static_cast<int>(passes),
                                 static_cast<uint32_t>(std::llround(start * 1000)));
}

// Any layout the player reads, rewritten in the standard one: the same picture bytes and key
// marks, the times on the games' base of 600 where they convert exactly, and the sound placed
// as the games' loaders take it: before each picture, the sound up to that picture's end.
// A sound of mono PCM or ADPCM is one stream whose chunk boundaries mean nothing, so it is
// cut anew into even chunks; stereo PCM keeps its chunks (each without the odd byte the
// player never reads). Odd pictures are padded, except a plain Cinepak frame whose header
// gives its exact length (padded, it would be read as another kind).
int Remux(const std::string& in, const std::string& out, const std::string& soundPath) {
    MovieReader reader;
    if (!OpenMovie(reader, in)) {
        return kRefused;
    }
    // With a WAV, its sound instead of the movie's, fitted to the movie's length.
    lunavue::WavReader wav;
    std::string why;
    if (!soundPath.empty() && !wav.Open(soundPath, why)) {
        std::fprintf(stderr, "cpktool: %s: %s\n", soundPath.c_str(), why.c_str());
        return kFailed;
    }
    const lunavue::Film& movie = reader.Contents();
    const lunavue::FilmHeader& h = movie.header;
    lunavue::FilmDescription d;
    const char* coding = h.coding == lunavue::PictureCoding::kCinepak ? "cvid"
                         : h.coding == lunavue::PictureCoding::kRaw   ? "raw "
                                                                      : "\0\0\0\0";
    std::memcpy(d.coding, coding, 4);
    d.width = h.width;
    d.height = h.height;
    d.channels = movie.sounds.empty() ? 0 : h.sound.channels;
    d.bits = h.sound.bits;
    d.compression = h.sound.compression;
    d.rate = h.sound.rate;
    const uint32_t factor = h.baseFrequency != 0 && lunavue::film::kGamesBase % h.baseFrequency == 0
                                ? lunavue::film::kGamesBase / h.baseFrequency
                                : 1;
    d.base = h.baseFrequency * factor;
    if (movie.pictures.empty()) {
        d.base = lunavue::film::kGamesBase;  // no picture's time to keep
    }
    const uint64_t perSecond = lunavue::film::StoredBytesPerSecond(
        h.sound.rate, h.sound.channels, h.sound.bits, h.sound.compression);
    uint64_t originalBytes = 0;
    for (uint32_t c : movie.sounds) {
        originalBytes += movie.samples[c].size;
    }
    if (!soundPath.empty()) {
        d.channels = static_cast<uint8_t>(wav.Channels());
        d.bits = static_cast<uint8_t>(wav.Bits());
        d.compression = 0;
        d.rate = static_cast<uint16_t>(wav.Rate());
    }
    lunavue::MovieFile file;
    file.Open(in);
    const auto read = [&](const lunavue::SampleRecord& r, std::vector<uint8_t>& data) {
        data.resize(r.size);
        data.resize(file.ReadAt(r.position, data.data(), r.size));
    };
    // The sound: one stream, or the stereo chunks as they are.
    const bool stream = h.sound.compression != 0 || h.sound.channels == 1;
    std::vector<uint8_t> sound;
    std::vector<std::vector<uint8_t>> chunks;
    std::vector<uint8_t> data;
    for (uint32_t c : soundPath.empty() ? movie.sounds : std::vector<uint32_t>{}) {
        read(movie.samples[c], data);
        if (stream) {
            sound.insert(sound.end(), data.begin(), data.end());
        } else {
            data.resize(data.size() / 2 * 2);
            chunks.push_back(data);
        }
    }
    lunavue::FilmWriter writer(d);
    bool ok = true;
    size_t soundAt = 0;  // stream bytes written
    size_t chunkAt = 0;  // stereo chunks written
    uint64_t chunkBytes = 0;
    // Sound up to (the movie's ms) ms, or all that is left.
    lunavue::WavFeed dub(wav, nullptr);
    const auto soundUpTo = [&](uint64_t ms, bool all) {
        if (!soundPath.empty()) {
            // The movie's length: its pictures', or for sound alone its own sound's.
            if (all && movie.pictures.empty() && perSecond != 0) {
                ms = originalBytes * 1000 / perSecond;
            } else if (all) {
                return;
            }
            // In chunks of at most a quarter of a second.
            const uint64_t until = ms * wav.Rate() / 1000;
            while (ok) {
                const std::vector<uint8_t> chunk =
                    dub.UpTo(std::min<uint64_t>(until, dub.Done() + wav.Rate() / 4 * 2));
                if (chunk.empty()) {
                    break;
                }
                ok = writer.AddSound(chunk.data(), chunk.size());
            }
            return;
        }
        const uint64_t target = all ? UINT64_MAX : (ms * perSecond + 999) / 1000;
        if (stream) {
            size_t end = static_cast<size_t>(std::min<uint64_t>(sound.size(), target));
            end = all ? sound.size() : end / 2 * 2;
            // In chunks of at most a quarter of a second (a movie of sound alone has no
            // pictures to cut it).
            const size_t most = std::max<size_t>(2, perSecond / 4 / 2 * 2);
            while (end > soundAt) {
                const size_t n = std::min(end - soundAt, most);
                ok = ok && writer.AddSound(sound.data() + soundAt, n);
                soundAt += n;
            }
            return;
        }
        while (chunkAt < chunks.size() && (all || chunkBytes < target)) {
            chunkBytes += chunks[chunkAt].size();
            ok = ok && (chunks[chunkAt].empty() ||
                        writer.AddSound(chunks[chunkAt].data(), chunks[chunkAt].size()));
            ++chunkAt;
        }
    };
    for (uint32_t f = 0; f < movie.pictures.size(); ++f) {
        const lunavue::SampleRecord& r = movie.Picture(f);
        if (h.baseFrequency != 0) {
            soundUpTo(uint64_t{r.time + r.duration} * 1000 / h.baseFrequency, false);
        }
        read(r, data);
        const bool plain = h.coding == lunavue::PictureCoding::kCinepak && data.size() >= 4 &&
                           lunavue::Be24(data.data() + 1) == data.size();
        ok = ok && writer.AddPicture(data.data(), data.size(), r.time * factor, r.duration * factor,
                                     reader.IsKeyFrame(f), !plain);
    }
    soundUpTo(0, true);
    OutputFile output;
    if (!output.Open(out, in, why)) {
        return CannotWrite(out, why);
    }
    if (!ok || !writer.WriteTo([&](const void* p, size_t n) { return output.Write(p, n); })) {
        return CannotWrite(out);
    }
    return Finish(output, out);
}

int Check(const std::string& path) {
    MovieReader reader;
    if (!OpenMovie(reader, path)) {
        return kRefused;
    }
    const std::vector<std::string> departures = lunavue::CheckLayout(path);
    for (const std::string& line : departures) {
        std::printf("%s\n", line.c_str());
    }
    return departures.empty() ? 0 : kDeparts;
}

}  // namespace

int main(int argc, char** argv) {
    // An output beyond the file size limit fails like any other write instead of killing us;
    // an interrupted one leaves nothing behind.
    signal(SIGXFSZ, SIG_IGN);
    OutputFile::RemoveTemporariesOnSignals();
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("cpktool %s\n", LUNAVUE_VERSION);
        return 0;
    }
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    Args args;
    auto parse = [&](std::vector<std::string> options, size_t words) {
        return args.Parse(argc, argv, options) && args.words.size() == words &&
               std::none_of(args.words.begin(), args.words.end(),
                            [](const std::string& w) { return w.empty(); });
    };
    if (command == "info" && parse({}, 1)) {
        return Info(args.words[0]);
    }
    if (command == "frames" && parse({"--start", "--count"}, 2)) {
        long first = 0;
        long count = -1;
        if (!args.Number("--start", 0, INT32_MAX, 0, first) ||
            !args.Number("--count", 1, INT32_MAX, -1, count)) {
            return Usage();
        }
        return Frames(args.words[0], args.words[1], first, count);
    }
    if (command == "audio" && parse({}, 2)) {
        return Audio(args.words[0], args.words[1]);
    }
    if (command == "bench" && parse({"--repeat"}, 1)) {
        long repeat = 10;
        return args.Number("--repeat", 1, 1000000, 10, repeat) ? Bench(args.words[0], repeat)
                                                               : Usage();
    }
    if (command == "play" && parse({"--loop", "--start"}, 1)) {
        return Play(args.words[0], args);
    }
    if (command == "thumbnail" && parse({"-s"}, 2)) {
        long box = 256;
        // File managers ask for 128 to 1024; larger boxes are shown at 1024.
        if (!args.Number("-s", 1, INT32_MAX, 256, box)) {
            return Usage();
        }
        return Thumbnail(args.words[0], args.words[1], std::min(box, kLargestThumbnail));
    }
    if (command == "make" && args.Parse(argc, argv,
                                        {"-o", "--rate", "--quality", "--key-interval", "--strips",
                                         "--sound", "--sound-coding"})) {
        lunavue::MakeOptions make;
        long rate = 15, quality = 70, interval = 30, strips = 0;
        if (args.options.count("-o") == 0 || args.words.empty() ||
            !args.Number("--rate", 1, 600, 15, rate) ||
            !args.Number("--quality", 1, 100, 70, quality) ||
            !args.Number("--key-interval", 1, 100000, 30, interval) ||
            !args.Number("--strips", 1, 32, 0, strips)) {
            return Usage();
        }
        make.out = args.options["-o"];
        make.frames = args.words;
        make.sound = args.options.count("--sound") != 0 ? args.options["--sound"] : "";
        const std::string coding =
            args.options.count("--sound-coding") != 0 ? args.options["--sound-coding"] : "pcm";
        if (coding != "pcm" && coding != "adpcm") {
            return Usage();
        }
        make.adpcm = coding == "adpcm";
        make.framesPerSecond = static_cast<int>(rate);
        make.picture.quality = static_cast<int>(quality);
        make.picture.keyInterval = static_cast<int>(interval);
        make.picture.strips = static_cast<int>(strips);
        return lunavue::MakeMovie(make);
    }
    if (command == "remux" && parse({"--sound"}, 2)) {
        return Remux(args.words[0], args.words[1],
                     args.options.count("--sound") != 0 ? args.options["--sound"] : "");
    }
    if (command == "check" && parse({}, 1)) {
        return Check(args.words[0]);
    }
    if (command == "export" && parse({"--frames", "--start", "--count"}, 2)) {
        return Export(args);
    }
    return Usage();
}
