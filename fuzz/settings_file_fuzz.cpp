// Fuzzes the settings file text: any bytes parse without fault, and what the
// formatter writes reads back to the same values (and formats to the same
// text again), whether the values came from parsing or were built directly.
#include "platform/registry_file.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using varnolt::platform::FormatRegText;
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
        CheckRoundTrip(
            ParseRegText(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)));
    } else {
        CheckRoundTrip(BuildValues(data + 1, size - 1));
    }
    return 0;
}
