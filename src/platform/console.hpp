// The console of a non-interactive run: whole lines to standard output under
// one process-wide lock, and the test for the process that owns the console.
#pragma once

#include <initializer_list>
#include <string_view>

namespace varnolt::platform {

// Writes the pieces, in order and as one unit, to standard output (UTF-8
// bytes as given), under the process-wide console lock: output of two
// callers never interleaves. Goes straight to the file descriptor, with no
// buffer in between, so each unit is out when the call returns. False when
// standard output is closed or a write fails (the caller may ignore it: a
// lost console line must not stop a run).
bool WriteConsole(std::initializer_list<std::string_view> pieces);

// True when a process with that id exists (kill(pid, 0), a process we may not
// signal counts as existing). Ids 0 and below name process groups, not a
// process, and are always false.
bool IsProcessAlive(long pid);

// Makes a write to a closed pipe fail with EPIPE instead of ending the
// process by SIGPIPE (`varnolt -u ... | head` must still finish its run and
// write its log). Process-wide; call once at start-up of a console run.
void IgnoreBrokenPipe();

} // namespace varnolt::platform
