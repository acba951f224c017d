// The recent-file list: the six most recently opened movies, most recent first, kept in the
// settings file under "Recent File List" as File1 ... File6.
#pragma once

#include <string>
#include <vector>

#include "platform/profile/Profile.h"

namespace lunavue {

class RecentFileList {
  public:
    static constexpr int kSize = 6;

    // Adds path at the top; an entry for the same file leaves its old place, otherwise the
    // oldest entry drops off when the list is full. File names are case-sensitive here, so
    // two entries are the same file only when their paths are equal byte for byte.
    void Add(const std::string& path);
    void Remove(int index);
    const std::vector<std::string>& Entries() const { return entries_; }

    void Load(const profile::ProfileFile& file);
    // Erases the section, then writes each entry.
    void Save(profile::ProfileFile& file) const;

    // The menu text of an entry: the path shortened to at most maxChars characters, keeping
    // the file name and as much of the start of the path as fits ("/home/.../movie.cpk").
    static std::string ShortName(const std::string& path, size_t maxChars = 30);

  private:
    std::vector<std::string> entries_;
};

}  // namespace lunavue
