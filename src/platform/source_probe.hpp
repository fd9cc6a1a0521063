// The job's first look at a source file: can it be read as a file, and is it empty.
#pragma once

#include <string>

namespace varnolt::platform {

class CSourceFile;

enum class SourceProbe {
    Readable,   // a regular file we can open for reading, not empty
    Empty,      // a regular file of length 0
    Unreadable, // missing, no permission, or not a regular file (folder, FIFO, device)
};

// Opens without blocking (a FIFO never stalls the run) and closes again at
// once. Only regular files are converted: a FIFO or device would block or
// never end, and a folder has no text.
// `pError`, when given, receives why a file is Unreadable: the errno of the
// failed open, EISDIR for a folder, 0 for anything else that is not a
// regular file.
// With `pKeep`, a Readable file stays open and is handed to it (Adopt), so
// the reader's Open of the same path costs no second open and reads the very
// file that was probed; the seam's "changed before the open" steps then come
// before this open.
SourceProbe ProbeSource(const std::string& path, int* pError = nullptr,
                        CSourceFile* pKeep = nullptr);

} // namespace varnolt::platform
