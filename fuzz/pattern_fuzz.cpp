// Fuzzes pattern compile + match: no crash, no sanitizer report, and every
// match of a pattern of up to 64 bytes against a name of up to 255 bytes stays
// within the step budget; without back-references within the state bound and
// never cut short by the ceiling.
#include "search/atl_reg_exp.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr std::size_t kMaxPattern = 64;
constexpr std::size_t kMaxName = 255;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "pattern_fuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

// Input: flags byte, then pattern and name separated by the first NUL byte
// (names never hold NUL).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const bool caseSensitive = (data[0] & 1) != 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t nul = rest.find('\0');
    std::string_view pattern = rest.substr(0, nul);
    std::string_view name =
        nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    if (pattern.size() > kMaxPattern) {
        pattern = pattern.substr(0, kMaxPattern);
    }
    if (name.size() > kMaxName) {
        name = name.substr(0, kMaxName);
    }
    varnolt::CAtlRegExp re;
    const auto code = re.Compile(pattern, caseSensitive);
    Check(static_cast<int>(code) >= 0 && static_cast<int>(code) <= 10, "result code out of range");
    if (code != varnolt::RegExpResult::Ok) {
        Check(!re.Match(name), "match after a failed compile");
        return 0;
    }
    for (const std::string_view text : {name, std::string_view(pattern)}) {
        const bool first = re.Match(text);
        Check(re.LastSteps() <= varnolt::CAtlRegExp::kStepCeiling + 1, "step budget exceeded");
        if (!re.HasBackReferences()) {
            Check(!re.LastHitCeiling(), "ceiling hit without back-references");
            const std::uint64_t width = text.size() + 1;
            const std::uint64_t bound =
                (2 * re.ProgramSize() * width + 2) * (1 + re.LookaheadCount() * width) + width;
            Check(re.LastSteps() <= bound, "state bound exceeded");
        }
        // Scratch reuse must not change answers.
        Check(re.Match(text) == first || re.LastHitCeiling(), "answer changed on a repeat");
    }
    return 0;
}
