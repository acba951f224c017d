#include "playback/ResumePoints.h"

#include <cstdio>
#include <fstream>

namespace lunavue {
namespace {

// One point a line: the milliseconds, a tab, the name with '%', tab, CR and LF written as
// %25, %09, %0D, %0A (a name may hold any byte but NUL).
std::string Escape(const std::string& name) {
    std::string out;
    for (const char c : name) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\t':
                out += "%09";
                break;
            case '\r':
                out += "%0D";
                break;
            case '\n':
                out += "%0A";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const std::string code = text.substr(i + 1, 2);
        if (code == "25") {
            out += '%';
        } else if (code == "09") {
            out += '\t';
        } else if (code == "0D") {
            out += '\r';
        } else if (code == "0A") {
            out += '\n';
        } else {
            return std::nullopt;
        }
        i += 2;
    }
    return out;
}

}  // namespace

ResumePoints::ResumePoints(std::string file) : file_(std::move(file)) {
    Load();
}

std::optional<uint32_t> ResumePoints::Find(const std::string& movie) const {
    for (const auto& [name, ms] : points_) {
        if (name == movie) {
            return ms;
        }
    }
    return std::nullopt;
}

void ResumePoints::Leave(const std::string& movie, uint32_t ms, uint32_t durationMs) {
    for (auto it = points_.begin(); it != points_.end(); ++it) {
        if (it->first == movie) {
            points_.erase(it);
            break;
        }
    }
    const bool midway = ms >= kMarginMs && durationMs > kMarginMs && ms < durationMs - kMarginMs;
    if (midway && !movie.empty() && movie.size() <= kLongestName) {
        points_.emplace_front(movie, ms);
        if (points_.size() > kKept) {
            points_.pop_back();
        }
    }
    Save();
}

void ResumePoints::Load() {
    if (file_.empty()) {
        return;
    }
    std::ifstream in(file_, std::ios::binary);
    std::string line;
    while (points_.size() < kKept && std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string::npos || tab > 10 ||
            line.find_first_not_of("0123456789") != tab) {
            continue;  // not a point: passed over
        }
        const unsigned long long ms = std::stoull(line.substr(0, tab));
        std::optional<std::string> name = Unescape(line.substr(tab + 1));
        if (ms <= UINT32_MAX && name && !name->empty() && name->size() <= kLongestName &&
            !Find(*name)) {
            points_.emplace_back(std::move(*name), static_cast<uint32_t>(ms));
        }
    }
}

// Written whole to a file beside it, then renamed over it: never a torn file.
bool ResumePoints::Save() const {
    if (file_.empty()) {
        return true;
    }
    const std::string temporary = file_ + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const auto& [name, ms] : points_) {
            out << ms << '\t' << Escape(name) << '\n';
        }
        if (!out.flush()) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    return std::rename(temporary.c_str(), file_.c_str()) == 0;
}

}  // namespace lunavue
