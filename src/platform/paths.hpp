// Path queries of the OS layer: full paths, links, the program's own folder.
#pragma once

#include <optional>
#include <string>

namespace varnolt::platform {

// The absolute form of a path, lexically normalised ("." and ".." removed,
// repeated "/" folded) without resolving symbolic links. Empty input or a
// current directory that cannot be read gives an empty string.
std::string FullPath(const std::string& path);

// The path as written, made absolute against the current directory but not
// normalised (a ".." after a link means the link's target's parent). Empty
// input or a current directory that cannot be read gives an empty string.
std::string AbsolutePath(const std::string& path);

// realpath(3): the whole path resolved by the kernel, or nothing when any
// part of it cannot be (missing, dangling link, no permission).
std::optional<std::string> RealPath(const std::string& path);

// The file the kernel reaches through `path` (realpath): absolute, every
// symbolic link followed, "." and ".." taken in the folder where the kernel
// meets them, never by editing the text. A path that cannot be resolved
// whole (a missing file, a dangling link, no permission) keeps its last name
// behind its resolved folder; when the folder cannot be resolved either, the
// path stays as written (absolute), so whoever opens it meets the same
// failure instead of some other file. Empty input gives an empty string.
std::string ResolvePath(const std::string& path);

// When the path is a symbolic link, the path it finally leads to (absolute,
// links followed up to a fixed depth, each relative target taken from the
// resolved folder of its link, so a dangling chain still names the file the
// kernel would create); otherwise std::nullopt.
std::optional<std::string> ResolveSymlink(const std::string& path);

// The folder of the running executable, ending in "/" (from /proc/self/exe).
std::string ExecutableFolder();

// The absolute path of the running executable (from /proc/self/exe); when
// the program was replaced on disk while running, the path it was started
// from. Empty when it cannot be read.
std::string ExecutablePath();

// True when something (file, folder, anything) exists at the path; links followed.
bool PathExists(const std::string& path);

// True when the path names a regular file (links followed).
bool IsRegularFile(const std::string& path);

// True when the path names a directory (links followed).
bool IsDirectory(const std::string& path);

// The value of an environment variable, or std::nullopt when unset.
std::optional<std::string> GetEnv(const char* name);

} // namespace varnolt::platform
