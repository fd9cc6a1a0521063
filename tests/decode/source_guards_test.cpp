// The source guards on their own: which first bytes are refused under which
// code page, and the texts that name an invalid sequence.
#include "decode/source_guards.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace varnolt {
namespace {

using test::Utf16Le;

using namespace std::string_literals;

std::optional<SourceGuardFinding> Check(std::int32_t codePage, const std::string& bytes,
                                        bool bWhole = true) {
    return CheckSourceGuards(codePage, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                             bytes.size(), bWhole);
}

TEST(SourceGuards, RefuseWhatIsNotInTheSourceEncoding) {
    struct Case {
        const char* what;
        std::int32_t codePage;
        std::string bytes;
        std::optional<SourceGuard> expected;
        const char* says = ""; // part of the finding's text
    };
    const std::string utf8Text = "Caf\xC3\xA9 cr\xC3\xA8me, \xE6\x97\xA5\xE6\x9C\xAC\n";
    const Case cases[] = {
        // Byte-order marks of another form than the source's.
        {"UTF-8 mark under 1252", 1252, "\xEF\xBB\xBFhello", SourceGuard::kForeignBom, "UTF-8"},
        {"UTF-8 mark under UTF-16", 1200, "\xEF\xBB\xBFhi", SourceGuard::kForeignBom, "UTF-8"},
        {"UTF-8 mark under UTF-8", 65001, "\xEF\xBB\xBFhello", std::nullopt},
        {"UTF-16LE mark under 1251", 1251, "\xFF\xFEh\0i\0"s, SourceGuard::kForeignBom, "UTF-16LE"},
        {"UTF-16LE mark under UTF-8", 65001, "\xFF\xFEh\0"s, SourceGuard::kForeignBom},
        {"UTF-16LE mark under UTF-16LE", 1200, "\xFF\xFEh\0i\0"s, std::nullopt},
        {"UTF-16BE mark under UTF-16LE", 1200, "\xFE\xFF\0h\0i"s, SourceGuard::kForeignBom,
         "UTF-16BE"},
        // UTF-8 text under a legacy code page; ASCII and real legacy text pass.
        {"UTF-8 under 1252", 1252, utf8Text, SourceGuard::kUtf8Text, "UTF-8"},
        {"UTF-8 under Shift-JIS", 932, utf8Text, SourceGuard::kUtf8Text},
        {"UTF-8 under GB18030", 54936, utf8Text, SourceGuard::kUtf8Text},
        {"UTF-8 under UTF-8", 65001, utf8Text, std::nullopt},
        {"ASCII under 1252", 1252, "plain text\r\n", std::nullopt},
        {"1252 text", 1252, "Caf\xE9 cr\xE8me\n", std::nullopt},
        {"Shift-JIS text", 932, "\x93\xFA\x96\x7B\x8C\xEA\r\n", std::nullopt},
        {"1251 text", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0\n", std::nullopt},
        // Words whose letters keep to one script (Latin may stand beside
        // Han) read as UTF-8 text; legacy text that is well-formed UTF-8 by
        // accident decodes to unrelated scripts side by side.
        {"UTF-8 Latin and Han", 936, "Windows\xE7\x89\x88\n", SourceGuard::kUtf8Text},
        {"UTF-8 Persian", 1256, "\xD9\xBE\xDB\x8C\xDA\xA9\xD8\xA7\xD9\x86\n",
         SourceGuard::kUtf8Text},
        {"UTF-8 Ukrainian", 1251, "\xD2\x90\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xBA\n",
         SourceGuard::kUtf8Text},
        {"852 text, UTF-8 by accident", 852, "Rychnov nad Kn\xD8\xA7nou\n", std::nullopt},
        {"855 text, UTF-8 by accident", 855, "\xC7\x8A\xE5\xA0\xBD\n", std::nullopt},
        {"C1 control", 1252, "a\xC3\xA9 \xC2\x85 b", std::nullopt},
        // Not UTF-8 after all: an overlong form, an encoded surrogate, a
        // character cut off by the end of the file.
        {"overlong", 1252, "a\xC3\xA9 \xC0\xAF", std::nullopt},
        {"surrogate", 1252, "a\xC3\xA9 \xED\xA0\x80", std::nullopt},
        {"cut off at the end", 1252, "a\xC3\xA9 \xE6\x97", std::nullopt},
        // Binary: NUL bytes inside, not only padding the end.
        {"NUL inside", 1252, "text\0more text"s, SourceGuard::kBinary, "NUL byte at offset 4"},
        {"NUL padding", 1252, "text\r\n\0\0\0\0"s, std::nullopt},
        {"UTF-16LE without mark", 1252, Utf16Le(u"Hello, world\r\n"), SourceGuard::kBinary,
         "UTF-16 little-endian text without a byte-order mark"},
        {"UTF-16BE without mark under 932", 932, "\0H\0e\0l\0l\0o\0!"s, SourceGuard::kBinary,
         "big-endian"},
        {"NUL under UTF-8", 65001, "a\0b"s, SourceGuard::kBinary},
        // Control bytes: many are data, a few stray ones and the controls of
        // text (tab, form feed, escape, the DOS end mark, backspace) are not.
        {"controls", 1252, "ab\x01\x02\x03\x04\x05\x06\x07\x10\x11\x12", SourceGuard::kBinary,
         "10 control bytes, the first (01) at offset 2"},
        {"a lone DEL", 932, "ok \x81\x7F here", std::nullopt},
        {"text controls", 1252, "a\tb\fc\x1B[1md\bd\r\n\x1A", std::nullopt},
        {"UTF-16 NUL unit inside", 1200, Utf16Le(u"ab") + "\0\0"s + Utf16Le(u"cd"),
         SourceGuard::kBinary, "NUL character at offset 4"},
        {"UTF-16 controls", 1200, Utf16Le(u"\x01\x02\x03\x04\x05\x06\x07\x10\x11\x12"),
         SourceGuard::kBinary},
        {"UTF-16 text", 1200, Utf16Le(u"\u65E5\u672C\u8A9E text\r\n"), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto finding = Check(c.codePage, c.bytes);
        ASSERT_EQ(finding.has_value(), c.expected.has_value())
            << (finding ? finding->strWhat : "nothing found");
        if (finding) {
            EXPECT_EQ(finding->kind, *c.expected);
            EXPECT_NE(finding->strWhat.find(c.says), std::string::npos) << finding->strWhat;
        }
    }
}

TEST(SourceGuards, LookOnlyAtTheFirst64KiB) {
    const std::string ascii(kGuardWindow, 'a');
    // Whatever follows the window is not looked at.
    EXPECT_FALSE(Check(1252, ascii + "\0binary"s + "\xC3\xA9", false));
    // A UTF-8 character cut by the window's end is no reason to doubt the
    // text before it; only the whole file's end is.
    std::string cut = std::string(kGuardWindow - 4, 'a') + "\xC3\xA9" + "\xE6\x97\xA5";
    ASSERT_EQ(std::min(cut.size(), kGuardWindow), kGuardWindow);
    const auto finding = Check(1252, cut, false);
    ASSERT_TRUE(finding);
    EXPECT_EQ(finding->kind, SourceGuard::kUtf8Text);
    // Ten stray controls in a long text pass; as many in a short one do not.
    std::string text(2000, 'x');
    std::string shorter(400, 'x');
    for (std::size_t i = 0; i < 10; ++i) {
        text[i * 150] = '\x01';
        shorter[i * 30] = '\x01';
    }
    EXPECT_FALSE(Check(1252, text));
    EXPECT_TRUE(Check(1252, shorter));
}

// Control bytes are counted wherever they stand in a window of any length,
// at block edges too, and the first is named: text and line ends around
// them, with the bytes next to the counted ones (0x08-0x0D, 0x1A, 0x1B,
// 0x20, 0x7E, 0x80) never counted.
TEST(SourceGuards, CountControlBytesAnywhereInTheWindow) {
    const std::string counted = "\x01\x07\x0E\x19\x1C\x1F\x7F";
    const std::string passed = "\x08\t\n\v\f\r\x1A\x1B \x7E\x80";
    std::mt19937 rng(1252);
    for (std::size_t n = 8; n <= 200; n += 3) {
        for (int round = 0; round < 4; ++round) {
            std::string bytes(n, 'a');
            std::size_t controls = 0;
            std::size_t first = n;
            for (std::size_t i = 0; i < n; ++i) {
                const unsigned r = rng() % 100;
                if (r < 5 + 3 * static_cast<unsigned>(round)) {
                    bytes[i] = counted[rng() % counted.size()];
                    first = std::min(first, i);
                    ++controls;
                } else if (r < 30) {
                    bytes[i] = passed[rng() % passed.size()];
                }
            }
            SCOPED_TRACE(std::to_string(n) + " bytes, round " + std::to_string(round));
            const auto finding = Check(1252, bytes);
            if (controls >= 8 && controls * 100 > n) {
                ASSERT_TRUE(finding);
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[first]));
                EXPECT_EQ(finding->strWhat, "looks binary: " + std::to_string(controls) +
                                                " control bytes, the first (" + hex +
                                                ") at offset " + std::to_string(first));
            } else {
                EXPECT_FALSE(finding);
            }
        }
    }
}

TEST(SourceGuards, InvalidSequencesAreNamedByOffsetAndBytes) {
    struct Case {
        std::int32_t codePage;
        std::string bytes;
        std::size_t offset;
        std::size_t length;
    };
    const Case cases[] = {
        {1253, "abc\xAA def", 3, 1}, // undefined in the table
        {932,
         "\x93\xFA"
         "a\x81\x20",
         3, 2}, // a lead byte with a trail that is none
        {936, "\xB0\xA1xy\xA1\x7F", 4, 2},
        {65001, "ok \xF5\x80\x80\x80", 3, 4}, // above U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        const auto found =
            FindInvalidSequence(c.codePage, reinterpret_cast<const std::uint8_t*>(c.bytes.data()),
                                c.bytes.size(), CDecoderState());
        ASSERT_TRUE(found);
        EXPECT_EQ(found->first, c.offset);
        EXPECT_EQ(found->second, c.length);
    }
    const std::uint8_t bytes[] = {0x81, 0x20};
    EXPECT_EQ(DescribeInvalidSequence(12345, bytes, 2),
              "invalid byte sequence 81 20 at offset 12,345");
    for (const auto& [value, text] : {std::pair<std::uint64_t, const char*>{0, "0"},
                                      {999, "999"},
                                      {1000, "1,000"},
                                      {262144, "262,144"},
                                      {1234567890, "1,234,567,890"}}) {
        EXPECT_EQ(GroupThousands(value), text);
    }
}

} // namespace
} // namespace varnolt
