// Fuzzes pattern compile + match: no crash, no sanitizer report, and every
// match of a pattern of up to 64 bytes against a name of up to 255 bytes stays
// within the step budget; without back-references within the state bound and
// never cut short by the ceiling. Read as a wildcard, the same pattern must
// compile after translation and agree with a plain glob matcher.
#include "search/atl_reg_exp.hpp"
#include "search/file_find_ex.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxPattern = 64;
constexpr std::size_t kMaxName = 255;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "pattern_fuzz: %s\n", what);
        std::abort();
    }
}

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Plain glob matching over ASCII text ("*" any run, "?" one character, A-Z
// folded), to check the translated wildcard against.
bool GlobMatches(std::string_view glob, std::string_view name) {
    std::vector<std::vector<bool>> ok(glob.size() + 1, std::vector<bool>(name.size() + 1));
    ok[glob.size()][name.size()] = true;
    for (std::size_t g = glob.size(); g-- > 0;) {
        for (std::size_t n = name.size() + 1; n-- > 0;) {
            if (glob[g] == '*') {
                ok[g][n] = ok[g + 1][n] || (n < name.size() && ok[g][n + 1]);
            } else if (n < name.size() && (glob[g] == '?' || Fold(glob[g]) == Fold(name[n]))) {
                ok[g][n] = ok[g + 1][n + 1];
            }
        }
    }
    return ok[0][0];
}

bool IsAscii(std::string_view s) {
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
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
    // The pattern read as a wildcard: its translation always compiles and
    // accepts exactly what the glob accepts.
    if (!pattern.empty()) {
        Check(re.Compile(varnolt::WildcardToPattern(pattern)) == varnolt::RegExpResult::Ok,
              "a translated wildcard did not compile");
        if (IsAscii(pattern) && IsAscii(name)) {
            Check(re.Match(name) == GlobMatches(pattern, name), "wildcard differs from glob");
        }
    }
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
