// Target writer: formats and marks, buffering, encoding, temporary-file faults.
#include "convert/log.hpp"
#include "output/fault_env.hpp"
#include "output/file_buffered.hpp"
#include "output/target_file_writer.hpp"
#include "output/utf_encode.hpp"
#include "platform/file_exception.hpp"
#include "platform/text_utf.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace varnolt {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::vector<std::string> ListFolder(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Utf8Of(std::u16string_view text) {
    std::string out(MaxUtf8Size(text.size()), '\0');
    out.resize(
        EncodeUtf8Scalar(text.data(), text.size(), reinterpret_cast<std::uint8_t*>(out.data())));
    return out;
}

class WriterTest : public ::testing::Test {
protected:
    COutputOptions Options(int format, bool bom) {
        COutputOptions o;
        o.nOutputOption = kOutputPrefixedCopy;
        o.strPrefixOrFolder = "_unicode_";
        o.nUnicodeFormat = format;
        o.bAddBOM = bom;
        o.nOverwriteRule = kRuleSkip;
        return o;
    }
    std::string Source(const std::string& name, const std::string& bytes = "x") {
        const std::string path = m_dir / name;
        WriteFile(path, bytes);
        return path;
    }

    TempDir m_dir;
    TempDir m_tmp;
    test::ScopedEnv m_env{"TMPDIR", m_tmp.Path()};
    test::ScopedFaults m_faults;
    CLog m_log;
};

TEST_F(WriterTest, EachFormatWritesItsMarkAndEncoding) {
    struct Case {
        int format;
        bool bom;
        std::u16string text;
        std::string bytes;
    };
    const Case cases[] = {
        {kFormatUtf8, true, u"A",
         "\xEF\xBB\xBF"
         "A"},
        {kFormatUtf8, false, u"A\u00E9", "A\xC3\xA9"},
        {kFormatUtf16Be, true, u"A", std::string("\xFE\xFF\x00\x41", 4)},
        {kFormatUtf16Le, true, u"A", std::string("\xFF\xFE\x41\x00", 4)},
        {kFormatUtf16Le, false, u"\u20AC", std::string("\xAC\x20", 2)},
        // A source holding only a mark: the target's mark alone, or nothing.
        {kFormatUtf16Be, true, u"", "\xFE\xFF"},
        {kFormatUtf8, false, u"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format * 10 + c.bom);
        const std::string src = Source("a.txt", "original");
        CTargetFileWriter writer(Options(c.format, c.bom), m_log);
        const auto index = m_log.AddRecord(src);
        ASSERT_TRUE(writer.OpenTemp(index, src));
        if (!c.text.empty()) {
            writer.WriteUnicode(c.text);
        }
        writer.Close();
        EXPECT_TRUE(writer.Commit());
        EXPECT_EQ(ReadFile(m_dir / "_unicode_a.txt"), c.bytes);
        EXPECT_EQ(ReadFile(src), "original");
        EXPECT_EQ(m_log.GetRecord(index).nMessageId, kMsgOk);
        EXPECT_TRUE(ListFolder(m_tmp.Path()).empty());
        std::filesystem::remove(m_dir / "_unicode_a.txt");
    }
}

TEST_F(WriterTest, PiecesBeyondTheBufferArriveCompleteAndInOrder) {
    // Piece sizes around the 64 KiB buffer and its bypass, and surrogate
    // pairs split between two pieces.
    std::mt19937 rng(7);
    const std::size_t sizes[] = {1, 100, 32767, 32768, 40000, 65536, 70000, 3, 131072, 5};
    std::vector<std::u16string> pieces;
    for (std::size_t size : sizes) {
        std::u16string piece;
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned r = rng() % 100;
            piece += r < 90 ? static_cast<char16_t>('a' + r % 26) : r < 95 ? u'\u00FC' : u'\u4E2D';
        }
        // Each piece ends with a pair's high half; the next one opens with
        // the low half.
        piece.back() = u'\xD83D';
        if (!pieces.empty()) {
            piece.front() = u'\xDE00';
        }
        pieces.push_back(piece);
    }
    std::u16string text;
    for (const auto& piece : pieces) {
        text += piece;
    }
    for (int format : {kFormatUtf8, kFormatUtf16Le, kFormatUtf16Be}) {
        SCOPED_TRACE(format);
        const std::string src = Source("big.txt");
        CTargetFileWriter writer(Options(format, false), m_log);
        ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
        for (const auto& piece : pieces) {
            writer.WriteUnicode(piece);
        }
        writer.Close();
        ASSERT_TRUE(writer.Commit());
        std::string expected;
        if (format == kFormatUtf8) {
            // The last piece ends with an unpaired high surrogate: U+FFFD.
            expected = Utf8Of(text);
        } else {
            for (char16_t u : text) {
                const char hi = static_cast<char>(u >> 8);
                const char lo = static_cast<char>(u & 0xFF);
                expected += format == kFormatUtf16Le ? std::string{lo, hi} : std::string{hi, lo};
            }
        }
        EXPECT_EQ(ReadFile(m_dir / "_unicode_big.txt"), expected);
        std::filesystem::remove(m_dir / "_unicode_big.txt");
    }
}

