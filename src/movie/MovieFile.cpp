#include "movie/MovieFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Posix.h"

namespace lunavue {

MovieFile::Status MovieFile::Open(const std::string& path) {
    Close();
    // Never blocks: a pipe or a device in the queue is refused, not waited on.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error_ = errno;
        return Status::kCannotOpen;
    }
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return Status::kNotRegularFile;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return Status::kOpen;
}

void MovieFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    size_ = 0;
}

size_t MovieFile::ReadAt(uint64_t position, uint8_t* dst, size_t count) const {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = RetryOnInterrupt([&] {
            return ::pread(fd_, dst + done, count - done, static_cast<off_t>(position + done));
        });
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace lunavue
