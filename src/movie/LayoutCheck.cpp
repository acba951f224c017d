#include "movie/LayoutCheck.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "movie/FilmDemuxer.h"
#include "movie/FilmLayout.h"
#include "platform/BigEndian.h"

namespace lunavue {
namespace {

// How far sound may run ahead of its picture before a loader's ring overflows (the
// writer puts each chunk just before its picture).
constexpr uint64_t kSoundAheadLimitMs = 2000;
// How many lines of one kind are written before the rest are counted.
constexpr size_t kLinesOfAKind = 20;

std::string Format(const char* format, uint64_t a, uint64_t b = 0, uint64_t c = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b), static_cast<unsigned long long>(c));
    return text;
}

// The lines, at most kLinesOfAKind of each kind, then how many more there were.
class Report {
  public:
    void Add(const std::string& kind, std::string line) {
        auto it = std::find_if(counts_.begin(), counts_.end(),
                               [&](const auto& c) { return c.first == kind; });
        if (it == counts_.end()) {
            it = counts_.insert(counts_.end(), {kind, 0});
        }
        if (++it->second <= kLinesOfAKind) {
            lines_.push_back(std::move(line));
        }
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> all = lines_;
        for (const auto& [kind, n] : counts_) {
            if (n > kLinesOfAKind) {
                all.push_back(Format("... and %llu more (", n - kLinesOfAKind) + kind + ")");
            }
        }
        return all;
    }

  private:
    std::vector<std::string> lines_;
    std::vector<std::pair<std::string, size_t>> counts_;
};

// The picture's strips (found as the player finds them): their count, and whether any full
// codebook chunk is empty.
void CheckPicture(const std::vector<uint8_t>& f, uint32_t sampleSize, uint32_t frame,
                  std::optional<uint32_t>& strips, Report& report) {
    if (f.size() < film::kCinepakFrameHeader) {
        report.Add("short pictures",
                   Format("frame %llu: %llu bytes, shorter than its header", frame, f.size()));
        return;
    }
    const uint32_t count = Be16(f.data() + 8);
    if (!strips) {
        strips = count;
    } else if (count != *strips) {
        report.Add("strip counts",
                   Format("frame %llu: %llu strips (frame 0 has %llu)", frame, count, *strips));
    }
    size_t at = film::kCinepakFrameHeader + film::PictureExtraBytes(f.data(), f.size(), sampleSize);
    for (uint32_t s = 0; s < count && at + 12 <= f.size(); ++s) {
        const size_t stripEnd = std::min<size_t>(f.size(), at + Be16(f.data() + at + 2));
        size_t c = at + 12;
        while (c + 4 <= stripEnd) {
            const uint32_t id = Be16(f.data() + c);
            const uint32_t size = Be16(f.data() + c + 2);
            if (size < 4) {
                break;
            }
            const bool codebook = (id & 0xF800) == 0x2000;
            const bool full = (id & 0x0100) == 0;
            if (codebook && full && size == 4) {
                report.Add("empty codebooks",
                           Format("frame %llu strip %llu: an empty full codebook (chunk %04llX)",
                                  frame, s, id));
            }
            c += size;
        }
        if (stripEnd <= at + 12) {
            break;
        }
        at = stripEnd;
    }
}

}  // namespace

