// .reg-syntax settings file: parser, formatter and atomic merged write-back.
#include "platform/registry_file.hpp"

#include "platform/paths.hpp"
#include "platform/small_file.hpp"
#include "platform/stop_signals.hpp"
#include "platform/text_utf.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads a quoted string with \\ and \" escapes starting at s[pos] == '"'.
// On success pos is just past the closing quote.
std::optional<std::string> ReadQuoted(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out.push_back(s[++i]);
        } else if (s[i] == '"') {
            pos = i + 1;
            return out;
        } else {
            out.push_back(s[i]);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ReadHexBytes(std::string_view s) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
            ++i;
        }
        if (i >= s.size()) {
            break;
        }
        if (i + 1 >= s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
            ++i;
        }
        if (i < s.size()) {
            if (s[i] != ',') {
                return std::nullopt;
            }
            ++i;
        }
    }
    return out;
}

std::vector<std::uint8_t> Utf16LeBytesWithNul(std::string_view utf8) {
    const std::u16string text = Utf8ToUtf16(utf8);
    std::vector<std::uint8_t> out;
    out.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

std::optional<RegValue> ReadValue(std::string_view s) {
    RegValue value;
    if (!s.empty() && s.front() == '"') {
        std::size_t pos = 0;
        auto text = ReadQuoted(s, pos);
        if (!text || !Trim(s.substr(pos)).empty()) {
            return std::nullopt;
        }
        value.type = kRegSz;
        value.data = Utf16LeBytesWithNul(*text);
        return value;
    }
    if (s.starts_with("dword:")) {
        const std::string_view digits = Trim(s.substr(6));
        if (digits.empty() || digits.size() > 8) {
            return std::nullopt;
        }
        std::uint32_t n = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                return std::nullopt;
            }
            n = n * 16 + static_cast<std::uint32_t>(d);
        }
        value.type = kRegDword;
        value.data = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                      static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
        return value;
    }
    std::size_t colon = std::string_view::npos;
    if (s.starts_with("hex:")) {
        value.type = kRegBinary;
        colon = 3;
    } else if (s.starts_with("hex(")) {
        const std::size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            return std::nullopt;
        }
        std::uint32_t type = 0;
        for (char c : s.substr(4, close - 4)) {
            const int d = HexDigit(c);
            if (d < 0) {
                return std::nullopt;
            }
            type = type * 16 + static_cast<std::uint32_t>(d);
        }
        value.type = type;
        colon = close + 1;
    } else {
        return std::nullopt;
    }
    auto bytes = ReadHexBytes(s.substr(colon + 1));
    if (!bytes) {
        return std::nullopt;
    }
    value.data = std::move(*bytes);
    return value;
}

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out;
}

// The text of a REG_SZ value when it can be written in the "text" form and
// read back to the same bytes; std::nullopt otherwise.
std::optional<std::string> PrintableString(const RegValue& value) {
    const auto& d = value.data;
    if (d.size() < 2 || d.size() % 2 != 0 || d[d.size() - 1] != 0 || d[d.size() - 2] != 0) {
        return std::nullopt;
    }
    std::u16string text;
    for (std::size_t i = 0; i + 2 < d.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(d[i] | (d[i + 1] << 8));
        if (c == 0 || c == u'\r' || c == u'\n') {
            return std::nullopt;
        }
        text.push_back(c);
    }
    std::string utf8 = Utf16ToUtf8(text);
    if (Utf8ToUtf16(utf8) != text) {
        return std::nullopt; // unpaired surrogates would not survive
    }
    return utf8;
}

std::string FormatHex(std::string prefix, const std::vector<std::uint8_t>& data,
                      std::string_view eol) {
    static const char* digits = "0123456789abcdef";
    std::string out = std::move(prefix);
    std::size_t lineLength = out.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out.push_back(',');
            ++lineLength;
            if (lineLength > 76) {
                out += '\\';
                out += eol;
                out += "  ";
                lineLength = 2;
            }
        }
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0xF]);
        lineLength += 2;
    }
    return out;
}

