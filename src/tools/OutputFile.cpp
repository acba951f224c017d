#include "tools/OutputFile.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace lunavue {

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path) {
    Discard();
    path_ = path;
    std::vector<char> name(path.begin(), path.end());
    const std::string suffix = ".partXXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    // The permissions a new file would get, not the temporary file's private ones.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    temporary_ = name.data();
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        close(fd);
        unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    ok_ = true;
    return true;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (size != 0 && (file_ == nullptr || std::fwrite(data, 1, size, file_) != size)) {
        ok_ = false;
    }
    return ok_;
}

bool OutputFile::Commit() {
    if (file_ == nullptr) {
        return false;
    }
    const bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (ok_ && flushed && closed && std::rename(temporary_.c_str(), path_.c_str()) == 0) {
        temporary_.clear();
        return true;
    }
    Discard();
    return false;
}

void OutputFile::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
    ok_ = false;
}

}  // namespace lunavue
