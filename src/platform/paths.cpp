// Path queries on POSIX: lexical normalisation, links, stat.
#include "platform/paths.hpp"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace varnolt::platform {
namespace {

namespace fs = std::filesystem;

std::string Normalise(const std::string& absolute) {
    // Component-wise so that names containing ':' or '\' stay ordinary names.
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < absolute.size()) {
        const std::size_t j = absolute.find('/', i);
        const std::size_t end = j == std::string::npos ? absolute.size() : j;
        std::string part = absolute.substr(i, end - i);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = end + 1;
    }
    std::string out;
    for (const auto& part : parts) {
        out += '/';
        out += part;
    }
    if (out.empty()) {
        out = "/";
    }
    return out;
}

} // namespace

std::optional<std::string> RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return std::nullopt;
    }
    std::string out(real);
    std::free(real);
    return out;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') {
        return path;
    }
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    if (ec) {
        return {};
    }
    return cwd.string() + "/" + path;
}

std::string FullPath(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    return absolute.empty() ? absolute : Normalise(absolute);
}

std::string ResolvePath(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    if (absolute.empty()) {
        return absolute;
    }
    if (const auto real = RealPath(absolute)) {
        return *real;
    }
    const std::size_t slash = absolute.rfind('/');
    const std::string name = absolute.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        return absolute;
    }
    const auto folder = RealPath(slash == 0 ? std::string("/") : absolute.substr(0, slash));
    if (!folder) {
        return absolute;
    }
    return *folder + (folder->back() == '/' ? "" : "/") + name;
}

std::optional<std::string> ResolveSymlink(const std::string& path) {
    std::error_code ec;
    const std::string absolute = AbsolutePath(path);
    if (absolute.empty() || !fs::is_symlink(fs::symlink_status(absolute, ec))) {
        return std::nullopt;
    }
    std::string current = ResolvePath(absolute);
    // A loop or an over-long chain leaves the last link reached. A relative
    // target counts from the link's own folder as the kernel finds it, never
    // from the text of the path that led there.
    for (int hop = 0; hop < 40; ++hop) {
        if (!fs::is_symlink(fs::symlink_status(current, ec))) {
            break;
        }
        const fs::path target = fs::read_symlink(current, ec);
        if (ec) {
            break;
        }
        const std::size_t slash = current.rfind('/');
        current =
            ResolvePath(target.is_absolute() ? target.string()
                                             : current.substr(0, slash + 1) + target.string());
    }
    return current;
}

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return "./";
    }
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string ExecutablePath() {
    std::error_code ec;
    std::string exe = fs::read_symlink("/proc/self/exe", ec).string();
    if (ec) {
        return {};
    }
    // An update that replaced the file leaves the kernel's note on the link;
    // the path itself then holds the new program, which is what to start.
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.ends_with(kDeleted) && PathExists(exe.substr(0, exe.size() - kDeleted.size()))) {
        exe.resize(exe.size() - kDeleted.size());
    }
    return exe;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> GetEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace varnolt::platform
