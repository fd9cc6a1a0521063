// POSIX file operations: exclusive opens, unique files, atomic and cross-device moves.
#include "platform/file_io.hpp"

#include "platform/paths.hpp"
#include "platform/stop_signals.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <vector>

namespace varnolt::platform {
namespace {

// ---- fault seam ----
struct FaultSlot {
    int nCountdown = 0;
    int nError = 0;
    bool bSticky = false;
    bool bFiring = false; // a sticky fault that has been reached
};

constexpr std::size_t kFaultOps = static_cast<std::size_t>(FaultOp::kHiddenLinkSignal) + 1;

std::atomic<bool> s_bFaultsArmed{false};
std::mutex s_faultMutex;
std::array<FaultSlot, kFaultOps> s_faults;
std::function<void(const std::string&, const std::string&)> s_copyHook;

int Fault(FaultOp op) {
    return TakeFault(op);
}

// A plain write loop that the write fault does not count: the seam's own
// edits must not use up the faults a test aimed at the run's writes.
int WriteAllUnchecked(int fd, const char* p, std::size_t size) {
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

struct NamedValue {
    std::string_view name;
    int value;
};

constexpr NamedValue kFaultOpNames[] = {
    {"write", static_cast<int>(FaultOp::kWrite)},
    {"rename", static_cast<int>(FaultOp::kRename)},
    {"link", static_cast<int>(FaultOp::kLink)},
    {"create", static_cast<int>(FaultOp::kCreateUnique)},
    {"sync", static_cast<int>(FaultOp::kSync)},
    {"probe", static_cast<int>(FaultOp::kSourceProbe)},
    {"read", static_cast<int>(FaultOp::kSourceRead)},
    {"vanish", static_cast<int>(FaultOp::kSourceVanish)},
    {"shrink", static_cast<int>(FaultOp::kSourceShrink)},
    {"fifo", static_cast<int>(FaultOp::kSourceToFifo)},
    {"append", static_cast<int>(FaultOp::kSourceAppend)},
    {"replace", static_cast<int>(FaultOp::kSourceReplace)},
    {"linkreplace", static_cast<int>(FaultOp::kLinkReplaceBefore)},
    {"linkedreplace", static_cast<int>(FaultOp::kLinkReplaceAfter)},
    {"signal", static_cast<int>(FaultOp::kSignal)},
    {"groupsignal", static_cast<int>(FaultOp::kGroupSignal)},
    {"tmpfile", static_cast<int>(FaultOp::kCreateAnonymous)},
    {"hiddensignal", static_cast<int>(FaultOp::kHiddenLinkSignal)},
};

constexpr NamedValue kErrnoNames[] = {
    {"EIO", EIO},
    {"ENOSPC", ENOSPC},
    {"EDQUOT", EDQUOT},
    {"EROFS", EROFS},
    {"EACCES", EACCES},
    {"EPERM", EPERM},
    {"ENOENT", ENOENT},
    {"EXDEV", EXDEV},
    {"EEXIST", EEXIST},
    {"EISDIR", EISDIR},
    {"ENOTDIR", ENOTDIR},
    {"EMLINK", EMLINK},
    {"EOPNOTSUPP", EOPNOTSUPP},
};

constexpr NamedValue kSignalNames[] = {
    {"SIGINT", SIGINT},
    {"SIGTERM", SIGTERM},
    {"SIGHUP", SIGHUP},
    {"SIGKILL", SIGKILL},
};

bool ParseNumber(std::string_view text, int& value) {
    if (text.empty() || text.size() > 6) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool Lookup(std::string_view name, const NamedValue* table, std::size_t size, int& value) {
    for (std::size_t i = 0; i < size; ++i) {
        if (table[i].name == name) {
            value = table[i].value;
            return true;
        }
    }
    return ParseNumber(name, value);
}

// The VARNOLT_FAULT test hook, read once.
bool ArmFromEnvironment() {
    const char* text = std::getenv("VARNOLT_FAULT");
    if (text == nullptr || *text == '\0') {
        return false;
    }
    if (!ArmFaultsFromText(text)) {
        std::fprintf(stderr, "varnolt: VARNOLT_FAULT ignored: malformed\n");
        return false;
    }
    return true;
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

// Whether /proc/self/fd names open files, so that an anonymous file can be
// given a name with linkat where linking the descriptor itself is refused.
bool CanNameAnonymousFiles() {
    static const bool ok = ::access("/proc/self/fd", X_OK) == 0;
    return ok;
}

int LinkAnonymous(int fd, const std::string& name) {
    // Linking the descriptor itself spares the kernel a walk through /proc
    // for every file. Where it refuses that to this process (ENOENT: no
    // capability, or an older kernel for a file another user opened), the
    // /proc path links it; once that works where the descriptor did not,
    // the descriptor is not tried again. A missing folder fails both ways.
    static std::atomic<bool> s_bByDescriptor{true};
    const bool byDescriptor = s_bByDescriptor.load(std::memory_order_relaxed);
    if (byDescriptor) {
        if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
            return 0;
        }
        if (errno != ENOENT) {
            return errno;
        }
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return errno;
    }
    if (byDescriptor) {
        s_bByDescriptor.store(false, std::memory_order_relaxed);
    }
    return 0;
}

int MakeUniqueFile(const std::string& folder, std::string_view prefix, int& fd, std::string& path) {
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

// Names a complete anonymous file `to`: one link when nothing may be
// replaced (it refuses an existing name atomically), else a hidden name and
// one rename over the destination.
int PlaceAnonymous(int fd, const std::string& folder, const std::string& to, bool replace) {
    if (const int err = Fault(FaultOp::kRename)) {
        return err;
    }
    if (!replace) {
        return LinkAnonymous(fd, to);
    }
    static std::atomic<unsigned> s_nNext{0};
    // Once per process: the counter makes the names unique within it, and a
    // clash with another process's leftover only costs another attempt.
    static const long s_nPid = static_cast<long>(::getpid());
    std::string hidden;
    int err = EEXIST;
    {
        const CBlockStopSignals block; // the name is tracked as soon as it exists
        for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
            hidden = folder + (folder.back() == '/' ? "" : "/") + ".vnt" + std::to_string(s_nPid) +
                     "_" + std::to_string(s_nNext.fetch_add(1));
            err = LinkAnonymous(fd, hidden);
        }
        if (err == 0) {
            TrackTempFile(hidden);
        }
    }
    if (err != 0) {
        return err;
    }
    if (const int sig = Fault(FaultOp::kHiddenLinkSignal)) {
        ::kill(::getpid(), sig);
    }
    err = std::rename(hidden.c_str(), to.c_str()) == 0 ? 0 : errno;
    if (err != 0) {
        ::unlink(hidden.c_str());
    }
    UntrackTempFile(hidden);
    return err;
}

// The copy half of a move across file systems; `to` is untouched until the
// complete, flushed copy is renamed onto it. Where the file system allows,
// the copy has no name at all until it is complete (O_TMPFILE), so a process
// killed mid-copy leaves nothing in the destination folder.
int CopyThenRename(const std::string& from, const std::string& to, bool replace) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    const std::string folder = FolderOf(to);
    int out = -1;
    std::string partial;
    bool anonymous = false;
    int err = Fault(FaultOp::kCreateUnique);
    if (err == 0 && CanNameAnonymousFiles()) {
        anonymous = CreateAnonymousFile(folder, O_WRONLY, out) == 0;
        // The hook sees the folder the nameless copy lives in.
        partial = folder.back() == '/' ? folder : folder + "/";
    }
    if (err == 0 && !anonymous) {
        const CBlockStopSignals block; // the copy is tracked as soon as it exists
        err = MakeUniqueFile(folder, ".vnt", out, partial);
        if (err == 0) {
            TrackTempFile(partial);
        }
    }
    if (err != 0) {
        ::close(in);
        return err;
    }
    struct stat st {};
    if (::fstat(in, &st) == 0) {
        // Without the privilege to change the owner the copy keeps ours, as a
        // new file would.
        SetOwnerAndPermissionsOf(out, st.st_uid, st.st_gid, st.st_mode & 07777);
    }
    err = CopyContent(in, out, partial, to);
    ::close(in);
    if (err == 0) {
        err = SyncFile(out);
    }
    if (anonymous) {
        if (err == 0) {
            err = PlaceAnonymous(out, folder, to, replace);
        }
        // The content is on disk already; a nameless copy vanishes here.
        CloseFile(out);
        if (err != 0) {
            return err;
        }
        ::unlink(from.c_str());
        return 0;
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
    }
    UntrackTempFile(partial);
    if (err != 0) {
        return err;
    }
    ::unlink(from.c_str());
    return 0;
}

FileIdentity IdentityFromStat(const struct stat& st) {
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace

int OpenRegularFile(const std::string& path, int flags, mode_t mode, int& fd) {
    fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
        // ENXIO: a FIFO opened for writing without a reader, or a device
        // without its device; neither is a regular file.
        return errno == ENXIO ? kErrNotRegularFile : errno;
    }
    struct stat st {};
    int err = ::fstat(fd, &st) != 0 ? errno : 0;
    if (err == 0 && !S_ISREG(st.st_mode)) {
        err = kErrNotRegularFile;
    }
    if (err != 0) {
        ::close(fd);
        fd = -1;
        return err;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        err = errno;
        ::close(fd);
        fd = -1;
        return err;
    }
    return 0;
}

int OpenForWriting(const std::string& path, bool append, int& fd, std::uint64_t& position) {
    if (const int err = OpenRegularFile(path, O_WRONLY | O_CREAT, 0666, fd)) {
        return err;
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

namespace {

int CreateAnonymousFileWithMode(const std::string& folder, int access, mode_t mode, int& fd) {
    fd = -1;
    const int made =
        ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | access | O_CLOEXEC, mode);
    if (made < 0) {
        return errno;
    }
    fd = made;
    return 0;
}

} // namespace

int CreateAnonymousFile(const std::string& folder, int access, int& fd) {
    return CreateAnonymousFileWithMode(folder, access, 0600, fd);
}

int CreateNamelessTempFile(const std::string& folder, int& fd, mode_t mode) {
    fd = -1;
    if (const int err = Fault(FaultOp::kCreateAnonymous)) {
        return err;
    }
    if (!CanNameAnonymousFiles()) {
        return EOPNOTSUPP;
    }
    // Only the permission bits: a set-id bit is never carried over.
    return CreateAnonymousFileWithMode(folder, O_WRONLY, mode & 0777, fd);
}

int NameAnonymousFile(int fd, const std::string& to, bool replace) {
    return PlaceAnonymous(fd, FolderOf(to), to, replace);
}

int CreateUniqueFile(const std::string& folder, std::string_view prefix, int& fd,
                     std::string& path) {
    fd = -1;
    if (const int err = Fault(FaultOp::kCreateUnique)) {
        return err;
    }
    return MakeUniqueFile(folder, prefix, fd, path);
}

bool ReserveSpace(int fd, std::uint64_t offset, std::uint64_t length) {
    // Only where cutting a file to its own size is known to give back what
    // is set aside past its end (ext4): elsewhere it could stay allocated.
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0 || fs.f_type != EXT4_SUPER_MAGIC ||
        static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize) / 64 <
            length) {
        return false;
    }
    return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                       static_cast<off_t>(length)) == 0;
}

void ReleaseReservedSpace(int fd) {
    // Cutting a file to its own size frees the blocks set aside past its end.
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        (void)::ftruncate(fd, st.st_size);
    }
}

