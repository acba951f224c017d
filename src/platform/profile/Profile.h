// An INI settings file with the semantics of the classic private-profile functions.
//
// Sections are "[name]" lines; entries are "key=value" lines below them. Section and key
// names match without regard to (ASCII) case, and the first of duplicate sections or keys
// wins. Every read goes to the file as it is on disk now; every write re-reads the file,
// changes the one line concerned and replaces the whole file atomically (a temporary file
// beside it, renamed over it), so other lines, comments and junk survive untouched and a
// crash never leaves a torn file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lunavue::profile {

class ProfileFile {
  public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // The value text of section/key with surrounding blanks removed, or nothing when absent.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;

    // The value as a signed decimal integer: leading blanks skipped, an optional sign, then
    // digits up to the first other character. An absent key, or a value that starts with no
    // digit at all, reads as `def`; a number beyond the 32-bit range saturates.
    int ReadInt(std::string_view section, std::string_view key, int def) const;

    // Sets section/key to value (replacing in place, or adding the key at the end of its
    // section, or the section at the end of the file). Returns false when the file could not
    // be written; the old file is then left exactly as it was.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);

    // Removes the section's header line and every line up to the next section.
    bool EraseSection(std::string_view section);

  private:
    std::string path_;
};

// Parses an integer as ReadInt does; nothing when the text holds no leading number.
std::optional<int> ParseProfileInt(std::string_view text);

}  // namespace lunavue::profile
