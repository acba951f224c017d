// Where each of the last movies played was left, so that opening one again goes on from
// there. A movie left near its start or its end has no point kept (it is forgotten: the
// next open starts at the beginning). The points live in a file of their own beside the
// settings, the most recent first, at most kKept; a file that cannot be read is taken as
// empty and one that cannot be written leaves the points in memory for this run.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace lunavue {

class ResumePoints {
  public:
    static constexpr size_t kKept = 200;
    static constexpr uint32_t kMarginMs = 5000;  // nearer the start or the end: not kept
    static constexpr size_t kLongestName = 4096;

    // file: where the points are kept; empty keeps them in memory only.
    explicit ResumePoints(std::string file = {});

    std::optional<uint32_t> Find(const std::string& movie) const;
    // The movie was left at ms of its durationMs; written to the file at once.
    void Leave(const std::string& movie, uint32_t ms, uint32_t durationMs);
    size_t Size() const { return points_.size(); }

  private:
    void Load();
    bool Save() const;

    std::string file_;
    std::deque<std::pair<std::string, uint32_t>> points_;  // the most recent first
};

}  // namespace lunavue
