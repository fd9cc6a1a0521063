// Command-line grammar, file-argument expansion and profile path resolution.
#include "app/cmd_line_info.hpp"

#include "app/desktop_link.hpp"
#include "app/exit_codes.hpp"
#include "app/pattern_expansion.hpp"
#include "app/source_file_list_doc.hpp"
#include "decode/encoding_detector.hpp"
#include "platform/paths.hpp"
#include "platform/small_file.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace varnolt {
namespace {

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
    // The profile's format index: 0 UTF-16LE, 1 UTF-16BE, 2 UTF-8.
    static constexpr std::string_view kNames[] = {"utf-16le", "utf-16be", "utf-8"};
    for (int format = 0; format < 3; ++format) {
        if (EqualsIgnoringAsciiCase(value, kNames[format])) {
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

constexpr LongOption kLongOptions[] = {
    {"from", "ENC",
     "Source encoding: a code page number or a name such as\nshift_jis, windows-1251, "
     "koi8-r (see --list-encodings), or auto:\neach file's detected encoding (a file "
     "whose detection\nis not sure enough is not converted)",
     ApplyFrom},
    {"to", "FORMAT", "Unicode format: utf-8 (default), utf-16le or utf-16be", ApplyTo},
    {"bom", "", "Write a byte-order mark", ApplyBom},
    {"meta", "", "Add or update the UTF-8 charset meta tag of HTML files\n(with --to utf-8 only)",
     ApplyMeta},
    {"entities", "", "Convert HTML character entities to Unicode text", ApplyEntities},
    {"backup", "PREFIX",
     "Convert in place, keeping each original under PREFIX+name\n(one of --backup, --prefix, "
     "--out)",
     ApplyBackup},
    {"prefix", "PREFIX", "Write PREFIX+name beside each source", ApplyPrefix},
    {"out", "DIR", "Write the converted files into the folder DIR", ApplyOut},
    {"keep-folders", "",
     "Files a pattern finds (with -s) keep their path below\nthe pattern's folder inside the "
     "output folder, listed\nfiles (--files-from) their path below the current folder",
     ApplyKeepFolders},
    {"files-from", "FILE",
     "Also convert the files named in FILE, one per line\n(\"-\": standard input)", ApplyFilesFrom},
    {"null", "", "Names in --files-from lists end with a NUL byte,\nnot a line feed", ApplyNull},
    {"save-profile", "FILE",
     "Write the options given by these switches as a profile\nand convert nothing",
     ApplySaveProfile},
    {"list-encodings", "", "List the encodings: code page, name and the names\n--from takes",
     ApplyListEncodings},
    {"detect", "",
     "Print the likely encodings of the files (code page,\nname, confidence) and convert "
     "nothing",
     ApplyDetect},
    {"dry-run", "", "Check every file and show where it would go; write\nnothing but the log",
     ApplyDryRun},
    {"force", "",
     "Convert also files that seem not to be in the source\nencoding (UTF-8, UTF-16 or binary "
     "files). Default:\nskip them",
     ApplyForce},
};

} // namespace

std::span<const LongOption> LongOptions() {
    return kLongOptions;
}

std::string LongOptionsUsage() {
    static constexpr std::size_t kColumn = 21;
    const auto entry = [](std::string head, std::string_view help) {
        head.resize(std::max(head.size(), kColumn), ' ');
        std::string text = head + "- ";
        for (const char c : help) {
            text += c;
            if (c == '\n') {
                text.append(kColumn + 2, ' ');
            }
        }
        return text + "\n";
    };
    std::string text;
    for (const LongOption& option : kLongOptions) {
        std::string head = "--" + std::string(option.strName);
        if (!option.strValueName.empty()) {
            head += " " + std::string(option.strValueName);
        }
        text += entry(head, option.strHelp);
    }
    return text + entry("--", "End of the switches: later arguments are files\n(\"-x.txt\")");
}

CMyCmdLineInfo::CMyCmdLineInfo(CSourceFileListDoc& doc)
    : m_strProgramFolder(platform::ExecutableFolder()), m_doc(doc) {}

void CMyCmdLineInfo::ParseCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Only '-' starts a switch: every absolute POSIX path begins with '/'.
        // After "--" nothing does, so a file may be called "-x.txt".
        const bool isSwitch = !m_bSwitchesEnded && !arg.empty() && arg.front() == '-';
        ParseParam(isSwitch ? arg.substr(1) : arg, isSwitch, i == argc - 1);
    }
    ResolveProfilePath();
}

