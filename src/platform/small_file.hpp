// Small whole files: reading from the start in chunks, atomic replacement,
// and the writable-folder test.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace varnolt::platform {

// Reads the file from its start and hands the bytes to `consume` in chunks,
// until `consume` returns false or the file ends. False when the file cannot
// be opened or a read fails, with the errno value (or kErrNotRegularFile:
// a FIFO, device or folder is refused without blocking) in `error`.
bool ReadFileChunks(const std::string& path,
                    const std::function<bool(std::string_view chunk)>& consume,
                    int* error = nullptr);

// Reads a stream from its start and hands the bytes to `consume` in chunks,
// until `consume` returns false or the stream ends: the file at `path`, or
// standard input when `path` is empty.
// Unlike ReadFileChunks it opens pipes and FIFOs and waits for their writer,
// since a list of names usually comes from another program. False when it
// cannot be opened or a read fails, with the errno value in `error`.
bool ReadStreamChunks(const std::string& path,
                      const std::function<bool(std::string_view chunk)>& consume,
                      int* error = nullptr);

// Reads at most `maxBytes` from the start of the file into `head` (a regular
// file only, refused without blocking as above); `more` tells whether the
// file goes on beyond them (one byte past the limit is probed for that).
// False when it cannot be opened or a read fails, with the errno value (or
// kErrNotRegularFile) in `error`.
bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string& head, bool& more,
                  int* error = nullptr);

// Creates or replaces the file at `path` with exactly `bytes`. The bytes go to
// a new file in the same folder, reach the disk and are then renamed over the
// path, so a failure at any point leaves the previous file as it was. A path
// that is a symbolic link has its final target replaced (the link stays). The
// file keeps the permission bits of the one it replaces; a new one gets
// 0666 less the umask; `mode`, when given, sets the bits in either case.
// False on any failure (nothing is left behind).
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::optional<unsigned> mode = std::nullopt);

// True when the path names a folder this process may create files in (the
// counterpart of a folder without the read-only attribute: also false on a
// read-only mount).
bool IsWritableDirectory(const std::string& path);

} // namespace varnolt::platform
