// Small whole files on POSIX, built on the file operations of file_io.
#include "platform/small_file.hpp"

#include "platform/file_io.hpp"
#include "platform/paths.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::platform {
namespace {

// The process's umask without changing it (umask(2) would race with other
// threads creating files); Linux reports it in /proc/self/status.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        }
    }
    return 022;
}

} // namespace

namespace {

// Reads `fd` to its end in pieces of `buffer`'s size, handing each to
// `consume` until it returns false. False with `*error` set on a read error.
bool ConsumeDescriptor(int fd, std::span<char> buffer,
                       const std::function<bool(std::string_view chunk)>& consume, int* error) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (error != nullptr) {
                *error = errno;
            }
            return false;
        }
        if (got == 0 || !consume(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) {
            return true;
        }
    }
}

} // namespace

bool ReadFileChunks(const std::string& path,
                    const std::function<bool(std::string_view chunk)>& consume, int* error) {
    int fd = -1;
    if (const int err = OpenRegularFile(path, O_RDONLY, 0, fd)) {
        if (error != nullptr) {
            *error = err;
        }
        return false;
    }
    char buffer[8192];
    const bool ok = ConsumeDescriptor(fd, buffer, consume, error);
    ::close(fd);
    return ok;
}

bool ReadStreamChunks(const std::string& path,
                      const std::function<bool(std::string_view chunk)>& consume, int* error) {
    int fd = 0;
    if (!path.empty()) {
        do {
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (error != nullptr) {
                *error = errno;
            }
            return false;
        }
    }
    std::string buffer(std::size_t{64} << 10, '\0');
    const bool ok = ConsumeDescriptor(fd, buffer, consume, error);
    if (!path.empty()) {
        ::close(fd);
    }
    return ok;
}

bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string& head, bool& more,
                  int* error) {
    head.clear();
    more = false;
    int fd = -1;
    if (const int err = OpenRegularFile(path, O_RDONLY, 0, fd)) {
        if (error != nullptr) {
            *error = err;
        }
        return false;
    }
    head.resize(maxBytes);
    std::size_t have = 0;
    char probe = 0;
    bool ok = true;
    // The head first, then a single byte to learn whether more follows.
    while (have <= maxBytes) {
        char* const into = have < maxBytes ? head.data() + have : &probe;
        const std::size_t want = have < maxBytes ? maxBytes - have : 1;
        const ssize_t got = ::read(fd, into, want);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            if (error != nullptr) {
                *error = errno;
            }
            break;
        }
        if (got == 0) {
            break;
        }
        if (have == maxBytes) {
            more = true;
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    ::close(fd);
    head.resize(ok ? have : 0);
    return ok;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<unsigned> mode) {
    if (path.empty()) {
        return false;
    }
    const std::string target = ResolveSymlink(path).value_or(FullPath(path));
    if (target.empty() || target.back() == '/') {
        return false;
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    int fd = -1;
    std::string tempPath;
    if (CreateUniqueFile(folder, "." + target.substr(slash + 1) + ".", fd, tempPath) != 0) {
        return false;
    }
    mode_t bits = 0;
    if (mode) {
        bits = static_cast<mode_t>(*mode);
    } else if (GetPermissions(target, bits) != 0) {
        bits = 0666 & ~CurrentUmask();
    }
    bool ok = ::fchmod(fd, bits) == 0 && WriteAll(fd, bytes.data(), bytes.size()) == 0 &&
              SyncFile(fd) == 0;
    ok = CloseFile(fd) == 0 && ok;
    ok = ok && RenameReplace(tempPath, target) == 0;
    if (!ok) {
        RemoveFile(tempPath);
    }
    return ok;
}

bool IsWritableDirectory(const std::string& path) {
    return IsDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

} // namespace varnolt::platform