std::optional<std::string> ReadWholeFile(const std::string& path, bool& unreadable) {
    unreadable = false;
    // Only a regular file is a settings file: a FIFO put in its place would
    // block the program at start-up, and is never replaced by a save.
    std::string text;
    int error = 0;
    if (!ReadFileChunks(
            path,
            [&text](std::string_view chunk) {
                text.append(chunk);
                return true;
            },
            &error)) {
        unreadable = error != ENOENT;
        return std::nullopt;
    }
    return text;
}

} // namespace

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// One logical line: a line of the file, or several joined by "\" continuations
// of a hex value. [begin, end) are its bytes in the file, line ends included.
struct RegLine {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string content;     // trimmed, continuations joined
    bool unfinished = false; // the file ends inside a continuation
};

// A "Name"=... line of our section; value is empty when it cannot be read.
struct RegEntry {
    std::size_t line = 0;
    std::string name;
    std::optional<RegValue> value;
};

struct RegLayout {
    std::vector<RegLine> lines;
    std::vector<RegEntry> entries; // file order
    // The last line of our section that is neither blank nor a comment (the
    // section header at least); new values go after it.
    std::optional<std::size_t> sectionLast;
};

std::vector<RegLine> SplitLines(std::string_view text) {
    std::vector<RegLine> lines;
    std::string pending;
    bool continuing = false;
    std::size_t begin = text.starts_with(kBom) ? kBom.size() : 0;
    std::size_t start = begin;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        const std::size_t next = last ? text.size() : end + 1;
        if (last) {
            end = text.size();
        }
        const std::string_view line = Trim(text.substr(start, end - start));
        start = next;
        if (continuing) {
            pending += line;
        } else {
            pending = line;
        }
        // Only hex data continues over lines; a string may end in a backslash.
        continuing = !pending.empty() && pending.back() == '\\' &&
                     pending.find("=hex") != std::string::npos && pending.front() == '"' &&
                     pending.find('"', 1) != std::string::npos;
        if (continuing) {
            pending.pop_back();
            if (!last) {
                continue;
            }
        }
        lines.push_back({begin, next, pending, continuing});
        begin = next;
        if (last) {
            break;
        }
    }
    return lines;
}

RegLayout ReadLayout(std::string_view text) {
    RegLayout layout;
    layout.lines = SplitLines(text);
    bool inSection = false;
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const std::string_view line = Trim(layout.lines[i].content);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            inSection = line.back() == ']' &&
                        EqualsIgnoringAsciiCase(line.substr(1, line.size() - 2), kSettingsSection);
            if (inSection) {
                layout.sectionLast = i;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        layout.sectionLast = i;
        if (line.front() != '"') {
            continue;
        }
        std::size_t pos = 0;
        auto name = ReadQuoted(line, pos);
        if (!name) {
            continue;
        }
        const std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            continue;
        }
        layout.entries.push_back({i, std::move(*name), ReadValue(Trim(rest.substr(1)))});
    }
    return layout;
}

RegValueMap ValuesOf(const RegLayout& layout) {
    RegValueMap values;
    for (const RegEntry& entry : layout.entries) {
        if (entry.value) {
            values[entry.name] = *entry.value;
        }
    }
    return values;
}

std::string FormatEntry(const std::string& name, const RegValue& value, std::string_view eol) {
    std::string line = "\"" + Escape(name) + "\"=";
    if (value.type == kRegDword && value.data.size() == 4) {
        const std::uint32_t n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", n);
        line += digits;
    } else if (auto text = value.type == kRegSz ? PrintableString(value) : std::nullopt) {
        line += "\"" + Escape(*text) + "\"";
    } else if (value.type == kRegBinary) {
        line = FormatHex(line + "hex:", value.data, eol);
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        line = FormatHex(line + prefix, value.data, eol);
    }
    return line;
}

