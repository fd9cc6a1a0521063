// Placement: backup, prefixed copy, output folder, existing destinations, and
// the faults that must never lose or half-write a file.
#include "convert/log.hpp"
#include "output/fault_env.hpp"
#include "output/overwrite_question.hpp"
#include "output/placement_paths.hpp"
#include "output/target_file_writer.hpp"
#include "platform/file_identity_set.hpp"
#include "support/test_support.hpp"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace varnolt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

std::vector<std::string> ListFolder(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ScriptedQuestion : public IOverwriteQuestion {
public:
    explicit ScriptedQuestion(std::vector<OverwriteAnswer> answers)
        : m_answers(std::move(answers)) {}
    OverwriteAnswer AskOverwrite(std::string_view message) override {
        m_messages.emplace_back(message);
        const OverwriteAnswer answer = m_answers.at(m_nNext);
        m_nNext = std::min(m_nNext + 1, m_answers.size() - 1);
        return answer;
    }
    std::vector<std::string> m_messages;

private:
    std::vector<OverwriteAnswer> m_answers;
    std::size_t m_nNext = 0;
};

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override { ClearOverwriteAll(); }

    // One file through the writer as the job drives it; returns the record.
    CLogRecord Convert(int option, const std::string& arg, int rule, const std::string& src,
                       const std::string& text, const std::string& base = {},
                       IOverwriteQuestion* question = nullptr) {
        CTargetFileWriter writer(COutputOptions{option, kFormatUtf8, arg, false, rule}, m_log,
                                 question);
        const auto index = m_log.AddRecord(src);
        if (writer.OpenTemp(index, src, base)) {
            writer.WriteUnicode(std::u16string(text.begin(), text.end()));
            writer.Close();
            writer.Commit();
        }
        EXPECT_TRUE(ListFolder(m_tmp.Path()).empty()) << "temporary file left behind";
        return m_log.GetRecord(index);
    }

    // The destination's file system has no nameless files, so the next
    // temporary file is made in $TMPDIR, and a placement from there may
    // cross file systems. One shot: a cross-device copy after it is still
    // nameless where it can be.
    static void TempFileInTempFolder() {
        platform::InjectFault(platform::FaultOp::kCreateAnonymous, 1, EOPNOTSUPP);
    }

    TempDir m_dir;
    TempDir m_tmp;
    test::ScopedEnv m_env{"TMPDIR", m_tmp.Path()};
    test::ScopedFaults m_faults;
    CLog m_log;
};

