// Text of a single-byte page handed on as bytes: a sink that takes them gets
// the same text, in the same pieces, with the same failures, as one that
// takes the decoded units.
#include "decode/codepage_tables.hpp"
#include "pipeline_fixture.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace varnolt::test {
namespace {

// Every byte the page maps, in random order and with runs of ASCII between,
// over several chunks; `bad` (when not 0) late in the text.
std::string PageText(const tables::SingleByteTable& table, std::mt19937& rng, std::uint8_t bad) {
    std::string text;
    while (text.size() < 40000) {
        const unsigned b = 1 + rng() % 255;
        if (table.aMap[b] != tables::kNoMapping) {
            text += static_cast<char>(b);
        }
        if (rng() % 4 == 0) {
            text += "plain words ";
        }
    }
    if (bad != 0) {
        text[37000] = static_cast<char>(bad);
    }
    return text;
}

TEST(MappedBytes, GiveTheUnitsTextOnEveryPage) {
    std::mt19937 rng(874);
    int pagesMapped = 0;
    for (std::size_t t = 0; t < tables::kSingleByteTableCount; ++t) {
        const tables::SingleByteTable& table = tables::kSingleByteTables[t];
        SCOPED_TRACE(table.nCodePage);
        std::uint8_t bad = 0;
        for (unsigned b = 1; b < 256 && bad == 0; ++b) {
            bad = table.aMap[b] == tables::kNoMapping ? static_cast<std::uint8_t>(b) : 0;
        }
        std::vector<std::uint8_t> cases = {0};
        if (bad != 0) {
            cases.push_back(bad);
        }
        for (const std::uint8_t withBad : cases) {
            const std::string bytes = PageText(table, rng, withBad);
            CPipeline units(table.nCodePage);
            CPipeline mapped(table.nCodePage);
            mapped.m_sink.m_bTakesMapped = true;
            const PipelineResult a = units.Convert(bytes);
            const PipelineResult b = mapped.Convert(bytes);
            EXPECT_EQ(b.bOk, a.bOk);
            // Where the texts part, rather than two 40 KB texts.
            const auto differ =
                std::mismatch(a.text.begin(), a.text.end(), b.text.begin(), b.text.end());
            EXPECT_TRUE(a.text == b.text)
                << "the texts part at unit " << (differ.first - a.text.begin());
            EXPECT_EQ(mapped.m_sink.m_pieces, units.m_sink.m_pieces);
            EXPECT_EQ(FailureMessage(b), FailureMessage(a));
            EXPECT_EQ(b.detail, a.detail);
            EXPECT_EQ(units.m_sink.m_nMappedPieces, 0);
            if (withBad != 0) {
                EXPECT_EQ(FailureMessage(b), kMsgInvalidCharacter);
            }
            if (withBad == 0) {
                ASSERT_TRUE(a.bOk);
                pagesMapped += mapped.m_sink.m_nMappedPieces > 0 ? 1 : 0;
            }
        }
    }
    // Every page whose ASCII is ASCII goes as bytes (all of ours do).
    EXPECT_EQ(pagesMapped, static_cast<int>(tables::kSingleByteTableCount));
}

} // namespace
} // namespace varnolt::test
