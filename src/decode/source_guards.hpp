// Guards against converting a file that is not in the run's source encoding:
// a byte-order mark of another Unicode form, UTF-8 text under a legacy code
// page, or binary data. Converting such a file would garble it silently.
#pragma once

#include "decode/code_page_decoder.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace varnolt {

// The guards look at no more than the first 64 KiB of a file.
constexpr std::size_t kGuardWindow = 64 * 1024;

enum class SourceGuard { kForeignBom, kUtf8Text, kBinary };

struct SourceGuardFinding {
    SourceGuard kind;
    std::string strWhat; // what the file seems to be, for the user
};

// Judges the first bytes of a file (bytes[0, n); only the first kGuardWindow
// are looked at). `bWhole` is true when they are the whole file, so a
// character cut off at their end is not an error. Nothing found: nullopt.
std::optional<SourceGuardFinding>
CheckSourceGuards(std::int32_t codePage, const std::uint8_t* bytes, std::size_t n, bool bWhole);

// The first sequence of bytes[0, n) that the code page's strict decoding
// refuses, as (offset, length); nullopt when every character decodes on its
// own. `state` is the decoder state before the bytes (it is not changed).
std::optional<std::pair<std::size_t, std::size_t>> FindInvalidSequence(std::int32_t codePage,
                                                                       const std::uint8_t* bytes,
                                                                       std::size_t n,
                                                                       const CDecoderState& state);

// "invalid byte sequence 81 20 at offset 12,345"
std::string DescribeInvalidSequence(std::uint64_t offset, const std::uint8_t* bytes, std::size_t n);

// 12345 -> "12,345"
std::string GroupThousands(std::uint64_t value);

} // namespace varnolt
