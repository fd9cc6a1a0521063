// Test helpers: temporary folders, whole-file I/O, child processes.
#include "support/test_support.hpp"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace varnolt::test {

COneCoreAffinity::COneCoreAffinity() {
    if (::sched_getaffinity(0, sizeof m_all, &m_all) != 0) {
        return;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &m_all)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    m_bHeld = ::sched_setaffinity(0, sizeof one, &one) == 0;
}

COneCoreAffinity::~COneCoreAffinity() {
    if (m_bHeld) {
        ::sched_setaffinity(0, sizeof m_all, &m_all);
    }
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/varnolt-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may have made folders read-only; give write access back first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
        }
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& overrides) {
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    // The last override of a name is the one that counts.
    std::map<std::string, std::string> chosen;
    for (const auto& entry : overrides) {
        chosen[nameOf(entry)] = entry;
    }
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (chosen.count(nameOf(*e)) == 0) {
            env.emplace_back(*e);
        }
    }
    for (const auto& [name, entry] : chosen) {
        env.push_back(entry);
    }
    return env;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir, const std::vector<std::string>& extraEnv,
                         bool ownProcessGroup) {
    TempDir capture;
    const std::string outPath = capture / "out";
    const std::string errPath = capture / "err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!workDir.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    }

    std::vector<std::string> argStorage{program};
    argStorage.insert(argStorage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStorage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStorage = ChildEnvironment(extraEnv);
    std::vector<char*> envp;
    for (auto& e : envStorage) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownProcessGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }

    ProgramResult result;
    pid_t pid = 0;
    const int rc =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

} // namespace varnolt::test
