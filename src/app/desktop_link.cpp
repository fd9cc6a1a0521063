// Reading Type=Link desktop launchers (Desktop Entry syntax, file: URLs only).
#include "app/desktop_link.hpp"

#include "platform/paths.hpp"
#include "platform/small_file.hpp"
#include "platform/text_utf.hpp"

#include <cstddef>
#include <filesystem>

namespace varnolt {
namespace {

// A launcher is a few hundred bytes; anything much larger is not one.
constexpr std::size_t kMaxLauncherBytes = 64 * 1024;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The escapes of a string value: \s \n \t \r \\ (an unknown one is invalid).
std::optional<std::string> Unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) {
            return std::nullopt;
        }
        switch (value[i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

// The inverse of Unescape for the characters a value cannot hold as they are.
std::string Escape(std::string_view value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    // Leading blanks of a value are not part of it.
    if (!out.empty() && out.front() == ' ') {
        out.replace(0, 1, "\\s");
    }
    return out;
}

// One Exec argument in double quotes. Inside them '"', '`', '$' and '\' take
// a backslash; a literal '%' is "%%" (launchers expand field codes
// everywhere). The string escapes of the value apply on top (Escape).
std::string QuoteExecArgument(std::string_view argument) {
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out += '\\';
        } else if (c == '%') {
            out += '%';
        }
        out += c;
    }
    out += '"';
    return out;
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

// file:///path, file://localhost/path or file:/path; the path's escapes
// decoded byte for byte. A NUL would cut the path short, so it is refused.
std::optional<std::string> LocalPathOfFileUrl(std::string_view url) {
    constexpr std::string_view kScheme = "file:";
    if (url.size() < kScheme.size() || !EqualsNoCase(url.substr(0, kScheme.size()), kScheme)) {
        return std::nullopt;
    }
    url.remove_prefix(kScheme.size());
    if (url.substr(0, 2) == "//") {
        url.remove_prefix(2);
        const std::size_t slash = url.find('/');
        if (slash == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view host = url.substr(0, slash);
        if (!host.empty() && !EqualsNoCase(host, "localhost")) {
            return std::nullopt;
        }
        url.remove_prefix(slash);
    }
    // A query or fragment has no meaning for a local file.
    if (url.empty() || url.front() != '/' || url.find_first_of("?#") != std::string_view::npos) {
        return std::nullopt;
    }
    std::string path;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] != '%') {
            path += url[i];
            continue;
        }
        if (i + 2 >= url.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(url[i + 1]);
        const int low = HexDigit(url[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

} // namespace

std::optional<std::string> ParseDesktopLink(std::string_view text) {
    bool inEntry = false;
    bool seenGroup = false;
    std::optional<std::string> type;
    std::optional<std::string> url;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line =
            Trim(text.substr(0, end == std::string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            // The launcher's own group comes first; later groups (actions)
            // do not change what it opens.
            inEntry = !seenGroup && line == "[Desktop Entry]";
            seenGroup = true;
            continue;
        }
        if (!inEntry) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        std::optional<std::string>* slot = key == "Type" ? &type : key == "URL" ? &url : nullptr;
        if (slot == nullptr) {
            continue;
        }
        // Two values for one key leave it open which one a desktop follows.
        if (slot->has_value()) {
            return std::nullopt;
        }
        *slot = Unescape(value);
        if (!slot->has_value()) {
            return std::nullopt;
        }
    }
    if (type != "Link" || !url) {
        return std::nullopt;
    }
    return LocalPathOfFileUrl(*url);
}

std::optional<std::string> ReadDesktopLink(const std::string& path) {
    constexpr std::string_view kExtension = ".desktop";
    if (path.size() <= kExtension.size() ||
        !EqualsNoCase(std::string_view(path).substr(path.size() - kExtension.size()), kExtension)) {
        return std::nullopt;
    }
    std::string text;
    bool tooLarge = false;
    const bool read = platform::ReadFileChunks(path, [&](std::string_view chunk) {
        if (text.size() + chunk.size() > kMaxLauncherBytes) {
            tooLarge = true;
            return false;
        }
        text.append(chunk);
        return true;
    });
    if (!read || tooLarge) {
        return std::nullopt;
    }
    return ParseDesktopLink(text);
}

std::optional<std::string> FormatDesktopLauncher(std::string_view name,
                                                 const std::vector<std::string>& argv) {
    if (argv.empty() || !IsWellFormedUtf8(name)) {
        return std::nullopt;
    }
    std::string exec;
    for (const std::string& argument : argv) {
        if (!IsWellFormedUtf8(argument)) {
            return std::nullopt;
        }
        exec += exec.empty() ? "" : " ";
        exec += QuoteExecArgument(argument);
    }
    return "[Desktop Entry]\nType=Application\nVersion=1.0\nName=" + Escape(name) +
           "\nExec=" + Escape(exec) + "\n";
}

bool WriteProfileShortcut(const std::string& desktopFolder, const std::string& programPath,
                          const std::string& profilePath) {
    const std::string profile = platform::FullPath(profilePath);
    if (desktopFolder.empty() || programPath.empty() || profile.empty() ||
        !platform::IsDirectory(desktopFolder)) {
        return false;
    }
    const std::string title = std::filesystem::path(profile).stem().string();
    const std::string name = "Varnolt (" + title + ")";
    const std::optional<std::string> text =
        FormatDesktopLauncher(name, {programPath, "-c", profile});
    if (!text) {
        return false;
    }
    std::string path = desktopFolder;
    if (path.back() != '/') {
        path += '/';
    }
    path += name + ".desktop";
    return platform::WriteFileAtomically(path, *text, 0755);
}

} // namespace varnolt