std::string FormatNewFile(const RegValueMap& values, std::string_view eol) {
    std::string out(kHeader);
    out += eol;
    out += eol;
    out += '[';
    out += kSettingsSection;
    out += ']';
    out += eol;
    for (const auto& [name, value] : values) {
        out += FormatEntry(name, value, eol);
        out += eol;
    }
    return out;
}

// The line end the file already uses, so added lines match their neighbours.
std::string_view LineEndOf(std::string_view text) {
    const std::size_t lf = text.find('\n');
    return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

std::string_view LineEndAt(std::string_view text, const RegLine& line) {
    if (line.end == line.begin || text[line.end - 1] != '\n') {
        return {};
    }
    return line.end - line.begin >= 2 && text[line.end - 2] == '\r' ? "\r\n" : "\n";
}

// The file to replace for `path`: the path itself, or for a symbolic link its
// target, so that a settings file kept elsewhere and linked in stays linked.
// Nothing for a link that leads nowhere.
std::optional<std::string> ReplaceablePath(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    return RealPath(path);
}

// Replaces the file at `path` by `text` in one rename, keeping its mode and,
// where allowed, its owner: the user's file must not change hands or become
// private by being saved.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string tempPath = path + ".XXXXXX";
    int fd = -1;
    {
        // Tracked as soon as it exists: a second stop signal removes it.
        const CBlockStopSignals block;
        fd = ::mkstemp(tempPath.data());
        if (fd >= 0) {
            TrackTempFile(tempPath);
        }
    }
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not allowed to give it away; it stays ours, as a new file would.
        }
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bool ok = done == text.size() && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
    }
    UntrackTempFile(tempPath);
    return ok;
}

} // namespace

RegValueMap ParseRegText(std::string_view text) {
    return ValuesOf(ReadLayout(text));
}

std::string FormatRegText(const RegValueMap& values) {
    return FormatNewFile(values, "\n");
}

std::string MergeRegText(std::string_view text, const RegValueMap& changes) {
    const RegLayout layout = ReadLayout(text);
    const RegValueMap current = ValuesOf(layout);
    const std::string_view bom = text.starts_with(kBom) ? kBom : std::string_view();
    const std::string_view eol = LineEndOf(text);

    // The reader takes the last readable line of a name, so a new value
    // replaces the last line that names it (readable or not) and then wins.
    std::map<std::string, std::size_t> lastLine;
    for (const RegEntry& entry : layout.entries) {
        lastLine[entry.name] = entry.line;
    }
    std::map<std::size_t, std::string> replaced; // line index -> new text
    RegValueMap added;
    for (const auto& [name, value] : changes) {
        const auto now = current.find(name);
        if (now != current.end() && now->second == value) {
            continue; // the file says so already: its line stays as written
        }
        const auto line = lastLine.find(name);
        if (line == lastLine.end()) {
            added[name] = value;
        } else {
            replaced[line->second] = FormatEntry(name, value, eol) +
                                     std::string(LineEndAt(text, layout.lines[line->second]));
        }
    }
    if (replaced.empty() && added.empty()) {
        return std::string(text);
    }
    if (text.size() == bom.size()) {
        return std::string(bom) + FormatNewFile(added, eol);
    }

    std::string addition;
    std::size_t insertAfter = layout.lines.size(); // nothing to insert
    if (!added.empty()) {
        insertAfter = layout.sectionLast.value_or(layout.lines.size() - 1);
        const RegLine& anchor = layout.lines[insertAfter];
        if (anchor.end == 0 || text[anchor.end - 1] != '\n') {
            addition += eol; // the file's last line has no line end yet
            if (anchor.unfinished && layout.sectionLast) {
                addition += eol; // a blank line ends the continuation
            }
        }
        if (!layout.sectionLast) {
            // No section of ours yet: it goes at the end of the file, after a
            // blank line (which also ends an unfinished continuation).
            addition += eol;
            addition += '[';
            addition += kSettingsSection;
            addition += ']';
            addition += eol;
        }
        for (const auto& [name, value] : added) {
            addition += FormatEntry(name, value, eol);
            addition += eol;
        }
    }

    std::string out(text.substr(0, layout.lines.empty() ? text.size() : layout.lines[0].begin));
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const RegLine& line = layout.lines[i];
        if (const auto it = replaced.find(i); it != replaced.end()) {
            out += it->second;
        } else {
            out.append(text.substr(line.begin, line.end - line.begin));
        }
        if (i == insertAfter) {
            out += addition;
        }
    }
    return out;
}

