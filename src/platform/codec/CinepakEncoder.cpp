#include "platform/codec/CinepakEncoder.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "platform/BigEndian.h"

namespace lunavue {
namespace {

constexpr int kMaxEntries = 256;
constexpr int kIterations = 5;  // k-means passes over the vectors
// Bits a block costs: V1 an index and its flag, V4 four indices and its flag.
constexpr long kV1Bits = 9;
constexpr long kV4Bits = 33;

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    PutBe16(&out[at], static_cast<uint16_t>(v));
}

void Append16(std::vector<uint8_t>& out, uint32_t v) {
    out.resize(out.size() + 2);
    Put16(out, out.size() - 2, v);
}

// Flag bits most significant first in 32-bit words, each word placed in the stream where
// the decoder reads it: when the first of its bits is needed.
class Flags {
  public:
    explicit Flags(std::vector<uint8_t>& out) : out_(out) {}
    void Put(bool bit) {
        if (left_ == 0) {
            at_ = out_.size();
            out_.insert(out_.end(), 4, 0);
            left_ = 32;
        }
        --left_;
        if (bit) {
            out_[at_ + 3 - left_ / 8] |= static_cast<uint8_t>(1u << (left_ % 8));
        }
    }

  private:
    std::vector<uint8_t>& out_;
    size_t at_ = 0;
    int left_ = 0;
};

}  // namespace

CinepakEncoder::CinepakEncoder(int width, int height, const CinepakOptions& options)
    : width_(width), height_(height), options_(options) {
    options_.quality = std::clamp(options_.quality, 1, 100);
    options_.keyInterval = std::max(1, options_.keyInterval);
    const long worse = 101 - options_.quality;
    lambda_ = worse * worse / 8;
    skipLimit_ = worse * 48;
    // Strips of whole block rows, as even as they come, and enough of them that the largest
    // a strip can be (two full codebooks, every block V4 with its flag bits) fits its
    // 16-bit size.
    const int blockRows = height_ / 4;
    const long blocksInARow = std::max(1, width_ / 4);
    const long fitRows = std::max(1L, (65535L - 12 - 2 * (4 + 6 * kMaxEntries) - 4 - 8) /
                                          (blocksInARow * 4 + (blocksInARow + 15) / 16 * 4));
    const int needed = static_cast<int>((blockRows + fitRows - 1) / fitRows);
    const int asked = options_.strips > 0 ? options_.strips : std::clamp(height_ / 28, 1, 8);
    const int count = std::clamp(std::max(asked, needed), 1, std::min(32, std::max(1, blockRows)));
    int top = 0;
    for (int s = 0; s < count; ++s) {
        const int rows = (blockRows * (s + 1) / count - blockRows * s / count) * 4;
        strips_.push_back({top, rows});
        top += rows;
    }
    now_.resize(static_cast<size_t>(width_ / 2) * static_cast<size_t>(height_ / 2));
    held_ = now_;
}

// Luminance and colour as the decoder makes red, green and blue of them (r = y + 2v,
// g = y - u/2 - v, b = y + 2u): y = (2r + 4g + b) / 7, u = (b - y) / 2, v = (r - y) / 2,
// the colour shared by each 2 x 2 quadrant.
void CinepakEncoder::ToYuv(const uint8_t* rgb) {
    const int qw = width_ / 2;
    for (int qy = 0; qy < height_ / 2; ++qy) {
        for (int qx = 0; qx < qw; ++qx) {
            Entry& e =
                now_[static_cast<size_t>(qy) * static_cast<size_t>(qw) + static_cast<size_t>(qx)];
            int u = 0, v = 0;
            for (int p = 0; p < 4; ++p) {
                const uint8_t* px =
                    rgb + (static_cast<size_t>(qy * 2 + p / 2) * static_cast<size_t>(width_) +
                           static_cast<size_t>(qx * 2 + p % 2)) *
                              3;
                const int y = (2 * px[0] + 4 * px[1] + px[2] + 3) / 7;
                e.y[p] = y;
                u += px[2] - y;
                v += px[0] - y;
            }
            e.u = std::clamp((u + (u >= 0 ? 4 : -4)) / 8, -128, 127);
            e.v = std::clamp((v + (v >= 0 ? 4 : -4)) / 8, -128, 127);
        }
    }
}

// The squared error in red, green and blue of one entry for another, over its 2 x 2
// pixels: a step of y moves all three, one of u moves blue by 2 and green by 1/2, one of v
// moves red by 2 and green by 1.
long CinepakEncoder::Distance(const Entry& a, const Entry& b) {
    long d = 0;
    for (int i = 0; i < 4; ++i) {
        const long dy = a.y[i] - b.y[i];
        d += 3 * dy * dy;
    }
    const long du = a.u - b.u, dv = a.v - b.v;
    return d + 17 * du * du + 20 * dv * dv;
}

