// File operations of the OS layer for writing, moving and replacing files safely.
//
// Every call returns 0 or the errno value of the failure; nothing throws.
// A process-wide fault seam lets tests make a chosen call fail without root.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace varnolt::platform {

// Opens (creating when missing) a file for writing only, exclusively locked
// against other writers. With `append` the content stays and `position`
// receives its size; otherwise the file is emptied and `position` is 0.
int OpenForWriting(const std::string& path, bool append, int& fd, std::uint64_t& position);

// Creates a new, empty file with a unique name "<folder>/<prefix>XXXXXX",
// mode 0600, opened for writing.
int CreateUniqueFile(const std::string& folder, std::string_view prefix, int& fd,
                     std::string& path);

// Writes all bytes (retrying short writes and interrupts).
int WriteAll(int fd, const void* data, std::size_t size);
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
int RemoveFile(const std::string& path);

// True when anything (file, folder, dangling link) has that name.
bool EntryExists(const std::string& path);
// Permission bits (0777 part) of the file a path names, links followed.
int GetPermissions(const std::string& path, mode_t& mode);
int SetPermissions(const std::string& path, mode_t mode);
// True when both paths name the same file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);

// Creates a folder and every missing folder above it (0777 less umask).
int CreateFolders(const std::string& path);

// Moves a file to `to`, replacing what is there when `replace` is set and
// refusing with EEXIST otherwise. Across file systems the content is copied
// into a new unique file in the destination folder, flushed to disk, then
// renamed into place, so the destination name never shows a partial file;
// the partial copy is removed on failure and `from` only after success.
int MoveFile(const std::string& from, const std::string& to, bool replace);

// ---- Fault seam for tests ------------------------------------------------

enum class FaultOp { kWrite, kRename, kLink, kCreateUnique, kSync };

// Makes the `nth` call (1 = the next one) of `op` from now fail with `error`;
// one shot. A rename with error EXDEV takes the cross-file-system path.
void InjectFault(FaultOp op, int nth, int error);
// Removes every armed fault and the copy hook.
void ClearFaults();
// Called after each block of a cross-file-system copy with the partial
// file's path and the destination path.
void SetCopyHook(std::function<void(const std::string& partial, const std::string& destination)>);

} // namespace varnolt::platform