std::string DefaultSettingsPath() {
    if (auto explicitPath = GetEnv("VARNOLT_SETTINGS"); explicitPath && !explicitPath->empty()) {
        return *explicitPath;
    }
    if (auto xdg = GetEnv("XDG_CONFIG_HOME"); xdg && !xdg->empty() && xdg->front() == '/') {
        return *xdg + "/varnolt/settings.reg";
    }
    const std::string home = GetEnv("HOME").value_or("");
    return (home.empty() ? std::string(".") : home) + "/.config/varnolt/settings.reg";
}

CRegistryFile::CRegistryFile(std::string path) : m_strPath(std::move(path)) {}

void CRegistryFile::EnsureLoaded() {
    if (m_bLoaded) {
        return;
    }
    m_bLoaded = true;
    bool unreadable = false;
    if (auto text = ReadWholeFile(m_strPath, unreadable)) {
        m_values = ParseRegText(*text);
    } else if (unreadable) {
        // Never overwrite a file we could not read: work from defaults only.
        m_bUsable = false;
    }
    for (const auto& [name, value] : m_staged) {
        m_values[name] = value;
    }
}

bool CRegistryFile::IsOpen() {
    EnsureLoaded();
    return m_bUsable;
}

RegQuery CRegistryFile::Query(const std::string& name, std::uint32_t& type, std::uint8_t* buffer,
                              std::size_t capacity, std::size_t& size) {
    EnsureLoaded();
    if (!m_bUsable) {
        return RegQuery::NoKey;
    }
    const auto it = m_values.find(name);
    if (it == m_values.end()) {
        return RegQuery::NotFound;
    }
    type = it->second.type;
    size = it->second.data.size();
    if (size > capacity) {
        return RegQuery::MoreData;
    }
    if (size > 0) {
        std::memcpy(buffer, it->second.data.data(), size);
    }
    return RegQuery::Ok;
}

bool CRegistryFile::SetValue(const std::string& name, const RegValue& value) {
    EnsureLoaded();
    if (!m_bUsable) {
        return false;
    }
    m_staged[name] = value;
    m_values[name] = value;
    return true;
}

bool CRegistryFile::Flush() {
    EnsureLoaded();
    if (!m_bUsable) {
        return false;
    }
    if (m_staged.empty()) {
        return true;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(m_strPath);
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
    }
    const std::string lockPath = m_strPath + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        return false;
    }
    bool ok = false;
    if (::flock(lockFd, LOCK_EX) == 0) {
        // Merge per value: another process's changes since we read stay, and
        // so does everything else in the file that we did not change.
        const std::optional<std::string> target = ReplaceablePath(m_strPath);
        bool unreadable = false;
        std::string text;
        if (target) {
            if (auto read = ReadWholeFile(*target, unreadable)) {
                text = std::move(*read);
            }
        }
        if (target && !unreadable) {
            const std::string merged = MergeRegText(text, m_staged);
            RegValueMap expected = ParseRegText(text);
            for (const auto& [name, value] : m_staged) {
                expected[name] = value;
            }
            if (merged == text) {
                ok = true; // the file says it all already: it is not touched
            } else if (ParseRegText(merged) == expected) {
                ok = ReplaceFile(*target, merged);
            }
            // Otherwise the merged text would not read back as intended; the
            // file is better left as it is than changed into something else.
        }
        ::flock(lockFd, LOCK_UN);
    }
    ::close(lockFd);
    if (ok) {
        m_staged.clear();
    }
    return ok;
}

} // namespace varnolt::platform
