// Command-line grammar, file-argument expansion and profile path resolution.
#include "app/cmd_line_info.hpp"

#include "app/desktop_link.hpp"
#include "app/exit_codes.hpp"
#include "app/pattern_expansion.hpp"
#include "app/source_file_list_doc.hpp"
#include "app/switch_table.hpp"
#include "platform/paths.hpp"
#include "platform/small_file.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace varnolt {

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
    const SwitchDef* pending =
        m_nPending >= 0 ? &Switches()[static_cast<std::size_t>(m_nPending)] : nullptr;
    if (pending != nullptr && pending->cLetter == '\0') {
        // A long option's value is the next argument whatever it looks like
        // ("--prefix -u_"), as getopt takes it.
        m_nPending = -1;
        if (std::string error = pending->pfnApply(*this, isSwitch ? "-" + text : text);
            !error.empty()) {
            m_nError = pending->nError;
            m_strError = std::move(error);
        }
    } else if (isSwitch && pending != nullptr && pending->nError != 0) {
        // A letter's value that must follow (-c, -l) is missing when a switch
        // comes instead; a -p without its number is simply dropped.
        m_nError = pending->nError;
    } else if (isSwitch && !text.empty() && text.front() == '-') {
        ParseLongOption(text, isLast);
    } else if (isSwitch) {
        ParseLetterSwitch(text, isLast);
    } else {
        if (pending != nullptr) {
            pending->pfnApply(*this, text);
        } else {
            m_arrFiles.push_back(text);
        }
        m_nPending = -1;
    }
    // The expansion runs even when the last argument itself was the error.
    if (isLast) {
        if (m_nError == 0) {
            CheckSwitchCombination();
        }
        ExpandFiles();
    }
}

void CMyCmdLineInfo::ParseLetterSwitch(const std::string& text, bool isLast) {
    // Only the first letter counts: "-ooops" is -o, and "-cfile" is -c with
    // its value written on.
    const SwitchDef* row = text.empty() ? nullptr : FindLetterSwitch(text.front());
    if (row == nullptr) {
        m_nError = kExitUnknownSwitch;
        m_strUnknownSwitch = "-" + text;
        return;
    }
    const std::string inlineValue = text.substr(1);
    if (row->eValue == ValueKind::kNone) {
        row->pfnApply(*this, {});
        m_nPending = -1;
    } else if (!inlineValue.empty()) {
        row->pfnApply(*this, inlineValue);
    } else if (isLast && row->nError != 0) {
        m_nError = row->nError;
    } else {
        m_nPending = static_cast<int>(row - Switches().data());
    }
}

void CMyCmdLineInfo::ParseLongOption(const std::string& text, bool isLast) {
    m_nPending = -1;
    if (text == "-") {
        FindLongOption("")->pfnApply(*this, {});
        return;
    }
    const std::string body = text.substr(1);
    const std::size_t equals = body.find('=');
    const std::string name = body.substr(0, equals);
    const SwitchDef* option = name.empty() ? nullptr : FindLongOption(name);
    if (option == nullptr) {
        m_nError = kExitUnknownSwitch;
        m_strUnknownSwitch = "-" + text;
        return;
    }
    std::string error;
    if (option->eValue == ValueKind::kNone) {
        error = equals == std::string::npos
                    ? option->pfnApply(*this, {})
                    : "--" + name + " takes no value (\"" + body.substr(equals + 1) + "\")";
    } else if (equals != std::string::npos) {
        error = option->pfnApply(*this, body.substr(equals + 1));
    } else if (isLast) {
        error = "--" + name + " needs a value (" + std::string(option->strValueName) + ")";
    } else {
        m_nPending = static_cast<int>(option - Switches().data());
    }
    if (!error.empty()) {
        m_nError = option->nError;
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