void CMyCmdLineInfo::ParseParam(const std::string& text, bool isSwitch, bool isLast) {
    if (m_nError != 0) {
        return;
    }
    if (m_nPendingLong >= 0) {
        // A long option's value is the next argument whatever it looks like
        // ("--prefix -u_"), as getopt takes it.
        const LongOption& option = LongOptions()[static_cast<std::size_t>(m_nPendingLong)];
        m_nPendingLong = -1;
        if (std::string error = option.pfnApply(*this, isSwitch ? "-" + text : text);
            !error.empty()) {
            m_nError = kExitUnknownSwitch;
            m_strError = std::move(error);
        }
    } else if (isSwitch && !text.empty() && text.front() == '-' && m_nPending != 1 &&
               m_nPending != 2) {
        ParseLongOption(text, isLast);
    } else if (isSwitch) {
        if (m_nPending == 1) {
            m_nError = kExitNoProfile;
        } else if (m_nPending == 2) {
            m_nError = kExitNoLogFile;
        } else {
            const char letter = text.empty() ? '\0' : text.front();
            const std::string inlineValue = text.empty() ? std::string() : text.substr(1);
            switch (letter) {
            case 'c':
            case 'C':
            case 'l':
            case 'L': {
                const bool isProfile = letter == 'c' || letter == 'C';
                if (!inlineValue.empty()) {
                    (isProfile ? m_strProfile : m_strLogFile) = inlineValue;
                } else if (isLast) {
                    m_nError = isProfile ? kExitNoProfile : kExitNoLogFile;
                } else {
                    m_nPending = isProfile ? 1 : 2;
                }
                break;
            }
            case 'p':
            case 'P':
                if (!inlineValue.empty()) {
                    m_nConsolePid = ParseDecimal(inlineValue);
                } else {
                    m_nPending = 3;
                }
                break;
            case 'o':
            case 'O':
                m_bAppendLog = false;
                m_nPending = 0;
                break;
            case 's':
            case 'S':
                m_bRecurse = true;
                m_nPending = 0;
                break;
            case 'u':
            case 'U':
                m_bNonInteractive = true;
                m_nPending = 0;
                break;
            case 'y':
            case 'Y':
                m_bOverwriteExisting = true;
                m_nPending = 0;
                break;
            default:
                m_nError = kExitUnknownSwitch;
                m_strUnknownSwitch = "-" + text;
                break;
            }
        }
    } else {
        switch (m_nPending) {
        case 1:
            m_strProfile = text;
            break;
        case 2:
            m_strLogFile = text;
            break;
        case 3:
            m_nConsolePid = ParseDecimal(text);
            break;
        default:
            m_arrFiles.push_back(text);
            break;
        }
        m_nPending = 0;
    }
    // The expansion runs even when the last argument itself was the error.
    if (isLast) {
        if (m_nError == 0) {
            CheckSwitchCombination();
        }
        ExpandFiles();
    }
}

void CMyCmdLineInfo::ParseLongOption(const std::string& text, bool isLast) {
    if (text == "-") {
        m_bSwitchesEnded = true;
        m_nPending = 0;
        return;
    }
    const std::string body = text.substr(1);
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    const auto options = LongOptions();
    const auto option = std::find_if(options.begin(), options.end(),
                                     [&name](const LongOption& o) { return o.strName == name; });
    if (option == options.end()) {
        m_nError = kExitUnknownSwitch;
        m_strUnknownSwitch = "-" + text;
        return;
    }
    m_nPending = 0;
    std::string error;
    if (option->strValueName.empty()) {
        error = equals == std::string::npos
                    ? option->pfnApply(*this, {})
                    : "--" + name + " takes no value (\"" + body.substr(equals + 1) + "\")";
    } else if (equals != std::string::npos) {
        error = option->pfnApply(*this, body.substr(equals + 1));
    } else if (isLast) {
        error = "--" + name + " needs a value (" + std::string(option->strValueName) + ")";
    } else {
        m_nPendingLong = static_cast<int>(option - options.begin());
    }
    if (!error.empty()) {
        m_nError = kExitUnknownSwitch;
        m_strError = std::move(error);
    }
}

void CMyCmdLineInfo::CheckSwitchCombination() {
    const auto fail = [this](std::string text) {
        m_nError = kExitUnknownSwitch;
        m_strError = std::move(text);
    };
    const bool saving = !m_strSaveProfile.empty();
    if (HasRunSwitches() || saving) {
        const std::string first = HasRunSwitches() ? m_arrRunSwitches.front() : "--save-profile";
        const bool haveFrom = std::find(m_arrRunSwitches.begin(), m_arrRunSwitches.end(),
                                        "--from") != m_arrRunSwitches.end();
        if (!m_strProfile.empty()) {
            // Two sources of one set of options: which one wins would be a guess.
            fail("-c and " + first +
                 " cannot be used together: a profile already holds the run's options");
        } else if (!haveFrom) {
            fail(first + " needs --from: the source encoding has no default");
        } else if (m_switchOptions.nOutputOption < 0) {
            fail(first + " needs one of --backup PREFIX, --prefix PREFIX or --out DIR");
        } else if (m_switchOptions.bUtf8Meta && m_switchOptions.nUnicodeFormat != 2) {
            fail("--meta needs --to utf-8: the charset meta tag names UTF-8");
        } else if (saving && (!m_arrFiles.empty() || !m_arrFileLists.empty())) {
            fail("--save-profile converts nothing: give the files to a run with -c");
        }
    }
    if (m_nError == 0 && m_bDetect && (HasRunSwitches() || saving || !m_strProfile.empty())) {
        fail("--detect converts nothing: give it the files alone");
    }
    if (m_nError == 0 && m_bNullSeparated && m_arrFileLists.empty()) {
        fail("--null applies to --files-from lists, and none is given");
    }
}