// A file large enough to have space set aside ahead of its writes: the
// same bytes in every format, and no space left set aside past its end.
TEST_F(WriterTest, ALargeFileKeepsItsBytesAndNoSpaceBeyondThem) {
    std::u16string piece;
    for (int i = 0; i < 8000; ++i) {
        piece += i % 11 == 0 ? u'\u201C' : static_cast<char16_t>('a' + i % 26);
    }
    const int count = 1800; // 25 to 29 MiB out: past the first reserved steps
    for (int format : {kFormatUtf8, kFormatUtf16Le}) {
        SCOPED_TRACE(format);
        const std::string src = Source("large.txt");
        CTargetFileWriter writer(Options(format, false), m_log);
        ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
        for (int i = 0; i < count; ++i) {
            writer.WriteUnicode(piece);
        }
        writer.Close();
        ASSERT_TRUE(writer.Commit());
        const std::string placed = m_dir / "_unicode_large.txt";
        std::string one;
        if (format == kFormatUtf8) {
            one = Utf8Of(piece);
        } else {
            one = test::Utf16Le(piece);
        }
        const std::string bytes = ReadFile(placed);
        ASSERT_EQ(bytes.size(), one.size() * count);
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(bytes.compare(i * one.size(), one.size(), one), 0) << "piece " << i;
        }
        struct stat st {};
        ASSERT_EQ(::stat(placed.c_str(), &st), 0);
        EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, bytes.size() + (1u << 20));
        std::filesystem::remove(placed);
    }
}

TEST_F(WriterTest, SurrogateHalfLeftAtTheEndBecomesReplacementCharacter) {
    const std::string src = Source("s.txt");
    CTargetFileWriter writer(Options(kFormatUtf8, false), m_log);
    ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
    writer.WriteUnicode(u"a\xD83D");
    writer.WriteUnicode(u"\xDE00"
                        u"b\xD800");
    writer.WriteUnicode(u"c\xDC00");
    writer.WriteUnicode(u"\xD83D");
    writer.Close();
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadFile(m_dir / "_unicode_s.txt"), "a\xF0\x9F\x98\x80"
                                                  "b\xEF\xBF\xBD"
                                                  "c\xEF\xBF\xBD\xEF\xBF\xBD");
}

// Wherever the converter cuts the text, a pair split across pieces comes out
// whole and a lone half as U+FFFD, as if the text came in one piece. Each
// round ends on a high half that the next round's first unit completes.
TEST_F(WriterTest, PiecesCutAnywhereGiveTheBytesOfTheWholeText) {
    const std::u16string text = u"\xDE00"
                                u"a\xD83D\xDE00\u0416\u0430 \u0431\u0432\xD800 \xDC00\uAC00"
                                u"\u0436\u0437\u0438\u0439 \u043A\u043B\u043C\u043D\u043E\xD83D";
    const std::string src = Source("p.txt");
    CTargetFileWriter writer(Options(kFormatUtf8, false), m_log);
    ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
    std::u16string whole;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        writer.WriteUnicode(text.substr(0, cut));
        writer.WriteUnicode(text.substr(cut));
        whole += text;
    }
    writer.Close();
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ReadFile(m_dir / "_unicode_p.txt"), Utf8Of(whole));
}

