#include "app/DurationProbe.h"

#include <QFile>
#include <QMetaObject>

#include "movie/MovieClock.h"
#include "movie/MovieReader.h"

namespace lunavue {
namespace {

uint32_t LengthOf(const std::string& path) {
    MovieReader reader;
    MovieClock clock;
    if (!reader.Open(path) || !MovieClock::Make(reader, clock)) {
        return DurationProbe::kUnknown;
    }
    return clock.DurationMs();
}

}  // namespace

DurationProbe::DurationProbe(QObject* parent) : QObject(parent) {
    thread_ = std::thread([this] { Run(); });
}

DurationProbe::~DurationProbe() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

std::optional<uint32_t> DurationProbe::Length(const std::string& path) {
    if (auto it = known_.find(path); it != known_.end()) {
        return it->second;
    }
    if (pending_.emplace(path, true).second) {
        std::lock_guard<std::mutex> hold(lock_);
        asked_.push_back(path);
        wake_.notify_one();
    }
    return std::nullopt;
}

void DurationProbe::Run() {
    for (;;) {
        std::string path;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [this] { return stop_ || !asked_.empty(); });
            if (stop_) {
                return;
            }
            path = std::move(asked_.front());
            asked_.pop_front();
        }
        const uint32_t ms = LengthOf(path);
        QMetaObject::invokeMethod(
            this,
            [this, path, ms] {
                known_[path] = ms;
                pending_.erase(path);
                emit found(QFile::decodeName(path.c_str()));
            },
            Qt::QueuedConnection);
    }
}

}  // namespace lunavue
