// The run options the writer and the placement need, filled by the controller.
#pragma once

#include <string>

namespace varnolt {

namespace platform {
class CFileIdentitySet;
}

enum OutputOption : int { kOutputOverBackup = 0, kOutputPrefixedCopy = 1, kOutputToFolder = 2 };
enum UnicodeFormat : int { kFormatUtf16Le = 0, kFormatUtf16Be = 1, kFormatUtf8 = 2 };
enum OverwriteRule : int { kRuleOverwrite = 0, kRuleSkip = 1, kRuleAsk = 2 };

struct COutputOptions {
    int nOutputOption = kOutputPrefixedCopy;
    int nUnicodeFormat = kFormatUtf8;
    // The backup prefix (option 0), the converted-file prefix (option 1) or
    // the output folder, ending in "/" (option 2).
    std::string strPrefixOrFolder;
    bool bAddBOM = false;
    int nOverwriteRule = kRuleSkip;
    // Every source of the run: none is ever replaced by another file's
    // output, whatever the overwrite rule. None given: no such check.
    const platform::CFileIdentitySet* pRunSources = nullptr;
    // Where each placed destination is noted, so the run knows its own files.
    platform::CFileIdentitySet* pPlaced = nullptr;
};

} // namespace varnolt
