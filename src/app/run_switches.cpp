// The encoding list, profiles saved from switches, and messages for checks
// of switch-given options.
#include "app/run_switches.hpp"

#include "app/exit_codes.hpp"
#include "app/run_validation.hpp"
#include "platform/paths.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/profile.hpp"
#include "settings/string_table.hpp"

#include <cstdio>

namespace varnolt {
namespace {

constexpr int kMsgCannotCreateProfile = 3012;

} // namespace

std::string EncodingListText() {
    std::string text;
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const EncodingEntry& entry = EncodingCatalogue::Entry(i);
        char head[80];
        std::snprintf(head, sizeof head, "%-6d %-32.*s", static_cast<int>(entry.nCodePage),
                      static_cast<int>(entry.strName.size()), entry.strName.data());
        text += head;
        bool first = true;
        for (const std::string_view label : EncodingCatalogue::Labels(entry.nCodePage)) {
            text += first ? " " : ", ";
            text += label;
            first = false;
        }
        text += '\n';
    }
    return text;
}

std::string SwitchCheckMessage(const CMyCmdLineInfo& info, std::int32_t exitCode) {
    if (!info.m_strProfile.empty() || !info.HasRunSwitches()) {
        return {};
    }
    const ProfileOptions& o = info.m_switchOptions;
    switch (exitCode) {
    case kExitCodePageNotInstalled:
        return "--from: code page " + std::to_string(o.nCodePage) +
               " is not one this program decodes (--list-encodings lists them)";
    case kExitBadBackupPrefix:
    case kExitBadDestPrefix:
        return std::string(exitCode == kExitBadBackupPrefix ? "--backup" : "--prefix") +
               ": the prefix \"" +
               EscapeForDisplay(exitCode == kExitBadBackupPrefix ? o.strBackupPrefix
                                                                 : o.strDestPrefix) +
               "\" is not valid: it must not be empty, hold any of \\ / : * ? \" < > | or "
               "be 128 characters or longer";
    default:
        return {};
    }
}

std::string CandidateLines(const std::vector<DetectionCandidate>& candidates,
                           std::size_t maxLines) {
    std::string text;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const DetectionCandidate& candidate = candidates[i];
        if (i >= maxLines && candidate.dConfidence < candidates.front().dConfidence) {
            break;
        }
        const int index = EncodingCatalogue::IndexOf(candidate.nCodePage);
        const std::string_view name = EncodingCatalogue::Entry(index < 0 ? 0 : index).strName;
        char line[96];
        std::snprintf(line, sizeof line, "  %-6d %-32.*s %.2f\n",
                      static_cast<int>(candidate.nCodePage), static_cast<int>(name.size()),
                      name.data(), candidate.dConfidence);
        text += line;
    }
    return text;
}

std::string DetectionReportText(const std::string& path, const FileDetection& detection) {
    std::string text = EscapeForDisplay(path) + ":\n";
    if (detection.error) {
        text += "  cannot be read: " + *detection.error + "\n";
    } else if (detection.candidates.empty()) {
        text += "  no candidate\n";
    } else {
        text += CandidateLines(detection.candidates, 5);
    }
    return text;
}

std::int32_t SaveSwitchProfile(const CMyCmdLineInfo& info) {
    const ProfileOptions& o = info.m_switchOptions;
    std::int32_t code = kExitOk;
    if (o.nCodePage == kDetectCodePage) {
        std::fputs("varnolt: --save-profile: a profile names one source encoding; \"--from "
                   "auto\" cannot be saved\n",
                   stderr);
        return kExitCodePageNotInstalled;
    }
    if (!EncodingCatalogue::IsUsable(o.nCodePage)) {
        code = kExitCodePageNotInstalled;
    } else if (o.nOutputOption == 0 && !IsValidPrefix(o.strBackupPrefix)) {
        code = kExitBadBackupPrefix;
    } else if (o.nOutputOption == 1 && !IsValidPrefix(o.strDestPrefix)) {
        code = kExitBadDestPrefix;
    }
    if (code != kExitOk) {
        std::fprintf(stderr, "varnolt: %s\n", SwitchCheckMessage(info, code).c_str());
        return code;
    }
    if (!WriteProfile(info.m_strSaveProfile, o)) {
        const std::string_view text = LoadString(kMsgCannotCreateProfile);
        std::fprintf(stderr, "varnolt: %.*s \"%s\"\n", static_cast<int>(text.size()), text.data(),
                     EscapeForDisplay(platform::AbsolutePath(info.m_strSaveProfile)).c_str());
        return kExitBadProfile;
    }
    return kExitOk;
}

} // namespace varnolt
