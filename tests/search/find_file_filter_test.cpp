// The stored form of the saved searches: exact round trips, older entries,
// 8-bit strings, the length and count escapes, and damaged values.
#include "search/find_file_filter.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace varnolt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TempDir;

// Builds values byte by byte, little-endian, as a hand-written fixture.
struct CBytes {
    Bytes data;
    CBytes& U8(std::uint8_t v) {
        data.push_back(v);
        return *this;
    }
    CBytes& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    CBytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    CBytes& U64(std::uint64_t v) { return U32(v & 0xFFFFFFFF).U32(v >> 32); }
    // A marked UTF-16 string with a one-byte length.
    CBytes& Wide(std::u16string_view text) {
        U8(0xFF).U16(0xFFFE).U8(static_cast<std::uint8_t>(text.size()));
        for (char16_t c : text) {
            U16(c);
        }
        return *this;
    }
    // An 8-bit string with a one-byte length.
    CBytes& Narrow(std::string_view text) {
        U8(static_cast<std::uint8_t>(text.size()));
        for (char c : text) {
            U8(static_cast<std::uint8_t>(c));
        }
        return *this;
    }
};

CFindFileFilter Filter(std::u16string name, std::u16string folder, std::u16string inc,
                       std::u16string exc, bool sub, bool regExp, bool preserve) {
    return {std::move(name), std::move(folder), std::move(inc), std::move(exc), sub,
            regExp,          preserve};
}

// Two entries as this program writes them.
Bytes TwoEntries() {
    CBytes b;
    b.U16(2);
    b.U32(2).Wide(u"Last Used").Wide(u"/home/u/docs").Wide(u"*.htm?|*.php").Wide(u"");
    b.U8(1).U8(0).U8(1);
    b.U32(2).Wide(u"C\u00e9dric \u65e5\u672c").Wide(u"").Wide(u"\\.cpp$").Wide(u"^old");
    b.U8(0).U8(1).U8(0);
    return b.data;
}

TEST(SavedSearches, DecodesAndWritesBackByteForByte) {
    std::vector<CFindFileFilter> filters;
    ASSERT_TRUE(DecodeSavedSearches(TwoEntries(), filters));
    const std::vector<CFindFileFilter> expected{
        Filter(u"Last Used", u"/home/u/docs", u"*.htm?|*.php", u"", true, false, true),
        Filter(u"C\u00e9dric \u65e5\u672c", u"", u"\\.cpp$", u"^old", false, true, false)};
    EXPECT_EQ(filters, expected);
    EXPECT_EQ(EncodeSavedSearches(filters), TwoEntries());
}

TEST(SavedSearches, OlderEntriesHaveNoThirdFlagAndAreWrittenAsCurrent) {
    // Versions 0 and 1 end after two flags; any other version has three.
    for (std::uint32_t version : {0u, 1u, 2u, 7u}) {
        SCOPED_TRACE(version);
        CBytes b;
        b.U16(2);
        b.U32(version).Wide(u"a").Wide(u"/f").Wide(u"*.txt").Wide(u"").U8(1).U8(1);
        if (version > 1) {
            b.U8(1);
        }
        b.U32(version).Wide(u"b").Wide(u"").Wide(u"").Wide(u"").U8(0).U8(0);
        if (version > 1) {
            b.U8(0);
        }
        std::vector<CFindFileFilter> filters;
        ASSERT_TRUE(DecodeSavedSearches(b.data, filters));
        ASSERT_EQ(filters.size(), 2u);
        EXPECT_EQ(filters[0], Filter(u"a", u"/f", u"*.txt", u"", true, true, version > 1));
        EXPECT_EQ(filters[1].strName, u"b");
        EXPECT_FALSE(filters[1].bPreserveFolders);

        // Both entries are written with version 2 and the third flag.
        CBytes current;
        current.U16(2);
        current.U32(2).Wide(u"a").Wide(u"/f").Wide(u"*.txt").Wide(u"").U8(1).U8(1);
        current.U8(version > 1 ? 1 : 0);
        current.U32(2).Wide(u"b").Wide(u"").Wide(u"").Wide(u"").U8(0).U8(0).U8(0);
        EXPECT_EQ(EncodeSavedSearches(filters), current.data);
    }
}

TEST(SavedSearches, EightBitStringsAreReadAsUtf8) {
    CBytes b;
    b.U16(1).U32(2);
    b.Narrow("Caf\xc3\xa9").Narrow("/data/\xff").Narrow("*.htm").Narrow("").U8(0).U8(0).U8(1);
    std::vector<CFindFileFilter> filters;
    ASSERT_TRUE(DecodeSavedSearches(b.data, filters));
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0], Filter(u"Caf\u00e9", u"/data/\ufffd", u"*.htm", u"", false, false, true));
    // Written back with the UTF-16 mark.
    std::vector<CFindFileFilter> again;
    ASSERT_TRUE(DecodeSavedSearches(EncodeSavedSearches(filters), again));
    EXPECT_EQ(again, filters);
}

