// The per-user settings "key": one section of a .reg-syntax text file.
//
// Values keep their registry type and raw bytes (strings as UTF-16LE with a
// terminating NUL), so the settings store applies the same type and size rules
// it would to a real registry value. The file stays readable and editable by a
// person: strings are written as "text", DWORDs as dword:xxxxxxxx.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt::platform {

enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
};

struct RegValue {
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
    bool operator==(const RegValue&) const = default;
};

using RegValueMap = std::map<std::string, RegValue>;

// The section every value of ours lives in.
inline constexpr std::string_view kSettingsSection =
    "HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5";

// Parses the values of kSettingsSection from .reg text (UTF-8, optional BOM,
// CRLF or LF, "\" line continuations). Lines it cannot read are skipped; of a
// name given twice the last readable line counts.
RegValueMap ParseRegText(std::string_view text);

// Formats values as .reg text with the header line and the section.
std::string FormatRegText(const RegValueMap& values);

// The file's text with `changes` applied, for a file a person may have edited:
// a changed value replaces only the line (or continued lines) that the reader
// takes it from, a new one is added after the last line of our section (the
// section is added at the end when missing), a value the text already holds
// keeps its line; every other byte, line end, comment, unreadable line and
// other section stays as it was. Returns `text` itself when nothing changes.
std::string MergeRegText(std::string_view text, const RegValueMap& changes);

// Where the settings file lives: $VARNOLT_SETTINGS, else
// $XDG_CONFIG_HOME/varnolt/settings.reg, else ~/.config/varnolt/settings.reg.
std::string DefaultSettingsPath();

enum class RegQuery { Ok, MoreData, NotFound, NoKey };

// A registry key backed by a file. Reading is lazy (the first Query reads and
// parses the file); writing re-reads the file under a lock, applies only the
// values this process changed and replaces the file atomically.
class CRegistryFile {
public:
    explicit CRegistryFile(std::string path);

    const std::string& Path() const { return m_strPath; }

    // False when the key cannot be used at all (folder cannot be created, or
    // the file exists but cannot be read): queries answer NoKey, writes fail.
    bool IsOpen();

    // RegQueryValueEx: copies up to `capacity` bytes; `size` receives the
    // value's full size. MoreData when the buffer is too small.
    RegQuery Query(const std::string& name, std::uint32_t& type, std::uint8_t* buffer,
                   std::size_t capacity, std::size_t& size);

    // Stages a value for the next Flush and makes it visible to Query at once.
    bool SetValue(const std::string& name, const RegValue& value);

    // Merges the staged values into the file on disk. False on failure.
    bool Flush();

private:
    void EnsureLoaded();

    std::string m_strPath;
    bool m_bLoaded = false;
    bool m_bUsable = true;
    RegValueMap m_values;
    RegValueMap m_staged;
};

} // namespace varnolt::platform
