// Command-line grammar, file-argument expansion and profile path resolution.
#include "app/cmd_line_info.hpp"

#include "app/desktop_link.hpp"
#include "app/exit_codes.hpp"
#include "app/pattern_expansion.hpp"
#include "app/source_file_list_doc.hpp"
#include "platform/paths.hpp"

#include <limits>

namespace varnolt {

CMyCmdLineInfo::CMyCmdLineInfo(CSourceFileListDoc& doc)
    : m_strProgramFolder(platform::ExecutableFolder()), m_doc(doc) {}

void CMyCmdLineInfo::ParseCommandLine(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Only '-' starts a switch: every absolute POSIX path begins with '/'.
        const bool isSwitch = !arg.empty() && arg.front() == '-';
        ParseParam(isSwitch ? arg.substr(1) : arg, isSwitch, i == argc - 1);
    }
    ResolveProfilePath();
}

void CMyCmdLineInfo::ParseParam(const std::string& text, bool isSwitch, bool isLast) {
    if (m_nError != 0) {
        return;
    }
    if (isSwitch) {
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
            case '-':
                // Long options are whole words, never letters with values.
                if (text == "-dry-run") {
                    m_bDryRun = true;
                } else if (text == "-force") {
                    m_bForce = true;
                } else {
                    m_nError = kExitUnknownSwitch;
                    m_strUnknownSwitch = "-" + text;
                }
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
        ExpandFiles();
    }
}

void CMyCmdLineInfo::ExpandFiles() {
    for (const std::string& argument : m_arrFiles) {
        if (platform::FullPath(argument).find_first_of("*?") != std::string::npos) {
            // Written as typed: the search resolves its folder as the kernel does.
            ExpandPattern(platform::AbsolutePath(argument), m_bRecurse, m_doc);
            continue;
        }
        // The file the kernel opens under this name, so a link converts its
        // target and two names of one file make one entry. The "long form"
        // of a path is the path itself on POSIX. An empty argument is an
        // entry too: the run gives it its record.
        const std::string path = ResolveShortcut(argument);
        m_doc.AddFile(path);
        if (m_bRecurse) {
            ExpandPattern(path, m_bRecurse, m_doc);
        }
    }
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