// Text handed on as bytes of a single-byte page comes out in every format
// exactly as its units would, a surrogate half still waiting included.
TEST_F(WriterTest, MappedBytesWriteWhatTheirUnitsWrite) {
    CByteTextMap map;
    for (unsigned b = 0; b < 256; ++b) {
        map.aUnits[b] = static_cast<char16_t>(b < 0x80 ? b : b < 0xA0 ? 0x2000 + b : b);
    }
    BuildByteUtf8Map(map.aUnits, map.utf8);
    std::string bytes;
    for (int i = 0; i < 3000; ++i) {
        bytes += static_cast<char>(i % 7 == 0 ? 0x80 + i % 0x80 : 'a' + i % 26);
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (const int format : {kFormatUtf8, kFormatUtf16Le, kFormatUtf16Be}) {
        for (const bool pendingHalf : {false, true}) {
            SCOPED_TRACE(format * 10 + pendingHalf);
            std::string results[2];
            for (int mapped = 0; mapped < 2; ++mapped) {
                const std::string src = Source("m.txt");
                CTargetFileWriter writer(Options(format, true), m_log);
                ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
                if (pendingHalf) {
                    writer.WriteUnicode(u"x\xD83D");
                }
                for (std::size_t at = 0; at < bytes.size(); at += 1000) {
                    if (mapped == 1) {
                        writer.WriteMapped(data + at, 1000, map);
                    } else {
                        std::u16string text;
                        for (std::size_t i = at; i < at + 1000; ++i) {
                            text += map.aUnits[data[i]];
                        }
                        writer.WriteUnicode(text);
                    }
                }
                writer.Close();
                ASSERT_TRUE(writer.Commit());
                results[mapped] = ReadFile(m_dir / "_unicode_m.txt");
                std::filesystem::remove(m_dir / "_unicode_m.txt");
            }
            EXPECT_EQ(results[1], results[0]);
            EXPECT_GT(results[0].size(), bytes.size());
        }
    }
}

TEST(Utf8Encoder, FastPathMatchesScalarReferenceAndIndependentEncoder) {
    std::mt19937 rng(11);
    const char16_t alphabet[] = {u'a',      u'Z',      u'\x7F',   u'\x80',   u'\u00E9',
                                 u'\u07FF', u'\u0800', u'\u20AC', u'\uFFFF', u'\xD800',
                                 u'\xDBFF', u'\xDC00', u'\xDFFF', u'\0',     u' '};
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = rng() % 80;
        std::u16string text(n, u'a');
        const unsigned density = rng() % 4; // from all ASCII to mostly not
        for (auto& unit : text) {
            unit = (rng() % 4) < density ? alphabet[rng() % std::size(alphabet)]
                                         : static_cast<char16_t>('a' + rng() % 26);
        }
        std::string fast(MaxUtf8Size(n), '\0');
        fast.resize(EncodeUtf8(text.data(), n, reinterpret_cast<std::uint8_t*>(fast.data())));
        ASSERT_EQ(fast, Utf8Of(text)) << round;
        ASSERT_EQ(fast, Utf16ToUtf8(text)) << round;
    }
}

TEST(Utf8Encoder, SwapGivesBigEndianUnits) {
    const std::u16string text = u"A\u20AC\xD83D\xDE00 0123456789abcdef";
    std::u16string swapped(text.size(), u'\0');
    SwapUtf16Bytes(text.data(), text.size(), swapped.data());
    for (std::size_t i = 0; i < text.size(); ++i) {
        EXPECT_EQ(swapped[i], static_cast<char16_t>((text[i] << 8) | (text[i] >> 8)));
    }
}

TEST(FileBuffered, SmallWritesWaitLargeOnesBypassTheBuffer) {
    TempDir dir;
    const std::string path = dir / "f";
    WriteFile(path, "");
    auto size = [&] {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_size;
    };
    CFileBuffered file;
    file.Attach(::open(path.c_str(), O_WRONLY), path);
    const std::string big(70000, 'b');
    file.Write(big.data(), 100);
    EXPECT_EQ(size(), 0); // held in the buffer
    file.Write(big.data(), 65436);
    EXPECT_EQ(size(), 0); // exactly fills it
    file.Write(big.data(), 1);
    EXPECT_EQ(size(), 65536); // did not fit: the buffer went out first
    file.Write(big.data(), 65536);
    EXPECT_EQ(size(), 65536 + 1 + 65536); // 64 KiB or more goes straight out
    file.Write(big.data(), 10);
    file.Close();
    EXPECT_EQ(size(), 65536 + 1 + 65536 + 10);
}

