// Desktop launchers that stand for a file: the shortcuts of Linux desktops.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace varnolt {

// The local path that a launcher of Type=Link names with a file: URL, or
// nothing when the text is no such launcher (another type, another scheme, a
// remote host, a malformed or repeated key). Only the [Desktop Entry] group
// counts; the path is returned as written in the URL, percent escapes taken
// as raw bytes.
std::optional<std::string> ParseDesktopLink(std::string_view text);

// The same for a file: only a regular ".desktop" file (any case) of modest
// size is read, so a FIFO, a device or a huge file is never taken for one.
std::optional<std::string> ReadDesktopLink(const std::string& path);

} // namespace varnolt
