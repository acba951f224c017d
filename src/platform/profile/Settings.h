// The program's settings: where the settings file lives, the table of every integer key it
// holds, and the two functions through which every part reads and writes them.
#pragma once

#include <climits>
#include <map>
#include <string>
#include <string_view>

#include "platform/profile/Profile.h"

namespace lunavue {

// One row of the settings table: section, key, the value an absent key reads as, and the
// range a stored value is clamped to when it is read.
struct SettingKey {
    const char* section;
    const char* key;
    int def;
    int min = INT_MIN;
    int max = INT_MAX;
};

// Every integer setting of the program. The window position has no fixed default: the
// caller supplies the place the window system proposes.
namespace settings {
inline constexpr int kMaxPosition = 1 << 16;  // beyond any screen, within any size sum
inline constexpr SettingKey kXPosition{"Tovrin", "x_position", 0, -kMaxPosition, kMaxPosition};
inline constexpr SettingKey kYPosition{"Tovrin", "y_position", 0, -kMaxPosition, kMaxPosition};
inline constexpr SettingKey kLoop{"Tovrin", "loop", 0};
inline constexpr SettingKey kDirectDraw{"Tovrin", "DirectDraw", 0};
inline constexpr SettingKey kFullScreen{"Tovrin", "FullScreen", 0};
// 1, 2, 3 or -1 (Maximum); another factor is used as it is, up to kMaxSizeFactor.
inline constexpr int kMaxSizeFactor = 16;
inline constexpr SettingKey kWindowSize{"Tovrin", "WindowSize", 1, -1, kMaxSizeFactor};
inline constexpr SettingKey kAspectCorrect{"Marlux", "AspectCorrect", 0};
inline constexpr SettingKey kVolume{"Tovrin", "Volume", 100, 0, 100};  // percent
// The queue window's place and size; no place: the window system chooses.
inline constexpr SettingKey kQueueX{"Tovrin", "QueueX", INT_MIN, -kMaxPosition, kMaxPosition};
inline constexpr SettingKey kQueueY{"Tovrin", "QueueY", INT_MIN, -kMaxPosition, kMaxPosition};
inline constexpr SettingKey kQueueWidth{"Tovrin", "QueueWidth", 360, 160, kMaxPosition};
inline constexpr SettingKey kQueueHeight{"Tovrin", "QueueHeight", 300, 120, kMaxPosition};
// 1: a movie left midway opens where it was left (the points in a file beside the settings).
inline constexpr SettingKey kResume{"Tovrin", "Resume", 1, 0, 1};
inline constexpr SettingKey kType{"Tovrin", "type", 0};  // written only, always 1558
inline constexpr int kTypeMarker = 1558;
inline constexpr SettingKey kPreviewPages{"Settings", "PreviewPages", 0};
inline constexpr const char* kRecentSection = "Recent File List";
inline constexpr const char* kRecentKeyFormat = "File%d";
}  // namespace settings

// The settings file for an executable at exePath: $LUNAVUE_INI when that is set and not
// empty; otherwise the executable's path with its last three characters replaced by "ini"
// when its file name ends in a three-character extension, else with ".ini" appended; but
// when the executable's folder exists and the user cannot write there (an installed
// program), lunavue.ini in the user's own settings folder (~/.config/lunavue).
std::string ChooseSettingsPath(const std::string& exePath, const char* envOverride);

// The file of resume points beside a settings file: its name with ".ini" (if any) replaced
// by ".resume".
std::string ResumeFileBeside(const std::string& settingsPath);

// The full path of the running executable.
std::string ExecutablePath();

// Sets the file every later ReadSetting/WriteSetting uses. Called once at start-up.
void SetSettingsFile(const std::string& path);
profile::ProfileFile& SettingsFile();

// Reads a key: its default (or def) when absent, else the stored value clamped to the key's
// range.
int ReadSetting(const SettingKey& k);
int ReadSetting(const SettingKey& k, int def);
void WriteSetting(const SettingKey& k, int value);
// Writes what was changed back to the settings file, once, at exit.
bool FlushSettings();

// Integer settings as a part of the program reads and writes them, handed to it by its
// owner: the settings file in the program, a table in memory in tests and tools.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual int Read(const SettingKey& key) = 0;
    virtual void Write(const SettingKey& key, int value) = 0;
};

// The program's settings file.
class FileSettings : public SettingsStore {
  public:
    int Read(const SettingKey& key) override { return ReadSetting(key); }
    void Write(const SettingKey& key, int value) override { WriteSetting(key, value); }
};

// Settings that live only as long as the object: every key starts at its default.
class MemorySettings : public SettingsStore {
  public:
    int Read(const SettingKey& key) override {
        auto it = values_.find(Name(key));
        return it == values_.end() ? key.def : it->second;
    }
    void Write(const SettingKey& key, int value) override { values_[Name(key)] = value; }

  private:
    static std::string Name(const SettingKey& key) {
        return std::string(key.section) + "/" + key.key;
    }
    std::map<std::string, int> values_;
};

}  // namespace lunavue
