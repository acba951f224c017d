#include "tools/OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace lunavue {
namespace {

// The name of the temporary file being written, for the signal handler: a fixed buffer, as
// nothing else may be touched there.
char g_temporary[PATH_MAX + 1] = {};

void RemoveAndEnd(int signal) {
    if (g_temporary[0] != '\0') {
        unlink(g_temporary);
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// A short name no other file is likely to have, in the folder.
std::string TemporaryName(const std::string& folder) {
    static std::mt19937 random{std::random_device{}()};
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = folder + "/.cpktool-";
    for (int i = 0; i < 8; ++i) {
        name += kLetters[random() % (sizeof kLetters - 1)];
    }
    return name;
}

// What a path names through its links: the file linked to, also one not made yet.
std::string LinkTarget(const std::string& path) {
    char resolved[PATH_MAX + 1];
    if (realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    std::string p = path;
    for (int depth = 0; depth < 40; ++depth) {
        char link[PATH_MAX + 1];
        const ssize_t n = readlink(p.c_str(), link, PATH_MAX);
        if (n <= 0) {
            break;
        }
        const std::string to(link, static_cast<size_t>(n));
        const size_t slash = p.rfind('/');
        p = to[0] == '/' || slash == std::string::npos ? to : p.substr(0, slash + 1) + to;
    }
    return p;
}

}  // namespace

void OutputFile::RemoveTemporariesOnSignals() {
    struct sigaction sa {};
    sa.sa_handler = RemoveAndEnd;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(s, &sa, nullptr);
    }
}

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Open(const std::string& path, const std::string& input, std::string& why,
                      Existing existing) {
    Discard();
    if (path == "-") {
        return OpenDirect("/dev/stdout", why);
    }
    const std::string target = LinkTarget(path);
    struct stat out {};
    if (stat(target.c_str(), &out) != 0) {
        return OpenBeside(target, why);  // a new file
    }
    struct stat in {};
    if (stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
        why = "the output is the movie itself";
        return false;
    }
    if (!S_ISREG(out.st_mode)) {
        return OpenDirect(target, why);  // a pipe, a device
    }
    // Read-only for everybody counts, even for an account the system would let write it.
    if ((out.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0) {
        why = "the output is read-only";
        return false;
    }
    if (existing == Existing::kWrittenInPlace) {
        return OpenDirect(target, why, O_TRUNC);
    }
    return OpenBeside(target, why);
}

bool OutputFile::OpenDirect(const std::string& path, std::string& why, int flags) {
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC | flags);
    if (fd_ < 0) {
        why = std::strerror(errno);
        return false;
    }
    seekable_ = lseek(fd_, 0, SEEK_CUR) >= 0;
    file_ = fdopen(fd_, "wb");
    ok_ = file_ != nullptr;
    return ok_;
}

// A file without a name in the target's folder, given one only when it is whole; where the
// file system has no such files, one with a short name of its own. An existing file's
// permissions are kept; a new one gets those a new file would get.
bool OutputFile::OpenBeside(const std::string& target, std::string& why) {
    const size_t slash = target.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    struct stat st {};
    const mode_t mask = umask(0);
    umask(mask);
    const mode_t mode = stat(target.c_str(), &st) == 0 ? st.st_mode & 07777 : 0666 & ~mask;
    fd_ = open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    nameless_ = fd_ >= 0;
    for (int attempt = 0; fd_ < 0 && attempt < 10; ++attempt) {
        temporary_ = TemporaryName(folder_);
        fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd_ < 0) {
        why = std::strerror(errno);
        temporary_.clear();
        return false;
    }
    if (!nameless_) {
        std::snprintf(g_temporary, sizeof g_temporary, "%s", temporary_.c_str());
    }
    fchmod(fd_, mode);
    target_ = target;
    file_ = fdopen(fd_, "wb");
    ok_ = file_ != nullptr;
    return ok_;
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
    const bool flushed = std::fflush(file_) == 0 && (target_.empty() || fsync(fd_) == 0);
    bool placed = ok_ && flushed;
    if (placed && !target_.empty()) {
        if (nameless_) {
            // A name beside the target, then the target's own, in one step.
            temporary_ = TemporaryName(folder_);
            const std::string self = "/proc/self/fd/" + std::to_string(fd_);
            placed = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary_.c_str(),
                            AT_SYMLINK_FOLLOW) == 0;
            if (placed) {
                std::snprintf(g_temporary, sizeof g_temporary, "%s", temporary_.c_str());
            } else {
                temporary_.clear();
            }
        }
        placed = placed && std::rename(temporary_.c_str(), target_.c_str()) == 0;
        if (placed) {
            temporary_.clear();
            g_temporary[0] = '\0';
        }
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    fd_ = -1;
    if (placed && closed) {
        return true;
    }
    Discard();
    return false;
}

void OutputFile::Discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        unlink(temporary_.c_str());
        temporary_.clear();
    }
    g_temporary[0] = '\0';
    target_.clear();
    ok_ = false;
    nameless_ = false;
    seekable_ = true;
}

}  // namespace lunavue