std::vector<std::string> CheckLayout(const std::string& path) {
    MovieFile file;
    if (file.Open(path) != MovieFile::Status::kOpen) {
        return {"cannot open the file"};
    }
    Film movie;
    if (const OpenStatus status = FilmDemuxer::Read(file, movie); !status) {
        return {"not a movie the player reads: " + status.Describe()};
    }
    Report report;
    const FilmHeader& h = movie.header;
    uint8_t head[film::kHeaderBytes] = {};
    file.ReadAt(0, head, sizeof head);
    const uint32_t descriptor = Be32(head + 20);
    if (h.layout != FilmLayout::kStandard || h.version != "1.09" ||
        descriptor != film::kFullDescriptor) {
        report.Add("layout", "layout: " + h.LayoutName() + " with a " + std::to_string(descriptor) +
                                 "-byte descriptor (the standard is 1.09 with 32 bytes)");
    }
    // The table as stored: where each entry says its data lie.
    const uint32_t stab = h.layout == FilmLayout::kVersion0
                              ? 16 + film::kShortestDescriptor
                              : 16 + std::min(descriptor, film::kFullDescriptor);
    uint8_t preamble[film::kTablePreamble] = {};
    file.ReadAt(stab, preamble, sizeof preamble);
    if (!film::Tagged(preamble, "STAB")) {
        report.Add("layout", Format("no STAB at %llu", stab));
    } else if (Be32(preamble + 4) !=
               film::kTablePreamble + film::kEntryBytes * movie.samples.size()) {
        report.Add(
            "layout",
            Format("the table's length says %llu bytes; its entries take %llu", Be32(preamble + 4),
                   film::kTablePreamble + film::kEntryBytes * movie.samples.size()));
    }
    if (h.baseFrequency != film::kGamesBase) {
        report.Add("clock",
                   Format("the rate field is %llu, not the games' base of 600", h.baseFrequency));
    }
    const uint64_t headerEnd = h.headerLength;
    uint64_t expected = 0;  // where the next entry's data would lie, back to back
    std::vector<uint8_t> picture;
    std::optional<uint32_t> strips;
    uint64_t soundBytes = 0;  // sound stored before the picture being looked at
    const uint64_t bytesPerSecond = film::StoredBytesPerSecond(h.sound.rate, h.sound.channels,
                                                               h.sound.bits, h.sound.compression);
    uint32_t frame = 0;
    for (size_t i = 0; i < movie.samples.size(); ++i) {
        uint8_t raw[film::kEntryBytes];
        if (file.ReadAt(stab + film::kTablePreamble + film::kEntryBytes * i, raw, sizeof raw) !=
            sizeof raw) {
            break;
        }
        const uint64_t offset = Be32(raw);
        const uint32_t length = Be32(raw + 4);
        const SampleRecord& r = movie.samples[i];
        if (offset < expected) {
            report.Add("order", Format("entry %llu: its data at %llu overlap or come before the "
                                       "previous entry's (which end at %llu)",
                                       i, offset, expected));
        } else if (offset > expected && i != 0) {
            report.Add("order", Format("entry %llu: %llu bytes between it and the previous entry",
                                       i, offset - expected));
        }
        expected = offset + length;
        if (length % 2 != 0) {
            report.Add("odd lengths", Format("entry %llu: odd length %llu", i, length));
        }
        if (r.kind == SampleKind::kSound) {
            soundBytes += length;
            continue;
        }
        if (h.baseFrequency == film::kGamesBase && movie.framePeriod != 0 &&
            r.duration % movie.framePeriod != 0) {
            report.Add("clock",
                       Format("frame %llu lasts %llu ticks, not a whole number of frame periods",
                              frame, r.duration));
        }
        if (bytesPerSecond != 0 && h.baseFrequency != 0) {
            const uint64_t pictureMs = uint64_t{r.time} * 1000 / h.baseFrequency;
            const uint64_t soundMs = soundBytes * 1000 / bytesPerSecond;
            const uint64_t periodMs = uint64_t{r.duration} * 1000 / h.baseFrequency;
            if (soundMs + periodMs < pictureMs) {
                report.Add("sound places",
                           Format("frame %llu at %llu ms: only %llu ms of sound come before it",
                                  frame, pictureMs, soundMs));
            } else if (soundMs > pictureMs + kSoundAheadLimitMs + periodMs) {
                report.Add("sound places", Format("frame %llu at %llu ms: %llu ms of sound come "
                                                  "before it (more than 2 s ahead)",
                                                  frame, pictureMs, soundMs));
            }
        }
        if (h.coding == PictureCoding::kCinepak) {
            picture.resize(r.size);
            picture.resize(file.ReadAt(headerEnd + offset, picture.data(), r.size));
            CheckPicture(picture, r.size, frame, strips, report);
        }
        ++frame;
    }
    return report.Lines();
}

}  // namespace lunavue