int WriteAll(int fd, const void* data, std::size_t size) {
    if (const int sig = Fault(FaultOp::kSignal)) {
        // To the process, as a terminal or `kill` sends it, not to this thread.
        ::kill(::getpid(), sig);
    }
    if (const int sig = Fault(FaultOp::kGroupSignal)) {
        // To the whole process group (a front end included), as `kill -- -PGID`
        // or a service manager stopping it sends it.
        ::kill(0, sig);
    }
    if (const int err = Fault(FaultOp::kWrite)) {
        return err;
    }
    return WriteAllUnchecked(fd, static_cast<const char*>(data), size);
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
    if (Fault(FaultOp::kLinkReplaceBefore) != 0) {
        SaveEditOver(from);
    }
    const int err = ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    if (Fault(FaultOp::kLinkReplaceAfter) != 0) {
        SaveEditOver(from);
    }
    return err;
}

int RemoveFile(const std::string& path) {
    const int err = ::unlink(path.c_str()) == 0 ? 0 : errno;
    UntrackTempFile(path);
    return err;
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

int SetOwnerAndPermissionsOf(int fd, std::uint32_t uid, std::uint32_t gid, mode_t mode) {
    // The owner first, since a change of owner may clear set-id bits; EPERM
    // for a user who may not give files away is no failure.
    (void)::fchown(fd, static_cast<uid_t>(uid), static_cast<gid_t>(gid));
    return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

int MatchOwnerAndPermissionsOf(int fd, std::uint32_t uid, std::uint32_t gid, mode_t mode,
                               std::optional<FileIdentity>& identity) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        identity.reset();
        return SetOwnerAndPermissionsOf(fd, uid, gid, mode);
    }
    identity = IdentityFromStat(st);
    // Both changes are no-ops where the look shows the wanted values; the
    // set-id bits count too, so a file that somehow has one loses it.
    if (st.st_uid != static_cast<uid_t>(uid) || st.st_gid != static_cast<gid_t>(gid)) {
        return SetOwnerAndPermissionsOf(fd, uid, gid, mode);
    }
    return (st.st_mode & 07777) == mode ? 0 : ::fchmod(fd, mode) == 0 ? 0 : errno;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return IdentityFromStat(st);
}

