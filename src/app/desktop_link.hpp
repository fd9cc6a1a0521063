// Desktop launchers that stand for a file: the shortcuts of Linux desktops.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The text of a launcher of Type=Application named `name` whose Exec line
// runs exactly `argv` (the program's absolute path first): every argument in
// double quotes with the quoting and escapes of the Desktop Entry rules, so
// blanks, quotes, backslashes, '$', '%' and backticks reach the program as
// they are. Nothing when a text is not UTF-8 (a launcher must be).
std::optional<std::string> FormatDesktopLauncher(std::string_view name,
                                                 const std::vector<std::string>& argv);

// The launcher that opens the main window with a profile: "Varnolt
// (TITLE).desktop" in `desktopFolder` (TITLE: the profile's file name without
// its extension), running `programPath` with -c and the profile's absolute
// path. It is made executable (0755) and replaces an older one at once, never
// leaving half a file. False when it could not be written; nothing is
// created then.
bool WriteProfileShortcut(const std::string& desktopFolder, const std::string& programPath,
                          const std::string& profilePath);

} // namespace varnolt
