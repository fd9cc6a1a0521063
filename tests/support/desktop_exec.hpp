// Reading a launcher's Exec line the way a desktop does, written from the
// Desktop Entry rules alone, so the tests check the launcher writer against
// an independent reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt::test {

// The value of `key` in the [Desktop Entry] group, string escapes (\s \n \t
// \r \\) undone; nothing when absent, given twice or holding any other
// escape.
std::optional<std::string> DesktopEntryValue(std::string_view text, std::string_view key);

// Splits an Exec value (escapes already undone) into the argument vector:
// blanks separate arguments; a double-quoted argument takes '"', '`', '$'
// and '\' after a backslash; "%%" is a '%'. Nothing for anything else
// (a stray backslash, an open quote, a field code).
std::optional<std::vector<std::string>> SplitDesktopExec(std::string_view exec);

} // namespace varnolt::test
