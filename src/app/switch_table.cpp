// The switch table and what each switch does to the parsed command line.
#include "app/switch_table.hpp"

#include "app/cmd_line_info.hpp"
#include "app/exit_codes.hpp"
#include "decode/encoding_detector.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"

#include <algorithm>

namespace varnolt {
namespace {

std::string ApplyNonInteractive(CMyCmdLineInfo& info, const std::string&) {
    info.m_bNonInteractive = true;
    return {};
}

std::string ApplyProfile(CMyCmdLineInfo& info, const std::string& value) {
    info.m_strProfile = value;
    return {};
}

std::string ApplyLogFile(CMyCmdLineInfo& info, const std::string& value) {
    info.m_strLogFile = value;
    return {};
}

std::string ApplyOverwriteLog(CMyCmdLineInfo& info, const std::string&) {
    info.m_bAppendLog = false;
    return {};
}

std::string ApplyOverwriteExisting(CMyCmdLineInfo& info, const std::string&) {
    info.m_bOverwriteExisting = true;
    return {};
}

std::string ApplyRecurse(CMyCmdLineInfo& info, const std::string&) {
    info.m_bRecurse = true;
    return {};
}

std::string ApplyConsolePid(CMyCmdLineInfo& info, const std::string& value) {
    info.m_nConsolePid = ParseDecimal(value);
    return {};
}

// A switch that stands in for a profile line; given twice it is refused, as
// a second value is more likely a slip than a wish.
std::string TakeRunSwitch(CMyCmdLineInfo& info, std::string_view name) {
    const std::string typed = "--" + std::string(name);
    if (std::find(info.m_arrRunSwitches.begin(), info.m_arrRunSwitches.end(), typed) !=
        info.m_arrRunSwitches.end()) {
        return typed + " is given twice";
    }
    info.m_arrRunSwitches.push_back(typed);
    return {};
}

std::string ApplyFrom(CMyCmdLineInfo& info, const std::string& value) {
    if (std::string error = TakeRunSwitch(info, "from"); !error.empty()) {
        return error;
    }
    // A number is a code page as a profile holds it; one we cannot decode is
    // refused by the run's own check (exit code 144), as from a profile.
    const std::size_t first = value.find_first_not_of(" \t");
    const std::size_t last = value.find_last_not_of(" \t");
    if (first != std::string::npos && value.substr(first, last - first + 1) == "auto") {
        info.m_switchOptions.nCodePage = kDetectCodePage;
        return {};
    }
    if (first != std::string::npos && value.find_first_not_of("0123456789", first) > last &&
        last - first < 9) {
        info.m_switchOptions.nCodePage = ParseDecimal(value);
        return {};
    }
    const std::vector<std::int32_t> found = EncodingCatalogue::CodePagesForLabel(value);
    if (found.size() == 1) {
        info.m_switchOptions.nCodePage = found.front();
        return {};
    }
    if (found.empty()) {
        return "--from: unknown encoding \"" + value +
               "\" (--list-encodings lists the names and code pages)";
    }
    std::string text = "--from: \"" + value + "\" is ambiguous; give one of the code pages";
    for (const std::int32_t codePage : found) {
        const int index = EncodingCatalogue::IndexOf(codePage);
        text += " " + std::to_string(codePage) + " (" +
                std::string(EncodingCatalogue::Entry(index).strName) + ")";
        if (codePage != found.back()) {
            text += ",";
        }
    }
    return text;
}

std::string ApplyTo(CMyCmdLineInfo& info, const std::string& value) {
    if (std::string error = TakeRunSwitch(info, "to"); !error.empty()) {
        return error;
    }
    for (int format = 0; format < 3; ++format) {
        if (EqualsIgnoringAsciiCase(value, kUnicodeFormatNames[format])) {
            info.m_switchOptions.nUnicodeFormat = format;
            return {};
        }
    }
    return "--to: \"" + value + "\" is not one of utf-8, utf-16le, utf-16be";
}

std::string ApplyBom(CMyCmdLineInfo& info, const std::string&) {
    info.m_switchOptions.bAddBOM = true;
    return TakeRunSwitch(info, "bom");
}

std::string ApplyMeta(CMyCmdLineInfo& info, const std::string&) {
    info.m_switchOptions.bUtf8Meta = true;
    return TakeRunSwitch(info, "meta");
}

std::string ApplyEntities(CMyCmdLineInfo& info, const std::string&) {
    info.m_switchOptions.bEntityToUnicode = true;
    return TakeRunSwitch(info, "entities");
}

// --backup, --prefix and --out: the output option and its one text, which
// the run checks as it checks a profile's (146, 148, 150).
std::string ApplyOutput(CMyCmdLineInfo& info, const std::string& value, int option) {
    static constexpr std::string_view kNames[] = {"backup", "prefix", "out"};
    if (std::string error = TakeRunSwitch(info, kNames[option]); !error.empty()) {
        return error;
    }
    if (info.m_switchOptions.nOutputOption >= 0) {
        return "--" + std::string(kNames[info.m_switchOptions.nOutputOption]) + " and --" +
               std::string(kNames[option]) +
               " cannot be used together: give one of --backup, --prefix, --out";
    }
    info.m_switchOptions.nOutputOption = option;
    std::string* const target[] = {&info.m_switchOptions.strBackupPrefix,
                                   &info.m_switchOptions.strDestPrefix,
                                   &info.m_switchOptions.strOutputFolder};
    *target[option] = value;
    return {};
}

std::string ApplyBackup(CMyCmdLineInfo& info, const std::string& value) {
    return ApplyOutput(info, value, 0);
}

std::string ApplyPrefix(CMyCmdLineInfo& info, const std::string& value) {
    return ApplyOutput(info, value, 1);
}

std::string ApplyOut(CMyCmdLineInfo& info, const std::string& value) {
    return ApplyOutput(info, value, 2);
}

std::string ApplySaveProfile(CMyCmdLineInfo& info, const std::string& value) {
    if (value.empty()) {
        return "--save-profile: the profile's file name is empty";
    }
    info.m_strSaveProfile = value;
    return {};
}

std::string ApplyListEncodings(CMyCmdLineInfo& info, const std::string&) {
    info.m_bListEncodings = true;
    return {};
}

std::string ApplyDetect(CMyCmdLineInfo& info, const std::string&) {
    info.m_bDetect = true;
    return {};
}

std::string ApplyKeepFolders(CMyCmdLineInfo& info, const std::string&) {
    info.m_bKeepFolders = true;
    return {};
}

std::string ApplyFilesFrom(CMyCmdLineInfo& info, const std::string& value) {
    if (value.empty()) {
        return "--files-from: the list's file name is empty (\"-\" reads standard input)";
    }
    info.m_arrFileLists.push_back(value);
    return {};
}

std::string ApplyNull(CMyCmdLineInfo& info, const std::string&) {
    info.m_bNullSeparated = true;
    return {};
}

std::string ApplyDryRun(CMyCmdLineInfo& info, const std::string&) {
    info.m_bDryRun = true;
    return {};
}

std::string ApplyForce(CMyCmdLineInfo& info, const std::string&) {
    info.m_bForce = true;
    return {};
}

std::string ApplyEndOfSwitches(CMyCmdLineInfo& info, const std::string&) {
    info.m_bSwitchesEnded = true;
    return {};
}

using enum ValueKind;
using enum SwitchSection;
constexpr std::int32_t kWrong = kExitUnknownSwitch;

// The order is the usage's; the manual keeps it within each of its sections.
constexpr SwitchDef kSwitches[] = {
    {.cLetter = 'u',
     .strHelp = "Convert without a window (non-interactive mode)",
     .strManual = "Convert without a window (non-interactive mode).",
     .nPrograms = kForVarnolt,
     .pfnApply = ApplyNonInteractive},
    {.cLetter = 'c',
     .eValue = kProfile,
     .strValueName = "cfg-profile",
     .strHelp = "The config profile used to perform the conversion",
     .strManual = "The configuration profile (a *.vnp* file) used to perform the conversion.",
     .nError = kExitNoProfile,
     .pfnApply = ApplyProfile},
    {.cLetter = 'l',
     .eValue = kFile,
     .strValueName = "logfile",
     .strHelp = "The filename of Log File. Default is varnolt.log",
     .strManual = "The file name of the conversion log.\nDefault is *varnolt.log*.",
     .nError = kExitNoLogFile,
     .pfnApply = ApplyLogFile},
    {.cLetter = 'o',
     .strHelp = "Overwrite the Log File. Default: Append to existing log file",
     .strManual = "Overwrite the log file.\nDefault: append to an existing log file.",
     .pfnApply = ApplyOverwriteLog},
    {.cLetter = 'y',
     .strHelp = "Overwrite the destination file if the file already exists.\n"
                "Default: Skip the file",
     .strManual = "Overwrite the destination file if it already exists.\nDefault: skip the file.",
     .pfnApply = ApplyOverwriteExisting},
    {.cLetter = 's',
     .strHelp = "Search files in sub-directories",
     .strManual = "Search files in sub-directories.",
     .pfnApply = ApplyRecurse},
    {.cLetter = 'p',
     .eValue = kNumber,
     .strValueName = "pid",
     .strHelp = "Write one line per file to the console of that process",
     .strManual = "Write one line per file to the console of that process (used by *xvarnolt*).",
     .nPrograms = kForVarnolt,
     .pfnApply = ApplyConsolePid},
    {.strName = "from",
     .eValue = kEncoding,
     .strValueName = "ENC",
     .strHelp = "Source encoding: a code page number or a name such as\n"
                "shift_jis, windows-1251, koi8-r (see --list-encodings), or auto:\n"
                "each file's detected encoding (a file whose detection\n"
                "is not sure enough is not converted)",
     .strManual =
         "The source encoding: a code page number (such as 1251) or a name such as\n"
         "*windows-1251*, *cp1251*, *shift_jis*, *sjis*, *gbk*, *gb18030*, *big5*, *euc-kr*, "
         "*koi8-r*, *iso-8859-5*, *utf-16le* or *macintosh*.\n"
         "Names are compared without regard to the case of ASCII letters, and blanks around "
         "them are ignored.\n"
         "A name that the web's and the IANA's lists give to different code pages (such as "
         "*latin1*, *iso-8859-1* or *utf-16*) is refused with the candidates; give the code "
         "page number instead.\n"
         "*auto* detects each file's own encoding (as *--detect* does) and converts the file "
         "from its best candidate when the detection is sure enough; a file it is not sure of "
         "is not converted and gets a warning, with its candidates on standard error.\n"
         "A profile cannot hold *auto*.\n"
         "A code page this program does not decode gives status 144.",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyFrom},
    {.strName = "to",
     .eValue = kChoice,
     .strValueName = "FORMAT",
     .strHelp = "Unicode format: utf-8 (default), utf-16le or utf-16be",
     .strManual = "The Unicode format of the converted files: *utf-8* (the default), *utf-16le* "
                  "or *utf-16be*.",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .arrChoices = kUnicodeFormatNames,
     .pfnApply = ApplyTo},
    {.strName = "bom",
     .strHelp = "Write a byte-order mark",
     .strManual = "Write a byte order mark at the start of each converted file.",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyBom},
    {.strName = "meta",
     .strHelp = "Add or update the UTF-8 charset meta tag of HTML files\n(with --to utf-8 only)",
     .strManual =
         "Add or update the UTF-8 charset meta tag of HTML files (with *--to utf-8* only).",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyMeta},
    {.strName = "entities",
     .strHelp = "Convert HTML character entities to Unicode text",
     .strManual = "Convert HTML character entities into Unicode text.",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyEntities},
    {.strName = "backup",
     .eValue = kText,
     .strValueName = "PREFIX",
     .strHelp = "Convert in place, keeping each original under PREFIX+name\n"
                "(one of --backup, --prefix, --out)",
     .strManual = "Convert in place; the original is kept under the same name with <prefix> in "
                  "front (output option 0).",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyBackup},
    {.strName = "prefix",
     .eValue = kText,
     .strValueName = "PREFIX",
     .strHelp = "Write PREFIX+name beside each source",
     .strManual = "Write the converted file beside its source, named with <prefix> in front "
                  "(output option 1).",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyPrefix},
    {.strName = "out",
     .eValue = kFolder,
     .strValueName = "DIR",
     .strHelp = "Write the converted files into the folder DIR",
     .strManual = "Write the converted files into the existing folder <dir> (output option 2).",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .pfnApply = ApplyOut},
    {.strName = "keep-folders",
     .strHelp = "Files a pattern finds (with -s) keep their path below\n"
                "the pattern's folder inside the output folder, listed\n"
                "files (--files-from) their path below the current folder",
     .strManual = "Files found by a pattern (with *-s*, in sub-folders too) keep their path "
                  "below the pattern's folder inside the output folder, so that same-named "
                  "files of different folders do not meet; files of a *--files-from* list keep "
                  "their path below the current folder.",
     .nError = kWrong,
     .eSection = kOther,
     .pfnApply = ApplyKeepFolders},
    {.strName = "files-from",
     .eValue = kFile,
     .strValueName = "FILE",
     .strHelp = "Also convert the files named in FILE, one per line\n(\"-\": standard input)",
     .strManual = "Also convert the files named in <file>, one per line (*-* reads standard "
                  "input).\n"
                  "Names are taken byte for byte, blanks included, and are not searched as "
                  "patterns; empty lines are skipped.\n"
                  "The list is read as it comes, so it may name millions of files.",
     .nError = kWrong,
     .eSection = kOther,
     .pfnApply = ApplyFilesFrom},
    {.strName = "null",
     .strHelp = "Names in --files-from lists end with a NUL byte,\nnot a line feed",
     .strManual = "Names in *--files-from* lists end with a NUL byte instead of a line feed (as "
                  "*find -print0* writes them), so they may hold line feeds.",
     .nError = kWrong,
     .eSection = kOther,
     .pfnApply = ApplyNull},
    {.strName = "save-profile",
     .eValue = kFile,
     .strValueName = "FILE",
     .strHelp = "Write the options given by these switches as a profile\nand convert nothing",
     .strManual = "Write these options as a profile to <file> and convert nothing; a later *-c* "
                  "<file> run converts exactly as the switches would.",
     .nError = kWrong,
     .eSection = kWithoutProfile,
     .bConvertsNothing = true,
     .pfnApply = ApplySaveProfile},
    {.strName = "list-encodings",
     .strHelp = "List the encodings: code page, name and the names\n--from takes",
     .strManual = "Print the encodings: code page, name, and the names *--from* takes.",
     .nError = kWrong,
     .eSection = kOther,
     .bConvertsNothing = true,
     .pfnApply = ApplyListEncodings},
    {.strName = "detect",
     .strHelp = "Print the likely encodings of the files (code page,\n"
                "name, confidence) and convert nothing",
     .strManual = "Print the likely encodings of each file and convert nothing: the file's name, "
                  "then up to five candidates, best first, each as code page, name and a "
                  "confidence from 0 to 1 (pages that read the file identically share one "
                  "confidence and are all shown).\n"
                  "The first 256 KiB of each file are read.\n"
                  "An empty file has no candidate.",
     .nError = kWrong,
     .eSection = kOther,
     .bConvertsNothing = true,
     .pfnApply = ApplyDetect},
    {.strName = "dry-run",
     .strHelp = "Check every file and show where it would go; write\nnothing but the log",
     .strManual = "Read and check every file and report the result and the destination each "
                  "would get, but write nothing except the log: no backup, folder, temporary or "
                  "converted file.",
     .nError = kWrong,
     .pfnApply = ApplyDryRun},
    {.strName = "force",
     .strHelp = "Convert also files that seem not to be in the source\n"
                "encoding (UTF-8, UTF-16 or binary files). Default:\nskip them",
     .strManual = "Convert also the files that do not seem to be in the source encoding: one "
                  "that starts with a byte-order mark of another Unicode form, one that is valid "
                  "UTF-8 with non-ASCII characters while the source encoding is a legacy code "
                  "page, and one that looks binary.\n"
                  "Without it such a file is not converted and gets a warning that says what it "
                  "seems to be.",
     .nError = kWrong,
     .pfnApply = ApplyForce},
    {.strHelp = "End of the switches: later arguments are files\n(\"-x.txt\")",
     .strManual = "End of the switches: every later argument is a file, even one whose name "
                  "begins with *-*.",
     .eSection = kOther,
     .pfnApply = ApplyEndOfSwitches},
    {.cLetter = 'h',
     .strName = "help",
     .strHelp = "Print the usage text and exit",
     .strManual = "Print the usage text and exit (only as the sole argument).",
     .eSole = SoleRequest::kHelp},
    {.strName = "version",
     .strHelp = "Print the version and exit",
     .strManual = "Print the version and exit (only as the sole argument).",
     .eSole = SoleRequest::kVersion},
};

// One usage block: each entry's head padded to `column`, then "- " and its
// help, later help lines under the first.
std::string UsageBlock(unsigned program, bool letters, std::size_t column) {
    std::string text;
    for (const SwitchDef& row : kSwitches) {
        if ((row.nPrograms & program) == 0 || row.eSole != SoleRequest::kNone ||
            (row.cLetter != '\0') != letters) {
            continue;
        }
        std::string head = SwitchSpellings(row).front();
        if (!row.strValueName.empty()) {
            head += " " + std::string(row.strValueName);
        }
        head.resize(std::max(head.size(), column), ' ');
        text += head + "- ";
        for (const char c : row.strHelp) {
            text += c;
            if (c == '\n') {
                text.append(column + 2, ' ');
            }
        }
        text += '\n';
    }
    return text;
}

} // namespace

std::span<const SwitchDef> Switches() {
    return kSwitches;
}

const SwitchDef* FindLetterSwitch(char letter) {
    const char lower =
        letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
    for (const SwitchDef& row : kSwitches) {
        if (lower != '\0' && row.cLetter == lower && row.eSole == SoleRequest::kNone) {
            return &row;
        }
    }
    return nullptr;
}

const SwitchDef* FindLongOption(std::string_view name) {
    for (const SwitchDef& row : kSwitches) {
        // Letter rows have an empty name too; only "--" has neither.
        if (row.strName == name && (!name.empty() || row.cLetter == '\0') &&
            row.eSole == SoleRequest::kNone) {
            return &row;
        }
    }
    return nullptr;
}

SoleRequest SoleArgumentRequest(std::string_view arg) {
    for (const SwitchDef& row : kSwitches) {
        if (row.eSole == SoleRequest::kNone) {
            continue;
        }
        // Spelled exactly: these never go through the grammar, whose letters
        // take either case.
        for (const std::string& spelling : SwitchSpellings(row)) {
            if (arg == spelling) {
                return row.eSole;
            }
        }
    }
    return SoleRequest::kNone;
}

std::vector<std::string> SwitchSpellings(const SwitchDef& row) {
    std::vector<std::string> spellings;
    if (row.cLetter != '\0') {
        spellings.push_back(std::string("-") + row.cLetter);
    }
    if (row.cLetter == '\0' || !row.strName.empty()) {
        spellings.push_back("--" + std::string(row.strName));
    }
    return spellings;
}

std::string LetterSwitchesUsage(unsigned program) {
    return UsageBlock(program, true, 15);
}

std::string LongOptionsUsage(unsigned program) {
    return UsageBlock(program, false, 21);
}

} // namespace varnolt