void CMyCmdLineInfo::ExpandFiles() {
    for (const std::string& argument : m_arrFiles) {
        if (platform::FullPath(argument).find_first_of("*?") != std::string::npos) {
            // Written as typed: the search resolves its folder as the kernel does.
            ExpandPattern(platform::AbsolutePath(argument), m_bRecurse, m_doc, m_bKeepFolders);
            continue;
        }
        // The file the kernel opens under this name, so a link converts its
        // target and two names of one file make one entry. The "long form"
        // of a path is the path itself on POSIX. An empty argument is an
        // entry too: the run gives it its record.
        const std::string path = ResolveShortcut(argument);
        m_doc.AddFile(path);
        if (m_bRecurse) {
            ExpandPattern(path, m_bRecurse, m_doc, m_bKeepFolders);
        }
    }
    // A list is read only for a run that can start: a failed command line
    // must not swallow standard input.
    for (const std::string& list : m_arrFileLists) {
        if (m_nError != 0) {
            break;
        }
        ReadFileList(list);
    }
}

void CMyCmdLineInfo::ReadFileList(const std::string& list) {
    // Each name is added as it is read, so a list of millions of names is
    // never held whole: memory grows only with the source list itself.
    // Names are taken as they are, byte for byte (blanks, a '*', bytes that
    // are not UTF-8), like a plain file argument without wildcards: a list
    // names files, it is not searched again.
    constexpr std::size_t kLongestPath = 4096; // the kernel opens no longer one
    const char separator = m_bNullSeparated ? '\0' : '\n';
    const std::string shown = list == "-" ? "standard input" : list;
    // Under --keep-folders a listed file keeps its path below the current
    // folder, as `find docs ...` wrote it: an output folder then receives
    // the tree instead of every name at its top.
    std::string base;
    if (m_bKeepFolders) {
        base = platform::RealPath(".").value_or(std::string());
        if (!base.empty() && base.back() != '/') {
            base += '/';
        }
    }
    std::string name;
    std::string problem;
    const auto add = [this, &name, &base] {
        if (!name.empty()) {
            m_doc.AddFile(ResolveShortcut(name), base);
        }
        name.clear();
    };
    int error = 0;
    const bool read = platform::ReadStreamChunks(
        list == "-" ? std::string() : list,
        [&](std::string_view chunk) {
            for (std::size_t at = 0; at < chunk.size();) {
                const std::size_t end = std::min(chunk.find(separator, at), chunk.size());
                const std::string_view piece = chunk.substr(at, end - at);
                // No file name holds a NUL: one in a list of lines means the
                // list was written for --null, and its names would run together.
                if (!m_bNullSeparated && piece.find('\0') != std::string_view::npos) {
                    problem = "it holds NUL bytes (give --null for a list that find -print0 "
                              "writes)";
                    return false;
                }
                name.append(piece);
                if (name.size() >= kLongestPath) {
                    problem = "a name in it is longer than any path (" +
                              std::to_string(kLongestPath) + " bytes or more)";
                    return false;
                }
                if (end == chunk.size()) {
                    break;
                }
                add();
                at = end + 1;
            }
            return true;
        },
        &error);
    if (!read) {
        char buffer[256];
        problem = ::strerror_r(error, buffer, sizeof buffer);
    }
    if (!problem.empty()) {
        m_nError = kExitUnknownSwitch;
        m_strError = "--files-from: cannot read \"" + shown + "\": " + problem;
        return;
    }
    add(); // the last name needs no separator after it
}

void CMyCmdLineInfo::ResolveProfilePath() {
    if (m_strProfile.empty() || platform::PathExists(m_strProfile)) {
        return;
    }
    const std::size_t dot = m_strProfile.rfind('.');
    if (dot == std::string::npos || dot + 1 == m_strProfile.size()) {
        m_strProfile += ".vnp";
    }
    // Only a bare name (no folder part) is looked for beside the program;
    // on POSIX only '/' separates folders.
    if (m_strProfile.find('/') == std::string::npos) {
        std::string folder = m_strProgramFolder;
        if (!folder.empty() && folder.back() != '/') {
            folder += '/';
        }
        if (platform::PathExists(folder + m_strProfile)) {
            m_strProfile = folder + m_strProfile;
        }
    }
}

std::int32_t ParseDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) {
            value = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        value = std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

std::string ResolveShortcut(const std::string& path) {
    const std::string resolved = platform::ResolvePath(path);
    // A launcher that links to a file stands for that file, one level deep:
    // a launcher it names is taken as itself.
    if (const auto target = ReadDesktopLink(resolved)) {
        return platform::ResolvePath(*target);
    }
    return resolved;
}

} // namespace varnolt