TEST(PlacementPaths, PiecesAndComponentWisePrefix) {
    EXPECT_EQ(FolderOf("/a/b/c.txt"), "/a/b/");
    EXPECT_EQ(NameOf("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(NameOf("/a/b\\c:d.txt"), "b\\c:d.txt"); // only "/" separates
    struct Case {
        const char* a;
        const char* b;
        std::size_t n;
    };
    const Case cases[] = {
        {"/docs/sub/a.txt", "/docs", 5},     {"/docs/sub/a.txt", "/docs/", 5},
        {"/docs/sub/a.txt", "/docs/sub", 9}, {"/docs2/a.txt", "/docs", 0},
        {"/docs/a.txt", "/docs2", 0},        {"/x/a.txt", "/y", 0},
        {"/docs/a.txt", "/docs/a.txt", 11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommonPrefixLength(c.a, c.b), c.n) << c.a << " | " << c.b;
    }
    EXPECT_EQ(AppendPath("/out/", "/sub/a.txt"), "/out/sub/a.txt");
    EXPECT_EQ(AppendPath("/out", "sub/a.txt"), "/out/sub/a.txt");
    EXPECT_EQ(AppendPath("/out/", "//a"), "/out/a");
}

TEST_F(PlacementTest, OptionZeroKeepsBackupAndSecondRunFailsWith5004) {
    const std::string src = m_dir / "a.txt";
    WriteFile(src, "legacy");
    ::chmod(src.c_str(), 0640);
    EXPECT_EQ(Convert(kOutputOverBackup, "_org_", kRuleSkip, src, "first").nMessageId, kMsgOk);
    EXPECT_EQ(ReadFile(src), "first");
    EXPECT_EQ(ReadFile(m_dir / "_org_a.txt"), "legacy");
    struct stat st {};
    ::stat(src.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // The backup is a file of its own, not a second name of the result.
    EXPECT_EQ(st.st_nlink, 1u);

    const CLogRecord second = Convert(kOutputOverBackup, "_org_", kRuleOverwrite, src, "second");
    EXPECT_EQ(second.nLevel, kLevelError);
    EXPECT_EQ(second.nMessageId, kMsgBackupFailed);
    EXPECT_EQ(ReadFile(src), "first");
    EXPECT_EQ(ReadFile(m_dir / "_org_a.txt"), "legacy");
    EXPECT_EQ(ListFolder(m_dir.Path()), (std::vector<std::string>{"_org_a.txt", "a.txt"}));
}

TEST_F(PlacementTest, OptionZeroPutsTheOriginalBackWhenTheFinalMoveFails) {
    struct Case {
        const char* what;
        platform::FaultOp op;
        int nth;
        int error;
    };
    const Case cases[] = {
        {"rename over the source fails", platform::FaultOp::kRename, 1, EIO},
        {"flush of the converted file fails", platform::FaultOp::kSync, 1, EIO},
        // No hard links: the source is renamed to the backup and back.
        {"no hard links, then the move fails", platform::FaultOp::kLink, 1, EPERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string src = m_dir / "a.txt";
        WriteFile(src, "original \xE9 bytes");
        platform::ClearFaults();
        platform::InjectFault(c.op, c.nth, c.error);
        if (c.op == platform::FaultOp::kLink) {
            // The backup rename is rename number 1, the move number 2.
            platform::InjectFault(platform::FaultOp::kRename, 2, EIO);
        }
        const CLogRecord record = Convert(kOutputOverBackup, "_org_", kRuleSkip, src, "new");
        EXPECT_EQ(record.nMessageId, kMsgDestWriteFailed);
        EXPECT_EQ(ReadFile(src), "original \xE9 bytes");
        EXPECT_EQ(ListFolder(m_dir.Path()), std::vector<std::string>{"a.txt"});
    }
}

TEST_F(PlacementTest, OptionZeroOnFullDestinationFileSystemPutsTheOriginalBack) {
    // The source folder is a small tmpfs, the temporary file elsewhere: the
    // cross-device copy of the converted text runs out of space.
    const std::string folder = m_dir / "small";
    fs::create_directory(folder);
    test::TmpfsMount mount(folder, "64k");
    if (!mount.Mounted()) {
        GTEST_SKIP() << "needs root and tmpfs mounts in a private mount namespace";
    }
    const std::string src = folder + "/a.txt";
    WriteFile(src, "short original");
    TempFileInTempFolder();
    const CLogRecord record =
        Convert(kOutputOverBackup, "_org_", kRuleSkip, src, std::string(300000, 'z'));
    EXPECT_EQ(record.nMessageId, kMsgDestWriteFailed);
    EXPECT_EQ(ReadFile(src), "short original");
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"a.txt"});
}

TEST_F(PlacementTest, ExistingDestinationFollowsTheRule) {
    const std::string src = m_dir / "a.txt";
    const std::string dest = m_dir / "_unicode_a.txt";
    WriteFile(src, "src");
    WriteFile(dest, "old destination");

    CLogRecord r = Convert(kOutputPrefixedCopy, "_unicode_", kRuleSkip, src, "new");
    EXPECT_EQ(r.nLevel, kLevelError);
    EXPECT_EQ(r.nMessageId, kMsgDestExistsSkipped);
    EXPECT_EQ(ReadFile(dest), "old destination");

    r = Convert(kOutputPrefixedCopy, "_unicode_", kRuleOverwrite, src, "new");
    EXPECT_EQ(r.nLevel, kLevelWarning);
    EXPECT_EQ(r.nMessageId, kMsgDestOverwritten);
    EXPECT_EQ(ReadFile(dest), "new");
    EXPECT_EQ(ReadFile(src), "src");
}

TEST_F(PlacementTest, FailedReplacementGives5007AndKeepsTheOldDestination) {
    const std::string folder = m_dir / "out";
    fs::create_directory(folder);
    const std::string src = m_dir / "a.txt";
    WriteFile(src, "src");
    const std::string dest = folder + "/a.txt";
    WriteFile(dest, "old destination");

    auto expect5007 = [&] {
        const CLogRecord r = Convert(kOutputToFolder, folder + "/", kRuleOverwrite, src, "new");
        EXPECT_EQ(r.nLevel, kLevelError);
        EXPECT_EQ(r.nMessageId, kMsgDestWriteFailed); // replaces the 5006 warning
        EXPECT_EQ(ReadFile(dest), "old destination");
        EXPECT_EQ(ReadFile(src), "src");
    };
    {
        SCOPED_TRACE("seam: the rename fails");
        platform::InjectFault(platform::FaultOp::kRename, 1, EACCES);
        expect5007();
        EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"a.txt"});
    }
    if (::geteuid() != 0) {
        SCOPED_TRACE("folder without write permission");
        ::chmod(folder.c_str(), 0555);
        expect5007();
        ::chmod(folder.c_str(), 0755);
    }
    {
        SCOPED_TRACE("immutable destination folder");
        test::ImmutableFolder immutable(folder);
        if (immutable.Set()) {
            expect5007();
        } else {
            std::cout << "[ note ] immutable folders need root on a file system with chattr\n";
        }
    }
    {
        SCOPED_TRACE("read-only mount");
        const std::string mounted = m_dir / "ro";
        fs::create_directory(mounted);
        test::TmpfsMount mount(mounted, "1m");
        if (!mount.Mounted()) {
            GTEST_SKIP() << "needs root and tmpfs mounts in a private mount namespace";
        }
        WriteFile(mounted + "/a.txt", "old destination");
        ASSERT_TRUE(mount.MakeReadOnly());
        const CLogRecord r = Convert(kOutputToFolder, mounted + "/", kRuleOverwrite, src, "new");
        EXPECT_EQ(r.nMessageId, kMsgDestWriteFailed);
        EXPECT_EQ(ReadFile(mounted + "/a.txt"), "old destination");
    }
}

