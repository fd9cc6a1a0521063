// The user's temporary folder and new uniquely named files in it.
#pragma once

#include <string>
#include <string_view>

namespace varnolt::platform {

// $TMPDIR when set and not empty, else "/tmp".
std::string TempFolder();

// Creates a new, empty, uniquely named file (mode 0600) in the temporary
// folder and opens it for writing. Returns 0 or the errno of the failure.
// The file is tracked for removal by a second stop signal until RemoveFile
// or MoveFile takes it away.
int CreateTempFile(std::string_view prefix, int& fd, std::string& path);

} // namespace varnolt::platform
