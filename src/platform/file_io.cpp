// POSIX file operations: exclusive opens, unique files, atomic and cross-device moves.
#include "platform/file_io.hpp"

#include "platform/paths.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace varnolt::platform {
namespace {

// ---- fault seam ----
struct FaultSlot {
    int nCountdown = 0;
    int nError = 0;
};

std::atomic<bool> s_bFaultsArmed{false};
std::mutex s_faultMutex;
std::array<FaultSlot, 5> s_faults;
std::function<void(const std::string&, const std::string&)> s_copyHook;

int Fault(FaultOp op) {
    if (!s_bFaultsArmed.load(std::memory_order_acquire)) {
        return 0;
    }
    std::lock_guard lock(s_faultMutex);
    FaultSlot& slot = s_faults[static_cast<std::size_t>(op)];
    if (slot.nCountdown > 0 && --slot.nCountdown == 0) {
        return slot.nError;
    }
    return 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

int CopyContent(int in, int out, const std::string& partial, const std::string& destination) {
    std::function<void(const std::string&, const std::string&)> hook;
    {
        std::lock_guard lock(s_faultMutex);
        hook = s_copyHook;
    }
    std::vector<char> block(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        if (const int err = WriteAll(out, block.data(), static_cast<std::size_t>(got))) {
            return err;
        }
        if (hook) {
            hook(partial, destination);
        }
    }
}

// The copy half of a move across file systems; `to` is untouched until the
// complete, flushed copy is renamed onto it.
int CopyThenRename(const std::string& from, const std::string& to, bool replace) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    int out = -1;
    std::string partial;
    int err = CreateUniqueFile(FolderOf(to), ".vnt", out, partial);
    if (err != 0) {
        ::close(in);
        return err;
    }
    struct stat st {};
    if (::fstat(in, &st) == 0) {
        ::fchmod(out, st.st_mode & 07777);
    }
    err = CopyContent(in, out, partial, to);
    ::close(in);
    if (err == 0) {
        err = SyncFile(out);
    }
    const int closeErr = CloseFile(out);
    if (err == 0) {
        err = closeErr;
    }
    if (err == 0) {
        err = replace ? RenameReplace(partial, to) : RenameNoReplace(partial, to);
    }
    if (err != 0) {
        ::unlink(partial.c_str());
        return err;
    }
    ::unlink(from.c_str());
    return 0;
}

} // namespace

int OpenForWriting(const std::string& path, bool append, int& fd, std::uint64_t& position) {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno;
    }
    // Another writer holding the file makes this open fail, as a file opened
    // without sharing would; the content is only cut once the lock is ours.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        fd = -1;
        return err;
    }
    const off_t end = append ? ::lseek(fd, 0, SEEK_END) : (::ftruncate(fd, 0) == 0 ? 0 : -1);
    if (end < 0) {
        const int err = errno;
        ::close(fd);
        fd = -1;
        return err;
    }
    position = static_cast<std::uint64_t>(end);
    return 0;
}

int CreateUniqueFile(const std::string& folder, std::string_view prefix, int& fd,
                     std::string& path) {
    fd = -1;
    if (const int err = Fault(FaultOp::kCreateUnique)) {
        return err;
    }
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '/') {
        pattern += '/';
    }
    pattern += prefix;
    pattern += "XXXXXX";
    const int made = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (made < 0) {
        return errno;
    }
    fd = made;
    path = pattern;
    return 0;
}

int WriteAll(int fd, const void* data, std::size_t size) {
    if (const int err = Fault(FaultOp::kWrite)) {
        return err;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = ::write(fd, p, size);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        p += done;
        size -= static_cast<std::size_t>(done);
    }
    return 0;
}

int SyncFile(int fd) {
    if (const int err = Fault(FaultOp::kSync)) {
        return err;
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

int CloseFile(int fd) {
    // Linux releases the descriptor even when close reports an error, so it
    // is never retried.
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

int SyncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int err = SyncFile(fd);
    ::close(fd);
    return err;
}

int RenameReplace(const std::string& from, const std::string& to) {
    if (const int err = Fault(FaultOp::kRename)) {
        return err;
    }
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (const int err = Fault(FaultOp::kRename)) {
        return err;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // No atomic no-replace rename here: a hard link refuses an existing name
    // just as atomically.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST || errno == EXDEV) {
        return errno;
    }
    if (EntryExists(to)) {
        return EEXIST;
    }
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int HardLink(const std::string& from, const std::string& to) {
    if (const int err = Fault(FaultOp::kLink)) {
        return err;
    }
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool EntryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

int GetPermissions(const std::string& path, mode_t& mode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno;
    }
    mode = st.st_mode & 0777;
    return 0;
}

int SetPermissions(const std::string& path, mode_t mode) {
    return ::chmod(path.c_str(), mode) == 0 ? 0 : errno;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

int CreateFolders(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    std::size_t pos = 0;
    int err = 0;
    do {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (part.empty() || part == "/") {
            continue;
        }
        if (::mkdir(part.c_str(), 0777) != 0) {
            err = errno == EEXIST ? 0 : errno;
        } else {
            err = 0;
        }
    } while (pos != std::string::npos);
    if (IsDirectory(path)) {
        return 0;
    }
    return err != 0 ? err : ENOTDIR;
}

int MoveFile(const std::string& from, const std::string& to, bool replace) {
    const int err = replace ? RenameReplace(from, to) : RenameNoReplace(from, to);
    if (err != EXDEV) {
        return err;
    }
    return CopyThenRename(from, to, replace);
}

void InjectFault(FaultOp op, int nth, int error) {
    std::lock_guard lock(s_faultMutex);
    s_faults[static_cast<std::size_t>(op)] = FaultSlot{nth, error};
    s_bFaultsArmed.store(true, std::memory_order_release);
}

void ClearFaults() {
    std::lock_guard lock(s_faultMutex);
    s_faults = {};
    s_copyHook = nullptr;
    s_bFaultsArmed.store(false, std::memory_order_release);
}

void SetCopyHook(std::function<void(const std::string&, const std::string&)> hook) {
    std::lock_guard lock(s_faultMutex);
    s_copyHook = std::move(hook);
}

} // namespace varnolt::platform
