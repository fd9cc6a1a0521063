// The reliability suites' workspace, output model and data-safety check.
#include "support/run_space.hpp"

#include "platform/text_utf.hpp"
#include "settings/string_table.hpp"

#include <fcntl.h>
#include <filesystem>
#include <set>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::test {
namespace fs = std::filesystem;

std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        if (it->is_regular_file(ec) && !it->is_symlink(ec)) {
            const std::string path = it->path().string();
            files[path.substr(folder.size() + 1)] = ReadFile(path);
        }
    }
    return files;
}

std::size_t CountEntries(const std::string& folder) {
    std::error_code ec;
    std::size_t count = 0;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        ++count;
    }
    return count;
}

std::string EncodeUnicode(std::u16string_view text, int format, bool bom) {
    std::string out;
    if (format == 2) {
        if (bom) {
            out = "\xEF\xBB\xBF";
        }
        return out + Utf16ToUtf8(text);
    }
    const bool big = format == 1;
    auto unit = [&](char16_t u) {
        const char hi = static_cast<char>(u >> 8);
        const char lo = static_cast<char>(u & 0xFF);
        out += big ? hi : lo;
        out += big ? lo : hi;
    };
    if (bom) {
        unit(u'\uFEFF');
    }
    for (const char16_t u : text) {
        unit(u);
    }
    return out;
}

std::vector<LogRecordText> ReadLogRecords(const std::string& path) {
    const std::string bytes = ReadFile(path);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    if (!text.empty() && text.front() == u'\uFEFF') {
        text.erase(0, 1);
    }
    const std::string utf8 = Utf16ToUtf8(text);
    std::vector<LogRecordText> records;
    std::size_t at = 0;
    std::vector<std::string> lines;
    while (at <= utf8.size()) {
        const std::size_t end = utf8.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(utf8.substr(at));
            break;
        }
        lines.push_back(utf8.substr(at, end - at));
        at = end + 2;
    }
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("File: ", 0) == 0 && lines[i + 1].rfind("Status: ", 0) == 0) {
            records.push_back({lines[i].substr(6), lines[i + 1].substr(8)});
        }
    }
    return records;
}

std::string StatusText(int messageId) {
    if (messageId == 5012) {
        return "OK";
    }
    const bool warning =
        messageId == 5006 || messageId == 5009 || messageId == 5013 || messageId == 5017;
    return std::string(warning ? "Warning - " : "Error - ") + std::string(LoadString(messageId));
}

std::string LatinText(std::size_t size, unsigned seed) {
    static const std::string kAlphabet = "The quick brown fox\r\n\xE0\xE9\xF6\xFF\xE7 ";
    std::string text(size, ' ');
    for (std::size_t i = 0; i < size; ++i) {
        text[i] = kAlphabet[(i * 7 + seed) % kAlphabet.size()];
    }
    return text;
}

RunSpace::RunSpace(bool singleThread) : m_root(m_dir / "root"), m_tmp(m_dir / "tmp") {
    fs::create_directory(m_root);
    fs::create_directory(m_tmp);
    WriteFile(m_dir / "settings.reg",
              std::string("Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                          "\"DisableMP\"=dword:0000000") +
                  (singleThread ? "1\n" : "0\n"));
}

void RunSpace::WriteProfile(const ProfileOptions& options) const {
    WriteFile(m_dir / "p.vnp", FormatProfile(options));
}

