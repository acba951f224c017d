#include "platform/profile/Settings.h"

#include <sys/stat.h>
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

namespace {

// The user's own settings folder ($XDG_CONFIG_HOME/lunavue or ~/.config/lunavue), made when
// missing; empty when there is no home to put it in.
std::string UserConfigFolder() {
    std::string base;
    if (const char* config = getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        base = config;
    } else if (const char* home = getenv("HOME"); home != nullptr && *home == '/') {
        base = std::string(home) + "/.config";
        mkdir(base.c_str(), 0700);
    } else {
        return {};
    }
    const std::string folder = base + "/lunavue";
    mkdir(folder.c_str(), 0700);
    return folder;
}

}  // namespace

std::string ChooseSettingsPath(const std::string& exePath, const char* envOverride) {
    if (envOverride != nullptr && *envOverride != '\0') {
        return envOverride;
    }
    size_t slash = exePath.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t n = exePath.size();
    std::string beside = n >= nameStart + 4 && exePath[n - 4] == '.'
                             ? exePath.substr(0, n - 3) + "ini"
                             : exePath + ".ini";
    // An installed program lives in a folder its users cannot write (/usr/bin): its
    // settings would never be kept there, so they go to the user's own settings folder.
    const std::string folder = nameStart == 0 ? "." : exePath.substr(0, nameStart);
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0 && access(folder.c_str(), W_OK) != 0 &&
        access(beside.c_str(), W_OK) != 0) {
        if (const std::string own = UserConfigFolder(); !own.empty()) {
            return own + "/lunavue.ini";
        }
    }
    return beside;
}

std::string ResumeFileBeside(const std::string& settingsPath) {
    const size_t n = settingsPath.size();
    const bool ini = n >= 4 && settingsPath.compare(n - 4, 4, ".ini") == 0;
    return (ini ? settingsPath.substr(0, n - 4) : settingsPath) + ".resume";
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
