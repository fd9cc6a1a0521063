// What the profile-less switches do besides filling the run options: the
// encoding list, saving them as a profile, and saying which switch a failed
// check of the run concerns.
#pragma once

#include "app/cmd_line_info.hpp"
#include "decode/encoding_detector.hpp"

#include <cstdint>
#include <string>

namespace varnolt {

// The catalogue as --list-encodings prints it: one line per entry, code page,
// display name and the names --from takes.
std::string EncodingListText();

// The candidates as --detect prints them, one line each ("  1251   Cyrillic
// (Windows)   0.97"): at most `maxLines`, but never fewer than those tied
// with the best, so a page that reads the text identically is never hidden.
std::string CandidateLines(const std::vector<DetectionCandidate>& candidates, std::size_t maxLines);

// One file's block of --detect output: its name, then its candidates, or
// "  no candidate" when nothing decodes it (an empty file).
std::string DetectionReportText(const std::string& path, const FileDetection& detection);

// --save-profile: checks the switches' options as a run would (144, 146,
// 148; the output folder may be made later) and writes the profile (140 when
// it cannot be written). Returns the exit code; failures say why on
// standard error.
std::int32_t SaveSwitchProfile(const CMyCmdLineInfo& info);

// For a run whose options came from switches: the text that names the
// switch behind a failed check (exit code 144, 146 or 148), else empty.
std::string SwitchCheckMessage(const CMyCmdLineInfo& info, std::int32_t exitCode);

} // namespace varnolt
