#include "platform/profile/Settings.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace lunavue {
namespace {
std::unique_ptr<profile::ProfileFile>& Current() {
    static std::unique_ptr<profile::ProfileFile> file;
    return file;
}
}  // namespace

std::string ChooseSettingsPath(const std::string& exePath, const char* envOverride) {
    if (envOverride != nullptr && *envOverride != '\0') {
        return envOverride;
    }
    size_t slash = exePath.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t n = exePath.size();
    if (n >= nameStart + 4 && exePath[n - 4] == '.') {
        return exePath.substr(0, n - 3) + "ini";
    }
    return exePath + ".ini";
}

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        return "lunavue";
    }
    return std::string(buf.data(), static_cast<size_t>(n));
}

void SetSettingsFile(const std::string& path) {
    Current() = std::make_unique<profile::ProfileFile>(path);
}

profile::ProfileFile& SettingsFile() {
    if (!Current()) {
        SetSettingsFile(ChooseSettingsPath(ExecutablePath(), getenv("LUNAVUE_INI")));
    }
    return *Current();
}

int ReadSetting(const SettingKey& k) {
    return ReadSetting(k, k.def);
}

int ReadSetting(const SettingKey& k, int def) {
    const auto text = SettingsFile().ReadString(k.section, k.key);
    const auto value = text ? profile::ParseProfileInt(*text) : std::nullopt;
    if (!value) {
        return def;
    }
    return std::clamp(*value, k.min, k.max);
}

void WriteSetting(const SettingKey& k, int value) {
    (void)SettingsFile().WriteInt(k.section, k.key, value);
}

bool FlushSettings() {
    // A settings file that cannot be written is not reported; the values are simply not kept.
    return SettingsFile().Flush();
}

}  // namespace lunavue
