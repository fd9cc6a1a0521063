// Starting another program and waiting for it; finding programs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt::platform {

long CurrentProcessId();

struct ChildExit {
    bool bStarted = false;   // false: the program could not be started at all
    bool bSignalled = false; // it was ended by a signal (nCode is the signal)
    int nCode = -1;          // its exit status (0-255) or the signal number
};

// Starts `program` (a path; no PATH search, no shell) with argv[0] = program
// followed by `args` exactly as given, inheriting the environment, the
// current folder and the standard streams, and waits until it ends. While it
// runs it is the child a CForwardSignalGuard passes SIGTERM on to.
ChildExit RunAndWait(const std::string& program, const std::vector<std::string>& args);

// True when the path names a regular file this process may execute.
bool IsExecutableFile(const std::string& path);

// The first executable file called `name` in the folders of $PATH (an empty
// entry is the current folder), or std::nullopt.
std::optional<std::string> FindOnPath(std::string_view name);

} // namespace varnolt::platform
