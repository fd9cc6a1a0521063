// Whole `varnolt -u` runs on real files for the reliability suites: a
// workspace, a model of the converted text, and the invariant that no run,
// however it ends, loses an original or leaves a partial destination.
#pragma once

#include "settings/profile.hpp"
#include "support/test_support.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace varnolt::test {

// Every regular file below a folder, by path relative to it.
std::map<std::string, std::string> Snapshot(const std::string& folder);
// Entries of any kind directly in a folder.
std::size_t CountEntries(const std::string& folder);

// The converted bytes of a Unicode text in format 0 (UTF-16LE), 1 (UTF-16BE)
// or 2 (UTF-8), with or without a byte-order mark.
std::string EncodeUnicode(std::u16string_view text, int format, bool bom);

// Windows-1252 text of `size` bytes (prose, line breaks and accented
// letters, varied by `seed`) whose bytes all equal their code units.
std::string LatinText(std::size_t size, unsigned seed);

struct LogRecordText {
    std::string name;   // as the log shows it
    std::string status; // "OK", "Warning - ...", "Error - ..."
};
// The records of every run in a log file (UTF-16LE), in file order.
std::vector<LogRecordText> ReadLogRecords(const std::string& path);
// "Warning - <text>" / "Error - <text>" / "OK" for a message id.
std::string StatusText(int messageId);

// A running child: stdout and stderr go to files in the workspace.
struct Child {
    pid_t pid = -1;
    std::string outPath;
    std::string errPath;
};

// One workspace: sources and outputs below Root(), the child's TMPDIR in its
// own folder, a settings file and a profile.
class RunSpace {
public:
    explicit RunSpace(bool singleThread = true);
    const std::string& Root() const { return m_root; }
    std::string operator/(const std::string& name) const { return m_root + "/" + name; }
    const std::string& TempFolder() const { return m_tmp; }
    void SetTempFolder(std::string path) { m_tmp = std::move(path); }
    std::string LogPath() const { return m_dir / "run.log"; }
    std::string SettingsPath() const { return m_dir / "settings.reg"; }

    void WriteProfile(const ProfileOptions& options) const;
    // Arguments after "-u -c <profile> -l <log> -p <this pid>".
    ProgramResult Run(const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {}) const;
    Child Start(const std::vector<std::string>& args,
                const std::vector<std::string>& env = {}) const;
    // The same run through the console front end, which leads a process
    // group of its own: "-c <profile> -l <log>" before `args`.
    ProgramResult RunFrontEnd(const std::vector<std::string>& args,
                              const std::vector<std::string>& env = {}) const;

private:
    std::vector<std::string> Arguments(const std::vector<std::string>& args) const;
    std::vector<std::string> Environment(const std::vector<std::string>& env) const;

    TempDir m_dir;
    std::string m_root;
    std::string m_tmp;
};

ProfileOptions MakeOptions(int codePage, int outputOption, const std::string& arg, int format,
                           bool bom);

// One source file of a run and what a clean run makes of it.
struct SourceCase {
    std::string path;                       // absolute
    std::string original;                   // bytes before the run
    std::optional<std::string> converted;   // bytes of the result, none when it cannot convert
    std::optional<std::string> destination; // options 1 and 2 (absolute); option 0: the backup
    std::optional<std::string> preexisting; // bytes already at the destination / backup name
    bool backupMayRemain = false; // option 0: a backup left beside the original loses nothing
};

// What the run may have left, checked against every file of `root`:
// - option 0: the source path holds the original (backup absent or as it was)
//   or the converted text with the original at the backup name;
// - options 1, 2: the source is unchanged; the destination is absent, as it
//   was, or holds the complete converted text;
// - no other file appeared, except `allowedExtra` (relative paths).
// After a kill (`killed`), option 0 may also have left the backup beside the
// untouched original (the kill fell between the two steps), and a partial
// copy may remain under a hidden ".vnt" name; neither loses anything.
// Returns a description of every violation, empty when all is well.
std::vector<std::string> CheckNothingLost(const std::string& root, int outputOption,
                                          const std::vector<SourceCase>& sources,
                                          const std::vector<std::string>& allowedExtra,
                                          bool killed = false);

} // namespace varnolt::test