TEST_F(WriterTest, ConvertedFileTakesTheSourcePermissions) {
    for (mode_t mode : {0640u, 0755u, 0604u}) {
        const std::string src = Source("p.txt");
        ::chmod(src.c_str(), mode);
        CTargetFileWriter writer(Options(kFormatUtf8, false), m_log);
        ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
        writer.WriteUnicode(u"text");
        writer.Close();
        ASSERT_TRUE(writer.Commit());
        struct stat st {};
        ASSERT_EQ(::stat((m_dir / "_unicode_p.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, mode);
        std::filesystem::remove(m_dir / "_unicode_p.txt");
    }
}

// Every file of a run fails with 5003 and the run goes on; nothing else is
// created or changed, and the same writer works again once the folder does.
// The sources' folder is each converted file's own folder here (a prefixed
// copy): it must refuse a temporary file as well as `tmpdir` does.
void ExpectEveryFileGets5003(const std::string& tmpdir, const std::string& dir, CLog& log) {
    test::ScopedEnv env("TMPDIR", tmpdir);
    CTargetFileWriter writer(COutputOptions{kOutputPrefixedCopy, kFormatUtf8, "_u_", true, 0}, log);
    const std::vector<std::string> before = ListFolder(dir);
    for (const std::string name : {"a.txt", "b.txt", "c.txt"}) {
        const auto index = log.AddRecord(dir + "/" + name);
        EXPECT_FALSE(writer.OpenTemp(index, dir + "/" + name));
        EXPECT_EQ(log.GetRecord(index).nLevel, kLevelError);
        EXPECT_EQ(log.GetRecord(index).nMessageId, kMsgTempCreateFailed);
        EXPECT_TRUE(writer.GetTempPath().empty());
    }
    EXPECT_EQ(ListFolder(dir), before);
    for (const std::string name : {"a.txt", "b.txt", "c.txt"}) {
        EXPECT_EQ(ReadFile(dir + "/" + name), "source " + name);
    }
}

TEST_F(WriterTest, UnusableTempFolderGives5003ForEveryFile) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        Source(name, std::string("source ") + name);
    }
    // One file converted by `writer`, its temporary file nameless or not.
    const auto converts = [&](CTargetFileWriter& writer, const std::string& name, bool nameless) {
        const auto index = m_log.AddRecord(m_dir / name);
        ASSERT_TRUE(writer.OpenTemp(index, m_dir / name));
        EXPECT_EQ(writer.IsTempNameless(), nameless);
        writer.WriteUnicode(u"ok");
        writer.Close();
        EXPECT_TRUE(writer.Commit());
        EXPECT_EQ(ReadFile(m_dir / ("_unicode_" + name)), "ok");
    };
    {
        // $TMPDIR is only the fallback: a destination folder with nameless
        // files converts without it.
        test::ScopedEnv env("TMPDIR", m_tmp / "missing");
        CTargetFileWriter writer(Options(kFormatUtf8, false), m_log);
        converts(writer, "a.txt", true);
        std::filesystem::remove(m_dir / "_unicode_a.txt");
    }
    // From here the destination's file system has no nameless files.
    platform::InjectFault(platform::FaultOp::kCreateAnonymous, 1, EOPNOTSUPP, /*sticky=*/true);
    ExpectEveryFileGets5003(m_tmp / "missing", m_dir.Path(), m_log);
    ExpectEveryFileGets5003(m_dir / "a.txt", m_dir.Path(), m_log); // a file, not a folder
    // The seam: the OS refuses to create the file.
    platform::InjectFault(platform::FaultOp::kCreateUnique, 1, EACCES);
    CTargetFileWriter writer(Options(kFormatUtf8, false), m_log);
    const auto index = m_log.AddRecord(m_dir / "a.txt");
    EXPECT_FALSE(writer.OpenTemp(index, m_dir / "a.txt"));
    EXPECT_EQ(m_log.GetRecord(index).nMessageId, kMsgTempCreateFailed);
    // The next file of the run converts normally.
    converts(writer, "b.txt", false);
}

TEST_F(WriterTest, ReadOnlyTempFolderGives5003EvenForRoot) {
    // One read-only file system holds the sources (so no temporary file can
    // be made beside them) and is $TMPDIR too.
    const std::string mountDir = m_tmp / "ro";
    std::filesystem::create_directory(mountDir);
    test::TmpfsMount mount(mountDir, "1m");
    if (!mount.Mounted()) {
        GTEST_SKIP() << "needs root and tmpfs mounts in a private mount namespace";
    }
    for (const std::string name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(mountDir + "/" + name, "source " + name);
    }
    if (!mount.MakeReadOnly()) {
        GTEST_SKIP() << "needs a read-only remount";
    }
    ExpectEveryFileGets5003(mountDir, mountDir, m_log);
}

// A write that fails part-way: the error reaches the caller, the temporary
// file goes away, the source stays as it was, and nothing is placed even if
// the caller went on to Commit.
void ExpectFailedWriteLeavesNothing(CLog& log, const std::string& dir, const std::string& tmpdir) {
    const std::string src = dir + "/src.txt";
    WriteFile(src, "the original bytes");
    CTargetFileWriter writer(COutputOptions{kOutputOverBackup, kFormatUtf8, "_org_", false, 0},
                             log);
    const auto index = log.AddRecord(src);
    ASSERT_TRUE(writer.OpenTemp(index, src));
    const std::u16string piece(30000, u'x');
    bool thrown = false;
    try {
        for (int i = 0; i < 100; ++i) {
            writer.WriteUnicode(piece);
        }
        writer.Close();
    } catch (const CFileException& e) {
        thrown = true;
        EXPECT_EQ(e.m_cause, CFileException::kDiskFull);
        EXPECT_EQ(e.m_strFileName, writer.GetTempPath());
    }
    ASSERT_TRUE(thrown);
    EXPECT_TRUE(writer.HasWriteFailed());
    EXPECT_FALSE(writer.Commit()); // refused: the temporary file is incomplete
    EXPECT_EQ(log.GetRecord(index).nMessageId, kMsgTempAccessFailed);
    EXPECT_TRUE(ListFolder(tmpdir).empty());
    EXPECT_EQ(ReadFile(src), "the original bytes");
    EXPECT_EQ(ListFolder(dir), std::vector<std::string>{"src.txt"});
}

TEST_F(WriterTest, WriteFailingPartWayLeavesNoTempFileAndSourceUntouched) {
    platform::InjectFault(platform::FaultOp::kWrite, 3, 28 /* ENOSPC */);
    ExpectFailedWriteLeavesNothing(m_log, m_dir.Path(), m_tmp.Path());

    // The job's order after a failed read: close, then discard.
    platform::InjectFault(platform::FaultOp::kWrite, 2, 28);
    const std::string src = Source("b.txt", "b");
    CTargetFileWriter writer(Options(kFormatUtf16Le, true), m_log);
    ASSERT_TRUE(writer.OpenTemp(m_log.AddRecord(src), src));
    EXPECT_THROW(for (int i = 0; i < 10; ++i) writer.WriteUnicode(std::u16string(40000, u'y')),
                 CFileException);
    EXPECT_NO_THROW(writer.Close()); // the failure was already reported
    writer.Discard();
    EXPECT_TRUE(ListFolder(m_tmp.Path()).empty());
    EXPECT_EQ(ReadFile(src), "b");
}

TEST_F(WriterTest, FullTemporaryFileSystemFailsTheWrite) {
    const TempDir small;
    const std::string mountDir = small.Path();
    test::TmpfsMount mount(mountDir, "256k");
    if (!mount.Mounted()) {
        GTEST_SKIP() << "needs root and tmpfs mounts in a private mount namespace";
    }
    {
        SCOPED_TRACE("nameless temporary file on the destination's full file system");
        test::ScopedEnv env("TMPDIR", m_dir.Path()); // empty, and not where `small` is
        ExpectFailedWriteLeavesNothing(m_log, mountDir, m_dir.Path());
        std::filesystem::remove(mountDir + "/src.txt");
    }
    {
        SCOPED_TRACE("$TMPDIR full, the destination without nameless files");
        platform::InjectFault(platform::FaultOp::kCreateAnonymous, 1, EOPNOTSUPP);
        test::ScopedEnv env("TMPDIR", mountDir);
        ExpectFailedWriteLeavesNothing(m_log, m_dir.Path(), mountDir);
    }
}

} // namespace
} // namespace varnolt

namespace varnolt {
namespace {

TEST(WriterDeathTest, OptionOutOfRangeStopsTheProgram) {
    CLog log;
    EXPECT_DEATH(CTargetFileWriter(COutputOptions{3, kFormatUtf8, "_u_", false, 0}, log),
                 "internal error");
    EXPECT_DEATH(CTargetFileWriter(COutputOptions{0, 3, "_u_", false, 0}, log), "internal error");
}

} // namespace
} // namespace varnolt
