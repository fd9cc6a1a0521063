// Folder search speed: SearchFolder against `find` on the same generated tree
// of 100,000 files in 1,000 folders (warm cache), and the matcher alone.
// The two searches are compared by wall time: find runs in a child process.
#include "search/atl_reg_exp.hpp"
#include "search/file_find_ex.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kGroups = 10;
constexpr int kFoldersPerGroup = 100;
constexpr int kFilesPerFolder = 100;
constexpr const char* kInclude = "*.htm?|*.php";
constexpr const char* kExclude = "old*";

// Leaf names cycle through ten kinds; two of them pass the filters.
const char* const kKinds[] = {"page%d.html", "Page%d.HTM",   "index%d.php", "old%d.php",
                              "img%d.png",   "readme%d.txt", "style%d.css", "x%d.htmlx",
                              "doc%d.shtml", "data%d.php3"};

class CTree {
public:
    CTree() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/varnolt-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_root = pattern;
        char name[64];
        for (int g = 0; g < kGroups; ++g) {
            for (int f = 0; f < kFoldersPerGroup; ++f) {
                const std::string folder =
                    m_root + "/g" + std::to_string(g) + "/f" + std::to_string(f);
                fs::create_directories(folder);
                for (int i = 0; i < kFilesPerFolder; ++i) {
                    std::snprintf(name, sizeof name, kKinds[i % 10], i);
                    const int fd =
                        ::open((folder + "/" + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
                    if (fd >= 0) {
                        ::close(fd);
                    }
                }
            }
        }
    }
    ~CTree() {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    const std::string& Root() const { return m_root; }

private:
    std::string m_root;
};

const CTree& Tree() {
    static CTree tree;
    return tree;
}

void BM_SearchFolder(benchmark::State& state) {
    const std::string& root = Tree().Root();
    std::size_t found = 0;
    for (auto _ : state) {
        std::vector<std::string> results;
        varnolt::SearchFolder(results, true, root, kInclude, kExclude, false);
        found = results.size();
        benchmark::DoNotOptimize(results.data());
    }
    state.counters["found"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * kGroups * kFoldersPerGroup * kFilesPerFolder);
}
BENCHMARK(BM_SearchFolder)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The same filters as find expressions: a case-insensitive whole-name match
// per wildcard, the exclusion negated. Output goes to /dev/null.
void BM_Find(benchmark::State& state) {
    const std::string& root = Tree().Root();
    std::vector<std::string> args = {"find", root,     "-type", "f", "(", "-iname", "*.htm?",
                                     "-o",   "-iname", "*.php", ")", "!", "-iname", kExclude};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("find could not be started");
            break;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    state.SetItemsProcessed(state.iterations() * kGroups * kFoldersPerGroup * kFilesPerFolder);
}
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The matcher alone on typical names, translated wildcard.
void BM_MatchWildcard(benchmark::State& state) {
    varnolt::CAtlRegExp re;
    re.Compile(varnolt::WildcardToPattern("*.htm?"));
    const std::string names[] = {"page17.html", "Page3.HTM", "index42.php", "readme.txt",
                                 "some-longer-file-name-2026.shtml"};
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const auto& n : names) {
            benchmark::DoNotOptimize(re.Match(n));
            bytes += n.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_MatchWildcard);

} // namespace
