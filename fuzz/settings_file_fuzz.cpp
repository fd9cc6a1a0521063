// Fuzzes the settings file text: any bytes parse without fault, and what the
// formatter writes reads back to the same values (and formats to the same
// text again), whether the values came from parsing or were built directly.
// Changes merged into any text read back as the text's values with the changes
// applied, and merging them again (or merging nothing) changes nothing.
#include "platform/registry_file.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using varnolt::platform::FormatRegText;
using varnolt::platform::MergeRegText;
using varnolt::platform::ParseRegText;
using varnolt::platform::RegValue;
using varnolt::platform::RegValueMap;

void CheckRoundTrip(const RegValueMap& values) {
    const std::string text = FormatRegText(values);
    const RegValueMap again = ParseRegText(text);
    if (again != values) {
        std::fprintf(stderr, "settings_file_fuzz: %zu values formatted, %zu read back\n%s\n",
                     values.size(), again.size(), text.c_str());
        std::abort();
    }
    if (FormatRegText(again) != text) {
        std::fprintf(stderr, "settings_file_fuzz: formatting is not stable\n");
        std::abort();
    }
}

void CheckMerge(std::string_view text, const RegValueMap& changes) {
    const std::string merged = MergeRegText(text, changes);
    RegValueMap expected = ParseRegText(text);
    for (const auto& [name, value] : changes) {
        expected[name] = value;
    }
    if (ParseRegText(merged) != expected) {
        std::fprintf(stderr, "settings_file_fuzz: merged text reads back otherwise\n%s\n",
                     merged.c_str());
        std::abort();
    }
    if (MergeRegText(merged, changes) != merged || MergeRegText(text, {}) != text) {
        std::fprintf(stderr, "settings_file_fuzz: a merge with nothing to do changed the text\n");
        std::abort();
    }
}

// Changes for a text: new values of each kind, and new values for the names
// the text already holds (its first few), so lines are replaced as well as added.
RegValueMap ChangesFor(const RegValueMap& present, std::size_t seed) {
    RegValueMap changes{
        {"Encoding", {varnolt::platform::kRegDword, {static_cast<std::uint8_t>(seed), 0, 0, 1}}},
        {"PrependDest", {varnolt::platform::kRegSz, {0x5F, 0x00, 0xE9, 0x00, 0x00, 0x00}}},
        {"CodecOptions", {varnolt::platform::kRegBinary, std::vector<std::uint8_t>(60, 0xAB)}},
    };
    std::size_t n = 0;
    for (const auto& [name, value] : present) {
        if (++n > 3) {
            break;
        }
        RegValue changed = value;
        changed.type = varnolt::platform::kRegBinary;
        changed.data.push_back(static_cast<std::uint8_t>(seed));
        changes[name] = std::move(changed);
    }
    return changes;
}

// Values built from the bytes: [name length][name][type][data length][data]...
// Names are what a quoted .reg name can hold (no line break).
RegValueMap BuildValues(const std::uint8_t* data, std::size_t size) {
    RegValueMap values;
    std::size_t i = 0;
    auto next = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size && values.size() < 16) {
        std::string name;
        for (std::size_t n = next() % 24; n > 0 && i < size; --n) {
            const char c = static_cast<char>(next());
            if (c != '\n') {
                name.push_back(c);
            }
        }
        RegValue value;
        const std::uint8_t type = next();
        value.type = type < 0xF0 ? type % 5 : 0x100u * type + next();
        for (std::size_t n = next(); n > 0 && i < size; --n) {
            value.data.push_back(next());
        }
        values[name] = std::move(value);
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    if (data[0] % 2 == 0) {
        const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
        const RegValueMap values = ParseRegText(text);
        CheckRoundTrip(values);
        CheckMerge(text, ChangesFor(values, size));
    } else {
        CheckRoundTrip(BuildValues(data + 1, size - 1));
    }
    return 0;
}
