// File operations of the OS layer for writing, moving and replacing files safely.
//
// Every call returns 0 or the errno value of the failure; nothing throws.
// A process-wide fault seam lets tests make a chosen call fail without root.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace varnolt::platform {

// What the opens below return (instead of an errno value) for a path that
// is not a regular file: a FIFO, a device, a socket or a folder is refused
// before a read or write could block on it or feed it.
inline constexpr int kErrNotRegularFile = -1;

// Opens a regular file with `flags` (O_CLOEXEC is added) without ever
// blocking in the open: a FIFO with no peer would otherwise hang the process.
// Anything but a regular file gives kErrNotRegularFile. The descriptor is
// left blocking, for ordinary reads and writes.
int OpenRegularFile(const std::string& path, int flags, mode_t mode, int& fd);

// Opens (creating when missing) a regular file for writing only, exclusively
// locked against other writers. With `append` the content stays and `position`
// receives its size; otherwise the file is emptied and `position` is 0.
int OpenForWriting(const std::string& path, bool append, int& fd, std::uint64_t& position);

// Creates a new, empty file with a unique name "<folder>/<prefix>XXXXXX",
// mode 0600, opened for writing.
int CreateUniqueFile(const std::string& folder, std::string_view prefix, int& fd,
                     std::string& path);

// Creates a nameless file in `folder` (O_TMPFILE, mode 0600) opened with
// `access` (O_WRONLY or O_RDWR). It has no name until NameAnonymousFile
// gives it one, so a process that dies first leaves nothing behind. Fails
// where the file system or kernel has no such files (EOPNOTSUPP, EISDIR),
// and as any create does for a missing, unwritable or read-only folder.
int CreateAnonymousFile(const std::string& folder, int access, int& fd);
// A converted file's temporary file: a nameless file in `folder` for
// writing, made only where it can later be named (EOPNOTSUPP otherwise).
// It is created with `mode` (less the umask and what a default ACL takes
// away): no other process can open a file without a name, so it may carry
// the mode it will have once named, and usually needs no chmod then.
// The fault seam counts these (kCreateAnonymous).
int CreateNamelessTempFile(const std::string& folder, int& fd, mode_t mode = 0600);
// Gives a complete nameless file of CreateAnonymousFile the name `to`, in the
// folder it was made in (EXDEV elsewhere): without `replace` one link, which
// refuses an existing name (EEXIST); with it a hidden name in that folder
// renamed over `to`. Counts as one rename for the fault seam.
int NameAnonymousFile(int fd, const std::string& to, bool replace);

// Writes all bytes (retrying short writes and interrupts).
int WriteAll(int fd, const void* data, std::size_t size);
// Asks the file system to set aside [offset, offset + length) of the open
// file for the writes that will fill it, without changing the file's size:
// a large file then costs the kernel less per page written. False where it
// cannot or should not: on any file system but ext4 (tmpfs pays more than
// it saves, and others may keep what is set aside past the end), or with
// less than 64 lengths free, so that it never takes room another file needs.
bool ReserveSpace(int fd, std::uint64_t offset, std::uint64_t length);
// Gives back what ReserveSpace set aside past the file's end; the file's
// size and content stay as they are. Best effort: what stays set aside is
// only space, never content.
void ReleaseReservedSpace(int fd);
int SyncFile(int fd);
int CloseFile(int fd);
// fsync of a path (opened read-only for the purpose).
int SyncPath(const std::string& path);

// rename(2): atomically replaces whatever is at `to`.
int RenameReplace(const std::string& from, const std::string& to);
// Renames only when nothing is at `to` (EEXIST otherwise), atomically where
// the file system supports it.
int RenameNoReplace(const std::string& from, const std::string& to);
// A second name for a file; EEXIST when `to` exists.
int HardLink(const std::string& from, const std::string& to);
// Removes a name; a tracked temporary file (stop_signals.hpp) is untracked.
int RemoveFile(const std::string& path);

// The seam's "another program" steps just before a source is opened: the
// file vanishes or turns into a FIFO (kSourceVanish, kSourceToFifo).
void TakeSourceOpenFaults(const std::string& path);

// True when anything (file, folder, dangling link) has that name.
bool EntryExists(const std::string& path);
// Permission bits (0777 part) of the file a path names, links followed.
int GetPermissions(const std::string& path, mode_t& mode);
// Gives an open file (so no other file put at its path meanwhile is touched)
// the owner and group, then the permission bits, of a source. Changing the
// owner needs privileges a normal user lacks: that failure is not one (the
// mode is still set); the result is the chmod's.
int SetOwnerAndPermissionsOf(int fd, std::uint32_t uid, std::uint32_t gid, mode_t mode);
// True when both paths name the same file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);
// The identity of a file: two paths (links) of one file give the same.
struct FileIdentity {
    std::uint64_t nDevice = 0;
    std::uint64_t nInode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// The identity of the file a path names, links followed; none when there is
// no such file.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The same for a file this process has just made: one look at it first, and
// only what differs is changed, so a file created with the wanted mode by a
// process that already has the wanted owner and group needs neither call.
// `identity` receives the file's identity from that look (none when the
// look failed; both calls are made then).
int MatchOwnerAndPermissionsOf(int fd, std::uint32_t uid, std::uint32_t gid, mode_t mode,
                               std::optional<FileIdentity>& identity);

// A file as it was at one moment: which file, and what moves whenever its
// content does (size, modification and change time), with the owner and mode
// a converted copy takes over.
struct FileState {
    FileIdentity identity;
    std::uint64_t nSize = 0;
    std::int64_t nModified = 0; // nanoseconds since the epoch
    std::int64_t nChanged = 0;  // nanoseconds since the epoch
    std::uint32_t nUid = 0;
    std::uint32_t nGid = 0;
    mode_t nMode = 0; // the 0777 part
    bool bRegular = false;

