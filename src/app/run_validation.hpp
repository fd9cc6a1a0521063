// The checks a non-interactive run makes on its options before converting.
#pragma once

#include "settings/profile.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt {

// A file-name prefix a run accepts: not empty, none of \ / : * ? " < > |,
// and shorter than 128 characters (UTF-16 units, as the dialog counts them).
bool IsValidPrefix(std::string_view prefix);

// The output folder as a run uses it: blanks trimmed from both ends; when it
// is then longer than 2 characters and quoted at both ends, the quotes go
// and the blanks are trimmed again; a "/" is appended when it does not end
// in one. An empty folder stays empty.
std::string NormaliseOutputFolder(std::string_view folder);

// Validate of the non-interactive run, in its order: no files (142), a code
// page we cannot decode (144), an invalid backup prefix (146) or converted-
// file prefix (148), an output folder that does not exist or cannot be
// written to (150). Returns 0 when the run may start. For output option 2
// the output argument is normalised in place first.
std::int32_t ValidateRunOptions(std::size_t fileCount, ProfileRunOptions& options);

} // namespace varnolt