TEST_F(PlacementTest, AskRuleUsesTheQuestionAndOverwriteAll) {
    const std::string src = m_dir / "a.txt";
    const std::string dest = m_dir / "_u_a.txt";
    WriteFile(src, "src");
    WriteFile(dest, "old");

    ScriptedQuestion no({{false, true}});
    EXPECT_EQ(Convert(kOutputPrefixedCopy, "_u_", kRuleAsk, src, "new", {}, &no).nMessageId,
              kMsgDestExistsSkipped);
    EXPECT_EQ(ReadFile(dest), "old");
    ASSERT_EQ(no.m_messages.size(), 1u);
    EXPECT_EQ(no.m_messages[0], "The file '_u_a.txt' already exists in folder '" + m_dir.Path() +
                                    "/'.\n\nWould you like Varnolt to overwrite the existing "
                                    "file?\n");
    EXPECT_FALSE(IsOverwriteAllSet()); // "all" counts only with overwrite

    // No one to ask counts as "don't overwrite".
    EXPECT_EQ(Convert(kOutputPrefixedCopy, "_u_", kRuleAsk, src, "new").nMessageId,
              kMsgDestExistsSkipped);

    ScriptedQuestion yesToAll({{true, true}, {false, false}});
    EXPECT_EQ(Convert(kOutputPrefixedCopy, "_u_", kRuleAsk, src, "v1", {}, &yesToAll).nMessageId,
              kMsgDestOverwritten);
    EXPECT_EQ(Convert(kOutputPrefixedCopy, "_u_", kRuleAsk, src, "v2", {}, &yesToAll).nMessageId,
              kMsgDestOverwritten);
    EXPECT_EQ(yesToAll.m_messages.size(), 1u); // asked once for the run
    EXPECT_EQ(ReadFile(dest), "v2");

    ClearOverwriteAll(); // the next run asks again
    EXPECT_EQ(Convert(kOutputPrefixedCopy, "_u_", kRuleAsk, src, "v3", {}, &yesToAll).nMessageId,
              kMsgDestExistsSkipped);
    EXPECT_EQ(yesToAll.m_messages.size(), 2u);
    EXPECT_EQ(ReadFile(dest), "v2");
}

