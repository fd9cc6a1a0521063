// What the main window shows of a file before a run: its first bytes decoded
// from a chosen code page with every undecodable sequence marked, and the
// ranking of encodings over several files that a detection gives.
#pragma once

#include "decode/encoding_detector.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace varnolt {

// The most a preview reads of a file.
inline constexpr std::size_t kPreviewBytes = 64 * 1024;

// One undecodable sequence: where its U+FFFD stands in the text and where
// the sequence begins in the file.
struct PreviewMark {
    std::size_t nTextPos = 0;
    std::size_t nByteOffset = 0;
    bool operator==(const PreviewMark&) const = default;
};

struct PreviewText {
    std::u16string text;            // a leading byte-order mark dropped, as a run drops it
    std::vector<PreviewMark> marks; // in text order
};

// Decodes bytes[0, n) from the code page strictly; each sequence that does
// not decode becomes one U+FFFD with a mark and decoding goes on at its next
// byte. bFinal false: the bytes are the head of a longer file, so a
// character cut at their end is left out instead of being marked. A code
// page without a decoder gives one mark at offset 0 and no text.
PreviewText DecodePreview(std::int32_t codePage, const std::uint8_t* bytes, std::size_t n,
                          bool bFinal);

// The text as a pane shows it: CR LF and a lone CR become LF, other control
// characters (but TAB) their visible symbols (U+2400...), marks moved along.
PreviewText ForDisplay(const PreviewText& preview);

struct FilePreview {
    PreviewText preview;
    std::size_t nBytes = 0;  // bytes read and decoded
    bool bTruncated = false; // the file goes on beyond them
    int nError = 0;          // errno value or platform::kErrNotRegularFile; 0 when read
};

// Reads at most maxBytes of the file (a regular file only: a FIFO or a
// device is refused without blocking) and decodes them.
FilePreview ReadFilePreview(const std::string& path, std::int32_t codePage,
                            std::size_t maxBytes = kPreviewBytes);

// One ranking over several files: the code pages that decode every file that
// has candidates, by their mean confidence, best first (ties keep the first
// file's order). Files that could not be read or gave no candidate do not
// vote; none that voted gives an empty ranking.
std::vector<DetectionCandidate> CombineDetections(const std::vector<FileDetection>& files);

} // namespace varnolt