TEST(SavedSearches, LongLengthsAndCountsUseTheirEscapes) {
    // Lengths at each boundary of the escapes round-trip, and the longer
    // forms are what is written.
    struct Case {
        std::size_t length;
        Bytes prefix;
    };
    const Case cases[] = {
        {254, {0xFF, 0xFE, 0xFF, 254}},
        {255, {0xFF, 0xFE, 0xFF, 0xFF, 255, 0}},
        {0xFFFD, {0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0}},
        {70000, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::vector<CFindFileFilter> filters{
            Filter(std::u16string(c.length, u'x'), u"", u"", u"", false, false, true)};
        const Bytes written = EncodeSavedSearches(filters);
        ASSERT_GT(written.size(), 6 + c.prefix.size());
        EXPECT_EQ(
            Bytes(written.begin() + 6, written.begin() + 6 + static_cast<long>(c.prefix.size())),
            c.prefix);
        std::vector<CFindFileFilter> again;
        ASSERT_TRUE(DecodeSavedSearches(written, again));
        EXPECT_EQ(again, filters);
    }

    // Escaped forms that are longer than needed are read as well: a count
    // of 1 in 32 and 64 bits, an 8-bit string length in 16, 32 and 64 bits.
    for (int countForm = 0; countForm < 2; ++countForm) {
        CBytes b;
        b.U16(0xFFFF);
        if (countForm == 0) {
            b.U32(1);
        } else {
            b.U32(0xFFFFFFFF).U64(1);
        }
        b.U32(2);
        b.U8(0xFF).U16(2).U8('a').U8('b');
        b.U8(0xFF).U16(0xFFFF).U32(1).U8('c');
        b.U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).U64(1).U8('d');
        b.U8(0xFF).U16(0xFFFE).U8(0xFF).U16(1).U16(u'e');
        b.U8(1).U8(1).U8(1);
        std::vector<CFindFileFilter> filters;
        ASSERT_TRUE(DecodeSavedSearches(b.data, filters)) << countForm;
        EXPECT_EQ(filters, (std::vector<CFindFileFilter>{
                               Filter(u"ab", u"c", u"d", u"e", true, true, true)}));
    }
}

TEST(SavedSearches, DamagedValuesAreRefusedWithoutReadingPastTheEnd) {
    // Every cut of a good value is refused; so are lengths and counts that
    // promise more than is there. Each case is copied into a buffer of its
    // exact size so the sanitizer sees any read past it.
    std::vector<std::pair<std::string, Bytes>> cases;
    const Bytes good = TwoEntries();
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        cases.emplace_back("cut at " + std::to_string(cut),
                           Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
    }
    cases.emplace_back("count beyond the data", CBytes().U16(3).data);
    cases.emplace_back("huge count", CBytes().U16(0xFFFF).U32(0xFFFFFFFF).U64(~0ull).data);
    cases.emplace_back("huge wide length", CBytes()
                                               .U16(1)
                                               .U32(2)
                                               .U8(0xFF)
                                               .U16(0xFFFE)
                                               .U8(0xFF)
                                               .U16(0xFFFF)
                                               .U32(0xFFFFFFFF)
                                               .U64(~0ull >> 1)
                                               .U16('a')
                                               .data);
    cases.emplace_back("odd byte of a wide string",
                       CBytes().U16(1).U32(2).U8(0xFF).U16(0xFFFE).U8(1).U8('a').data);
    cases.emplace_back("narrow length beyond the data",
                       CBytes().U16(1).U32(2).U8(0xFF).U16(0x8000).U8('a').data);
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        auto exact = std::make_unique<std::uint8_t[]>(bytes.size() + 1);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        std::vector<CFindFileFilter> filters{Filter(u"kept", u"", u"", u"", false, false, true)};
        EXPECT_FALSE(DecodeSavedSearches({exact.get(), bytes.size()}, filters));
        ASSERT_EQ(filters.size(), 1u);
        EXPECT_EQ(filters[0].strName, u"kept") << "a failed decode leaves the list alone";
    }
}

TEST(SavedSearches, TheSettingsFileGivesLastUsedWhenItHasNoUsableValue) {
    const std::vector<std::uint8_t> good = TwoEntries();
    struct Case {
        const char* name;
        std::string valueLine; // empty: no value
        std::size_t entries;
    };
    const std::string hexOfGood = [&] {
        std::string text = "\"SearchPredefinedFilter\"=hex:";
        char buffer[4];
        for (std::size_t i = 0; i < good.size(); ++i) {
            std::snprintf(buffer, sizeof buffer, "%02x", good[i]);
            text += (i == 0 ? "" : ",") + std::string(buffer);
        }
        return text;
    }();
    const Case cases[] = {
        {"no value", "", 1},
        {"a string value", "\"SearchPredefinedFilter\"=\"text\"", 1},
        {"a truncated value", hexOfGood.substr(0, hexOfGood.size() - 3), 1},
        {"a count of none", "\"SearchPredefinedFilter\"=hex:00,00", 1},
        {"a good value", hexOfGood, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::WriteFile(dir / "s.reg", "Windows Registry Editor Version 5.00\n\n"
                                       "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n" +
                                           c.valueLine + "\n");
        CAppSettings settings(dir / "s.reg");
        const std::vector<CFindFileFilter> filters = LoadSavedSearches(settings);
        ASSERT_EQ(filters.size(), c.entries);
        if (c.entries == 1) {
            EXPECT_EQ(filters[0], Filter(u"Last Used", u"", u"", u"", false, false, true));
        }
    }
}

TEST(SavedSearches, StoredSearchesSurviveANewSettingsStore) {
    TempDir dir;
    std::vector<CFindFileFilter> filters;
    ASSERT_TRUE(DecodeSavedSearches(TwoEntries(), filters));
    {
        CAppSettings settings(dir / "s.reg");
        ASSERT_TRUE(StoreSavedSearches(settings, filters));
    }
    CAppSettings settings(dir / "s.reg");
    std::vector<std::uint8_t> stored;
    ASSERT_TRUE(settings.ReadBinary(settings.SearchPredefinedFilter, stored));
    EXPECT_EQ(stored, TwoEntries());
    EXPECT_EQ(LoadSavedSearches(settings), filters);
}

} // namespace
} // namespace varnolt
