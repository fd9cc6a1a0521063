// Fuzzes profile parsing: any bytes parse without fault, and a parsed profile
// written again reads back to the same options.
#include "settings/profile.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace varnolt;
    ProfileContent content;
    if (ParseProfile(std::string_view(reinterpret_cast<const char*>(data), size), content) !=
        ProfileStatus::Ok) {
        return 0;
    }
    ProfileContent again;
    if (ParseProfile(FormatProfile(content.options), again) != ProfileStatus::Ok) {
        std::abort();
    }
    const ProfileOptions& a = content.options;
    const ProfileOptions& b = again.options;
    if (a.nCodePage != b.nCodePage || a.nOutputOption != b.nOutputOption ||
        a.strBackupPrefix != b.strBackupPrefix || a.strDestPrefix != b.strDestPrefix ||
        a.strOutputFolder != b.strOutputFolder || a.nUnicodeFormat != b.nUnicodeFormat ||
        a.bUtf8Meta != b.bUtf8Meta || a.bEntityToUnicode != b.bEntityToUnicode ||
        a.bAddBOM != b.bAddBOM) {
        std::abort();
    }
    return 0;
}
