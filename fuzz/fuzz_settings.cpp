// Reads the fuzzer's bytes as a settings file, reads and changes a few keys, writes it
// back, and reads the result again: whatever the file holds, what was written reads back.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/profile/Profile.h"

namespace {
std::string Folder() {
    static std::string folder = [] {
        char name[] = "/tmp/fuzz-settings-XXXXXX";
        return std::string(mkdtemp(name));
    }();
    return folder;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Folder() + "/s.ini";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    {
        lunavue::profile::ProfileFile file(path);
        (void)file.ReadInt("Tovrin", "loop", 0);
        (void)file.ReadString("Recent File List", "File1");
        file.WriteInt("Tovrin", "WindowSize", -1);
        file.EraseSection("Recent File List");
        file.WriteString("Recent File List", "File1", "/m/a.cpk");
        file.Flush();
    }
    lunavue::profile::ProfileFile again(path);
    if (again.ReadInt("Tovrin", "WindowSize", 0) != -1 ||
        again.ReadString("Recent File List", "File1") != std::string("/m/a.cpk")) {
        std::abort();
    }
    return 0;
}
