// An INI settings file with the semantics of the classic private-profile functions.
//
// Sections are "[name]" lines; entries are "key=value" lines below them. Section and key
// names match without regard to (ASCII) case, and the first of duplicate sections or keys
// wins. The file is read once, when it is first needed; reads and writes then work on the
// lines in memory, and Flush writes them back once, replacing the whole file atomically (a
// temporary file beside it, renamed over it), so other lines, comments and junk survive
// untouched and a crash never leaves a torn file. A symbolic link is written through to
// its target; a file without write permission is left alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lunavue::profile {

class ProfileFile {
  public:
    explicit ProfileFile(std::string path);
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    const std::string& Path() const { return path_; }

    // The value text of section/key with surrounding blanks removed, or nothing when absent.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;

    // The value as a signed decimal integer: leading blanks skipped, an optional sign, then
    // digits up to the first other character. An absent key, or a value that starts with no
    // digit at all, reads as `def`; a number beyond the 32-bit range saturates.
    int ReadInt(std::string_view section, std::string_view key, int def) const;

    // Sets section/key to value (replacing in place, or adding the key at the end of its
    // section, or the section at the end of the file). False, and nothing changed, for a
    // name or value that cannot be stored in one line.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);

    // Removes the section's header line and every line up to the next section.
    void EraseSection(std::string_view section);

    // Writes what was changed since the file was read. True when there was nothing to
    // write or it was written; false when it could not be (the old file is then left
    // exactly as it was, and no temporary file is left behind).
    bool Flush();

    struct Document;  // the file's lines, as read

  private:
    Document& Lines() const;

    std::string path_;
    mutable Document* doc_ = nullptr;  // the file's lines, read on first use
    bool dirty_ = false;
};

// Parses an integer as ReadInt does; nothing when the text holds no leading number.
std::optional<int> ParseProfileInt(std::string_view text);

}  // namespace lunavue::profile
