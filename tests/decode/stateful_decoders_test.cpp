// GB18030, HZ and ISCII against the lines and samples of their reference files.
#include "decode/codepage_data.hpp"
#include "decode/decode_test_util.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <gtest/gtest.h>

namespace varnolt {
namespace {

using test::DecodeWhole;
using test::FourBytes;
using test::HexOf;

TEST(Gb18030Decoder, DecodesEveryOneTwoAndFourByteBmpSequence) {
    const test::CodePageData data = test::LoadCodePage(54936);
    std::string all;
    std::u16string expected;
    for (const auto& line : data.lines) {
        all += line.bytes;
        expected += line.units;
    }
    ASSERT_EQ(data.lines.size(), 128u + 23940u);
    std::uint32_t covered = 0;
    for (const auto& range : data.ranges) {
        const auto* b = reinterpret_cast<const unsigned char*>(range.first.data());
        const std::uint32_t first =
            (((b[0] - 0x81u) * 10 + (b[1] - 0x30u)) * 126 + (b[2] - 0x81u)) * 10 + (b[3] - 0x30u);
        ASSERT_EQ(first, covered);
        for (std::uint32_t cp = range.nFirst; cp <= range.nLast; ++cp) {
            all += FourBytes(covered++);
            expected += static_cast<char16_t>(cp);
        }
    }
    ASSERT_EQ(covered, 39420u);
    // Strict and substituting modes agree on valid text.
    EXPECT_EQ(DecodeWhole(54936, all, true).text, expected);
    EXPECT_EQ(DecodeWhole(54936, all, false).text, expected);
}

TEST(Gb18030Decoder, MapsTheSupplementaryPlanesLinearly) {
    std::string all;
    std::u16string expected;
    for (std::uint32_t v = 0; v <= 0xFFFFF; ++v) {
        all += FourBytes(189000 + v);
        expected += static_cast<char16_t>(0xD800 + (v >> 10));
        expected += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    }
    EXPECT_EQ(all.substr(0, 4), "\x90\x30\x81\x30");
    EXPECT_EQ(all.substr(all.size() - 4), "\xE3\x32\x9A\x35");
    EXPECT_TRUE(DecodeWhole(54936, all, true).text == expected);
}

// "# sample: HEX ... -> UNITS" or "-> error NAME BYTES; substituted: UNITS".
struct Sample {
    std::string bytes;
    bool bError;
    std::u16string units;
};

std::string SampleBytes(const std::string& text) {
    std::istringstream in(text);
    std::string token;
    std::string bytes;
    while (in >> token && token.size() == 2 &&
           std::isxdigit(static_cast<unsigned char>(token[0]))) {
        bytes.push_back(static_cast<char>(std::stoul(token, nullptr, 16)));
    }
    return bytes;
}

std::vector<Sample> LoadSamples(std::int32_t codePage) {
    std::ifstream in(test::CodePageDataDir() + "/cp" + std::to_string(codePage) + ".txt");
    std::vector<Sample> samples;
    std::string line;
    const std::string samplePrefix = "# sample: ";
    while (std::getline(in, line)) {
        Sample s;
        std::string result;
        if (line.rfind(samplePrefix, 0) == 0 && line.find(" -> ") != std::string::npos) {
            // "# sample: HEX ... [("text")] -> UNITS" or "-> error NAME BYTES; substituted: UNITS"
            const std::size_t arrow = line.find(" -> ");
            s.bytes = SampleBytes(line.substr(samplePrefix.size(), arrow - samplePrefix.size()));
            result = line.substr(arrow + 4);
            s.bError = result.rfind("error", 0) == 0;
            if (s.bError) {
                result = result.substr(result.find("substituted: ") + 13);
            }
        } else if (line.rfind("#   ", 0) == 0 && line.find(" stop: ") != std::string::npos &&
                   line.find("; sub: ") != std::string::npos) {
            // GB18030's measured errors: "#   81 20       stop: ERROR BYTES; sub: UNITS".
            s.bytes = SampleBytes(line.substr(1, line.find(" stop: ") - 1));
            s.bError = true;
            result = line.substr(line.find("; sub: ") + 7);
        } else {
            continue;
        }
        if (result != "(nothing)") {
            s.units = test::HexUnits(result);
        }
        samples.push_back(s);
    }
    return samples;
}

class SampleTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(SampleTest, MatchesEverySampleOfTheReference) {
    const test::CodePageData data = test::LoadCodePage(GetParam());
    const std::vector<Sample> samples = LoadSamples(GetParam());
    ASSERT_GE(samples.size(), 10u);
    for (const Sample& s : samples) {
        const bool bIcuDefect = std::any_of(data.eoiLines.begin(), data.eoiLines.end(),
                                            [&](const auto& eoi) { return eoi.bytes == s.bytes; });
        if (bIcuDefect) {
            continue; // checked on its own below
        }
        EXPECT_EQ(DecodeWhole(GetParam(), s.bytes, false).text, s.units) << HexOf(s.bytes);
        const test::Decoded strict = DecodeWhole(GetParam(), s.bytes, true);
        EXPECT_EQ(strict.bOk, !s.bError) << HexOf(s.bytes);
        if (strict.bOk) {
            EXPECT_EQ(strict.text, s.units) << HexOf(s.bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stateful, SampleTest,
                         ::testing::Values(54936, 52936, 57002, 57003, 57004, 57005, 57006, 57007,
                                           57008, 57009, 57010, 57011),
                         [](const auto& param) { return "cp" + std::to_string(param.param); });

class IsciiLinesTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(IsciiLinesTest, DecodesEveryLineAlone) {
    const test::CodePageData data = test::LoadCodePage(GetParam());
    ASSERT_GT(data.lines.size(), 400u);
    for (const auto& line : data.lines) {
        EXPECT_EQ(DecodeWhole(GetParam(), line.bytes, false).text, line.units) << HexOf(line.bytes);
        // Mid-text (followed by a space) the result is the same.
        EXPECT_EQ(DecodeWhole(GetParam(), line.bytes + " ", false).text, line.units + u" ")
            << HexOf(line.bytes);
    }
    for (const auto& line : data.subLines) {
        EXPECT_EQ(DecodeWhole(GetParam(), line.bytes, false).text, line.units);
        EXPECT_FALSE(DecodeWhole(GetParam(), line.bytes, true).bOk);
    }
    // ICU loses the consonant of a final consonant + halant; we keep it, so the
    // text is the same as when something follows.
    for (const auto& line : data.eoiLines) {
        const std::u16string mid = DecodeWhole(GetParam(), line.bytes + " ", false).text;
        EXPECT_EQ(DecodeWhole(GetParam(), line.bytes, false).text + u" ", mid);
        EXPECT_EQ(mid.size(), 3u) << HexOf(line.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Iscii, IsciiLinesTest,
                         ::testing::Values(57002, 57003, 57004, 57005, 57006, 57007, 57008, 57009,
                                           57010, 57011),
                         [](const auto& param) { return "cp" + std::to_string(param.param); });

TEST(IsciiDecoder, AssameseDecodesAsBengali) {
    const test::CodePageData bengali = test::LoadCodePage(57003);
    std::string all;
    for (const auto& line : bengali.lines) {
        all += line.bytes;
    }
    EXPECT_EQ(DecodeWhole(57006, all, false).text, DecodeWhole(57003, all, false).text);
}

TEST(HzDecoder, DecodesEveryGbPairThroughCodePage936) {
    const test::CodePageData gbk = test::LoadCodePage(936);
    std::string hz = "~{";
    std::u16string expected;
    for (const auto& line : gbk.lines) {
        if (line.bytes.size() != 2) {
            continue;
        }
        const auto lead = static_cast<unsigned char>(line.bytes[0]);
        const auto trail = static_cast<unsigned char>(line.bytes[1]);
        if (lead >= 0xA1 && lead <= 0xFD && trail >= 0xA1 && trail <= 0xFE) {
            hz += static_cast<char>(lead - 0x80);
            hz += static_cast<char>(trail - 0x80);
            expected += line.units;
        }
    }
    hz += "~}";
    EXPECT_EQ(expected.size(), 8742u);
    const test::Decoded got = DecodeWhole(52936, hz, true);
    EXPECT_TRUE(got.bOk);
    EXPECT_EQ(got.text, expected);
}

} // namespace
} // namespace varnolt