// Workers asking at once: one question for the whole run once the user ticks
// "Overwrite All", and every destination ends up complete.
TEST_F(PlacementTest, ConcurrentWorkersAskOnceWithOverwriteAll) {
    class CountingQuestion : public IOverwriteQuestion {
    public:
        OverwriteAnswer AskOverwrite(std::string_view) override {
            ++m_nAsked;
            return {true, true};
        }
        std::atomic<int> m_nAsked{0};
    } question;
    const std::string out = m_dir / "out/";
    fs::create_directory(out);
    constexpr int kWorkers = 4;
    constexpr int kFiles = 12;
    for (int w = 0; w < kWorkers; ++w) {
        fs::create_directory(m_dir / ("w" + std::to_string(w)));
        for (int f = 0; f < kFiles; ++f) {
            WriteFile(m_dir / ("w" + std::to_string(w) + "/f" + std::to_string(f) + ".txt"), "s");
        }
    }
    WriteFile(out + "f0.txt", "old"); // at least one question is due
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            CTargetFileWriter writer(
                COutputOptions{kOutputToFolder, kFormatUtf8, out, false, kRuleAsk}, m_log,
                &question);
            for (int f = 0; f < kFiles; ++f) {
                const std::string src =
                    m_dir / ("w" + std::to_string(w) + "/f" + std::to_string(f) + ".txt");
                const auto index = m_log.AddRecord(src);
                ASSERT_TRUE(writer.OpenTemp(index, src));
                writer.WriteUnicode(std::u16string(5000, static_cast<char16_t>('a' + w)));
                writer.Close();
                writer.Commit();
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(question.m_nAsked.load(), 1);
    EXPECT_EQ(m_log.GetMaxLevel(), kLevelWarning);
    for (int f = 0; f < kFiles; ++f) {
        const std::string text = ReadFile(out + "f" + std::to_string(f) + ".txt");
        ASSERT_EQ(text.size(), 5000u);
        EXPECT_EQ(text.find_first_not_of(text[0]), std::string::npos);
    }
    EXPECT_TRUE(ListFolder(m_tmp.Path()).empty());
}

TEST_F(PlacementTest, OutputFolderRebuildsSubFoldersBelowTheBaseFolder) {
    fs::create_directories(m_dir / "docs/sub/deeper");
    const std::string out = m_dir / "out/";
    WriteFile(m_dir / "docs/sub/deeper/a.txt", "a");
    WriteFile(m_dir / "docs/b.txt", "b");
    EXPECT_EQ(Convert(kOutputToFolder, out, kRuleSkip, m_dir / "docs/sub/deeper/a.txt", "A",
                      m_dir / "docs")
                  .nMessageId,
              kMsgOk);
    EXPECT_EQ(ReadFile(out + "sub/deeper/a.txt"), "A");
    EXPECT_EQ(Convert(kOutputToFolder, out, kRuleSkip, m_dir / "docs/b.txt", "B", m_dir / "docs/")
                  .nMessageId,
              kMsgOk);
    EXPECT_EQ(ReadFile(out + "b.txt"), "B");

    // Without a base folder, same names from two folders meet.
    fs::create_directory(out + "flat");
    EXPECT_EQ(
        Convert(kOutputToFolder, out + "flat/", kRuleSkip, m_dir / "docs/b.txt", "1").nMessageId,
        kMsgOk);
    WriteFile(m_dir / "docs/sub/b.txt", "b2");
    EXPECT_EQ(Convert(kOutputToFolder, out + "flat/", kRuleSkip, m_dir / "docs/sub/b.txt", "2")
                  .nMessageId,
              kMsgDestExistsSkipped);
    EXPECT_EQ(ReadFile(out + "flat/b.txt"), "1");

    // The base folder is the file itself: nothing left to place it by.
    EXPECT_EQ(
        Convert(kOutputToFolder, out, kRuleSkip, m_dir / "docs/b.txt", "x", m_dir / "docs/b.txt")
            .nMessageId,
        kMsgUnexpectedFileAccess);
}

TEST_F(PlacementTest, SourceIsNeverReplacedOutsideOptionZero) {
    const std::string src = m_dir / "a.txt";
    WriteFile(src, "original");
    // Output folder = the source's own folder, reached directly and through a link.
    fs::create_directory_symlink(m_dir.Path(), m_dir / "link");
    for (const std::string& folder : {m_dir.Path() + "/", m_dir / "link/"}) {
        const CLogRecord r = Convert(kOutputToFolder, folder, kRuleOverwrite, src, "converted");
        EXPECT_EQ(r.nMessageId, kMsgDestExistsSkipped) << folder;
        EXPECT_EQ(ReadFile(src), "original");
    }
    // An empty prefix names the source itself.
    EXPECT_EQ(Convert(kOutputPrefixedCopy, "", kRuleOverwrite, src, "converted").nMessageId,
              kMsgDestExistsSkipped);
    EXPECT_EQ(Convert(kOutputOverBackup, "", kRuleOverwrite, src, "converted").nMessageId,
              kMsgBackupFailed);
    EXPECT_EQ(ReadFile(src), "original");
}

// A file converted by root still belongs to its owner, who can read it.
TEST_F(PlacementTest, ConvertedFileKeepsTheSourcesOwnerGroupAndMode) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kNoGroup = 65534;
    struct Case {
        const char* what;
        int option;
        const char* arg;
        const char* result; // relative to the test folder
        bool otherFileSystem;
    };
    fs::create_directory(m_dir / "out");
    const Case cases[] = {
        {"in place", kOutputOverBackup, "_org_", "a.txt", false},
        {"in place, temporary file elsewhere", kOutputOverBackup, "_org_", "a.txt", true},
        {"prefixed copy", kOutputPrefixedCopy, "_u_", "_u_a.txt", false},
        {"output folder, temporary file elsewhere", kOutputToFolder, "", "out/a.txt", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string src = m_dir / "a.txt";
        WriteFile(src, "original");
        ASSERT_EQ(::chown(src.c_str(), kNobody, kNoGroup), 0);
        ASSERT_EQ(::chmod(src.c_str(), 0600), 0);
        platform::ClearFaults();
        if (c.otherFileSystem) {
            TempFileInTempFolder();
            platform::InjectFault(platform::FaultOp::kRename, 1, EXDEV);
        }
        const std::string arg = c.option == kOutputToFolder ? m_dir / "out/" : c.arg;
        EXPECT_EQ(Convert(c.option, arg, kRuleOverwrite, src, "converted").nMessageId, kMsgOk);
        const std::string result = m_dir / c.result;
        EXPECT_EQ(ReadFile(result), "converted");
        struct stat st {};
        ASSERT_EQ(::stat(result.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, kNoGroup);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
            if (entry.is_regular_file()) {
                fs::remove(entry.path());
            }
        }
        fs::remove_all(m_dir / "out");
        fs::create_directory(m_dir / "out");
    }
}

// A nameless temporary file is created with its source's mode and changed
// only where it differs: whatever the umask takes away, wherever the
// temporary file is made, and over an existing file too, the converted file
// ends with exactly the source's mode, and the run knows it as its own.
TEST_F(PlacementTest, ConvertedFileGetsTheSourcesModeWhateverTheUmask) {
    struct Case {
        mode_t mode;
        mode_t umask;
    };
    const Case cases[] = {
        {0640, 022}, {0600, 077}, {0644, 0777}, {0755, 027}, {0444, 0}, {0666, 0}, {0400, 077},
    };
    const std::string src = m_dir / "a.txt";
    const std::string out = m_dir / "out";
    fs::create_directory(out);
    const std::string result = out + "/a.txt";
    for (const Case& c : cases) {
        for (const bool nameless : {true, false}) {
            for (const bool existing : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << std::oct << "mode " << c.mode << ", umask " << c.umask
                             << (nameless ? ", nameless" : ", in $TMPDIR")
                             << (existing ? ", over an existing file" : ""));
                WriteFile(src, "original");
                ASSERT_EQ(::chmod(src.c_str(), c.mode), 0);
                fs::remove(result);
                if (existing) {
                    WriteFile(result, "old");
                }
                platform::ClearFaults();
                if (!nameless) {
                    TempFileInTempFolder();
                }
                platform::CFileIdentitySet placed;
                COutputOptions options{kOutputToFolder, kFormatUtf8, out + "/", false,
                                       kRuleOverwrite};
                options.pPlaced = &placed;
                CTargetFileWriter writer(options, m_log);
                const auto index = m_log.AddRecord(src);
                const auto state = platform::StateOf(src);
                ASSERT_TRUE(state);
                const mode_t oldMask = ::umask(c.umask);
                const bool opened = writer.OpenTemp(index, src, {}, state->nMode);
                ::umask(oldMask);
                ASSERT_TRUE(opened);
                EXPECT_EQ(writer.IsTempNameless(), nameless);
                writer.WriteUnicode(u"converted");
                writer.Close();
                writer.SetSourceState(*state);
                EXPECT_TRUE(writer.Commit());
                EXPECT_EQ(ReadFile(result), "converted");
                struct stat st {};
                ASSERT_EQ(::stat(result.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, c.mode);
                EXPECT_TRUE(placed.ContainsPath(result));
            }
        }
    }
}

// In a folder whose set-group-ID bit hands every new file the folder's
// group, the converted file still gets its source's group; a source already
// of that group keeps it.
TEST_F(PlacementTest, SetGroupIdFolderStillGivesTheSourcesGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a folder and a file to another group";
    }
    constexpr gid_t kNoGroup = 65534;
    const std::string out = m_dir / "out";
    fs::create_directory(out);
    ASSERT_EQ(::chown(out.c_str(), 0, kNoGroup), 0);
    ASSERT_EQ(::chmod(out.c_str(), 02775), 0);
    const std::string src = m_dir / "a.txt";
    for (const gid_t group : {gid_t{0}, kNoGroup}) {
        for (const bool nameless : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "source group " << group << (nameless ? ", nameless" : ", in $TMPDIR"));
            WriteFile(src, "original");
            ASSERT_EQ(::chown(src.c_str(), 0, group), 0);
            ASSERT_EQ(::chmod(src.c_str(), 0640), 0);
            fs::remove(out + "/a.txt");
            platform::ClearFaults();
            if (!nameless) {
                TempFileInTempFolder();
            }
            CTargetFileWriter writer(
                COutputOptions{kOutputToFolder, kFormatUtf8, out + "/", false, kRuleOverwrite},
                m_log);
            const auto index = m_log.AddRecord(src);
            const auto state = platform::StateOf(src);
            ASSERT_TRUE(state);
            ASSERT_TRUE(writer.OpenTemp(index, src, {}, state->nMode));
            writer.WriteUnicode(u"converted");
            writer.Close();
            writer.SetSourceState(*state);
            EXPECT_TRUE(writer.Commit());
            struct stat st {};
            ASSERT_EQ(::stat((out + "/a.txt").c_str(), &st), 0);
            EXPECT_EQ(st.st_gid, group);
            EXPECT_EQ(st.st_uid, 0u);
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
    }
}

