// Every table code page decodes exactly its reference sequences and rejects the rest.
#include "decode/code_page_decoder.hpp"
#include "decode/codepage_data.hpp"
#include "settings/encoding_catalogue.hpp"

#include <gtest/gtest.h>
#include <set>

namespace varnolt {
namespace {

struct DecodeOutcome {
    bool bOk;
    std::u16string text;
};

DecodeOutcome Decode(std::int32_t codePage, const std::string& bytes, bool bStrict = true) {
    std::u16string out(2 * bytes.size() + 16, u'\0');
    CDecoderState state;
    DecodeError error = DecodeError::kNone;
    const std::size_t n =
        MultiByteToWideChar(codePage, bStrict, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            bytes.size(), true, state, out.data(), out.size(), error);
    out.resize(n);
    return {error == DecodeError::kNone, out};
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

class TableCodePageTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(TableCodePageTest, DecodesEveryListedSequenceAndRejectsEveryOther) {
    const test::CodePageData data = test::LoadCodePage(GetParam());
    ASSERT_FALSE(data.lines.empty());
    ASSERT_TRUE(IsValidCodePage(GetParam()));
    ASSERT_TRUE(UsesStrictFlag(GetParam()));

    std::set<std::string> valid;
    std::string all;
    std::u16string allUnits;
    for (const auto& line : data.lines) {
        const DecodeOutcome got = Decode(GetParam(), line.bytes);
        ASSERT_TRUE(got.bOk) << Hex(line.bytes);
        ASSERT_EQ(got.text, line.units) << Hex(line.bytes);
        valid.insert(line.bytes);
        all += line.bytes;
        allUnits += line.units;
    }
    // The same sequences in one piece, as a chunk holds them.
    const DecodeOutcome whole = Decode(GetParam(), all);
    ASSERT_TRUE(whole.bOk);
    EXPECT_EQ(whole.text, allUnits);

    int rejected = 0;
    for (unsigned b = 1; b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        ASSERT_EQ(IsDBCSLeadByteEx(GetParam(), byte), data.leadBytes.count(byte) != 0) << b;
        const std::string single(1, static_cast<char>(b));
        if (data.leadBytes.count(byte) != 0) {
            // A lead byte alone, and with every trail byte the table lacks.
            EXPECT_FALSE(Decode(GetParam(), single).bOk) << Hex(single);
            for (unsigned t = 0; t < 256; ++t) {
                const std::string pair = single + static_cast<char>(t);
                if (valid.count(pair) == 0) {
                    ASSERT_FALSE(Decode(GetParam(), pair).bOk) << Hex(pair);
                    // Also in the middle of valid text.
                    ASSERT_FALSE(Decode(GetParam(), "ab" + pair + "cd").bOk) << Hex(pair);
                    ++rejected;
                }
            }
        } else if (valid.count(single) == 0) {
            ASSERT_FALSE(Decode(GetParam(), single).bOk) << Hex(single);
            ASSERT_FALSE(Decode(GetParam(), std::string(40, 'x') + single).bOk) << Hex(single);
            ++rejected;
        }
    }
    const int strictLines = std::stoi(data.header.at("StrictSingleByte")) +
                            std::stoi(data.header.at("StrictDoubleByte"));
    EXPECT_EQ(static_cast<int>(data.lines.size()), strictLines);
    RecordProperty("rejected", rejected);
}

INSTANTIATE_TEST_SUITE_P(AllTables, TableCodePageTest, ::testing::ValuesIn(test::TableCodePages()),
                         [](const auto& param) { return "cp" + std::to_string(param.param); });

TEST(CodePageLayer, EveryCatalogueCodePageHasADecoder) {
    for (int index = 0; index < EncodingCatalogue::Count(); ++index) {
        const std::int32_t cp = EncodingCatalogue::Entry(index).nCodePage;
        // UTF-16 is read by the reader itself and ArmSCII-8 has its own function.
        if (cp == 1200 || cp == 1201 || cp == 59999) {
            EXPECT_FALSE(IsValidCodePage(cp)) << cp;
            continue;
        }
        EXPECT_TRUE(IsValidCodePage(cp)) << cp;
        EXPECT_EQ(EncodingCatalogue::IsValidCodePage(cp), IsValidCodePage(cp)) << cp;
    }
    EXPECT_FALSE(IsValidCodePage(1259));
    EXPECT_FALSE(IsValidCodePage(0));
}

TEST(CodePageLayer, StrictFlagFollowsTheNoFlagList) {
    for (std::int32_t cp : {52936, 54936, 57002, 57006, 57011, 50220, 50229, 65000}) {
        EXPECT_FALSE(UsesStrictFlag(cp)) << cp;
    }
    for (std::int32_t cp : {1252, 932, 950, 65001, 20866, 57001, 57012}) {
        EXPECT_TRUE(UsesStrictFlag(cp)) << cp;
    }
}

TEST(CodePageLayer, UnknownCodePageAndSmallBufferAreReported) {
    CDecoderState state;
    DecodeError error = DecodeError::kNone;
    char16_t out[4];
    const std::uint8_t in[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    EXPECT_EQ(MultiByteToWideChar(1259, true, in, 8, true, state, out, 4, error), 0u);
    EXPECT_EQ(error, DecodeError::kInvalidParameter);
    EXPECT_EQ(MultiByteToWideChar(1252, true, in, 8, true, state, out, 4, error), 0u);
    EXPECT_EQ(error, DecodeError::kInsufficientBuffer);
    EXPECT_EQ(MultiByteToWideChar(1252, true, in, 4, true, state, out, 4, error), 4u);
    EXPECT_EQ(error, DecodeError::kNone);
    EXPECT_EQ(std::u16string(out, 4), u"abcd");
}

} // namespace
} // namespace varnolt
