// A movie file open for reading: never blocks on a pipe or a device (they are refused), and
// reads with positioned reads, so that nothing ever has to reposition it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lunavue {

class MovieFile {
  public:
    MovieFile() = default;
    ~MovieFile() { Close(); }
    MovieFile(const MovieFile&) = delete;
    MovieFile& operator=(const MovieFile&) = delete;

    enum class Status { kOpen, kCannotOpen, kNotRegularFile };
    // Opens a regular file; on kCannotOpen, error() holds the system's error number.
    Status Open(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int error() const { return error_; }
    uint64_t Size() const { return size_; }

    // Reads up to count bytes at position; returns the bytes read (fewer at the end of the
    // file or on a read error).
    size_t ReadAt(uint64_t position, uint8_t* dst, size_t count) const;

  private:
    int fd_ = -1;
    int error_ = 0;
    uint64_t size_ = 0;
};

}  // namespace lunavue