// The temporary file is made nameless in the converted file's own folder:
// while it is written nothing shows there or in $TMPDIR, and it gets its
// name only by the placement, new or over an existing file, without a
// hidden name left behind.
TEST_F(PlacementTest, TemporaryFileIsNamelessInTheDestinationFolder) {
    struct Case {
        const char* what;
        int option;
        std::string arg;
        const char* result; // relative to the test folder
        bool existing;
    };
    const Case cases[] = {
        {"in place", kOutputOverBackup, "_org_", "a.txt", false},
        {"prefixed copy", kOutputPrefixedCopy, "_u_", "_u_a.txt", false},
        {"prefixed copy over an existing file", kOutputPrefixedCopy, "_u_", "_u_a.txt", true},
        {"output folder", kOutputToFolder, m_dir / "out/", "out/a.txt", false},
        {"output folder over an existing file", kOutputToFolder, m_dir / "out/", "out/a.txt", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directory(m_dir / "out");
        const std::string src = m_dir / "a.txt";
        WriteFile(src, "original");
        const std::string result = m_dir / c.result;
        if (c.existing) {
            WriteFile(result, "old");
        }
        const std::string folder = FolderOf(result);
        const std::vector<std::string> before = ListFolder(folder);
        CTargetFileWriter writer(
            COutputOptions{c.option, kFormatUtf8, c.arg, false, kRuleOverwrite}, m_log);
        const auto index = m_log.AddRecord(src);
        ASSERT_TRUE(writer.OpenTemp(index, src));
        writer.WriteUnicode(u"converted");
        writer.Close();
        EXPECT_TRUE(writer.IsTempNameless());
        EXPECT_EQ(writer.GetTempPath(), folder);
        EXPECT_EQ(ListFolder(folder), before);
        EXPECT_TRUE(ListFolder(m_tmp.Path()).empty());
        writer.SetSourceState(*platform::StateOf(src));
        EXPECT_TRUE(writer.Commit());
        EXPECT_EQ(ReadFile(result), "converted");
        if (c.option == kOutputOverBackup) {
            EXPECT_EQ(ReadFile(m_dir / "_org_a.txt"), "original");
        }
        for (const std::string& name : ListFolder(folder)) {
            EXPECT_NE(name.rfind(".vnt", 0), 0u) << "left behind: " << name;
        }
        fs::remove_all(m_dir / "out");
        for (const auto& entry : fs::directory_iterator(m_dir.Path())) {
            fs::remove(entry.path());
        }
    }
}

// Where the converted file's folder takes no nameless file (a file system
// without them, a folder that refuses new entries even to root), the
// temporary file is made in $TMPDIR, with the outcome it always had.
TEST_F(PlacementTest, WithoutNamelessFilesTheTemporaryFolderIsUsed) {
    const std::string src = m_dir / "a.txt";
    WriteFile(src, "original");
    {
        SCOPED_TRACE("file system without nameless files");
        TempFileInTempFolder();
        CTargetFileWriter writer(
            COutputOptions{kOutputPrefixedCopy, kFormatUtf8, "_u_", false, kRuleSkip}, m_log);
        const auto index = m_log.AddRecord(src);
        ASSERT_TRUE(writer.OpenTemp(index, src));
        EXPECT_FALSE(writer.IsTempNameless());
        EXPECT_EQ(FolderOf(writer.GetTempPath()), m_tmp.Path() + "/");
        writer.WriteUnicode(u"converted");
        writer.Close();
        EXPECT_TRUE(writer.Commit());
        EXPECT_EQ(ReadFile(m_dir / "_u_a.txt"), "converted");
        EXPECT_TRUE(ListFolder(m_tmp.Path()).empty());
    }
    {
        SCOPED_TRACE("output folder that takes no new entry");
        const std::string out = m_dir / "locked";
        fs::create_directory(out);
        std::optional<test::ImmutableFolder> immutable;
        if (::geteuid() == 0) {
            immutable.emplace(out);
            if (!immutable->Set()) {
                GTEST_SKIP() << "needs the immutable attribute on the test folder's file system";
            }
        } else {
            ::chmod(out.c_str(), 0555);
        }
        // The move into the folder fails as it did before (5007); nothing of
        // the run stays anywhere.
        EXPECT_EQ(Convert(kOutputToFolder, out + "/", kRuleSkip, src, "converted").nMessageId,
                  kMsgDestWriteFailed);
        EXPECT_TRUE(ListFolder(out).empty());
        EXPECT_EQ(ReadFile(src), "original");
        ::chmod(out.c_str(), 0755);
    }
}

// With the temporary folder on another file system, the long copy of the
// converted text comes before the last look at the source: a file saved over
// the source during the copy is kept, and nothing of the run is left.
TEST_F(PlacementTest, OptionZeroSourceSavedOverDuringTheCopyIsKept) {
    const std::string tmp = m_dir / "tmpfs";
    fs::create_directory(tmp);
    test::TmpfsMount mount(tmp, "16m");
    if (!mount.Mounted()) {
        GTEST_SKIP() << "needs root and tmpfs mounts in a private mount namespace";
    }
    test::ScopedEnv env("TMPDIR", tmp);
    const std::string src = m_dir / "a.txt";
    WriteFile(src, "original");
    bool saved = false;
    platform::SetCopyHook([&](const std::string&, const std::string&) {
        if (!saved) {
            saved = true;
            platform::SaveEditOver(src);
        }
    });
    CTargetFileWriter writer(
        COutputOptions{kOutputOverBackup, kFormatUtf8, "_org_", false, kRuleSkip}, m_log);
    const auto index = m_log.AddRecord(src);
    TempFileInTempFolder();
    ASSERT_TRUE(writer.OpenTemp(index, src));
    writer.WriteUnicode(std::u16string(1 << 20, u'q')); // many copy blocks
    writer.Close();
    writer.SetSourceState(*platform::StateOf(src));
    EXPECT_FALSE(writer.Commit());
    EXPECT_TRUE(saved);
    EXPECT_EQ(m_log.GetRecord(index).nMessageId, kMsgSourceChanged);
    EXPECT_EQ(ReadFile(src), "text saved meanwhile\n");
    EXPECT_EQ(ListFolder(m_dir.Path()), (std::vector<std::string>{"a.txt", "tmpfs"}));
    EXPECT_TRUE(ListFolder(tmp).empty());
}

// Across file systems no reader ever sees a partial file at the destination.
TEST_F(PlacementTest, MoveAcrossFileSystemsNeverShowsAPartialFile) {
    const std::string src = m_dir / "a.txt";
    WriteFile(src, "src");
    const std::string text(1 << 20, 'q'); // many copy blocks
    auto run = [&](const std::string& outFolder, bool forceCrossDevice) {
        const std::string dest = outFolder + "a.txt";
        for (bool exists : {false, true}) {
            SCOPED_TRACE(exists ? "replacing" : "new");
            if (exists) {
                WriteFile(dest, "old");
            }
            int blocks = 0;
            platform::ClearFaults();
            TempFileInTempFolder();
            if (forceCrossDevice) {
                platform::InjectFault(platform::FaultOp::kRename, 1, EXDEV);
            }
            platform::SetCopyHook([&](const std::string& partial, const std::string& destination) {
                ++blocks;
                EXPECT_EQ(destination, dest);
                EXPECT_EQ(FolderOf(partial), outFolder); // a sibling: the rename is atomic
                if (exists) {
                    EXPECT_EQ(ReadFile(dest), "old");
                } else {
                    EXPECT_FALSE(fs::exists(dest));
                }
            });
            const CLogRecord r = Convert(kOutputToFolder, outFolder, kRuleOverwrite, src, text);
            EXPECT_EQ(r.nMessageId, exists ? kMsgDestOverwritten : kMsgOk);
            EXPECT_GT(blocks, 8);
            EXPECT_TRUE(ReadFile(dest) == text);
            EXPECT_EQ(ListFolder(outFolder), std::vector<std::string>{"a.txt"});
            fs::remove(dest);
        }
        // A copy that fails part-way is removed; the old destination stays.
        WriteFile(dest, "old");
        platform::ClearFaults();
        TempFileInTempFolder();
        if (forceCrossDevice) {
            platform::InjectFault(platform::FaultOp::kRename, 1, EXDEV);
        }
        // Write 1 is the temporary file's single large write; 5 is in the copy.
        platform::InjectFault(platform::FaultOp::kWrite, 5, EIO);
        EXPECT_EQ(Convert(kOutputToFolder, outFolder, kRuleOverwrite, src, text).nMessageId,
                  kMsgDestWriteFailed);
        EXPECT_EQ(ReadFile(dest), "old");
        EXPECT_EQ(ListFolder(outFolder), std::vector<std::string>{"a.txt"});
    };
    {
        SCOPED_TRACE("seam: rename reports another file system");
        fs::create_directory(m_dir / "out");
        run(m_dir / "out/", true);
    }
    {
        SCOPED_TRACE("output folder on a tmpfs");
        fs::create_directory(m_dir / "mnt");
        test::TmpfsMount mount(m_dir / "mnt", "16m");
        if (!mount.Mounted()) {
            GTEST_SKIP() << "needs root and tmpfs mounts in a private mount namespace";
        }
        run(m_dir / "mnt/", false);
    }
}

} // namespace
} // namespace varnolt