    // Same file, same size, same modification time. A new link or a rename
    // moves the change time without touching the content.
    bool SameContent(const FileState& later) const {
        return identity == later.identity && nSize == later.nSize && nModified == later.nModified;
    }
    // The above and the same change time: nothing at all happened to it.
    bool Unchanged(const FileState& later) const {
        return SameContent(later) && nChanged == later.nChanged;
    }
};
// The state of the file a path names, links followed; none when there is none.
std::optional<FileState> StateOf(const std::string& path);
// The state of an open file.
std::optional<FileState> StateOfDescriptor(int fd);
// The state an fstat or stat found.
FileState StateFromStat(const struct stat& st);

// Creates a folder and every missing folder above it (0777 less umask).
int CreateFolders(const std::string& path);

// Moves a file to `to`, replacing what is there when `replace` is set and
// refusing with EEXIST otherwise. Across file systems the content is copied
// into a new file in the destination folder (nameless where O_TMPFILE works,
// else a unique hidden name), flushed to disk, then linked or renamed into
// place, so the destination name never shows a partial file; the partial
// copy is removed on failure and `from` only after success. A tracked
// temporary file `from` is untracked once moved.
int MoveFile(const std::string& from, const std::string& to, bool replace);

// ---- Fault seam for tests ------------------------------------------------

// kWrite .. kSync count calls of the functions above. The source ops count
// source files: kSourceProbe the job's first look (ProbeSource), and for each
// file the reader opens (CSourceFile::Open): kSourceRead fails its reads,
// kSourceVanish removes it just before the open (the probe's, when the reader
// takes over the probe's descriptor), kSourceToFifo puts a FIFO in its place
// just before that open, kSourceShrink cuts it to half its
// length after its first read, kSourceAppend adds a line to it after its
// first read, kSourceReplace saves a new file over its path (as editors
// save) once it has been read to its end. kLinkReplaceBefore and
// kLinkReplaceAfter count HardLink calls and save a new file over the
// linked path just before or just after that link is made. kSignal counts
// the calls of WriteAll and sends the process the signal given as its error
// (before the write, which goes on), as a user pressing Ctrl-C at that
// moment would; kGroupSignal does the same to the whole process group.
// kCreateAnonymous counts CreateNamelessTempFile calls: EOPNOTSUPP there
// stands for a destination file system without nameless files.
// kHiddenLinkSignal counts nameless files linked to a hidden name before
// their rename over an existing file, and sends the signal in that window.
enum class FaultOp {
    kWrite,
    kRename,
    kLink,
    kCreateUnique,
    kSync,
    kSourceProbe,
    kSourceRead,
    kSourceVanish,
    kSourceShrink,
    kSourceToFifo,
    kSourceAppend,
    kSourceReplace,
    kLinkReplaceBefore,
    kLinkReplaceAfter,
    kSignal,
    kGroupSignal,
    kCreateAnonymous,
    kHiddenLinkSignal,
};

// Makes the `nth` call (1 = the next one) of `op` from now fail with `error`;
// one shot, or with `sticky` that call and every later one. A rename with
// error EXDEV takes the cross-file-system path.
void InjectFault(FaultOp op, int nth, int error, bool sticky = false);
// The error the seam gives this call of `op`, 0 for none (OS layer only).
int TakeFault(FaultOp op);
// Removes every armed fault and the copy hook.
void ClearFaults();
// What the source ops do to a file, as another program would: a line added
// at its end, or a new file saved over its path (written beside it, then
// renamed into place).
void AppendEditTo(const std::string& path);
void SaveEditOver(const std::string& path);

// TEST HOOK for end-to-end fault tests of the real program: the environment
// variable VARNOLT_FAULT, read once at the seam's first use, arms faults as
// "op:N[+][:ERRNO]" items separated by commas (op: write, rename, link,
// create, sync, probe, read, vanish, fifo, shrink, append, replace,
// linkreplace, linkedreplace, signal, groupsignal, tmpfile, hiddensignal; "+" makes the fault
// sticky; ERRNO a name such as ENOSPC or a number, EIO by default; for signal SIGINT, SIGTERM,
// SIGHUP or a number, SIGINT by default), e.g. "write:3+:ENOSPC,vanish:2,signal:5+:SIGTERM". Unset
// (every normal run) nothing is armed. Returns false for a malformed value, which arms nothing.
bool ArmFaultsFromText(std::string_view text);
// Called after each block of a cross-file-system copy with the partial
// file's path (its folder, ending in '/', while the copy has no name yet)
// and the destination path.
void SetCopyHook(std::function<void(const std::string& partial, const std::string& destination)>);

} // namespace varnolt::platform
