// Source probe and source file: one open per file, what the probe refuses,
// and a read that stops at the file's end without hiding a change.
#include "platform/file_io.hpp"
#include "platform/source_file.hpp"
#include "platform/source_probe.hpp"
#include "support/test_support.hpp"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace varnolt::platform {
namespace {

using test::TempDir;
using test::WriteFile;

std::string ReadAll(CSourceFile& file) {
    std::string text;
    char block[7]; // several reads, the last one short
    for (;;) {
        const std::size_t got = file.Read(block, sizeof block);
        text.append(block, got);
        if (got == 0) {
            return text;
        }
    }
}

// The reader reads the very file the probe opened: a file saved over the
// path in between is not what gets converted, and the change shows when
// the path is compared with what was read.
TEST(SourceProbe, TheReaderTakesOverTheProbesDescriptor) {
    TempDir dir;
    const std::string path = dir / "a.txt";
    WriteFile(path, "the probed text");
    CSourceFile file;
    int error = -1;
    ASSERT_EQ(ProbeSource(path, &error, &file), SourceProbe::Readable);
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(file.IsOpen());
    SaveEditOver(path);
    file.Open(path);
    EXPECT_EQ(ReadAll(file), "the probed text");
    const auto now = StateOf(path);
    ASSERT_TRUE(now);
    EXPECT_FALSE(file.State().Unchanged(*now));
    file.Close();

    // Another path than the probed one is opened on its own.
    const std::string other = dir / "b.txt";
    WriteFile(other, "other");
    ASSERT_EQ(ProbeSource(path, &error, &file), SourceProbe::Readable);
    file.Open(other);
    EXPECT_EQ(ReadAll(file), "other");
}

TEST(SourceProbe, KeepsNothingOpenForWhatItRefuses) {
    TempDir dir;
    WriteFile(dir / "empty.txt", "");
    ::mkfifo((dir / "fifo").c_str(), 0644);
    struct Case {
        std::string path;
        SourceProbe result;
        int error;
    };
    const Case cases[] = {
        {dir / "empty.txt", SourceProbe::Empty, 0},
        {dir / "fifo", SourceProbe::Unreadable, 0}, // never blocks
        {dir.Path(), SourceProbe::Unreadable, EISDIR},
        {dir / "missing", SourceProbe::Unreadable, ENOENT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CSourceFile file;
        int error = -1;
        EXPECT_EQ(ProbeSource(c.path, &error, &file), c.result);
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(file.IsOpen());
    }
}

// The read that reaches the length the file had when opened ends it; text
// added after the open is still seen as a change.
TEST(SourceFile, ReadStopsAtTheEndButAGrowingFileIsStillChanged) {
    TempDir dir;
    const std::string path = dir / "a.txt";
    WriteFile(path, "twenty bytes of text");
    {
        CSourceFile file;
        file.Open(path);
        EXPECT_EQ(ReadAll(file), "twenty bytes of text");
        EXPECT_TRUE(file.Unchanged());
    }
    for (const bool beforeFirstRead : {true, false}) {
        SCOPED_TRACE(beforeFirstRead ? "grown before the first read" : "grown after it");
        WriteFile(path, "twenty bytes of text");
        CSourceFile file;
        file.Open(path);
        char block[64];
        if (beforeFirstRead) {
            AppendEditTo(path);
        }
        std::size_t got = file.Read(block, sizeof block);
        if (!beforeFirstRead) {
            AppendEditTo(path);
        }
        while (const std::size_t more = file.Read(block, sizeof block)) {
            got += more;
        }
        EXPECT_GE(got, 20u);
        EXPECT_FALSE(file.Unchanged());
    }
}

// The source stays opened without blocking, which reads of a regular file
// ignore; where a read does say EAGAIN (a file system that honours the
// flag), the descriptor is made blocking and the read waits for its data
// instead of failing the file. An empty pipe says EAGAIN for certain, so it
// stands in for such a file here; its writer waits until the descriptor
// blocks, so the first read always meets the empty pipe.
TEST(SourceFile, AReadThatWouldBlockWaitsInsteadOfFailing) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
    CSourceFile file;
    file.Adopt(ends[0], "pipe", FileState{});
    file.Open("pipe");
    std::thread writer([&] {
        while ((::fcntl(ends[0], F_GETFL) & O_NONBLOCK) != 0) {
            std::this_thread::yield();
        }
        static constexpr char kText[] = "text that came late";
        EXPECT_EQ(::write(ends[1], kText, sizeof kText - 1),
                  static_cast<ssize_t>(sizeof kText - 1));
        ::close(ends[1]);
    });
    char block[64];
    std::string text;
    while (const std::size_t got = file.Read(block, sizeof block)) {
        text.append(block, got);
    }
    writer.join();
    EXPECT_EQ(text, "text that came late");
}

} // namespace
} // namespace varnolt::platform
