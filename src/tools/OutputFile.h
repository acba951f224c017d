// A file the command line writes. A regular file is written to a nameless file beside it
// and put in place only when everything was written, so that a command that fails or is
// interrupted leaves no file and nothing half-written, and the file keeps its permissions.
// Through a link, the file linked to is written. A pipe, a device or "-" (standard output)
// is written directly. The movie being read is never written over. A file that must stay the
// same file (a thumbnail host keeps the one it made open and reads it back through that
// handle) is written in place instead: truncated, then written.
#pragma once

#include <cstdio>
#include <string>

namespace lunavue {

class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();  // an output never committed is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    enum class Existing { kReplaced, kWrittenInPlace };
    // Opens the output for what is read from input; false with the reason in why (the
    // movie itself, a read-only file, a folder that cannot be written). An existing regular
    // file is replaced whole at Commit, or, asked so, written in place.
    bool Open(const std::string& path, const std::string& input, std::string& why,
              Existing existing = Existing::kReplaced);
    bool Write(const void* data, size_t size);
    // Whether the output can be gone back over (a pipe cannot).
    bool Seekable() const { return seekable_; }
    // Finishes the file and puts it in place; false (and no file) when anything failed.
    bool Commit();
    FILE* Stream() { return file_; }

    // Removes, on SIGINT, SIGTERM and SIGHUP, a temporary file of an output being written.
    static void RemoveTemporariesOnSignals();

  private:
    bool OpenDirect(const std::string& path, std::string& why, int flags = 0);
    bool OpenBeside(const std::string& target, std::string& why);
    void Discard();

    std::string target_;  // the file put in place at Commit; empty when written directly
    std::string folder_;
    int fd_ = -1;
    FILE* file_ = nullptr;
    bool ok_ = false;
    bool seekable_ = true;
    bool nameless_ = false;  // the temporary file has no name yet
    std::string temporary_;  // its name, where the system has no nameless files
};

}  // namespace lunavue
