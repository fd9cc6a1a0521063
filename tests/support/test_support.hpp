// Helpers shared by the tests: temporary folders, files, running programs.
#pragma once

#include <sched.h>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt::test {

// Holds the calling thread (and the threads it starts) to one of the cores
// it may run on, as taskset or a container's cpuset would, until destroyed.
class COneCoreAffinity {
public:
    COneCoreAffinity();
    ~COneCoreAffinity();
    COneCoreAffinity(const COneCoreAffinity&) = delete;
    COneCoreAffinity& operator=(const COneCoreAffinity&) = delete;
    bool Held() const { return m_bHeld; }
    // How many cores the thread could use before.
    int CoresBefore() const { return CPU_COUNT(&m_all); }

private:
    cpu_set_t m_all{};
    bool m_bHeld = false;
};

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The bytes of UTF-16 text in little- and big-endian order, without a mark.
inline std::string Utf16Le(std::u16string_view text) {
    std::string out;
    for (const char16_t u : text) {
        out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    }
    return out;
}

inline std::string Utf16Be(std::u16string_view text) {
    std::string out;
    for (const char16_t u : text) {
        out += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
    }
    return out;
}

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// This process's environment with the given "NAME=value" entries in place of
// any inherited entries of those names: what a test sets for a child must
// win over whatever the caller exported.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& overrides);

// Runs a program with arguments (no shell), in `workDir` when not empty, with
// `extraEnv` ("NAME=value") over the inherited environment (ChildEnvironment);
// waits and collects its output. With `ownProcessGroup` the program leads a
// new process group, so that a signal it sends to its group reaches it and
// its children but never the tests.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& workDir = {},
                         const std::vector<std::string>& extraEnv = {},
                         bool ownProcessGroup = false);

} // namespace varnolt::test
