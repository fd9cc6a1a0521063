// The main program's command line: switches, pending values, parse errors.
#pragma once

#include "settings/profile.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace varnolt {

class CSourceFileListDoc;

// The grammar reads every switch from the table in app/switch_table.hpp.
class CMyCmdLineInfo {
public:
    // Plain file arguments are expanded into `doc` after the last argument.
    explicit CMyCmdLineInfo(CSourceFileListDoc& doc);

    // Feeds argv[1..argc-1] through ParseParam, then ResolveProfilePath.
    // After an argument "--" every argument is a plain one.
    void ParseCommandLine(int argc, const char* const* argv);

    // One argument; a switch arrives without its leading '-' (a long option
    // therefore starts with '-', and "--" arrives as "-").
    void ParseParam(const std::string& text, bool isSwitch, bool isLast);

    // True when any switch that stands in for a profile was given (--from,
    // --to, --bom, --meta, --entities, --backup, --prefix, --out).
    bool HasRunSwitches() const { return !m_arrRunSwitches.empty(); }

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
    // The switch (index in Switches()) whose value the next argument
    // supplies, or -1.
    int m_nPending = -1;
    // What a command-line error was, for standard error ("--from: ...");
    // empty for the errors of the single-letter grammar.
    std::string m_strError;

    // The run options given by switches instead of a profile, kept as a
    // profile holds them (so --save-profile writes exactly these). The
    // output option stays -1 until --backup, --prefix or --out sets it.
    ProfileOptions m_switchOptions{0, -1, {}, {}, {}, 2, false, false, false};
    // The run switches given, as typed ("--from"), in order.
    std::vector<std::string> m_arrRunSwitches;
    // --keep-folders: files a pattern finds keep their path below the
    // pattern's folder in the output folder.
    bool m_bKeepFolders = false;
    // --files-from lists ("-" is standard input), read after the file
    // arguments; --null: their names end at NUL bytes instead of line feeds.
    std::vector<std::string> m_arrFileLists;
    bool m_bNullSeparated = false;
    // --save-profile FILE: write the run switches as a profile, convert nothing.
    std::string m_strSaveProfile;
    // --list-encodings: print the catalogue, convert nothing.
    bool m_bListEncodings = false;
    // --detect: print the files' likely encodings, convert nothing.
    bool m_bDetect = false;
    // "--" was seen: later arguments are never switches.
    bool m_bSwitchesEnded = false;

    // Where a bare profile name is looked for; the program's own folder
    // unless a test sets another. Ends in '/'.
    std::string m_strProgramFolder;

private:
    void ParseLetterSwitch(const std::string& text, bool isLast);
    void ParseLongOption(const std::string& text, bool isLast);
    void CheckSwitchCombination();
    void ExpandFiles();
    void ReadFileList(const std::string& list);

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
