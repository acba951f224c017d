#include "display/PreviewSource.h"

#include <QMetaObject>
#include <vector>

#include "movie/MovieClock.h"
#include "movie/MovieReader.h"
#include "platform/Formats.h"

namespace lunavue {

struct PreviewSource::Open {
    std::string path;
    uint64_t generation = 0;
    MovieReader reader;
    MovieClock clock;
    std::vector<uint8_t> picture;
    std::vector<uint8_t> sound;
    int width = 0;
    int height = 0;
    bool usable = false;
};

PreviewSource::PreviewSource(QObject* parent) : QObject(parent) {
    thread_ = std::thread([this] { Run(); });
}

PreviewSource::~PreviewSource() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PreviewSource::SetMovie(const std::string& path) {
    std::lock_guard<std::mutex> hold(lock_);
    if (path != path_) {
        path_ = path;
        ++generation_;
        ms_.reset();
    }
}

void PreviewSource::Ask(uint32_t ms) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        ms_ = ms;
    }
    wake_.notify_one();
}

void PreviewSource::Run() {
    for (;;) {
        uint32_t ms = 0;
        std::string path;
        uint64_t generation = 0;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [this] { return stop_ || ms_.has_value(); });
            if (stop_) {
                return;
            }
            ms = *ms_;
            ms_.reset();
            path = path_;
            generation = generation_;
        }
        if (!open_ || open_->generation != generation) {
            cache_.clear();
            open_ = std::make_unique<Open>();
            open_->path = path;
            open_->generation = generation;
            BITMAPINFOHEADER h{};
            if (!path.empty() && open_->reader.Open(path) &&
                MovieClock::Make(open_->reader, open_->clock) &&
                open_->reader.GetOutputFormat(&h) != 0 && h.biWidth > 0 && h.biHeight > 0) {
                open_->width = h.biWidth;
                open_->height = h.biHeight;
                open_->picture.resize(h.biSizeImage);
                open_->sound.resize(open_->reader.GetAudioChunkCapacity() + 1);
                open_->usable = true;
            }
        }
        const QImage picture = Decode(ms);
        QMetaObject::invokeMethod(
            this,
            [this, ms, picture, generation] {
                bool current = false;
                {
                    std::lock_guard<std::mutex> hold(lock_);
                    current = generation == generation_;
                }
                if (current) {
                    emit pictureReady(ms, picture);
                }
            },
            Qt::QueuedConnection);
    }
}

QImage PreviewSource::Decode(uint32_t ms) {
    Open& o = *open_;
    if (!o.usable) {
        return {};
    }
    const uint32_t frames = o.reader.GetVideoFrameCount();
    if (frames == 0) {
        return {};
    }
    uint32_t frame = o.clock.FrameAtSlot(o.clock.SlotAt(ms));
    frame = std::min(frame, frames - 1);
    const uint32_t key = o.reader.KeyFrameAtOrBefore(frame);
    frame = std::min(frame, key + kRunUp);
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->first == frame) {
            cache_.splice(cache_.begin(), cache_, it);
            return it->second;
        }
    }
    o.reader.SeekTo(key, 0);
    for (uint32_t f = key; f <= frame; ++f) {
        // The sound before each picture is taken out of the way; nothing plays it.
        while (o.reader.NextAudioChunk(o.sound.data()) != 0) {
        }
        if (o.reader.DecodeNextFrame(f == frame ? o.picture.data() : nullptr) == 0) {
            return {};
        }
    }
    // Bottom-up rows of blue, green, red, each padded to 4 bytes.
    const QImage bottomUp(o.picture.data(), o.width, o.height,
                          static_cast<qsizetype>(PictureStride(static_cast<uint32_t>(o.width))),
                          QImage::Format_BGR888);
    QImage picture = bottomUp.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
    cache_.emplace_front(frame, picture);
    if (cache_.size() > kCached) {
        cache_.pop_back();
    }
    return picture;
}

}  // namespace lunavue