FileState StateFromStat(const struct stat& st) {
    constexpr std::int64_t kNano = 1000000000;
    FileState state;
    state.identity = IdentityFromStat(st);
    state.nSize = static_cast<std::uint64_t>(st.st_size);
    state.nModified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * kNano + st.st_mtim.tv_nsec;
    state.nChanged = static_cast<std::int64_t>(st.st_ctim.tv_sec) * kNano + st.st_ctim.tv_nsec;
    state.nUid = static_cast<std::uint32_t>(st.st_uid);
    state.nGid = static_cast<std::uint32_t>(st.st_gid);
    state.nMode = st.st_mode & 0777;
    state.bRegular = S_ISREG(st.st_mode);
    return state;
}

std::optional<FileState> StateOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return StateFromStat(st);
}

std::optional<FileState> StateOfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return StateFromStat(st);
}

void TakeSourceOpenFaults(const std::string& path) {
    if (TakeFault(FaultOp::kSourceVanish) != 0) {
        ::unlink(path.c_str());
    }
    if (TakeFault(FaultOp::kSourceToFifo) != 0) {
        ::unlink(path.c_str());
        ::mkfifo(path.c_str(), 0644);
    }
}

void AppendEditTo(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        static constexpr char kLine[] = "a line added meanwhile\n";
        (void)WriteAllUnchecked(fd, kLine, sizeof kLine - 1);
        ::close(fd);
    }
}

