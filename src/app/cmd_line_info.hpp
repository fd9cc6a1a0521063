// The main program's command line: switches, pending values, parse errors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnolt {

class CSourceFileListDoc;

class CMyCmdLineInfo {
public:
    // Plain file arguments are expanded into `doc` after the last argument.
    explicit CMyCmdLineInfo(CSourceFileListDoc& doc);

    // Feeds argv[1..argc-1] through ParseParam, then ResolveProfilePath.
    void ParseCommandLine(int argc, const char* const* argv);

    // One argument; a switch arrives without its leading '-'.
    void ParseParam(const std::string& text, bool isSwitch, bool isLast);

    // Completes a profile name without extension or folder (see the .cpp).
    void ResolveProfilePath();

    bool m_bNonInteractive = false;
    bool m_bOverwriteExisting = false;
    bool m_bAppendLog = true;
    bool m_bRecurse = false;
    // --dry-run and --force (see CControllerBase).
    bool m_bDryRun = false;
    bool m_bForce = false;
    std::string m_strProfile;
    std::string m_strLogFile;
    std::int32_t m_nConsolePid = -1;
    std::int32_t m_nError = 0;
    // The argument that gave error 130, as written (with its '-').
    std::string m_strUnknownSwitch;
    std::vector<std::string> m_arrFiles;
    int m_nPending = 0;

    // Where a bare profile name is looked for; the program's own folder
    // unless a test sets another. Ends in '/'.
    std::string m_strProgramFolder;

private:
    void ExpandFiles();

    CSourceFileListDoc& m_doc;
};

// Reads a decimal integer after optional blanks and sign, up to the first
// non-digit; no digits give 0. Out-of-range values saturate.
std::int32_t ParseDecimal(const std::string& text);

// The absolute path of the file the kernel reaches through `path`: a
// symbolic link stands for its target, as a shortcut does, and every folder
// on the way is the real one (see platform::ResolvePath for paths that cannot
// be resolved). A launcher of Type=Link with a file: URL (the desktop's
// shortcut) stands for the file it names. Every way of adding a named file to
// the list goes through it.
std::string ResolveShortcut(const std::string& path);

} // namespace varnolt
