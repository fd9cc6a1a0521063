// Saved searches of the find-files window and their stored binary form.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace varnolt {

class CAppSettings;

// One saved search. Texts are kept as the UTF-16 they are stored in, so a
// value read and written again keeps every unit, even one that is not valid.
struct CFindFileFilter {
    std::u16string strName;
    std::u16string strFolder;
    std::u16string strInclusion;
    std::u16string strExclusion;
    bool bSearchSubfolders = false;
    bool bUseRegExp = false;
    bool bPreserveFolders = true;

    bool operator==(const CFindFileFilter&) const = default;
};

// The version every entry is written with; entries of versions 0 and 1 have
// no "preserve folder structure" byte.
inline constexpr std::uint32_t kFindFileFilterVersion = 2;

// Little-endian: the entry count (16 bits, escaped to 32 and 64), then per
// entry its version, four strings and the flag bytes. Strings are UTF-16
// behind the mark 0xFF 0xFFFE with an escaped length in units; without the
// mark, that many bytes of 8-bit text (UTF-8, what cannot be decoded becomes
// U+FFFD). False on short data or a length that runs past the end; nothing
// beyond `data` is read, and `filters` is only changed on success.
bool DecodeSavedSearches(std::span<const std::uint8_t> data, std::vector<CFindFileFilter>& filters);

// The stored form of `filters`, every entry as the current version with
// UTF-16 strings and the shortest length forms.
std::vector<std::uint8_t> EncodeSavedSearches(const std::vector<CFindFileFilter>& filters);

// The saved searches of the settings file: what "SearchPredefinedFilter"
// holds, or, when it is missing, not binary, unreadable or holds no entry,
// the single default entry "Last Used".
std::vector<CFindFileFilter> LoadSavedSearches(CAppSettings& settings);

// Writes the whole list; false when the settings file was not written.
bool StoreSavedSearches(CAppSettings& settings, const std::vector<CFindFileFilter>& filters);

} // namespace varnolt