void SaveEditOver(const std::string& path) {
    const std::string saved = path + ".vntedit";
    const int fd = ::open(saved.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        static constexpr char kText[] = "text saved meanwhile\n";
        (void)WriteAllUnchecked(fd, kText, sizeof kText - 1);
        ::close(fd);
        (void)std::rename(saved.c_str(), path.c_str());
    }
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
    int err = replace ? RenameReplace(from, to) : RenameNoReplace(from, to);
    if (err == EXDEV) {
        err = CopyThenRename(from, to, replace);
    }
    if (err == 0) {
        UntrackTempFile(from); // a temporary file moved into place is no longer ours
    }
    return err;
}

int TakeFault(FaultOp op) {
    static const bool s_bFromEnvironment = ArmFromEnvironment();
    (void)s_bFromEnvironment;
    if (!s_bFaultsArmed.load(std::memory_order_acquire)) {
        return 0;
    }
    std::lock_guard lock(s_faultMutex);
    FaultSlot& slot = s_faults[static_cast<std::size_t>(op)];
    if (slot.bFiring) {
        return slot.nError;
    }
    if (slot.nCountdown > 0 && --slot.nCountdown == 0) {
        slot.bFiring = slot.bSticky;
        return slot.nError;
    }
    return 0;
}

void InjectFault(FaultOp op, int nth, int error, bool sticky) {
    std::lock_guard lock(s_faultMutex);
    s_faults[static_cast<std::size_t>(op)] = FaultSlot{nth, error, sticky, false};
    s_bFaultsArmed.store(true, std::memory_order_release);
}

bool ArmFaultsFromText(std::string_view text) {
    struct Item {
        int op;
        int nth;
        int error;
        bool sticky;
    };
    std::vector<Item> items;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        std::string_view parts[3];
        std::size_t count = 0;
        while (count < 3) {
            const std::size_t colon = item.find(':');
            parts[count++] = item.substr(0, colon);
            if (colon == std::string_view::npos) {
                item = {};
                break;
            }
            item = item.substr(colon + 1);
        }
        if (!item.empty() || count < 2) {
            return false;
        }
        Item parsed{0, 0, EIO, false};
        if (!Lookup(parts[0], kFaultOpNames, std::size(kFaultOpNames), parsed.op)) {
            return false;
        }
        std::string_view nth = parts[1];
        if (!nth.empty() && nth.back() == '+') {
            parsed.sticky = true;
            nth.remove_suffix(1);
        }
        if (!ParseNumber(nth, parsed.nth) || parsed.nth < 1) {
            return false;
        }
        const bool signal = parsed.op == static_cast<int>(FaultOp::kSignal) ||
                            parsed.op == static_cast<int>(FaultOp::kGroupSignal) ||
                            parsed.op == static_cast<int>(FaultOp::kHiddenLinkSignal);
        if (signal) {
            parsed.error = SIGINT;
        }
        if (count == 3 &&
            !(signal ? Lookup(parts[2], kSignalNames, std::size(kSignalNames), parsed.error)
                     : Lookup(parts[2], kErrnoNames, std::size(kErrnoNames), parsed.error))) {
            return false;
        }
        if (parsed.op < 0 || static_cast<std::size_t>(parsed.op) >= kFaultOps ||
            parsed.error <= 0) {
            return false;
        }
        items.push_back(parsed);
    }
    for (const Item& item : items) {
        InjectFault(static_cast<FaultOp>(item.op), item.nth, item.error, item.sticky);
    }
    return !items.empty();
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