int CinepakEncoder::Nearest(const std::vector<Entry>& book, const Entry& e, long& error) {
    int best = 0;
    error = LONG_MAX;
    for (size_t i = 0; i < book.size(); ++i) {
        const long d = Distance(book[i], e);
        if (d < error) {
            error = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// A codebook of at most `size` entries for the vectors: k-means from entries spread over
// the vectors in order of brightness.
std::vector<CinepakEncoder::Entry> CinepakEncoder::Quantise(std::vector<Entry> vectors,
                                                            size_t size) const {
    size = std::min(size, vectors.size());
    if (size == 0) {
        return {};
    }
    const auto bright = [](const Entry& e) { return e.y[0] + e.y[1] + e.y[2] + e.y[3]; };
    std::sort(vectors.begin(), vectors.end(),
              [&](const Entry& a, const Entry& b) { return bright(a) < bright(b); });
    std::vector<Entry> book(size);
    for (size_t i = 0; i < size; ++i) {
        book[i] = vectors[(2 * i + 1) * vectors.size() / (2 * size)];
    }
    std::vector<long> sums(size * 6);
    std::vector<long> counts(size);
    for (int pass = 0; pass < kIterations; ++pass) {
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        for (const Entry& v : vectors) {
            long error = 0;
            const auto i = static_cast<size_t>(Nearest(book, v, error));
            long* s = &sums[i * 6];
            for (int k = 0; k < 4; ++k) {
                s[k] += v.y[k];
            }
            s[4] += v.u;
            s[5] += v.v;
            ++counts[i];
        }
        for (size_t i = 0; i < size; ++i) {
            if (counts[i] == 0) {
                continue;  // kept where it was
            }
            const long n = counts[i];
            const long* s = &sums[i * 6];
            for (int k = 0; k < 4; ++k) {
                book[i].y[k] = static_cast<int>((s[k] + n / 2) / n);
            }
            book[i].u = static_cast<int>(s[4] >= 0 ? (s[4] + n / 2) / n : -((-s[4] + n / 2) / n));
            book[i].v = static_cast<int>(s[5] >= 0 ? (s[5] + n / 2) / n : -((-s[5] + n / 2) / n));
        }
    }
    return book;
}

std::vector<uint8_t> CinepakEncoder::Encode(const uint8_t* rgb, bool& key) {
    key = frame_ % options_.keyInterval == 0;
    ++frame_;
    ToYuv(rgb);
    std::vector<uint8_t> out(12, 0);  // the frame header and the two bytes FILM keeps after it
    for (const Strip& s : strips_) {
        EncodeStrip(s, key, out);
    }
    const size_t length = out.size() - 2;  // the Cinepak frame without FILM's two bytes
    out[0] = 0;
    out[1] = static_cast<uint8_t>(length >> 16);
    Put16(out, 2, static_cast<uint32_t>(length & 0xFFFF));
    Put16(out, 4, static_cast<uint32_t>(width_));
    Put16(out, 6, static_cast<uint32_t>(height_));
    Put16(out, 8, static_cast<uint32_t>(strips_.size()));
    return out;
}

void CinepakEncoder::EncodeStrip(const Strip& strip, bool key, std::vector<uint8_t>& out) {
    const int qw = width_ / 2;
    const int bw = width_ / 4;
    const int bh = strip.rows / 4;
    // Quadrant q of block (bx, by) in the picture now and in the one the decoder holds.
    const auto place = [&](int bx, int by, int q) {
        const int qx = bx * 2 + q % 2;
        const int qy = (strip.top / 2) + by * 2 + q / 2;
        return static_cast<size_t>(qy) * static_cast<size_t>(qw) + static_cast<size_t>(qx);
    };
    const auto quad = [&](int bx, int by, int q) -> Entry& { return now_[place(bx, by, q)]; };
    const auto heldQuad = [&](int bx, int by, int q) -> Entry& { return held_[place(bx, by, q)]; };
    // What a V1 entry paints in quadrant q: flat at that quadrant's brightness.
    const auto painted = [](const Entry& w, int q) {
        return Entry{{w.y[q], w.y[q], w.y[q], w.y[q]}, w.u, w.v};
    };
    // Which blocks are coded: all of a key frame's; of another, those that changed.
    const size_t blocks = static_cast<size_t>(bw) * static_cast<size_t>(bh);
    std::vector<char> coded(blocks, 1);
    std::vector<Entry> v4, v1;
    std::vector<Entry> halved(blocks);
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            const size_t b =
                static_cast<size_t>(by) * static_cast<size_t>(bw) + static_cast<size_t>(bx);
            if (!key) {
                long change = 0;
                for (int q = 0; q < 4; ++q) {
                    change += Distance(quad(bx, by, q), heldQuad(bx, by, q));
                }
                coded[b] = change > skipLimit_;
            }
            // The block at half size: each quadrant's mean brightness, the mean colour.
            Entry& h = halved[b];
            int u = 0, v = 0;
            for (int q = 0; q < 4; ++q) {
                const Entry& e = quad(bx, by, q);
                h.y[q] = (e.y[0] + e.y[1] + e.y[2] + e.y[3] + 2) / 4;
                u += e.u;
                v += e.v;
            }
            h.u = (u + (u >= 0 ? 2 : -2)) / 4;
            h.v = (v + (v >= 0 ? 2 : -2)) / 4;
            if (coded[b]) {
                v1.push_back(h);
                for (int q = 0; q < 4; ++q) {
                    v4.push_back(quad(bx, by, q));
                }
            }
        }
    }
    const std::vector<Entry> book4 = Quantise(v4, kMaxEntries);
    const std::vector<Entry> book1 = Quantise(v1, kMaxEntries);
    // Each coded block as V1 or V4, whichever costs less; the entries used, in order of use.
    struct Choice {
        bool four;
        int index[4];
    };
    std::vector<Choice> choices(blocks);
    std::vector<int> map4(book4.size(), -1), map1(book1.size(), -1);
    std::vector<Entry> used4, used1;
    bool anyFour = false;
    for (size_t b = 0; b < blocks; ++b) {
        if (!coded[b]) {
            continue;
        }
        const int bx = static_cast<int>(b % static_cast<size_t>(bw));
        const int by = static_cast<int>(b / static_cast<size_t>(bw));
        Choice& c = choices[b];
        long error1 = 0;
        const int i1 = Nearest(book1, halved[b], error1);
        const Entry& w = book1[static_cast<size_t>(i1)];
        long flat = 0;
        for (int q = 0; q < 4; ++q) {
            flat += Distance(quad(bx, by, q), painted(w, q));
        }
        long error4 = 0;
        int i4[4];
        for (int q = 0; q < 4; ++q) {
            long e = 0;
            i4[q] = Nearest(book4, quad(bx, by, q), e);
            error4 += e;
        }
        c.four = error4 + lambda_ * kV4Bits < flat + lambda_ * kV1Bits;
        anyFour = anyFour || c.four;
        if (c.four) {
            for (int q = 0; q < 4; ++q) {
                int& m = map4[static_cast<size_t>(i4[q])];
                if (m < 0) {
                    m = static_cast<int>(used4.size());
                    used4.push_back(book4[static_cast<size_t>(i4[q])]);
                }
                c.index[q] = m;
                heldQuad(bx, by, q) = book4[static_cast<size_t>(i4[q])];
            }
        } else {
            int& m = map1[static_cast<size_t>(i1)];
            if (m < 0) {
                m = static_cast<int>(used1.size());
                used1.push_back(book1[static_cast<size_t>(i1)]);
            }
            c.index[0] = m;
            for (int q = 0; q < 4; ++q) {
                heldQuad(bx, by, q) = painted(w, q);
            }
        }
    }
    // The strip: its header, the codebooks that are used (never an empty one), the blocks.
    const size_t start = out.size();
    Append16(out, key ? 0x1000 : 0x1100);
    Append16(out, 0);  // its size, below
    Append16(out, 0);
    Append16(out, 0);
    Append16(out, static_cast<uint32_t>(strip.rows));
    Append16(out, static_cast<uint32_t>(width_));
    const auto codebook = [&](uint32_t id, const std::vector<Entry>& book) {
        if (book.empty()) {
            return;
        }
        Append16(out, id);
        Append16(out, static_cast<uint32_t>(4 + 6 * book.size()));
        for (const Entry& e : book) {
            for (int k = 0; k < 4; ++k) {
                out.push_back(static_cast<uint8_t>(std::clamp(e.y[k], 0, 255)));
            }
            out.push_back(static_cast<uint8_t>(static_cast<int8_t>(std::clamp(e.u, -128, 127))));
            out.push_back(static_cast<uint8_t>(static_cast<int8_t>(std::clamp(e.v, -128, 127))));
        }
    };
    codebook(0x2000, used4);
    codebook(0x2200, used1);
    const size_t vectors = out.size();
    Append16(out, key ? (anyFour ? 0x3000 : 0x3200) : 0x3100);
    Append16(out, 0);
    Flags flags(out);
    for (size_t b = 0; b < blocks; ++b) {
        if (!key) {
            flags.Put(coded[b] != 0);
            if (!coded[b]) {
                continue;
            }
        }
        const Choice& c = choices[b];
        if (key ? anyFour : true) {
            flags.Put(c.four);
        }
        if (c.four) {
            for (int q = 0; q < 4; ++q) {
                out.push_back(static_cast<uint8_t>(c.index[q]));
            }
        } else {
            out.push_back(static_cast<uint8_t>(c.index[0]));
        }
    }
    Put16(out, vectors + 2, static_cast<uint32_t>(out.size() - vectors));
    Put16(out, start + 2, static_cast<uint32_t>(out.size() - start));
}

}  // namespace lunavue
