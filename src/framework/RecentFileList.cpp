#include "framework/RecentFileList.h"

#include <algorithm>
#include <cstdio>

#include "platform/profile/Settings.h"

namespace lunavue {
namespace {
std::string KeyName(int i) {
    char key[16];
    std::snprintf(key, sizeof key, settings::kRecentKeyFormat, i + 1);
    return key;
}

// Counts characters, not bytes, so that a UTF-8 name is never cut inside a character.
size_t CharCount(const std::string& s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The first n characters of s.
std::string FirstChars(const std::string& s, size_t n) {
    size_t i = 0;
    for (size_t seen = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (seen == n) {
                break;
            }
            ++seen;
        }
    }
    return s.substr(0, i);
}
}  // namespace

void RecentFileList::Add(const std::string& path) {
    if (path.find_first_of("\r\n") != std::string::npos) {
        return;  // a name that cannot be stored in one line of the settings file
    }
    auto it = std::find(entries_.begin(), entries_.end(), path);
    if (it != entries_.end()) {
        entries_.erase(it);
    }
    entries_.insert(entries_.begin(), path);
    if (entries_.size() > kSize) {
        entries_.resize(kSize);
    }
}

void RecentFileList::Remove(int index) {
    if (index >= 0 && index < static_cast<int>(entries_.size())) {
        entries_.erase(entries_.begin() + index);
    }
}

void RecentFileList::Load(const profile::ProfileFile& file) {
    entries_.clear();
    for (int i = 0; i < kSize; ++i) {
        auto value = file.ReadString(settings::kRecentSection, KeyName(i));
        if (value && !value->empty()) {
            entries_.push_back(*value);
        }
    }
}

void RecentFileList::Save(profile::ProfileFile& file) const {
    file.EraseSection(settings::kRecentSection);
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].empty()) {
            file.WriteString(settings::kRecentSection, KeyName(static_cast<int>(i)), entries_[i]);
        }
    }
}

std::string RecentFileList::ShortName(const std::string& path, size_t maxChars) {
    if (CharCount(path) <= maxChars) {
        return path;
    }
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string dots = "...";
    if (CharCount(name) + dots.size() + 1 > maxChars) {
        // Even the name alone is too long: keep its start.
        return FirstChars(name, maxChars);
    }
    // Keep the head of the folder part up to a folder boundary that still fits.
    std::string folder = path.substr(0, slash);
    size_t room = maxChars - CharCount(name) - dots.size() - 1;
    std::string head = FirstChars(folder, room);
    size_t cut = head.rfind('/');
    head = cut == std::string::npos ? std::string() : head.substr(0, cut + 1);
    if (head.empty()) {
        return dots + "/" + name;
    }
    return head + dots + "/" + name;
}

}  // namespace lunavue
