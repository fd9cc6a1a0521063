// Fuzzes the command-line grammar: any argument vector leaves a known error
// (0, 130, 132, 134), a pending value that is a switch taking one (or none),
// no state change after an error,
// decimal values equal to a reference reading, and only absolute (or empty),
// listed-once paths in the source list. Plain arguments name entries of an
// empty folder made once, so file-argument expansion reads almost nothing and
// writes nothing.
#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "app/switch_table.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace varnolt;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "cmdline_fuzz: %s\n", what);
        std::abort();
    }
}

// An empty folder inside a private one, made once and removed at exit. Under
// -s an argument naming the folder itself searches its parent, which must be
// small too.
struct CEmptyFolder {
    std::string parent;
    std::string path;
    CEmptyFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/vnt_cmdXXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr, "cannot make the private folder");
        parent = pattern;
        path = parent + "/e";
        Check(::mkdir(path.c_str(), 0700) == 0, "cannot make the empty folder");
    }
    ~CEmptyFolder() {
        ::rmdir(path.c_str());
        ::rmdir(parent.c_str());
    }
};

std::int64_t ReferenceDecimal(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) {
        return 0;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i++] == '-';
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{1} << 40);
    }
    value = negative ? -value : value;
    return std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
}

// The switch whose value the next argument supplies, or null.
const SwitchDef* Pending(const CMyCmdLineInfo& info) {
    return info.m_nPending >= 0 ? &Switches()[static_cast<std::size_t>(info.m_nPending)] : nullptr;
}

// Arguments that could reach outside the empty folder are not expanded: a
// recursive walk of "/" would take the run's whole time.
bool StaysInside(const std::string& arg) {
    return arg.find('/') == std::string::npos && arg.find("..") == std::string::npos;
}

} // namespace

// Input: arguments separated by NUL bytes; a leading '-' makes a switch.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CEmptyFolder folder;
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() <= 24; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    bool expand = true;
    for (const std::string& arg : args) {
        // A --files-from list would be read, perhaps from standard input.
        expand = expand && StaysInside(arg) && arg.find("files-from") == std::string::npos;
    }

    CSourceFileListDoc doc;
    CMyCmdLineInfo info(doc);
    info.m_strProgramFolder = folder.path + "/";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isSwitch = !arg.empty() && arg.front() == '-';
        // Inside the empty folder (the working folder is left alone: the
        // fuzzer's own corpus paths are relative to it).
        const std::string text = isSwitch                 ? arg.substr(1)
                                 : arg.empty() || !expand ? arg
                                                          : folder.path + "/" + arg;
        const bool isLast = expand && i + 1 == args.size();
        const bool failedBefore = info.m_nError != 0;
        const int pendingBefore = info.m_nPending;
        const SwitchDef* const pending = Pending(info);
        const char pendingLetter = pending != nullptr ? pending->cLetter : '\0';
        const bool longValueBefore = pending != nullptr && pendingLetter == '\0'; // its value
        const std::string profileBefore = info.m_strProfile;
        const std::size_t filesBefore = info.m_arrFiles.size();
        info.ParseParam(text, isSwitch, isLast);
        const std::int32_t e = info.m_nError;
        Check(e == 0 || e == 130 || e == 132 || e == 134, "error outside 0/130/132/134");
        Check(info.m_nPending >= -1 && info.m_nPending < static_cast<int>(Switches().size()),
              "pending outside the switch table");
        Check(Pending(info) == nullptr || Pending(info)->eValue != ValueKind::kNone,
              "a switch without a value is pending");
        if (failedBefore) {
            Check(info.m_nPending == pendingBefore && info.m_strProfile == profileBefore &&
                      info.m_arrFiles.size() == filesBefore,
                  "state changed after an error");
        }
        if (!failedBefore && !isSwitch && pendingLetter == 'p') {
            Check(info.m_nConsolePid == ReferenceDecimal(text), "pid differs from reference");
        }
        if (!failedBefore && !longValueBefore && pendingLetter != 'c' && pendingLetter != 'l' &&
            isSwitch && text.size() > 1 && (text[0] == 'p' || text[0] == 'P')) {
            Check(info.m_nConsolePid == ReferenceDecimal(text.substr(1)),
                  "inline pid differs from reference");
        }
    }
    info.ResolveProfilePath();
    Check(ParseDecimal(std::string()) == 0, "empty decimal is not 0");

    std::set<std::string> seen;
    for (int i = 0; i < doc.GetCount(); ++i) {
        const std::string path = doc.GetPath(i);
        // An empty argument is listed as it is: the run gives it its record.
        Check(path.empty() || path.front() == '/', "listed path is not absolute");
        Check(seen.insert(path).second, "path listed twice");
    }
    return 0;
}
