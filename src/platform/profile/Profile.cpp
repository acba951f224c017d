#include "platform/profile/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/Posix.h"

namespace lunavue::profile {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

// One physical line of the file: its text without the line end, and the line end itself
// ("\n", "\r\n" or "" for a last line without one).
struct Line {
    std::string text;
    std::string end;
};

}  // namespace

struct ProfileFile::Document {
    std::vector<Line> lines;
    std::string newline = "\n";  // style for lines we add
};

namespace {
using Document = ProfileFile::Document;

Document Load(const std::string& path) {
    Document doc;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return doc;
    }
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    bool styleSet = false;
    while (pos < all.size()) {
        size_t nl = all.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = all.substr(pos);
            pos = all.size();
        } else {
            size_t textEnd = nl;
            if (textEnd > pos && all[textEnd - 1] == '\r') {
                --textEnd;
                line.end = "\r\n";
            } else {
                line.end = "\n";
            }
            line.text = all.substr(pos, textEnd - pos);
            pos = nl + 1;
            if (!styleSet) {
                doc.newline = line.end;
                styleSet = true;
            }
        }
        doc.lines.push_back(std::move(line));
    }
    return doc;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view text) {
    std::string_view t = Trim(text);
    if (t.empty() || t.front() != '[') {
        return std::nullopt;
    }
    t.remove_prefix(1);
    size_t close = t.find(']');
    if (close != std::string_view::npos) {
        t = t.substr(0, close);
    }
    return Trim(t);
}

// Splits a "key=value" line; nothing for a line without '='.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view text) {
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return std::make_pair(Trim(text.substr(0, eq)), Trim(text.substr(eq + 1)));
}

// Where a section lies: the index of its header line and one past its last line.
struct SectionSpan {
    size_t header;
    size_t end;
};

std::optional<SectionSpan> FindSection(const Document& doc, std::string_view section) {
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        auto name = SectionName(doc.lines[i].text);
        if (name && SameName(*name, section)) {
            size_t j = i + 1;
            while (j < doc.lines.size() && !SectionName(doc.lines[j].text)) {
                ++j;
            }
            return SectionSpan{i, j};
        }
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const Document& doc, const SectionSpan& span, std::string_view key) {
    for (size_t i = span.header + 1; i < span.end; ++i) {
        auto kv = KeyValue(doc.lines[i].text);
        if (kv && SameName(kv->first, key)) {
            return i;
        }
    }
    return std::nullopt;
}

// Where the file's bytes really live: the target of a symbolic link (followed to the end),
// or the path itself.
std::string RealTarget(const std::string& path) {
    std::vector<char> buf(PATH_MAX + 1);
    if (realpath(path.c_str(), buf.data()) != nullptr) {
        return buf.data();
    }
    return path;  // no file yet (or a dangling link's folder is missing): the path itself
}

bool Save(const std::string& linkPath, const Document& doc) {
    const std::string path = RealTarget(linkPath);
    // A file its owner made read-only is not replaced behind their back.
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) {
        return false;
    }
    std::string data;
    for (const Line& line : doc.lines) {
        data += line.text;
        data += line.end;
    }
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    // Keep the permissions of the file we replace (or the usual ones for a new file).
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        const ssize_t n =
            RetryOnInterrupt([&] { return write(fd, data.data() + done, data.size() - done); });
        if (n < 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && fsync(fd) != 0) {
        ok = false;
    }
    if (close(fd) != 0) {
        ok = false;
    }
    if (ok && rename(name.data(), path.c_str()) != 0) {
        ok = false;
    }
    if (!ok) {
        unlink(name.data());
    }
    return ok;
}

}  // namespace

std::optional<int> ParseProfileInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
        return std::nullopt;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {}

ProfileFile::~ProfileFile() {
    delete doc_;
}

ProfileFile::Document& ProfileFile::Lines() const {
    if (doc_ == nullptr) {
        doc_ = new Document(Load(path_));
    }
    return *doc_;
}

std::optional<std::string> ProfileFile::ReadString(std::string_view section,
                                                   std::string_view key) const {
    const Document& doc = Lines();
    auto span = FindSection(doc, section);
    if (!span) {
        return std::nullopt;
    }
    auto line = FindKey(doc, *span, key);
    if (!line) {
        return std::nullopt;
    }
    return std::string(KeyValue(doc.lines[*line].text)->second);
}

int ProfileFile::ReadInt(std::string_view section, std::string_view key, int def) const {
    auto text = ReadString(section, key);
    if (!text) {
        return def;
    }
    return ParseProfileInt(*text).value_or(def);
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    // A line break would end the line early and inject whatever follows as lines of its own.
    for (std::string_view part : {section, key, value}) {
        if (part.find_first_of("\r\n") != std::string_view::npos) {
            return false;
        }
    }
    Document& doc = Lines();
    dirty_ = true;
    std::string entry;
    entry.reserve(key.size() + 1 + value.size());
    entry.append(key).append("=").append(value);
    auto span = FindSection(doc, section);
    if (!span) {
        if (!doc.lines.empty() && doc.lines.back().end.empty()) {
            doc.lines.back().end = doc.newline;
        }
        std::string header;
        header.reserve(section.size() + 2);
        header.append("[").append(section).append("]");
        doc.lines.push_back({std::move(header), doc.newline});
        doc.lines.push_back({std::move(entry), doc.newline});
        return true;
    }
    if (auto line = FindKey(doc, *span, key)) {
        doc.lines[*line].text = std::move(entry);
        return true;
    }
    // A new key goes after the section's last non-blank line.
    size_t at = span->end;
    while (at > span->header + 1 && Trim(doc.lines[at - 1].text).empty()) {
        --at;
    }
    if (doc.lines[at - 1].end.empty()) {
        doc.lines[at - 1].end = doc.newline;
    }
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at),
                     Line{std::move(entry), doc.newline});
    return true;
}

bool ProfileFile::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

void ProfileFile::EraseSection(std::string_view section) {
    Document& doc = Lines();
    auto span = FindSection(doc, section);
    if (!span) {
        return;
    }
    dirty_ = true;
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(span->header),
                    doc.lines.begin() + static_cast<std::ptrdiff_t>(span->end));
}

bool ProfileFile::Flush() {
    if (!dirty_) {
        return true;
    }
    dirty_ = false;
    return Save(path_, Lines());
}

}  // namespace lunavue::profile
