// Every table code page through the real reader and converter: each valid
// sequence gives the reference units, each absent one fails the file with 5002.
#include "decode/codepage_data.hpp"
#include "decode/decode_exceptions.hpp"
#include "decode/decode_test_util.hpp"
#include "decode/pipeline_fixture.hpp"

#include <gtest/gtest.h>
#include <set>

namespace varnolt {
namespace {

class PipelineTableTest : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(PipelineTableTest, ConvertsEveryValidSequenceAndFailsOnEveryOther) {
    const test::CodePageData data = test::LoadCodePage(GetParam());
    test::CPipeline pipeline(GetParam());

    // All valid sequences in one file, in table order and again reversed, so
    // that lead bytes fall on both sides of every chunk boundary.
    std::string bytes;
    std::u16string expected;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t k = 0; k < data.lines.size(); ++k) {
            const auto& line = data.lines[pass == 0 ? k : data.lines.size() - 1 - k];
            bytes += line.bytes;
            expected += line.units;
        }
        bytes += "\r\n";
        expected += u"\r\n";
    }
    const test::PipelineResult result = pipeline.Convert(bytes);
    ASSERT_TRUE(result.bOk);
    EXPECT_TRUE(result.status.empty());
    // A leading U+FEFF would be dropped; no table maps its first line to it.
    ASSERT_EQ(result.text.size(), expected.size());
    EXPECT_TRUE(result.text == expected);

    std::set<std::string> valid;
    for (const auto& line : data.lines) {
        valid.insert(line.bytes);
    }
    std::vector<std::string> invalid;
    for (unsigned b = 1; b < 256; ++b) {
        const std::string single(1, static_cast<char>(b));
        if (data.leadBytes.count(static_cast<std::uint8_t>(b)) != 0) {
            for (unsigned t = 1; t < 256; ++t) {
                if (valid.count(single + static_cast<char>(t)) == 0) {
                    invalid.push_back(single + static_cast<char>(t));
                }
            }
        } else if (valid.count(single) == 0) {
            invalid.push_back(single);
        }
    }
    // Every absent sequence fails the converter's strict decoding...
    for (const std::string& sequence : invalid) {
        const std::string chunk = "ok " + sequence;
        pipeline.m_converter.StartFile(false);
        EXPECT_THROW(pipeline.m_converter.ConvertChunk(
                         reinterpret_cast<const std::uint8_t*>(chunk.c_str()), chunk.size()),
                     CMbcsToUnicodeException)
            << test::HexOf(sequence);
    }
    // ...and, through a file, fails that file with 5002 (a sample of them,
    // spread over the list, to keep the test fast).
    const std::size_t step = std::max<std::size_t>(1, invalid.size() / 24);
    for (std::size_t k = 0; k < invalid.size(); k += step) {
        const test::PipelineResult bad = pipeline.Convert("text " + invalid[k] + " more");
        EXPECT_EQ(test::FailureMessage(bad), kMsgInvalidCharacter) << test::HexOf(invalid[k]);
    }
    if (!data.leadBytes.empty()) {
        // A lead byte followed by NUL is invalid, and so is a lone lead at the end.
        const char lead = static_cast<char>(*data.leadBytes.begin());
        EXPECT_EQ(test::FailureMessage(pipeline.Convert(std::string("ab") + lead + '\0' + "cd")),
                  kMsgInvalidCharacter);
        EXPECT_EQ(test::FailureMessage(pipeline.Convert(std::string("ab") + lead)),
                  kMsgInvalidCharacter);
    }
}

INSTANTIATE_TEST_SUITE_P(AllTables, PipelineTableTest, ::testing::ValuesIn(test::TableCodePages()),
                         [](const auto& param) { return "cp" + std::to_string(param.param); });

} // namespace
} // namespace varnolt
