// Guessing a file's source encoding: a statistical detector proposes
// encodings, our strict decoders decide which catalogue entries really decode
// the text, and the text each one gives is scored for plausibility.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnolt::platform {
class CSourceFile;
}

namespace varnolt {

// One catalogue code page that decodes the text, with how sure we are of it.
struct DetectionCandidate {
    std::int32_t nCodePage = 0;
    double dConfidence = 0.0; // in [0, 1]; equal for pages that decode a text identically
};

// How much of a file the detection reads.
inline constexpr std::size_t kDetectionHeadBytes = 256 * 1024;

// The run's code page when each file's own is to be detected (`--from
// auto`); no catalogue entry or profile value has it.
inline constexpr std::int32_t kDetectCodePage = -1;

// The confidence `--from auto` needs before it converts a file from its best
// candidate.
inline constexpr double kAutoDetectThreshold = 0.5;

// Ranks the catalogue code pages that decode `head` without error, best
// first. Empty for an empty head (nothing to go by) and when no catalogue
// entry decodes it. Pure ASCII proposes every ASCII-compatible page with one
// equal confidence. When `head` is the start of a longer file, pass
// bTruncated so that a character cut at the end does not disqualify a page.
std::vector<DetectionCandidate> DetectEncoding(std::span<const std::byte> head,
                                               bool bTruncated = false);

// The file's outcome: the candidates of its first kDetectionHeadBytes, or the
// reason it could not be read.
struct FileDetection {
    std::vector<DetectionCandidate> candidates;
    std::optional<std::string> error; // set when the file could not be read
};

// Reads at most kDetectionHeadBytes of the file (a regular file only; never
// blocks on a FIFO or a device) and ranks its encodings.
FileDetection DetectFileEncoding(const std::filesystem::path& path);

// The same for a source already open for conversion: its head is read from
// that descriptor without moving the read position, so the file detected is
// the file then converted, whatever happens to its path meanwhile.
FileDetection DetectOpenFileEncoding(const platform::CSourceFile& source);

} // namespace varnolt