std::vector<std::string> RunSpace::Arguments(const std::vector<std::string>& args) const {
    std::vector<std::string> all{"-u",      "-c", m_dir / "p.vnp",           "-l",
                                 LogPath(), "-p", std::to_string(::getpid())};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

std::vector<std::string> RunSpace::Environment(const std::vector<std::string>& env) const {
    std::vector<std::string> all{"VARNOLT_SETTINGS=" + (m_dir / "settings.reg"), "TMPDIR=" + m_tmp};
    all.insert(all.end(), env.begin(), env.end());
    return all;
}

ProgramResult RunSpace::Run(const std::vector<std::string>& args,
                            const std::vector<std::string>& env) const {
    return RunProgram(VARNOLT_EXE_PATH, Arguments(args), m_root, Environment(env));
}

ProgramResult RunSpace::RunFrontEnd(const std::vector<std::string>& args,
                                    const std::vector<std::string>& env) const {
    std::vector<std::string> all{"-c", m_dir / "p.vnp", "-l", LogPath()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<std::string> withExe{std::string("VARNOLT_EXE=") + VARNOLT_EXE_PATH};
    withExe.insert(withExe.end(), env.begin(), env.end());
    return RunProgram(XVARNOLT_EXE_PATH, all, m_root, Environment(withExe),
                      /*ownProcessGroup=*/true);
}

Child RunSpace::Start(const std::vector<std::string>& args,
                      const std::vector<std::string>& env) const {
    Child child;
    child.outPath = m_dir / "child.out";
    child.errPath = m_dir / "child.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, child.outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, child.errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, m_root.c_str());
    std::vector<std::string> argStorage{VARNOLT_EXE_PATH};
    for (const auto& a : Arguments(args)) {
        argStorage.push_back(a);
    }
    std::vector<std::string> envStorage = ChildEnvironment(Environment(env));
    std::vector<char*> argv;
    for (auto& a : argStorage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStorage) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const int rc =
        ::posix_spawn(&child.pid, VARNOLT_EXE_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot start varnolt");
    }
    return child;
}

ProfileOptions MakeOptions(int codePage, int outputOption, const std::string& arg, int format,
                           bool bom) {
    ProfileOptions o;
    o.nCodePage = codePage;
    o.nOutputOption = outputOption;
    (outputOption == 0   ? o.strBackupPrefix
     : outputOption == 1 ? o.strDestPrefix
                         : o.strOutputFolder) = arg;
    o.nUnicodeFormat = format;
    o.bAddBOM = bom;
    return o;
}

std::vector<std::string> CheckNothingLost(const std::string& root, int outputOption,
                                          const std::vector<SourceCase>& sources,
                                          const std::vector<std::string>& allowedExtra,
                                          bool killed) {
    std::vector<std::string> problems;
    const auto after = Snapshot(root);
    std::set<std::string> accounted(allowedExtra.begin(), allowedExtra.end());
    auto relative = [&](const std::string& path) { return path.substr(root.size() + 1); };
    auto at = [&](const std::string& path) -> std::optional<std::string> {
        const auto it = after.find(relative(path));
        if (it == after.end()) {
            return std::nullopt;
        }
        return it->second;
    };
    for (const SourceCase& s : sources) {
        accounted.insert(relative(s.path));
        if (s.destination) {
            accounted.insert(relative(*s.destination));
        }
        const auto now = at(s.path);
        const auto dest = s.destination ? at(*s.destination) : std::nullopt;
        const std::string name = EscapeForDisplay(s.path);
        if (outputOption == 0) {
            const bool untouched = now == s.original && dest == s.preexisting;
            const bool leftoverBackup = (killed || s.backupMayRemain) && now == s.original &&
                                        !s.preexisting && dest == s.original;
            const bool converted = s.converted && now == s.converted && dest == s.original;
            if (!untouched && !converted && !leftoverBackup) {
                problems.push_back(name + ": neither the original in place nor the converted "
                                          "text with the original as backup");
            }
        } else {
            if (now != s.original) {
                problems.push_back(name + ": the source changed");
            }
            const bool asBefore = dest == s.preexisting;
            const bool complete = s.converted && dest == s.converted;
            if (s.destination && !asBefore && !complete) {
                problems.push_back(name + ": the destination is partial or foreign (" +
                                   std::to_string(dest ? dest->size() : 0) + " bytes)");
            }
        }
    }
    for (const auto& [path, bytes] : after) {
        const std::size_t slash = path.rfind('/');
        const bool hiddenPartial =
            path.compare(slash == std::string::npos ? 0 : slash + 1, 4, ".vnt") == 0;
        if (accounted.count(path) == 0 && !(killed && hiddenPartial)) {
            problems.push_back("unexpected file " + path + " (" + std::to_string(bytes.size()) +
                               " bytes)");
        }
    }
    return problems;
}

} // namespace varnolt::test
