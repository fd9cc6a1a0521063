// Validation of a non-interactive run's options.
#include "app/run_validation.hpp"

#include "app/exit_codes.hpp"
#include "platform/small_file.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"

namespace varnolt {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

} // namespace

bool IsValidPrefix(std::string_view prefix) {
    return !prefix.empty() && prefix.find_first_of("\\/:*?\"<>|") == std::string_view::npos &&
           Utf8ToUtf16(prefix).size() < 128;
}

std::string NormaliseOutputFolder(std::string_view folder) {
    std::string_view text = Trim(folder);
    if (text.size() > 2 && text.front() == '"' && text.back() == '"') {
        text = Trim(text.substr(1, text.size() - 2));
    }
    std::string out(text);
    if (!out.empty() && out.back() != '/') {
        out += '/';
    }
    return out;
}

std::int32_t ValidateRunOptions(std::size_t fileCount, ProfileRunOptions& options) {
    if (fileCount == 0) {
        return kExitNoSourceFiles;
    }
    if (!EncodingCatalogue::IsUsable(options.nCodePage)) {
        return kExitCodePageNotInstalled;
    }
    switch (options.nOutputOption) {
    case 0:
        return IsValidPrefix(options.strOutputArg) ? kExitOk : kExitBadBackupPrefix;
    case 1:
        return IsValidPrefix(options.strOutputArg) ? kExitOk : kExitBadDestPrefix;
    case 2:
        options.strOutputArg = NormaliseOutputFolder(options.strOutputArg);
        return platform::IsWritableDirectory(options.strOutputArg) ? kExitOk : kExitBadOutputFolder;
    default:
        // ReadForRun never lets another option through.
        return kExitBadProfile;
    }
}

} // namespace varnolt
