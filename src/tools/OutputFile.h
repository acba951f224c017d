// A file the command line writes: written to a temporary file beside it and renamed into
// place only when everything was written, so that a command that fails leaves no file and
// nothing half-written.
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

    bool Open(const std::string& path);
    bool Write(const void* data, size_t size);
    // Finishes the file and puts it in place; false (and no file) when anything failed.
    bool Commit();
    FILE* Stream() { return file_; }

  private:
    void Discard();

    std::string path_;
    std::string temporary_;
    FILE* file_ = nullptr;
    bool ok_ = false;
};

}  // namespace lunavue
